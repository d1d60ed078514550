#include "merged/member_names.h"

#include <string>

#include "platform/platform.h"
#include "runtime/string_rules.h"

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

bool IsForbiddenByte(char c, bool windowsNames) {
  unsigned char byte = static_cast<unsigned char>(c);
  if (byte == 0) return true;
  return windowsNames &&
         (byte < 32 || std::string_view("<>\"|?*").find(c) != std::string_view::npos);
}

NameProblem CheckComponent(std::string_view component, const MemberNameRules& rules) {
  if (component == "..") return NameProblem::kLeavesTarget;
  if (!rules.windowsNames || component.empty()) return NameProblem::kNone;
  if (component.back() == '.' || component.back() == ' ') return NameProblem::kTrailingDotOrSpace;
  if (IsDeviceName(component)) return NameProblem::kDeviceName;
  return NameProblem::kNone;
}

}  // namespace

MemberNameRules WindowsMemberNameRules() {
  return {"\\/", true};
}
MemberNameRules PosixMemberNameRules() {
  return {"/", false};
}

const MemberNameRules& HostMemberNameRules() {
  static const MemberNameRules rules = platform::kHostSystem == platform::HostSystem::kWindows
                                           ? WindowsMemberNameRules()
                                           : PosixMemberNameRules();
  return rules;
}

NameProblem CheckMemberName(std::string_view name, const MemberNameRules& rules) {
  if (name.empty()) return NameProblem::kNone;
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
  while (!name.empty() && found == NameProblem::kNone) {
    std::size_t cut = name.find_first_of(rules.separators);
    found = CheckComponent(name.substr(0, cut), rules);
    name = cut == std::string_view::npos ? std::string_view() : name.substr(cut + 1);
  }
  return found;
}

std::string_view ProblemText(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone:
      return "";
    case NameProblem::kLeavesTarget:
      return " leads outside the target directory.";
    case NameProblem::kDeviceName:
      return " names a device.";
    case NameProblem::kTrailingDotOrSpace:
      return " ends a part in a dot or a space.";
    case NameProblem::kForbiddenByte:
      return " holds a character no file name may hold.";
  }
  return "";
}

}  // namespace quillpack
