// What an extract refuses about a member before anything is written for it, each refusal
// naming the member: a name that leads elsewhere or makes too long a path, and what is at
// its name already that the extract does not write over.

#ifndef QUILLPACK_MERGED_MEMBER_REFUSALS_H_
#define QUILLPACK_MERGED_MEMBER_REFUSALS_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quillpack {

// Raises myException "Member name NAME" followed by `problem`, NAME shown with its control
// bytes as "?"; the empty name leaves no gap of two spaces in the sentence.
[[noreturn]] void RefuseMember(const std::string& name, std::string_view problem);

// Refuses a name that leaves the target, names a device, holds a byte no file name may
// hold or ends without a file name (CheckMemberName), and one that makes the full path of
// the target directory and the name longer than the platform takes, `targetFullLength`
// being the length of the target's own.
void RefuseUnsafeName(const std::string& name, std::size_t targetFullLength);

// Why what is at a member's name is not written over, as the end of a refusal, or "" when
// it may be after the overwrite question: nothing ever waits on a pipe, a socket or a
// device, and a link is never written through. Where the platform can put a file in the
// place of a link safely, the link is asked about as a file is; elsewhere it is refused.
std::string_view WhyNotWrittenOver(platform::EntryKind kind,
                                   bool replacesLinksSafely = platform::kReplacesLinksSafely);

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MEMBER_REFUSALS_H_
