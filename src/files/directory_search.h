// Directory search and file existence, straight on the platform's enumeration: nothing
// is cached between calls and nothing is global.

#ifndef QUILLPACK_FILES_DIRECTORY_SEARCH_H_
#define QUILLPACK_FILES_DIRECTORY_SEARCH_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace quillpack {

// Attribute bits that take part in selecting entries: hidden, system, volume label and
// directory.
inline constexpr uint32_t kSelectingAttributes =
    platform::kAttributeHidden | platform::kAttributeSystem | platform::kAttributeVolumeLabel |
    platform::kAttributeDirectory;

// One search in progress with the entry it yielded last. Owned by the caller; the search
// ends when its record goes, or earlier with EndSearch. Not copyable.
struct TSearchRec {
  // Last-write time in local time as a DOS date-time: date high, time low.
  uint32_t packedTime = 0;
  // The low 32 bits of the entry's size.
  int32_t fileSize = 0;
  uint32_t attributeBits = 0;
  // The entry's name without any directory part.
  std::string fileName;
  // Attribute bits that make the search pass an entry over.
  uint32_t skipMask = 0;
  platform::Search search;
  // The platform's record of the entry read last.
  platform::FoundEntry platformEntry;
};

// Starts a search for the entries matching `pattern` (a path whose last component may
// hold "*" and "?"), passing over every entry that has a bit of
// (~includeMask & kSelectingAttributes). Returns 0 with the first entry in `search`, or
// the platform's code, leaving no enumeration open.
int32_t FindFirstMatch(std::string_view pattern, uint32_t includeMask, TSearchRec* search);

// Places the next acceptable entry in `search` and returns 0, or returns the platform's
// code (18 at the normal end). The enumeration stays open either way.
int32_t FindNextMatch(TSearchRec* search);

// Ends the enumeration if one is open. Safe after a failed start and when called twice.
void EndSearch(TSearchRec* search);

// A file a listing found: its name without directory part, and what the file is where
// the listing tells it (platform.h, FoundEntry).
struct ListedFile {
  std::string name;
  std::optional<platform::FileIdentity> identity;
};

// The ordinary files that match `pattern` (no directories, hidden or system entries), in
// the platform's order. Any failure ends the list silently.
std::vector<ListedFile> ListMatchingFiles(std::string_view pattern);

// Whether `name` is there and is not a directory: what opening `name` would reach. On
// Win32 that is the first entry the platform finds for it; on POSIX only an entry of this
// very name counts, not one in another case nor one the name matches as a mask. Hidden,
// system and read-only files exist; every platform failure gives false.
bool IsExistingFile(std::string_view name);

// Whether `name` is an existing directory, by the same lookup as IsExistingFile. A name
// whose last part holds "*" or "?" is a mask, never a directory; one that ends in a
// delimiter finds nothing. Both give false, as every platform failure does.
bool IsExistingDirectory(std::string_view name);

}  // namespace quillpack

#endif  // QUILLPACK_FILES_DIRECTORY_SEARCH_H_
