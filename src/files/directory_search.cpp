#include "files/directory_search.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "failures/failure_codes.h"
#include "files/path_names.h"
#include "platform/mask_match.h"

namespace quillpack {
namespace {

// The entry that opening `name` would reach, if any. Every mask lists the name spelled as
// itself, so on POSIX the walk through the listing finds it whenever it exists.
bool FindEntryOfName(std::string_view name, platform::FoundEntry* entry) {
  platform::Search search;
  if (platform::FindFirst(std::string(name), &search, entry) != 0) return false;
  bool found = true;
  // Where names differ by case, a name found in another case, or one the name matches as
  // a mask, is another file: opening the name would not reach it. Win32 opens what its
  // search finds.
  if (HostPathRules().nameCase == platform::CaseRule::kSensitive) {
    std::string_view last = name.substr(DirectoryPartOf(name).size());
    while (found && entry->name != last)
      found = platform::FindNext(search, entry) == 0;
  }
  return found;
}

// Passes over the entries the search skips, then copies the one it stops at. On a failure
// the entry fields keep what they held.
int32_t AcceptEntry(TSearchRec* search) {
  while ((search->platformEntry.attributes & search->skipMask) != 0) {
    if (int32_t code = platform::FindNext(search->search, &search->platformEntry)) return code;
  }
  const platform::FoundEntry& entry = search->platformEntry;
  search->packedTime = entry.packedTime;
  search->fileSize = static_cast<int32_t>(static_cast<uint32_t>(entry.size));
  search->attributeBits = entry.attributes;
  std::string_view name = entry.name;
  search->fileName.assign(name.substr(0, std::min(name.find('\0'), platform::kMaxEntryNameBytes)));
  return 0;
}

int32_t StartSearch(std::string_view pattern, uint32_t includeMask, platform::EntryDetail detail,
                    TSearchRec* search) {
  search->skipMask = ~includeMask & kSelectingAttributes;
  int32_t code =
      platform::FindFirst(std::string(pattern), &search->search, &search->platformEntry, detail);
  if (code != 0) return code;
  code = AcceptEntry(search);
  if (code != 0) EndSearch(search);
  return code;
}

}  // namespace

int32_t FindFirstMatch(std::string_view pattern, uint32_t includeMask, TSearchRec* search) {
  return StartSearch(pattern, includeMask, platform::EntryDetail::kFull, search);
}

int32_t FindNextMatch(TSearchRec* search) {
  if (int32_t code = platform::FindNext(search->search, &search->platformEntry)) return code;
  return AcceptEntry(search);
}

void EndSearch(TSearchRec* search) {
  search->search.Close();
}

// The ordinary files only; every code ends the list alike: the normal end, no match, a
// missing directory.
std::vector<ListedFile> ListMatchingFiles(std::string_view pattern) {
  std::vector<ListedFile> files;
  TSearchRec search;
  for (int32_t code = StartSearch(pattern, 0, platform::EntryDetail::kNamesAndKinds, &search);
       code == 0; code = FindNextMatch(&search)) {
    files.push_back({search.fileName, search.platformEntry.identity});
  }
  return files;
}

bool IsExistingFile(std::string_view name) {
  platform::FoundEntry entry;
  return FindEntryOfName(name, &entry) && (entry.attributes & platform::kAttributeDirectory) == 0;
}

bool IsExistingDirectory(std::string_view name) {
  // A search for a mask may well yield a directory first ("." on Win32).
  if (name.substr(DirectoryPartOf(name).size()).find_first_of("*?") != name.npos) return false;
  platform::FoundEntry entry;
  return FindEntryOfName(name, &entry) && (entry.attributes & platform::kAttributeDirectory) != 0;
}

}  // namespace quillpack
