// The Win32 rules for file masks, which the POSIX backend follows; kept apart from it so
// that their tests run on every host.

#ifndef QUILLPACK_PLATFORM_MASK_MATCH_H_
#define QUILLPACK_PLATFORM_MASK_MATCH_H_

#include <string_view>

namespace quillpack::platform {

// Whether `name` matches the file mask `mask` by the Win32 rules: ASCII letters compare
// without regard to case, "*" stands for any run of bytes, "?" for exactly one, a mask
// that ends in ".*" also matches the name without that dot ("*.*" matches every name), and
// one that ends in "." also matches the names without any dot that match it without that
// dot ("*." matches the names without an extension, "read*." matches README).
bool MatchesMask(std::string_view mask, std::string_view name);

// Whether a mask holds a wildcard at all.
bool HasWildcard(std::string_view mask);

}  // namespace quillpack::platform

#endif  // QUILLPACK_PLATFORM_MASK_MATCH_H_
