// Warming the file cache on POSIX: hints that lock nothing and record nothing.

#include "platform/platform.h"

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

// No flock, so that nobody's lock fails because of the warmer; non-blocking, so that a
// FIFO put there meanwhile cannot hold it.
constexpr int kWarmOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

uint64_t WarmOpened(int fd, uint64_t maxBytes) {
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

}  // namespace

uint64_t WarmFile(const std::string& name, uint64_t maxBytes) {
  if (name.find('\0') != std::string::npos || maxBytes == 0) return 0;
  return WarmOpened(open(name.c_str(), kWarmOpenFlags), maxBytes);
}

uint64_t WarmFileIn(const Directory& directory, const std::string& name, uint64_t maxBytes) {
  if (name.find('\0') != std::string::npos || maxBytes == 0) return 0;
  return WarmOpened(openat(static_cast<int>(directory.handle()), name.c_str(), kWarmOpenFlags),
                    maxBytes);
}

}  // namespace quillpack::platform
