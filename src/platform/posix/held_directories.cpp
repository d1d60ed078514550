// Directories held open on POSIX: every name is reached relative to a descriptor, with
// no-follow opens, so that nothing renamed or swapped for a link meanwhile redirects it.

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace quillpack::platform {

using posix::CodeOfErrno;
using posix::FailAndClose;
using posix::HoldsNul;
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
    *directory = Directory(OwnedHandle(fd), parent.path() + name + "/");
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

int32_t OpenExistingFileIn(const Directory& directory, const std::string& name, OwnedHandle* handle,
                           DeviceKind* kind) {
  *handle = OwnedHandle();
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
  *handle = OwnedHandle(fd);
  return 0;
}

int32_t RemoveLinkIn(const Directory& directory, const std::string& name) {
  if (HoldsNul(name)) return kPathNotFound;
  return unlinkat(DescriptorOf(directory), NameInDirectory(name), 0) == 0 ? 0 : CodeOfErrno(errno);
}

}  // namespace quillpack::platform
