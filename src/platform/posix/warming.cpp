// Warming the file cache on POSIX: hints that lock nothing and record nothing.

#include "platform/platform.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
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

// The blocks this thread has had read from a disk so far (a folder whose entries were in
// the cache adds none), or -1 where the system does not count them per thread.
long BlocksReadByThisThread() {
#ifdef RUSAGE_THREAD
  struct rusage usage;
  if (getrusage(RUSAGE_THREAD, &usage) == 0) return usage.ru_inblock;
#endif
  return -1;
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

bool WarmFolderIn(const Directory& directory, const std::string& path) {
  if (path.find('\0') != std::string::npos) return false;
  long before = BlocksReadByThisThread();
  int fd = openat(static_cast<int>(directory.handle()), path.c_str(),
                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* entries = fdopendir(fd);
  if (entries == nullptr) {
    close(fd);
    return false;
  }
  while (readdir(entries) != nullptr) {
  }
  closedir(entries);
  return before < 0 || BlocksReadByThisThread() > before;
}

}  // namespace quillpack::platform
