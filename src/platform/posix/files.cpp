// Files and standard handles on POSIX.

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace quillpack::platform {

using posix::CodeOfErrno;
using posix::CodeOfOpenFailure;
using posix::FailAndClose;
using posix::HoldsNul;
using posix::KindOfOpened;
using posix::LockForSharing;

namespace {

// Standard descriptors that were closed when the process started; each is held by a
// placeholder on /dev/null and still reports itself as missing.
bool standardMissing[3] = {false, false, false};

// Standard output with no reader left is told apart: nothing the run says reaches anyone.
int32_t WriteFailure(int fd, int error) {
  return error == EPIPE && fd == STDOUT_FILENO ? kStandardOutputGone : CodeOfErrno(error);
}

int32_t IdentityOfStat(const struct stat& info, FileIdentity* identity) {
  if (!S_ISREG(info.st_mode)) return kAccessDenied;
  *identity = posix::IdentityOf(info.st_dev, info.st_ino);
  return 0;
}

// What both ways of opening for reading do once the file is open.
int32_t TakeForReading(int fd, OwnedHandle* handle, DeviceKind* kind, uint64_t* size) {
  struct stat info;
  if (fstat(fd, &info) != 0) return FailAndClose(fd, CodeOfErrno(errno));
  if (S_ISDIR(info.st_mode)) return FailAndClose(fd, kAccessDenied);
  if (int32_t code = LockForSharing(fd, LOCK_SH)) return FailAndClose(fd, code);
  if (kind) *kind = KindOfOpened(fd, info.st_mode);
  if (size) *size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
  *handle = OwnedHandle(fd);
  return 0;
}

}  // namespace

void posix::HoldMissingStandardDescriptors() {
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
}

int32_t OpenExistingForReading(const std::string& name, OwnedHandle* handle, DeviceKind* kind,
                               uint64_t* size) {
  *handle = OwnedHandle();
  if (HoldsNul(name)) return kPathNotFound;
  int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return CodeOfOpenFailure(errno, name);
  return TakeForReading(fd, handle, kind, size);
}

int32_t OpenExistingForReadingIn(const Directory& directory, const std::string& name,
                                 OwnedHandle* handle, OpenedFile* opened) {
  *handle = OwnedHandle();
  if (HoldsNul(name)) return kPathNotFound;
  // Non-blocking, so that a FIFO put there meanwhile cannot hold the open.
  int fd = openat(static_cast<int>(directory.handle()), name.c_str(),
                  O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno == ENXIO ? kNotRegularFile : CodeOfErrno(errno);
  struct stat info;
  if (fstat(fd, &info) != 0) return FailAndClose(fd, CodeOfErrno(errno));
  // O_NONBLOCK stays: it changes nothing for a regular file, and clearing it would cost a
  // call per source.
  if (!S_ISREG(info.st_mode)) return FailAndClose(fd, kNotRegularFile);
  if (int32_t code = LockForSharing(fd, LOCK_SH)) return FailAndClose(fd, code);
  if (opened) {
    opened->kind = DeviceKind::kDisk;
    opened->identity = posix::IdentityOf(info.st_dev, info.st_ino);
    opened->stamp = posix::StampOfStat(info);
  }
  *handle = OwnedHandle(fd);
  return 0;
}

int32_t StampOf(Handle handle, FileStamp* stamp) {
  struct stat info;
  if (fstat(static_cast<int>(handle), &info) != 0) return CodeOfErrno(errno);
  *stamp = posix::StampOfStat(info);
  return 0;
}

int32_t CreateNewForWriting(const std::string& name, OwnedHandle* handle, DeviceKind* kind) {
  *handle = OwnedHandle();
  if (HoldsNul(name)) return kPathNotFound;
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return CodeOfOpenFailure(errno, name);
  if (int32_t code = LockForSharing(fd, LOCK_EX)) return FailAndClose(fd, code);
  // A file made here and now is empty, regular and held by nobody else.
  if (kind) *kind = DeviceKind::kDisk;
  *handle = OwnedHandle(fd);
  return 0;
}

int32_t CreateForWriting(const std::string& name, OwnedHandle* handle, DeviceKind* kind) {
  int32_t code = CreateNewForWriting(name, handle, kind);
  if (code != kFileExists) return code;
  // Not O_TRUNC: the file is emptied only once the lock says nobody else holds it.
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return CodeOfOpenFailure(errno, name);
  if (int32_t locked = LockForSharing(fd, LOCK_EX)) return FailAndClose(fd, locked);
  struct stat info;
  if (fstat(fd, &info) != 0) return FailAndClose(fd, CodeOfErrno(errno));
  if (S_ISREG(info.st_mode) && info.st_size > 0 && ftruncate(fd, 0) != 0) {
    return FailAndClose(fd, CodeOfErrno(errno));
  }
  if (kind) *kind = KindOfOpened(fd, info.st_mode);
  *handle = OwnedHandle(fd);
  return 0;
}

int32_t DuplicateHandleOf(Handle handle, OwnedHandle* copy) {
  *copy = OwnedHandle();
  int fd = fcntl(static_cast<int>(handle), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return CodeOfErrno(errno);
  *copy = OwnedHandle(fd);
  return 0;
}

int32_t FlushToDisk(Handle handle) {
  while (fdatasync(static_cast<int>(handle)) != 0) {
    if (errno != EINTR) return CodeOfErrno(errno);
  }
  return 0;
}

int32_t WriteInPlace(Handle held, Handle from) {
  int to = static_cast<int>(held);
  if (ftruncate(to, 0) != 0 || lseek(to, 0, SEEK_SET) != 0) return CodeOfErrno(errno);
  if (from == kNoHandle) return 0;
  char buffer[64 * 1024];
  for (off_t at = 0;;) {
    ssize_t got = pread(static_cast<int>(from), buffer, sizeof buffer, at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return CodeOfErrno(errno);
    if (got == 0) return 0;
    if (int32_t code = WriteAll(held, buffer, static_cast<std::size_t>(got))) return code;
    at += got;
  }
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
      return WriteFailure(static_cast<int>(handle), errno);
    }
    if (written == 0) return kDiskFull;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return 0;
}

void LetPipeHold(Handle handle, std::size_t bytes) {
#if defined(F_SETPIPE_SZ)
  int fd = static_cast<int>(handle);
  int now = fcntl(fd, F_GETPIPE_SZ);
  if (now >= 0 && static_cast<std::size_t>(now) < bytes) {
    fcntl(fd, F_SETPIPE_SZ, static_cast<int>(bytes));
  }
#else
  (void)handle;
  (void)bytes;
#endif
}

int32_t WriteAllOfTwo(Handle handle, std::string_view first, std::string_view second) {
  iovec pieces[2] = {{const_cast<char*>(first.data()), first.size()},
                     {const_cast<char*>(second.data()), second.size()}};
  iovec* next = pieces;
  int left = 2;
  while (left > 0) {
    if (next->iov_len == 0) {
      ++next;
      --left;
      continue;
    }
    ssize_t written = writev(static_cast<int>(handle), next, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return WriteFailure(static_cast<int>(handle), errno);
    }
    if (written == 0) return kDiskFull;
    // A short write leaves the rest of the pieces for the next round.
    for (std::size_t taken = static_cast<std::size_t>(written); taken > 0;) {
      std::size_t part = std::min(taken, next->iov_len);
      next->iov_base = static_cast<char*>(next->iov_base) + part;
      next->iov_len -= part;
      taken -= part;
      if (next->iov_len == 0 && left > 1) {
        ++next;
        --left;
      }
    }
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

int32_t OpenTerminal(StandardStream side, OwnedHandle* handle) {
  *handle = OwnedHandle();
  int flags = side == StandardStream::kInput ? O_RDONLY : O_WRONLY;
  int fd = open("/dev/tty", flags | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return CodeOfErrno(errno);
  *handle = OwnedHandle(fd);
  return 0;
}

bool IsStandardInput(const std::string& name) {
  struct stat input;
  struct stat named;
  if (HoldsNul(name) || standardMissing[STDIN_FILENO] || fstat(STDIN_FILENO, &input) != 0 ||
      stat(name.c_str(), &named) != 0) {
    return false;
  }
  return input.st_dev == named.st_dev && input.st_ino == named.st_ino;
}

DeviceKind KindOf(Handle handle) {
  struct stat info;
  if (fstat(static_cast<int>(handle), &info) != 0) return DeviceKind::kUnknown;
  return KindOfOpened(static_cast<int>(handle), info.st_mode);
}

}  // namespace quillpack::platform
