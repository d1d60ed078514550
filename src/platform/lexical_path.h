// The full path of a name worked out as text, for the POSIX backend, which resolves names
// as Win32 does; kept apart from it so that its tests run on every host.

#ifndef QUILLPACK_PLATFORM_LEXICAL_PATH_H_
#define QUILLPACK_PLATFORM_LEXICAL_PATH_H_

#include <string>
#include <string_view>

namespace quillpack::platform {

// Resolves `name` against the absolute directory `current` as text, with "/" the only
// delimiter: repeated delimiters and "." steps are folded, ".." removes the step before it
// (never past the root), a final "/" is kept. The empty name gives the empty text.
std::string ResolveLexically(std::string_view current, std::string_view name);

}  // namespace quillpack::platform

#endif  // QUILLPACK_PLATFORM_LEXICAL_PATH_H_
