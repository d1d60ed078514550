#include "merged/member_names.h"

#include <string>

#include "platform/platform.h"
#include "text/string_rules.h"

namespace quillpack {
namespace {

constexpr std::string_view kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
// COM and LPT take a digit 1 to 9, or one of the superscripts 1, 2, 3 of the code page.
constexpr std::string_view kNumberedDevices[] = {"COM", "LPT"};
constexpr std::string_view kDeviceDigits = "123456789\xb9\xb2\xb3";

bool IsDeviceName(std::string_view component) {
  std::string base = UpperCaseAscii(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ')
    base.pop_back();
  for (std::string_view device : kDeviceNames) {
    if (base == device) return true;
  }
  for (std::string_view device : kNumberedDevices) {
    if (base.size() == 4 && base.starts_with(device) &&
        kDeviceDigits.find(base[3]) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

// Names are short and their sets tiny: a plain loop beats a search call per byte.
bool IsOneOf(char c, std::string_view set) {
  for (char member : set) {
    if (c == member) return true;
  }
  return false;
}

bool IsForbiddenByte(char c, bool windowsNames) {
  unsigned char byte = static_cast<unsigned char>(c);
  if (byte < 32 || byte == 127) return true;
  return windowsNames && IsOneOf(c, "<>\"|?*");
}

std::string_view WithoutTrailingDotsAndSpaces(std::string_view part) {
  while (!part.empty() && (part.back() == '.' || part.back() == ' '))
    part.remove_suffix(1);
  return part;
}

// An empty part (two separators in a row, or a final one) is no step at all; a part that
// the file system would reduce to nothing is "." or "..", or as good as either.
NameProblem CheckPart(std::string_view part, const MemberNameRules& rules) {
  if (part.empty()) return NameProblem::kNone;
  std::string_view kept = WithoutTrailingDotsAndSpaces(part);
  if (kept.empty()) return NameProblem::kLeavesTarget;
  if (rules.windowsNames && IsDeviceName(kept)) return NameProblem::kDeviceName;
  return NameProblem::kNone;
}

// Calls `visit` with each part of `name`, empty ones included.
template <typename Visit>
void ForEachPart(std::string_view name, std::string_view separators, Visit visit) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (!IsOneOf(name[i], separators)) continue;
    visit(name.substr(start, i - start));
    start = i + 1;
  }
  visit(name.substr(start));
}

}  // namespace

MemberNameRules WindowsMemberNameRules() {
  return {"\\/", true};
}
// "\\" separates the parts of a member name on every system, so that a bundle made on
// Windows gives the same folders on POSIX.
MemberNameRules PosixMemberNameRules() {
  return {"\\/", false};
}

const MemberNameRules& HostMemberNameRules() {
  static const MemberNameRules rules = platform::kHostSystem == platform::HostSystem::kWindows
                                           ? WindowsMemberNameRules()
                                           : PosixMemberNameRules();
  return rules;
}

NameProblem CheckMemberName(std::string_view name, const MemberNameRules& rules) {
  if (name.empty()) return NameProblem::kNoFileName;
  if (rules.separators.find(name.front()) != std::string_view::npos) {
    return NameProblem::kLeavesTarget;
  }
  if (rules.windowsNames && name.find(':') != std::string_view::npos) {
    return NameProblem::kLeavesTarget;
  }
  for (char c : name) {
    if (IsForbiddenByte(c, rules.windowsNames)) return NameProblem::kForbiddenByte;
  }
  NameProblem found = NameProblem::kNone;
  ForEachPart(name, rules.separators, [&](std::string_view part) {
    if (found == NameProblem::kNone) found = CheckPart(part, rules);
  });
  // Checked last, so that a name that also leads outside is refused for that.
  if (found == NameProblem::kNone && IsOneOf(name.back(), rules.separators)) {
    return NameProblem::kNoFileName;
  }
  return found;
}

std::vector<std::string> WrittenParts(std::string_view name, const MemberNameRules& rules) {
  std::vector<std::string> parts;
  ForEachPart(name, rules.separators, [&](std::string_view part) {
    if (!part.empty() || parts.empty()) parts.emplace_back(WithoutTrailingDotsAndSpaces(part));
  });
  // A final separator leaves a final empty part: the name is a directory's.
  if (!name.empty() && rules.separators.find(name.back()) != std::string_view::npos &&
      !parts.back().empty()) {
    parts.emplace_back();
  }
  return parts;
}

std::string WrittenPath(std::string_view name, char delimiter, const MemberNameRules& rules) {
  std::vector<std::string> parts = WrittenParts(name, rules);
  std::string path = parts.front();
  for (std::size_t i = 1; i < parts.size(); ++i) {
    path += delimiter;
    path += parts[i];
  }
  return path;
}

std::string_view ProblemText(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone:
      return "";
    case NameProblem::kLeavesTarget:
      return " leads outside the target directory.";
    case NameProblem::kDeviceName:
      return " names a device.";
    case NameProblem::kForbiddenByte:
      return " holds a character no file name may hold.";
    case NameProblem::kNoFileName:
      return " ends without a file name.";
  }
  return "";
}

}  // namespace quillpack
