// Directory enumeration on POSIX, by the Win32 rules: masks matched without regard to
// case, entries sorted by name as Windows file systems yield them.

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <vector>

#include "platform/mask_match.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace quillpack::platform {

// The whole listing, read at the start and sorted by name ignoring case: a sorted list
// then receives every name at its end.
struct SearchState {
  std::vector<FoundEntry> entries;
  std::size_t next = 0;
};

void SearchStateDeleter::operator()(SearchState* state) const {
  delete state;
}

namespace {

uint32_t PackDosTime(time_t seconds) {
  struct tm local;
  if (localtime_r(&seconds, &local) == nullptr) return 0;
  int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  uint32_t date =
      static_cast<uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  uint32_t time =
      static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  return (date << 16) | time;
}

// All but the read-only bit.
uint32_t AttributesOf(mode_t mode, std::string_view name) {
  uint32_t attributes = 0;
  if (S_ISDIR(mode)) {
    attributes |= kAttributeDirectory;
  } else if (S_ISREG(mode)) {
    attributes |= kAttributeArchive;
  } else {
    attributes |= kAttributeSystem;
  }
  if (!name.empty() && name.front() == '.') attributes |= kAttributeHidden;
  return attributes;
}

void FillEntry(const struct stat& info, std::string_view name, FoundEntry* entry) {
  entry->identity = posix::IdentityOf(info.st_dev, info.st_ino);
  entry->attributes = AttributesOf(info.st_mode, name);
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    entry->attributes |= kAttributeReadOnly;
  }
  entry->size = static_cast<uint64_t>(info.st_size);
  entry->packedTime = PackDosTime(info.st_mtime);
  entry->name.assign(name);
}

// A dangling link has nothing to point to: it is neither file nor directory.
void FillDanglingEntry(std::string_view name, FoundEntry* entry) {
  struct stat info = {};
  info.st_mode = S_IFLNK;
  FillEntry(info, name, entry);
  entry->identity.reset();
}

// Only a file system that does not tell kinds in its listing costs a call here.
bool IsLink(int directoryFd, const struct dirent& found) {
  if (found.d_type != DT_UNKNOWN) return found.d_type == DT_LNK;
  struct stat own;
  return fstatat(directoryFd, found.d_name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode);
}

bool ListsBefore(const FoundEntry& a, const FoundEntry& b) {
  int32_t order = LocaleCompare(a.name, b.name, CaseRule::kIgnoreCase);
  return order != 0 ? order < 0 : a.name < b.name;
}

std::vector<FoundEntry> ReadMatchingEntries(DIR* directory, const std::string& mask,
                                            EntryDetail detail) {
  std::vector<FoundEntry> entries;
  int directoryFd = dirfd(directory);
  // An entry that is no mount point lies on its directory's device.
  struct stat directoryInfo;
  bool deviceKnown = fstat(directoryFd, &directoryInfo) == 0;
  while (struct dirent* found = readdir(directory)) {
    std::string_view name = found->d_name;
    if (name == "." || name == ".." || !MatchesMask(mask, name)) continue;
    FoundEntry& entry = entries.emplace_back();
    bool knownKind = found->d_type == DT_REG || found->d_type == DT_DIR;
    struct stat info;
    if (detail == EntryDetail::kNamesAndKinds && knownKind) {
      entry.attributes = AttributesOf(found->d_type == DT_REG ? S_IFREG : S_IFDIR, name);
      entry.name.assign(name);
      if (deviceKnown) entry.identity = posix::IdentityOf(directoryInfo.st_dev, found->d_ino);
      continue;
    }
    if (fstatat(directoryFd, found->d_name, &info, 0) == 0) {
      FillEntry(info, name, &entry);
    } else {
      FillDanglingEntry(name, &entry);
    }
    if (IsLink(directoryFd, *found)) entry.attributes |= kAttributeReparsePoint;
  }
  std::sort(entries.begin(), entries.end(), ListsBefore);
  return entries;
}

// A plain name, as it is spelled: one call where the name exists in this very case.
int32_t LookUpLiteralName(int directoryFd, const std::string& name, FoundEntry* entry) {
  struct stat info;
  if (fstatat(directoryFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return posix::CodeOfErrno(errno);
  }
  bool link = S_ISLNK(info.st_mode);
  if (link && fstatat(directoryFd, name.c_str(), &info, 0) != 0) {
    FillDanglingEntry(name, entry);
  } else {
    FillEntry(info, name, entry);
  }
  if (link) entry->attributes |= kAttributeReparsePoint;
  return 0;
}

// The held directory's own descriptor may only reach names; listing needs one that reads.
int32_t ListMatchingEntries(int directoryFd, const std::string& mask, EntryDetail detail,
                            std::vector<FoundEntry>* entries) {
  int fd = openat(directoryFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? kPathNotFound : posix::CodeOfErrno(errno);
  DIR* opened = fdopendir(fd);
  if (opened == nullptr) return posix::FailAndClose(fd, posix::CodeOfErrno(errno));
  *entries = ReadMatchingEntries(opened, mask, detail);
  closedir(opened);
  return entries->empty() ? kFileNotFound : 0;
}

}  // namespace

int32_t FindFirst(const std::string& pattern, Search* search, FoundEntry* entry,
                  EntryDetail detail) {
  search->Close();
  if (posix::HoldsNul(pattern)) return kPathNotFound;
  if (pattern.empty()) return kFileNotFound;
  std::size_t slash = pattern.rfind('/');
  std::string directory =
      slash == std::string::npos ? std::string("./") : pattern.substr(0, slash + 1);
  std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (mask.empty()) return kFileNotFound;
  Directory held;
  if (int32_t code = OpenDirectory(directory, &held)) return code;
  return FindFirstIn(held, mask, search, entry, detail);
}

int32_t FindFirstIn(const Directory& directory, const std::string& mask, Search* search,
                    FoundEntry* entry, EntryDetail detail) {
  search->Close();
  if (posix::HoldsNul(mask)) return kPathNotFound;
  if (mask.empty()) return kFileNotFound;
  int directoryFd = static_cast<int>(directory.handle());
  std::vector<FoundEntry> entries(1);
  int32_t code = kFileNotFound;
  if (!HasWildcard(mask)) code = LookUpLiteralName(directoryFd, mask, &entries.front());
  // Missing in this case: the listing below finds it in any other, as every mask does.
  if (code == kFileNotFound) code = ListMatchingEntries(directoryFd, mask, detail, &entries);
  if (code != 0) return code;
  *entry = entries.front();
  search->state_.reset(new SearchState{std::move(entries), 1});
  return 0;
}

int32_t FindNext(Search& search, FoundEntry* entry) {
  SearchState* state = search.state_.get();
  if (state == nullptr || state->next == state->entries.size()) return kNoMoreFiles;
  *entry = std::move(state->entries[state->next++]);
  return 0;
}

int32_t SetAttributeBits(const std::string&, uint32_t) {
  return 1;
}

}  // namespace quillpack::platform
