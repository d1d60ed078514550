#include "runtime/directory_search.h"

#include <algorithm>
#include <cstddef>

#include "runtime/failure_codes.h"

namespace quillpack {
namespace {

// The platform's record holds at most this many name bytes.
constexpr std::size_t kMaxNameBytes = 260;

// Passes over the entries the search skips, then copies the one it stops at. On a failure
// the entry fields keep what they held.
int32_t AcceptEntry(TSearchRec* search) {
  while ((search->platformEntry.attributes & search->skipMask) != 0) {
    if (int32_t code = platform::FindNext(search->searchHandle, &search->platformEntry)) {
      return code;
    }
  }
  const platform::FoundEntry& entry = search->platformEntry;
  search->packedTime = entry.packedTime;
  search->fileSize = static_cast<int32_t>(static_cast<uint32_t>(entry.size));
  search->attributeBits = entry.attributes;
  std::string_view name = entry.name;
  search->fileName.assign(name.substr(0, std::min(name.find('\0'), kMaxNameBytes)));
  return 0;
}

int32_t StartSearch(std::string_view pattern, uint32_t includeMask, platform::EntryDetail detail,
                    TSearchRec* search) {
  search->skipMask = ~includeMask & kSelectingAttributes;
  int32_t code = platform::FindFirst(std::string(pattern), &search->searchHandle,
                                     &search->platformEntry, detail);
  if (code != 0) {
    search->searchHandle = platform::kNoSearch;
    return code;
  }
  code = AcceptEntry(search);
  if (code != 0) EndSearch(search);
  return code;
}

}  // namespace

int32_t FindFirstMatch(std::string_view pattern, uint32_t includeMask, TSearchRec* search) {
  return StartSearch(pattern, includeMask, platform::EntryDetail::kFull, search);
}

int32_t FindNextMatch(TSearchRec* search) {
  if (int32_t code = platform::FindNext(search->searchHandle, &search->platformEntry)) {
    return code;
  }
  return AcceptEntry(search);
}

void EndSearch(TSearchRec* search) {
  if (search->searchHandle == platform::kNoSearch) return;
  platform::FindClose(search->searchHandle);
  search->searchHandle = platform::kNoSearch;
}

std::vector<ListedFile> ListMatchingFiles(std::string_view pattern) {
  std::vector<ListedFile> files;
  TSearchRec search;
  // Only the names are wanted. Every code ends the list alike: the normal end, no match,
  // a missing directory.
  for (int32_t code = StartSearch(pattern, 0, platform::EntryDetail::kNamesAndKinds, &search);
       code == 0; code = FindNextMatch(&search)) {
    files.push_back({search.fileName, search.platformEntry.identity});
  }
  EndSearch(&search);
  return files;
}

bool IsExistingFile(std::string_view name) {
  platform::SearchHandle handle = platform::kNoSearch;
  platform::FoundEntry entry;
  if (platform::FindFirst(std::string(name), &handle, &entry) != 0) return false;
  platform::FindClose(handle);
  return (entry.attributes & platform::kAttributeDirectory) == 0;
}

bool IsSymbolicLink(std::string_view name) {
  return platform::IsSymbolicLink(std::string(name));
}

void RemoveSymbolicLink(std::string_view name) {
  if (int32_t code = platform::RemoveSymbolicLink(std::string(name))) RecordFailure(code);
}

}  // namespace quillpack
