// Test helper, POSIX only: loaded into the tool ahead of the C library (LD_PRELOAD), it
// stands in for systems that the machine running the tests is not. QUILLPACK_REFUSE says
// what it refuses:
//   "create": making a file without a name (O_TMPFILE), as file systems without such
//             files answer (EOPNOTSUPP);
//   "name":   naming such a file by its descriptor, directly or through /proc, as kernels
//             before 6.10 answer an ordinary user where /proc is not mounted (ENOENT).
// Each refusal adds a line to the file QUILLPACK_REFUSED_LOG names, when it names one.
// Everything else goes to the system as it is.

#undef _FORTIFY_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool Refuses(const char* what) {
  const char* refused = getenv("QUILLPACK_REFUSE");
  return refused != nullptr && strstr(refused, what) != nullptr;
}

// Notes a refusal and fails as the system would with `error`.
int Refuse(const char* line, int error) {
  if (const char* log = getenv("QUILLPACK_REFUSED_LOG")) {
    int fd = static_cast<int>(
        syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (fd >= 0) {
      ssize_t ignored = write(fd, line, strlen(line));
      (void)ignored;
      close(fd);
    }
  }
  errno = error;
  return -1;
}

bool IsUnderProc(const char* path) {
  return path != nullptr && strncmp(path, "/proc/", 6) == 0;
}

int OpenAt(int directory, const char* path, int flags, mode_t mode) {
  if ((flags & O_TMPFILE) == O_TMPFILE && Refuses("create")) {
    return Refuse("create\n", EOPNOTSUPP);
  }
  return static_cast<int>(syscall(SYS_openat, directory, path, flags, mode));
}

}  // namespace

extern "C" int openat(int directory, const char* path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(rest, mode_t) : 0;
  va_end(rest);
  return OpenAt(directory, path, flags, mode);
}

extern "C" int openat64(int directory, const char* path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(rest, mode_t) : 0;
  va_end(rest);
  return OpenAt(directory, path, flags, mode);
}

extern "C" int linkat(int fromDirectory, const char* from, int toDirectory, const char* to,
                      int flags) {
  if (Refuses("name") && ((flags & AT_EMPTY_PATH) || IsUnderProc(from))) {
    return Refuse("name\n", ENOENT);
  }
  return static_cast<int>(syscall(SYS_linkat, fromDirectory, from, toDirectory, to, flags));
}

extern "C" int access(const char* path, int mode) {
  if (Refuses("name") && IsUnderProc(path)) return Refuse("no /proc\n", ENOENT);
  return static_cast<int>(syscall(SYS_faccessat, AT_FDCWD, path, mode));
}
