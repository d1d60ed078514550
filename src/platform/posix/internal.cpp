// What the files of the POSIX backend share: the one table from errno to failure codes,
// the sharing locks. Their contracts are in internal.h.

#include <errno.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/internal.h"

namespace quillpack::platform::posix {
namespace {

// The Win32 codes of the failures below that the layers above do not name.
constexpr int32_t kNotEnoughMemory = 8;
constexpr int32_t kGeneralFailure = 31;
constexpr int32_t kInvalidParameter = 87;
constexpr int32_t kFileTooLarge = 223;
constexpr int32_t kPipeClosing = 232;
constexpr int32_t kDeviceFailure = 1117;

// errno values and the failure codes that mean the same. Anything not listed becomes the
// general failure, so that every failure still reads as a stable number.
struct ErrnoCode {
  int error;
  int32_t code;
};
constexpr ErrnoCode kErrnoCodes[] = {
    {ENOENT, kFileNotFound},  // refined to 3 when the directory is missing
    {ENOTDIR, kPathNotFound},      {EEXIST, kFileExists},
    {ENAMETOOLONG, kPathNotFound}, {EMFILE, kTooManyOpenFiles},
    {ENFILE, kTooManyOpenFiles},   {EACCES, kAccessDenied},
    {EPERM, kAccessDenied},        {EISDIR, kAccessDenied},
    {EROFS, kAccessDenied},        {EBADF, kInvalidHandle},
    {ENOMEM, kNotEnoughMemory},    {EINVAL, kInvalidParameter},
    {ETXTBSY, kSharingViolation},  {EBUSY, kBusy},
    {EXDEV, kNotSameDevice},       {EAGAIN, kBusy},
    {ENOSPC, kDiskFull},           {EDQUOT, kDiskFull},
    {EFBIG, kFileTooLarge},        {EPIPE, kPipeClosing},
    {EIO, kDeviceFailure},
};

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int32_t CodeOfErrno(int error, LastPart lastPart) {
  if (error == ELOOP) return lastPart == LastPart::kLinkFollowed ? kPathNotFound : kStoppedOnLink;
  for (const ErrnoCode& entry : kErrnoCodes) {
    if (entry.error == error) return entry.code;
  }
  return kGeneralFailure;
}

int32_t CodeOfOpenFailure(int error, const std::string& name) {
  if (error != ENOENT) return CodeOfErrno(error);
  std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) return kFileNotFound;
  std::string directory = slash == 0 ? std::string("/") : name.substr(0, slash);
  return IsDirectory(directory) ? kFileNotFound : kPathNotFound;
}

bool HoldsNul(const std::string& name) {
  return name.find('\0') != std::string::npos;
}

DeviceKind KindOfOpened(int fd, mode_t mode) {
  if (S_ISCHR(mode)) return isatty(fd) ? DeviceKind::kTerminal : DeviceKind::kCharacter;
  if (S_ISFIFO(mode) || S_ISSOCK(mode)) return DeviceKind::kPipe;
  return DeviceKind::kDisk;
}

// Locks belong to the open file description, so two opens in one process conflict as on
// Windows. A file system without locks shares everything.
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

FileIdentity IdentityOf(dev_t device, ino_t inode) {
  return {static_cast<uint64_t>(device), static_cast<uint64_t>(inode)};
}

FileStamp StampOfStat(const struct stat& info) {
  constexpr int64_t kNanosecondsPerSecond = 1000000000;
  return {static_cast<uint64_t>(info.st_size),
          static_cast<int64_t>(info.st_mtim.tv_sec) * kNanosecondsPerSecond + info.st_mtim.tv_nsec};
}

}  // namespace quillpack::platform::posix
