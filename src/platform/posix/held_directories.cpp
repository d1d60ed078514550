// Directories held open on POSIX: every name is reached relative to a descriptor, with
// no-follow opens, so that nothing renamed or swapped for a link meanwhile redirects it.

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <utility>

#include "platform/platform.h"
#include "platform/posix/internal.h"
#include "platform/temporary_name.h"

namespace quillpack::platform {

using posix::CodeOfErrno;
using posix::FailAndClose;
using posix::HoldsNul;
using posix::KindOfOpened;
using posix::LockForSharing;

namespace {

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

std::string TemporaryName(int attempt) {
  static const uint64_t process = static_cast<uint64_t>(getpid());
  struct timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t moment =
      static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
  return TemporaryFileName(TemporaryNameSeed(process, moment, attempt));
}

int RenameWithoutReplacing(int directory, const char* from, const char* to) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 28))
  return renameat2(directory, from, directory, to, RENAME_NOREPLACE);
#elif defined(SYS_renameat2)
  constexpr unsigned kRenameNoReplace = 1;
  return static_cast<int>(syscall(SYS_renameat2, directory, from, directory, to, kRenameNoReplace));
#else
  errno = ENOSYS;
  return -1;
#endif
}

// What a kernel or file system answers for a rename flag it does not know.
bool KnowsNoSuchRename(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// What a file system answers when it keeps no hard links (vfat answers EPERM).
bool KeepsNoHardLinks(int error) {
  return error == EPERM || error == ENOSYS || error == EOPNOTSUPP;
}

#if defined(O_TMPFILE) && defined(AT_EMPTY_PATH)
// What a kernel or file system answers when it makes no unnamed files: kernels that do not
// know O_TMPFILE take it for a directory opened for writing (EISDIR).
bool MakesNoUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

// Links the file open on `fd` as `name` inside `at`. A kernel that links a file by its
// descriptor for privileged callers only refuses others with ENOENT; /proc names the same
// file for them.
int LinkOpenFile(int fd, int at, const char* name) {
  if (linkat(fd, "", at, name, AT_EMPTY_PATH) == 0) return 0;
  if (errno != ENOENT) return -1;
  char path[32];
  snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  return linkat(AT_FDCWD, path, at, name, AT_SYMLINK_FOLLOW);
}
#else
int LinkOpenFile(int, int, const char*) {
  errno = EOPNOTSUPP;
  return -1;
}
#endif

// The code of a failed LinkOpenFile: without /proc a file is named by its descriptor only
// where the kernel lets everyone do so.
int32_t CodeOfLinkFailure(int error) {
  if (error == ENOENT && access("/proc/self/fd", F_OK) != 0) return kUnsupportedOperation;
  if (error == EOPNOTSUPP) return kUnsupportedOperation;
  return CodeOfErrno(error);
}

}  // namespace

int32_t OpenDirectory(const std::string& path, Directory* directory) {
  *directory = Directory();
  if (path.empty() || HoldsNul(path)) return kPathNotFound;
  int fd = open(path.c_str(), kDirectoryOpenFlags);
  if (fd < 0) return CodeOfDirectoryFailure(errno);
  *directory = Directory(OwnedHandle(fd), path);
  return 0;
}

int32_t OpenSubdirectory(const Directory& parent, const std::string& name, Directory* directory) {
  *directory = Directory();
  if (HoldsNul(name)) return kPathNotFound;
  int fd = openat(DescriptorOf(parent), NameInDirectory(name), kDirectoryOpenFlags | O_NOFOLLOW);
  if (fd >= 0) {
    *directory = Directory(OwnedHandle(fd), std::string());
    return 0;
  }
  int error = errno;
  if (LookUpEntry(parent, name) == EntryKind::kLink) return kStoppedOnLink;
  return CodeOfDirectoryFailure(error);
}

int32_t IdentifyDirectory(const Directory& directory, FileIdentity* identity) {
  struct stat info;
  if (fstat(DescriptorOf(directory), &info) != 0) return CodeOfErrno(errno);
  *identity = posix::IdentityOf(info.st_dev, info.st_ino);
  return 0;
}

