// Which member names an extract may write: a merged file often comes from someone else,
// and a name must not lead outside the target directory.

#ifndef QUILLPACK_MERGED_MEMBER_NAMES_H_
#define QUILLPACK_MERGED_MEMBER_NAMES_H_

#include <string_view>

namespace quillpack {

struct MemberNameRules {
  // Every byte the host's file system treats as a separator: "\\/" on Win32, "/" on POSIX.
  std::string_view separators;
  // Win32: a colon names a drive or a stream.
  bool refuseColon;
};

MemberNameRules WindowsMemberNameRules();
MemberNameRules PosixMemberNameRules();
const MemberNameRules& HostMemberNameRules();

// Whether `name`, joined to a target directory, stays inside it: it does not begin with
// a separator, holds no ".." component and, where the rules say so, no colon. Ordinary
// directory parts (SUB\X.TXT) are allowed. The empty name is no escape.
bool IsSafeMemberName(std::string_view name, const MemberNameRules& rules = HostMemberNameRules());

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MEMBER_NAMES_H_
