#include "platform/platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <locale.h>
#include <signal.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>
#include <wchar.h>
#include <wctype.h>

#include <algorithm>
#include <cstdlib>

#include "platform/mask_match.h"

namespace quillpack::platform {
namespace {

// errno values and the failure codes that mean the same. Anything not listed becomes 31,
// the general device failure, so that every failure still reads as a stable number.
struct ErrnoCode {
  int error;
  int32_t code;
};
constexpr ErrnoCode kErrnoCodes[] = {
    {ENOENT, kFileNotFound},  // refined to 3 when the directory is missing
    {ENOTDIR, kPathNotFound},
    {EEXIST, kFileExists},
    {ENAMETOOLONG, kPathNotFound},
    {ELOOP, kPathNotFound},
    {EMFILE, kTooManyOpenFiles},
    {ENFILE, kTooManyOpenFiles},
    {EACCES, kAccessDenied},
    {EPERM, kAccessDenied},
    {EISDIR, kAccessDenied},
    {EROFS, kAccessDenied},
    {EBADF, kInvalidHandle},
    {ENOMEM, 8},
    {EINVAL, 87},
    {ETXTBSY, kSharingViolation},
    {EBUSY, 170},
    {EAGAIN, 170},
    {ENOSPC, kDiskFull},
    {EDQUOT, kDiskFull},
    {EFBIG, 223},
    {EPIPE, 232},
    {EIO, 1117},
};
constexpr int32_t kUnlistedErrnoCode = 31;

int32_t CodeOfErrno(int error) {
  for (const ErrnoCode& entry : kErrnoCodes) {
    if (entry.error == error) return entry.code;
  }
  return kUnlistedErrnoCode;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A missing name is 2 when its directory is there and 3 when the directory is missing,
// as on Windows.
int32_t CodeOfOpenFailure(int error, const std::string& name) {
  if (error != ENOENT) return CodeOfErrno(error);
  std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) return kFileNotFound;
  std::string directory = slash == 0 ? std::string("/") : name.substr(0, slash);
  return IsDirectory(directory) ? kFileNotFound : kPathNotFound;
}

DeviceKind KindOfMode(mode_t mode) {
  if (S_ISCHR(mode)) return DeviceKind::kCharacter;
  if (S_ISFIFO(mode) || S_ISSOCK(mode)) return DeviceKind::kPipe;
  return DeviceKind::kDisk;
}

bool HoldsNul(const std::string& name) {
  return name.find('\0') != std::string::npos;
}

// Read-only sharing: readers hold a shared lock, a writer an exclusive one. Locks belong
// to the open file description, so two opens in one process conflict as on Windows. A
// file system without locks shares everything.
int32_t LockForSharing(int fd, int operation) {
  while (flock(fd, operation | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return kSharingViolation;
    return 0;
  }
  return 0;
}

int32_t FailAndClose(int fd, int32_t code) {
  close(fd);
  return code;
}

// Standard descriptors that were closed when the process started; each is held by a
// placeholder on /dev/null and still reports itself as missing.
bool standardMissing[3] = {false, false, false};
std::vector<std::string>* deliveredArguments = nullptr;
bool collationIsBytes = true;

FaultHandler faultHandler = nullptr;

const void* FaultingPosition(const siginfo_t* info, void* context) {
#if defined(__x86_64__)
  (void)info;
  return reinterpret_cast<const void*>(
      static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#else
  (void)context;
  return info->si_addr;
#endif
}

void OnFaultSignal(int number, siginfo_t* info, void* context) {
  int32_t runError = number == SIGFPE ? 200 : (number == SIGILL ? 217 : 216);
  if (faultHandler) faultHandler(runError, FaultingPosition(info, context));
  _exit(runError);
}

uint32_t PackDosTime(time_t seconds) {
  struct tm local;
  if (localtime_r(&seconds, &local) == nullptr) return 0;
  int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  uint32_t date = ((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday;
  uint32_t time = (local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2);
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

FileIdentity IdentityOf(dev_t device, ino_t inode) {
  return {static_cast<uint64_t>(device), static_cast<uint64_t>(inode)};
}

int32_t IdentityOfStat(const struct stat& info, FileIdentity* identity) {
  if (!S_ISREG(info.st_mode)) return kAccessDenied;
  *identity = IdentityOf(info.st_dev, info.st_ino);
  return 0;
}

void FillEntry(const struct stat& info, std::string_view name, FoundEntry* entry) {
  entry->identity = IdentityOf(info.st_dev, info.st_ino);
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

// The whole listing, read at the start and sorted by name ignoring case, as Windows file
// systems yield it: a sorted list then receives every name at its end.
struct PosixSearch {
  std::vector<FoundEntry> entries;
  std::size_t next = 0;
};

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
      if (deviceKnown) entry.identity = IdentityOf(directoryInfo.st_dev, found->d_ino);
    } else if (fstatat(directoryFd, found->d_name, &info, 0) == 0) {
      FillEntry(info, name, &entry);
    } else {
      FillDanglingEntry(name, &entry);
    }
  }
  std::sort(entries.begin(), entries.end(), ListsBefore);
  return entries;
}

// A plain name, as it is spelled: one call where the name exists in this very case.
int32_t LookUpLiteralName(const std::string& path, std::string_view name, FoundEntry* entry) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return CodeOfErrno(errno);
  if (S_ISLNK(info.st_mode) && stat(path.c_str(), &info) != 0) {
    FillDanglingEntry(name, entry);
  } else {
    FillEntry(info, name, entry);
  }
  return 0;
}

SearchHandle StartSearch(std::vector<FoundEntry> entries, FoundEntry* entry) {
  auto* state = new PosixSearch{std::move(entries), 1};
  *entry = state->entries.front();
  return reinterpret_cast<SearchHandle>(state);
}

// The collation can only be applied to wide text; a name that is not valid in the
// locale's encoding falls back to its bytes.
bool ToFoldedWide(std::string_view text, std::wstring* wide) {
  wide->clear();
  mbstate_t state = {};
  std::size_t i = 0;
  while (i < text.size()) {
    wchar_t character;
    std::size_t used = mbrtowc(&character, text.data() + i, text.size() - i, &state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
      return false;
    }
    if (used == 0) used = 1;  // an embedded NUL
    wide->push_back(static_cast<wchar_t>(towlower(character)));
    i += used;
  }
  return true;
}

int32_t Sign(int value) {
  return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

int32_t CompareFoldedBytes(std::string_view a, std::string_view b, CaseRule rule) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (rule == CaseRule::kIgnoreCase) {
      if (x >= 'A' && x <= 'Z') x += 32;
      if (y >= 'A' && y <= 'Z') y += 32;
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void CopyCut(std::string_view text, char* out, std::size_t capacity) {
  if (capacity == 0) return;
  std::size_t n = std::min(text.size(), capacity - 1);
  memcpy(out, text.data(), n);
  out[n] = '\0';
}

std::string_view AfterLastSlash(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == path.npos ? path : path.substr(slash + 1);
}

void WriteIgnoringResult(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
}

int DescriptorOf(const Directory& directory) {
  return static_cast<int>(directory.handle());
}

// The empty name stands for the directory itself.
const char* NameInDirectory(const std::string& name) {
  return name.empty() ? "." : name.c_str();
}

// A directory is only ever used to reach names inside it, which needs no right to read it.
#ifdef O_PATH
constexpr int kDirectoryOpenFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kDirectoryOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

int32_t CodeOfDirectoryFailure(int error) {
  return error == ENOENT ? kPathNotFound : CodeOfErrno(error);
}

}  // namespace

int32_t OpenExistingForReading(const std::string& name, Handle* handle, DeviceKind* kind,
                               uint64_t* size) {
  *handle = kNoHandle;
  if (HoldsNul(name)) return kPathNotFound;
  int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return CodeOfOpenFailure(errno, name);
  struct stat info;
  if (fstat(fd, &info) != 0) return FailAndClose(fd, CodeOfErrno(errno));
  if (S_ISDIR(info.st_mode)) return FailAndClose(fd, kAccessDenied);
  if (int32_t code = LockForSharing(fd, LOCK_SH)) return FailAndClose(fd, code);
  if (kind) *kind = KindOfMode(info.st_mode);
  if (size) *size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
  *handle = fd;
  return 0;
}

int32_t CreateNewForWriting(const std::string& name, Handle* handle, DeviceKind* kind) {
  *handle = kNoHandle;
  if (HoldsNul(name)) return kPathNotFound;
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return CodeOfOpenFailure(errno, name);
  if (int32_t code = LockForSharing(fd, LOCK_EX)) return FailAndClose(fd, code);
  // A file made here and now is empty, regular and held by nobody else.
  if (kind) *kind = DeviceKind::kDisk;
  *handle = fd;
  return 0;
}

int32_t CreateForWriting(const std::string& name, Handle* handle, DeviceKind* kind) {
  int32_t code = CreateNewForWriting(name, handle, kind);
  if (code != kFileExists) return code;
  // Not O_TRUNC: the file is emptied only once the lock says nobody else holds it.
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return CodeOfOpenFailure(errno, name);
  if (int32_t code = LockForSharing(fd, LOCK_EX)) return FailAndClose(fd, code);
  struct stat info;
  if (fstat(fd, &info) != 0) return FailAndClose(fd, CodeOfErrno(errno));
  if (S_ISREG(info.st_mode) && info.st_size > 0 && ftruncate(fd, 0) != 0) {
    return FailAndClose(fd, CodeOfErrno(errno));
  }
  if (kind) *kind = KindOfMode(info.st_mode);
  *handle = fd;
  return 0;
}

int32_t IdentifyFile(const std::string& name, FileIdentity* identity, std::string* ownName) {
  if (ownName) ownName->clear();
  if (HoldsNul(name)) return kPathNotFound;
  struct stat info;
  if (stat(name.c_str(), &info) != 0) return CodeOfOpenFailure(errno, name);
  return IdentityOfStat(info, identity);
}

int32_t IdentifyHandle(Handle handle, FileIdentity* identity, std::string* ownName) {
  if (ownName) ownName->clear();
  struct stat info;
  if (fstat(static_cast<int>(handle), &info) != 0) return CodeOfErrno(errno);
  return IdentityOfStat(info, identity);
}

int32_t ReadSome(Handle handle, char* buffer, std::size_t capacity, std::size_t* count) {
  for (;;) {
    ssize_t got = read(static_cast<int>(handle), buffer, capacity);
    if (got >= 0) {
      *count = static_cast<std::size_t>(got);
      return 0;
    }
    if (errno != EINTR) {
      *count = 0;
      return CodeOfErrno(errno);
    }
  }
}

int32_t WriteAll(Handle handle, const char* bytes, std::size_t count) {
  while (count > 0) {
    ssize_t written = write(static_cast<int>(handle), bytes, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return CodeOfErrno(errno);
    }
    if (written == 0) return kDiskFull;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return 0;
}

int32_t CloseFileHandle(Handle handle) {
  if (close(static_cast<int>(handle)) != 0 && errno != EINTR) return CodeOfErrno(errno);
  return 0;
}

int32_t GetStandardHandle(StandardStream stream, Handle* handle) {
  int fd = static_cast<int>(stream);
  if (standardMissing[fd] || fcntl(fd, F_GETFD) == -1) {
    *handle = kNoHandle;
    return kInvalidHandle;
  }
  *handle = fd;
  return 0;
}

DeviceKind KindOf(Handle handle) {
  struct stat info;
  if (fstat(static_cast<int>(handle), &info) != 0) return DeviceKind::kUnknown;
  return KindOfMode(info.st_mode);
}

int32_t FindFirst(const std::string& pattern, SearchHandle* search, FoundEntry* entry,
                  EntryDetail detail) {
  *search = kNoSearch;
  if (pattern.empty() || HoldsNul(pattern)) return kFileNotFound;
  std::size_t slash = pattern.rfind('/');
  std::string directory = slash == std::string::npos ? std::string(".")
                          : slash == 0               ? std::string("/")
                                                     : pattern.substr(0, slash);
  std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (mask.empty()) return kFileNotFound;

  if (!HasWildcard(mask)) {
    int32_t code = LookUpLiteralName(pattern, mask, entry);
    if (code == 0) *search = StartSearch({*entry}, entry);
    // Missing in this case: the listing below finds it in any other, as every mask does.
    if (code != kFileNotFound) return code;
  }

  DIR* opened = opendir(directory.c_str());
  if (opened == nullptr) return errno == ENOENT ? kPathNotFound : CodeOfErrno(errno);
  std::vector<FoundEntry> entries = ReadMatchingEntries(opened, mask, detail);
  closedir(opened);
  if (entries.empty()) return kFileNotFound;
  *search = StartSearch(std::move(entries), entry);
  return 0;
}

int32_t FindNext(SearchHandle search, FoundEntry* entry) {
  auto* state = reinterpret_cast<PosixSearch*>(search);
  if (state == nullptr || state->next == state->entries.size()) return kNoMoreFiles;
  *entry = std::move(state->entries[state->next++]);
  return 0;
}

void FindClose(SearchHandle search) {
  delete reinterpret_cast<PosixSearch*>(search);
}

void Directory::Close() {
  if (IsOpen()) close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

int32_t OpenDirectory(const std::string& path, Directory* directory) {
  *directory = Directory();
  if (path.empty() || HoldsNul(path)) return kPathNotFound;
  int fd = open(path.c_str(), kDirectoryOpenFlags);
  if (fd < 0) return CodeOfDirectoryFailure(errno);
  *directory = Directory(fd, path);
  return 0;
}

int32_t OpenSubdirectory(const Directory& parent, const std::string& name, Directory* directory) {
  *directory = Directory();
  if (HoldsNul(name)) return kPathNotFound;
  int fd = openat(DescriptorOf(parent), NameInDirectory(name), kDirectoryOpenFlags | O_NOFOLLOW);
  if (fd >= 0) {
    *directory = Directory(fd, parent.path() + name + "/");
    return 0;
  }
  int error = errno;
  if (LookUpEntry(parent, name) == EntryKind::kLink) return kStoppedOnLink;
  return CodeOfDirectoryFailure(error);
}

EntryKind LookUpEntry(const Directory& directory, const std::string& name) {
  struct stat info;
  if (HoldsNul(name) ||
      fstatat(DescriptorOf(directory), NameInDirectory(name), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return EntryKind::kMissing;
  }
  if (S_ISREG(info.st_mode)) return EntryKind::kFile;
  if (S_ISDIR(info.st_mode)) return EntryKind::kDirectory;
  if (S_ISLNK(info.st_mode)) return EntryKind::kLink;
  return EntryKind::kOther;
}

int32_t CreateNewFileIn(const Directory& directory, const std::string& name, Handle* handle,
                        DeviceKind* kind) {
  *handle = kNoHandle;
  if (HoldsNul(name)) return kPathNotFound;
  // O_EXCL fails on any name that exists, a link included, and so never follows one.
  int fd = openat(DescriptorOf(directory), NameInDirectory(name),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return CodeOfErrno(errno);
  if (int32_t code = LockForSharing(fd, LOCK_EX)) return FailAndClose(fd, code);
  if (kind) *kind = DeviceKind::kDisk;
  *handle = fd;
  return 0;
}

int32_t OpenExistingFileIn(const Directory& directory, const std::string& name, Handle* handle,
                           DeviceKind* kind) {
  *handle = kNoHandle;
  if (HoldsNul(name)) return kPathNotFound;
  // Non-blocking, so that a FIFO put there meanwhile cannot hold the open; it is then
  // refused below like any other file that is not regular.
  int fd = openat(DescriptorOf(directory), NameInDirectory(name),
                  O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ELOOP) return kStoppedOnLink;
    return errno == ENXIO ? kAccessDenied : CodeOfErrno(errno);
  }
  struct stat info;
  if (fstat(fd, &info) != 0) return FailAndClose(fd, CodeOfErrno(errno));
  if (!S_ISREG(info.st_mode)) return FailAndClose(fd, kAccessDenied);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (int32_t code = LockForSharing(fd, LOCK_EX)) return FailAndClose(fd, code);
  if (info.st_size > 0 && ftruncate(fd, 0) != 0) return FailAndClose(fd, CodeOfErrno(errno));
  if (kind) *kind = DeviceKind::kDisk;
  *handle = fd;
  return 0;
}

int32_t RemoveLinkIn(const Directory& directory, const std::string& name) {
  if (HoldsNul(name)) return kPathNotFound;
  return unlinkat(DescriptorOf(directory), NameInDirectory(name), 0) == 0 ? 0 : CodeOfErrno(errno);
}

int32_t SetAttributeBits(const std::string&, uint32_t) {
  return 1;
}

std::string FullPathName(const std::string& name) {
  if (name.empty() || HoldsNul(name)) return std::string();
  std::string current;
  if (name.front() != '/') {
    current = CurrentDirectoryName();
    if (current.empty() || current.front() != '/') return std::string();
  }
  std::string full = ResolveLexically(current, name);
  if (full.size() > kMaxPathBytes) return std::string();
  return full;
}

std::string CurrentDirectoryName() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr) return ".";
  return buffer;
}

LeadByteSet AnsiLeadBytes() {
  return LeadByteSet();
}

int32_t LocaleCompare(std::string_view a, std::string_view b, CaseRule rule) {
  if (collationIsBytes) return CompareFoldedBytes(a, b, rule);
  std::wstring wideA;
  std::wstring wideB;
  if (rule == CaseRule::kSensitive || !ToFoldedWide(a, &wideA) || !ToFoldedWide(b, &wideB)) {
    return CompareFoldedBytes(a, b, rule);
  }
  if (int32_t order = Sign(wcscoll(wideA.c_str(), wideB.c_str()))) return order;
  // Texts the collation cannot tell apart still need a total order.
  return Sign(wideA.compare(wideB));
}

void StartProcess(int argc, char** argv) {
  bool closed[3];
  for (int fd = 0; fd < 3; ++fd)
    closed[fd] = fcntl(fd, F_GETFD) == -1 && errno == EBADF;
  for (int fd = 0; fd < 3; ++fd) {
    if (!closed[fd]) continue;
    int placeholder = open("/dev/null", O_RDWR);
    if (placeholder >= 0 && placeholder != fd) {
      dup2(placeholder, fd);
      close(placeholder);
    }
    standardMissing[fd] = true;
  }
  // A reader that went away must show as a failed write, not end the process unseen.
  signal(SIGPIPE, SIG_IGN);

  setlocale(LC_COLLATE, "");
  setlocale(LC_CTYPE, "");
  const char* collation = setlocale(LC_COLLATE, nullptr);
  // These collate by code point, which is the order of the bytes.
  collationIsBytes = collation == nullptr || strcmp(collation, "C") == 0 ||
                     strcmp(collation, "POSIX") == 0 || strcmp(collation, "C.UTF-8") == 0 ||
                     strcmp(collation, "C.utf8") == 0;

  delete deliveredArguments;
  deliveredArguments = new std::vector<std::string>(argv, argv + argc);
}

bool RawCommandLine(std::string* line) {
  line->clear();
  return false;
}

const std::vector<std::string>& DeliveredArguments() {
  static const std::vector<std::string> kNone;
  return deliveredArguments ? *deliveredArguments : kNone;
}

std::string ModuleFileName() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
  if (deliveredArguments && !deliveredArguments->empty()) return deliveredArguments->front();
  return std::string();
}

void DescribeCodeAddress(const void* address, char* moduleName, std::size_t capacity,
                         uintptr_t* offset) {
  Dl_info info;
  if (address != nullptr && dladdr(address, &info) != 0 && info.dli_fname != nullptr) {
    CopyCut(AfterLastSlash(info.dli_fname), moduleName, capacity);
    *offset = reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(info.dli_fbase);
    return;
  }
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  CopyCut(AfterLastSlash(std::string_view(path, n > 0 ? static_cast<std::size_t>(n) : 0)),
          moduleName, capacity);
  uintptr_t position = reinterpret_cast<uintptr_t>(address);
  *offset = position == 0 ? 0 : position - 0x1000;
}

void ConvertToOem(char*) {}

void WriteToErrorOutput(const char* bytes, std::size_t count) {
  WriteIgnoringResult(STDERR_FILENO, bytes, count);
}

void WriteToStandardOutputHandle(const char* bytes, std::size_t count) {
  WriteIgnoringResult(STDOUT_FILENO, bytes, count);
}

void InstallFaultHandler(FaultHandler handler) {
  faultHandler = handler;
  // Its own stack, so that a stack overflow can still be reported.
  static char alternateStack[64 * 1024];
  stack_t stack = {};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);
  struct sigaction action = {};
  action.sa_sigaction = &OnFaultSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
    sigaction(number, &action, nullptr);
}

void ExitProcessWith(int32_t status) {
  _exit(status);
}

}  // namespace quillpack::platform

// ---------------------------------------------------------------------------------------
// Warming the file cache: a block of its own, with its own includes.

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>

namespace quillpack::platform {
namespace {

// Whether the file's first page is in the cache already: a read that must not wait tells;
// a file system that cannot read that way (tmpfs) is asked through a mapping instead.
bool StartIsCached(int fd) {
  char byte;
  struct iovec one = {&byte, 1};
  if (preadv2(fd, &one, 1, 0, RWF_NOWAIT) >= 0) return true;
  if (errno != EOPNOTSUPP && errno != EINVAL) return false;
  void* page = mmap(nullptr, 1, PROT_READ, MAP_SHARED, fd, 0);
  if (page == MAP_FAILED) return false;
  unsigned char resident = 0;
  bool cached = mincore(page, 1, &resident) == 0 && (resident & 1) != 0;
  munmap(page, 1);
  return cached;
}

}  // namespace

uint64_t WarmFile(const std::string& name, uint64_t maxBytes) {
  if (name.find('\0') != std::string::npos || maxBytes == 0) return 0;
  // No flock, so that nobody's lock fails because of the warmer; non-blocking, so that a
  // FIFO put there meanwhile cannot hold it.
  int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return 0;
  uint64_t bytes = 0;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    bytes = std::min(static_cast<uint64_t>(info.st_size), maxBytes);
    if (bytes > 0 && (StartIsCached(fd) ||
                      posix_fadvise(fd, 0, static_cast<off_t>(bytes), POSIX_FADV_WILLNEED) != 0)) {
      bytes = 0;
    }
  }
  close(fd);
  return bytes;
}

}  // namespace quillpack::platform
