#include "merged/source_list.h"

#include <cstddef>
#include <cstdint>

#include "console/run_options.h"
#include "failures/error_objects.h"
#include "failures/failure_codes.h"
#include "platform/platform.h"

namespace quillpack {
namespace {

constexpr std::size_t kListBlockBytes = 64 * 1024;

// A list is read whole before any name is taken, so that its form (NUL or lines) is known;
// bytes are taken as they are, with no line rules, since a CR or a Ctrl-Z in a name must
// not make it the name of another file.
std::string ReadAll(platform::Handle handle) {
  std::string bytes;
  for (;;) {
    std::size_t had = bytes.size();
    bytes.resize(had + kListBlockBytes);
    std::size_t count = 0;
    int32_t code = platform::ReadSome(handle, bytes.data() + had, kListBlockBytes, &count);
    bytes.resize(had + count);
    if (code != 0) RecordFailure(code);
    CheckFileFailure();
    if (count == 0) return bytes;
  }
}

bool IsOnlyDotsAndSpaces(std::string_view part) {
  return part.find_first_not_of(". ") == std::string_view::npos;
}

// Whether `part` may step out of its folder: "..", and where the file system drops the
// trailing dots and spaces of a part, anything made of them alone but ".".
bool LeadsUp(std::string_view part, const PathRules& rules) {
  if (part == "..") return true;
  return rules.dropsTrailingDotsAndSpaces && !part.empty() && part != "." &&
         IsOnlyDotsAndSpaces(part);
}

}  // namespace

std::vector<std::string> SplitNameList(std::string_view bytes) {
  bool nulSeparated = bytes.find('\0') != std::string_view::npos;
  char separator = nulSeparated ? '\0' : '\n';
  std::vector<std::string> names;
  for (std::size_t start = 0; start < bytes.size();) {
    std::size_t end = bytes.find(separator, start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view name = bytes.substr(start, end - start);
    if (!nulSeparated && name.ends_with('\r')) name.remove_suffix(1);
    if (!name.empty()) names.emplace_back(name);
    start = end + 1;
  }
  return names;
}

std::vector<std::string> ReadNameList(const CommandPath& list) {
  if (list.IsStandardStream()) {
    platform::Handle input = platform::kNoHandle;
    if (int32_t code = platform::GetStandardHandle(platform::StandardStream::kInput, &input)) {
      RecordFailure(code);
      CheckFileFailure();
    }
    return SplitNameList(ReadAll(input));
  }
  platform::OwnedHandle opened;
  int32_t code = platform::OpenExistingForReading(list.typed(), &opened);
  if (code == platform::kFileNotFound || code == platform::kPathNotFound) {
    RaiseError(myException("File " + list.typed() + " does not exist."));
  }
  RecordFailure(code);
  CheckFileFailure();
  return SplitNameList(ReadAll(opened.get()));
}

bool PathBelowDirectory(std::string_view listed, std::string* path, const PathRules& rules) {
  path->clear();
  // A list names paths with "/" on every system, and on Win32 with "\\" too.
  std::string separators = {'/', rules.pathDelimiter};
  auto isSeparatorAt = [&](std::size_t i) {
    return IsDelimiterAt(separators, listed, static_cast<int32_t>(i) + 1, rules);
  };
  if (isSeparatorAt(0)) return false;
  bool colonsCut = rules.delimiters.find(':') != std::string_view::npos;
  if (colonsCut && listed.find(':') != std::string_view::npos) return false;
  for (std::size_t start = 0; start <= listed.size();) {
    std::size_t end = start;
    while (end < listed.size() && !isSeparatorAt(end))
      ++end;
    std::string_view part = listed.substr(start, end - start);
    if (LeadsUp(part, rules)) {
      path->clear();
      return false;
    }
    if (!part.empty() && part != ".") {
      if (!path->empty()) *path += rules.pathDelimiter;
      *path += part;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace quillpack