bool IsStillSubdirectory(const Directory& parent, const std::string& name,
                         const FileIdentity& identity) {
  struct stat info;
  return !HoldsNul(name) &&
         fstatat(DescriptorOf(parent), NameInDirectory(name), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(info.st_mode) && posix::IdentityOf(info.st_dev, info.st_ino) == identity;
}

int32_t CreateSubdirectoryIn(const Directory& parent, const std::string& name) {
  if (HoldsNul(name)) return kPathNotFound;
  // mkdirat never follows a link at the name: it fails as on any name that exists.
  if (mkdirat(DescriptorOf(parent), NameInDirectory(name), 0777) == 0) return 0;
  return errno == ENOENT ? kPathNotFound : CodeOfErrno(errno);
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

int32_t CreateNewFileIn(const Directory& directory, const std::string& name, OwnedHandle* handle,
                        DeviceKind* kind) {
  *handle = OwnedHandle();
  if (HoldsNul(name)) return kPathNotFound;
  // O_EXCL fails on any name that exists, a link included, and so never follows one.
  int fd = openat(DescriptorOf(directory), NameInDirectory(name),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return CodeOfErrno(errno);
  if (int32_t code = LockForSharing(fd, LOCK_EX)) return FailAndClose(fd, code);
  if (kind) *kind = DeviceKind::kDisk;
  *handle = OwnedHandle(fd);
  return 0;
}

int32_t HoldForReplacingIn(const Directory& directory, const std::string& name,
                           OwnedHandle* handle) {
  *handle = OwnedHandle();
  if (HoldsNul(name)) return kPathNotFound;
  // Non-blocking, so that a FIFO put there meanwhile cannot hold the open; it is then
  // refused below like anything else that is no regular file.
  int fd = openat(DescriptorOf(directory), NameInDirectory(name),
                  O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENXIO || errno == EISDIR) return kNotRegularFile;
    return CodeOfErrno(errno, posix::LastPart::kLinkNotFollowed);
  }
  struct stat info;
  if (fstat(fd, &info) != 0) return FailAndClose(fd, CodeOfErrno(errno));
  if (!S_ISREG(info.st_mode)) return FailAndClose(fd, kNotRegularFile);
  if (int32_t code = LockForSharing(fd, LOCK_EX)) return FailAndClose(fd, code);
  *handle = OwnedHandle(fd);
  return 0;
}

int32_t OpenExistingForWritingIn(const Directory& directory, const std::string& name,
                                 OwnedHandle* handle, DeviceKind* kind,
                                 std::optional<FileIdentity>* identity) {
  *handle = OwnedHandle();
  if (identity) identity->reset();
  if (HoldsNul(name)) return kPathNotFound;
  // Without O_CREAT a link leads only to what exists: nothing is made at its other end.
  int fd = openat(DescriptorOf(directory), NameInDirectory(name), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return CodeOfErrno(errno);
  struct stat info;
  if (fstat(fd, &info) != 0) return FailAndClose(fd, CodeOfErrno(errno));
  if (S_ISREG(info.st_mode)) {
    // Emptied only once the lock says nobody else holds it.
    if (int32_t code = LockForSharing(fd, LOCK_EX)) return FailAndClose(fd, code);
    if (info.st_size > 0 && ftruncate(fd, 0) != 0) return FailAndClose(fd, CodeOfErrno(errno));
    if (identity) *identity = posix::IdentityOf(info.st_dev, info.st_ino);
  }
  if (kind) *kind = KindOfOpened(fd, info.st_mode);
  *handle = OwnedHandle(fd);
  return 0;
}

int32_t CreateTemporaryFileIn(const Directory& directory, Handle like, std::string* name,
                              OwnedHandle* handle, DeviceKind* kind) {
  *handle = OwnedHandle();
  int at = DescriptorOf(directory);
  // Beside a file it is to replace, the new file is its writer's alone until the old file's
  // access comes to it, after its content (TakeAccessOf); a new name gets what any new
  // file gets, umask and default ACL included.
  mode_t mode = like == kNoHandle ? 0666 : 0600;
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    std::string candidate = TemporaryName(attempt);
    // In care before it exists, so that no interrupt can fall between its making and its
    // care; the name is random enough that one taken meanwhile is another run's by chance.
    posix::NoteTemporaryFile(at, candidate);
    int fd = openat(at, candidate.c_str(),
                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
    if (fd >= 0) {
      if (kind) *kind = DeviceKind::kDisk;
      *name = std::move(candidate);
      *handle = OwnedHandle(fd);
      return 0;
    }
    int error = errno;
    ForgetTemporaryFile(candidate);
    if (error != EEXIST) return CodeOfErrno(error);
  }
  return kFileExists;
}

int32_t CreateUnnamedFileIn(const Directory& directory, OwnedHandle* handle, DeviceKind* kind) {
  *handle = OwnedHandle();
#if defined(O_TMPFILE) && defined(AT_EMPTY_PATH)
  // Without O_EXCL, so that it can be linked; no lock, as nobody else can reach it.
  int fd = openat(DescriptorOf(directory), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) return MakesNoUnnamedFiles(errno) ? kUnsupportedOperation : CodeOfErrno(errno);
  if (kind) *kind = DeviceKind::kDisk;
  *handle = OwnedHandle(fd);
  return 0;
#else
  (void)directory;
  (void)kind;
  return kUnsupportedOperation;
#endif
}

int32_t NameUnnamedFileIn(Handle handle, const Directory& directory, const std::string& name) {
  if (HoldsNul(name)) return kPathNotFound;
  // linkat never follows a link at the new name, and never replaces what is there.
  if (LinkOpenFile(static_cast<int>(handle), DescriptorOf(directory), NameInDirectory(name)) == 0) {
    return 0;
  }
  return CodeOfLinkFailure(errno);
}

int32_t NameUnnamedFileAsTemporaryIn(Handle handle, const Directory& directory, std::string* name) {
  int at = DescriptorOf(directory);
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    std::string candidate = TemporaryName(attempt);
    posix::NoteTemporaryFile(at, candidate);
    if (LinkOpenFile(static_cast<int>(handle), at, candidate.c_str()) == 0) {
      *name = std::move(candidate);
      return 0;
    }
    int error = errno;
    ForgetTemporaryFile(candidate);
    if (error != EEXIST) return CodeOfLinkFailure(error);
  }
  return kFileExists;
}

int32_t RenameIn(const Directory& directory, const std::string& from, const std::string& to) {
  if (HoldsNul(from) || HoldsNul(to)) return kPathNotFound;
  int fd = DescriptorOf(directory);
  return renameat(fd, from.c_str(), fd, NameInDirectory(to)) == 0 ? 0 : CodeOfErrno(errno);
}

int32_t RenameUnlessTakenIn(const Directory& directory, const std::string& from,
                            const std::string& to) {
  if (HoldsNul(from) || HoldsNul(to)) return kPathNotFound;
  int at = DescriptorOf(directory);
  const char* target = NameInDirectory(to);
  if (RenameWithoutReplacing(at, from.c_str(), target) == 0) return 0;
  if (!KnowsNoSuchRename(errno)) return CodeOfErrno(errno);
  // A hard link is refused on a taken name just as well (NFS, older kernels).
  if (linkat(at, from.c_str(), at, target, 0) != 0) {
    return KeepsNoHardLinks(errno) ? kUnsupportedOperation : CodeOfErrno(errno);
  }
  unlinkat(at, from.c_str(), 0);
  return 0;
}

int32_t RemoveFileIn(const Directory& directory, const std::string& name) {
  if (HoldsNul(name)) return kPathNotFound;
  return unlinkat(DescriptorOf(directory), NameInDirectory(name), 0) == 0 ? 0 : CodeOfErrno(errno);
}

}  // namespace quillpack::platform
