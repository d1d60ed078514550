// Path names: the full path of a name, the directory part of a path, a directory with
// one trailing delimiter, the current directory. Positions are 1-based byte positions.
//
// The cutting rules come from a PathRules value: on Win32 the backslash and the colon
// cut paths and only the backslash counts as a trailing delimiter; on POSIX the slash
// alone does both. A delimiter byte that is the second byte of a double-byte character
// is not a delimiter. Every function takes the host's rules unless given others, so the
// Windows rules can be tested on any host.

#ifndef QUILLPACK_FILES_PATH_NAMES_H_
#define QUILLPACK_FILES_PATH_NAMES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quillpack {

// The longest full path the platform takes, in bytes.
inline constexpr std::size_t kMaxFullPathBytes = platform::kMaxPathBytes;

// The role of one byte under the active code page.
enum class ByteKind { kSingle = 0, kLead = 1, kTrail = 2 };

struct PathRules {
  // The bytes that cut a path into parts: "\\:" on Win32, "/" on POSIX.
  std::string_view delimiters;
  // The one delimiter that DirectoryOf and WithTrailingDelimiter know.
  char pathDelimiter;
  // The bytes that open a double-byte character.
  platform::LeadByteSet leadBytes;
  // Whether leadBytes holds any byte at all.
  bool multiByteActive;
  // The bytes the file system itself takes for separators inside a name: on Win32 "/" as
  // well as "\\", on POSIX "/" alone.
  std::string_view separators;
  // Whether the file system drops the dots and spaces that end each part of a name
  // (Win32), so that a part of nothing else reads as "." or "..".
  bool dropsTrailingDotsAndSpaces;
  // Whether two names that differ only in case are two files (POSIX) or one (Win32): a
  // name found in another case is then the same file, and git ignores case as well.
  platform::CaseRule nameCase;
};

PathRules WindowsPathRules(const platform::LeadByteSet& leadBytes = {});
PathRules PosixPathRules();

// The host's rules. The code page's lead bytes are read once, on the first call, and stay
// fixed for the life of the process.
const PathRules& HostPathRules();

// The role of the byte at `position`; a position just past the end reads as NUL, which
// is single, as is any position outside the text. With multiByteActive false every byte
// is single.
ByteKind ByteKindAt(std::string_view value, int32_t position,
                    const PathRules& rules = HostPathRules());

// The position of the last byte of `value` that is one of `delimiters` and not a trail
// byte; 0 when there is none. A NUL byte is never a delimiter.
int32_t LastDelimiterPosition(std::string_view delimiters, std::string_view value,
                              const PathRules& rules = HostPathRules());

// Whether the byte at `position` exists, is a single byte and is one of `delimiters`
// (NUL never is).
bool IsDelimiterAt(std::string_view delimiters, std::string_view value, int32_t position,
                   const PathRules& rules = HostPathRules());

// Whether the byte at `position` exists, is the path delimiter and is a single byte.
bool IsPathDelimiterAt(std::string_view value, int32_t position,
                       const PathRules& rules = HostPathRules());

// The leading part of `path` up to and including its last delimiter; empty when it has
// none. C:\dir\file.txt gives C:\dir\ (on POSIX /dir/file.txt gives /dir/).
std::string DirectoryPartOf(std::string_view path, const PathRules& rules = HostPathRules());

// As DirectoryPartOf, without a final path delimiter unless that one follows another
// delimiter or is the first byte: C:\dir\file.txt gives C:\dir, C:\file.txt gives C:\.
std::string DirectoryOf(std::string_view path, const PathRules& rules = HostPathRules());

// `path` with one path delimiter appended, unless it already ends in one that is a single
// byte. The empty text gives the delimiter alone.
std::string WithTrailingDelimiter(std::string_view path, const PathRules& rules = HostPathRules());

// The absolute form of `name`, as the platform resolves it: against the current
// directory, "." and ".." folded, the name need not exist, wildcards pass through. The
// empty text for the empty name, on a platform failure, and when the full path would be
// longer than the platform takes (259 bytes on Win32, 4095 on POSIX).
std::string FullPathOf(std::string_view name);

// The current directory as the platform reports it ("." when it cannot say).
std::string CurrentDirectory();

}  // namespace quillpack

#endif  // QUILLPACK_FILES_PATH_NAMES_H_
