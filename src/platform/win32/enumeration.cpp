// Directory enumeration on Win32: the system's own search, entries in the order it yields
// them.

#include <windows.h>

#include <cstring>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/internal.h"

namespace quillpack::platform {

using win32::LastError;

struct SearchState {
  explicit SearchState(HANDLE found) : handle(found) {}
  ~SearchState() { ::FindClose(handle); }
  SearchState(const SearchState&) = delete;
  SearchState& operator=(const SearchState&) = delete;
  HANDLE handle;
};

void SearchStateDeleter::operator()(SearchState* state) const {
  delete state;
}

namespace {

void FillEntry(const WIN32_FIND_DATAA& data, FoundEntry* entry) {
  FILETIME local;
  WORD date = 0;
  WORD time = 0;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  entry->packedTime = (static_cast<uint32_t>(date) << 16) | time;
  entry->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  entry->attributes = data.dwFileAttributes;
  entry->name.assign(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
}

}  // namespace

int32_t FindFirst(const std::string& pattern, Search* search, FoundEntry* entry, EntryDetail) {
  search->Close();
  if (win32::HoldsNul(pattern)) return kPathNotFound;
  WIN32_FIND_DATAA data;
  HANDLE found = FindFirstFileA(pattern.c_str(), &data);
  if (found == INVALID_HANDLE_VALUE) return LastError();
  search->state_.reset(new SearchState(found));
  FillEntry(data, entry);
  return 0;
}

// The held handle keeps the directory from being renamed or replaced, so its path still
// names it.
int32_t FindFirstIn(const Directory& directory, const std::string& mask, Search* search,
                    FoundEntry* entry, EntryDetail detail) {
  return FindFirst(directory.path() + mask, search, entry, detail);
}

int32_t FindNext(Search& search, FoundEntry* entry) {
  if (!search.IsOpen()) return kNoMoreFiles;
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(search.state_->handle, &data)) return LastError();
  FillEntry(data, entry);
  return 0;
}

int32_t SetAttributeBits(const std::string& name, uint32_t bits) {
  return SetFileAttributesA(name.c_str(), bits) ? 0 : LastError();
}

}  // namespace quillpack::platform
