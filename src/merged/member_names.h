// Which member names an extract may write: a merged file often comes from someone else,
// and a name must not lead outside the target directory or onto a device.

#ifndef QUILLPACK_MERGED_MEMBER_NAMES_H_
#define QUILLPACK_MERGED_MEMBER_NAMES_H_

#include <cstddef>
#include <string_view>

namespace quillpack {

struct MemberNameRules {
  // Every byte the host's file system treats as a separator: "\\/" on Win32, "/" on POSIX.
  std::string_view separators;
  // Win32: a colon names a drive or a stream, and the file system takes some names for
  // devices (CON, NUL, COM1, ... with any extension), drops a component's final dots and
  // spaces, and allows no control byte nor any of < > " | ? * in a name.
  bool windowsNames;
};

MemberNameRules WindowsMemberNameRules();
MemberNameRules PosixMemberNameRules();
const MemberNameRules& HostMemberNameRules();

enum class NameProblem {
  kNone,
  // Begins with a separator, holds a ".." component or (Win32) a colon.
  kLeavesTarget,
  // A component names a device (Win32).
  kDeviceName,
  // A component ends in a dot or a space (Win32), which the file system would drop.
  kTrailingDotOrSpace,
  // Holds a NUL byte, or (Win32) a control byte or one of < > " | ? *.
  kForbiddenByte,
};

// What stands against writing a member called `name` below a target directory. Ordinary
// directory parts (SUB\X.TXT) are allowed; the empty name is no escape.
NameProblem CheckMemberName(std::string_view name,
                            const MemberNameRules& rules = HostMemberNameRules());

// The sentence that refuses a member, naming it: "Member name NAME ...".
std::string_view ProblemText(NameProblem problem);

// The directory parts of `name`, shortest first: A, A/B for A/B/C.
template <typename Visit>
void ForEachDirectoryPart(std::string_view name, std::string_view separators, Visit visit) {
  for (std::size_t cut = name.find_first_of(separators); cut != std::string_view::npos;
       cut = name.find_first_of(separators, cut + 1)) {
    if (cut > 0) visit(name.substr(0, cut));
  }
}

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MEMBER_NAMES_H_
