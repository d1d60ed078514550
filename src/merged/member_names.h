// Which member names an extract may write: a merged file often comes from someone else,
// and a name must not lead outside the target directory or onto a device.

#ifndef QUILLPACK_MERGED_MEMBER_NAMES_H_
#define QUILLPACK_MERGED_MEMBER_NAMES_H_

#include <string>
#include <string_view>
#include <vector>

namespace quillpack {

struct MemberNameRules {
  // Every byte that separates the parts of a member name: "\\" as the merge writes it, and
  // "/", which the file systems take too; on every system.
  std::string_view separators;
  // Win32: a colon names a drive or a stream, the file system takes some names for devices
  // (CON, NUL, COM1, ... with any extension), and a name may hold none of < > " | ? *.
  bool windowsNames;
};

MemberNameRules WindowsMemberNameRules();
MemberNameRules PosixMemberNameRules();
const MemberNameRules& HostMemberNameRules();

enum class NameProblem {
  kNone,
  // Begins with a separator, holds a colon (Win32), or has a part that is nothing but
  // dots and spaces ("..", ".", "...").
  kLeavesTarget,
  // A part names a device (Win32).
  kDeviceName,
  // Holds a control byte (below 32, or 127) or (Win32) one of < > " | ? *.
  kForbiddenByte,
  // Is empty or ends in a separator: its last part names no file.
  kNoFileName,
};

// What stands against writing a member called `name` below a target directory. Ordinary
// directory parts (SUB\X.TXT) are allowed.
NameProblem CheckMemberName(std::string_view name,
                            const MemberNameRules& rules = HostMemberNameRules());

// The sentence that refuses a member, naming it: "Member name NAME ...".
std::string_view ProblemText(NameProblem problem);

// The parts of `name` as the file is written, the same on every host: split at each
// separator, empty parts between separators left out, and the trailing dots and spaces of
// each part dropped, as the Win32 file system drops them. A name that ends in a separator
// (or is empty) ends in an empty part, which no file can take; CheckMemberName refuses such
// names. REQUIRES: CheckMemberName(name, rules) is kNone.
std::vector<std::string> WrittenParts(std::string_view name,
                                      const MemberNameRules& rules = HostMemberNameRules());

// The relative path an extract writes for `name`: its WrittenParts joined by `delimiter`,
// the host's path delimiter. REQUIRES: CheckMemberName(name, rules) is kNone.
std::string WrittenPath(std::string_view name, char delimiter,
                        const MemberNameRules& rules = HostMemberNameRules());

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MEMBER_NAMES_H_
