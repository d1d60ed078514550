// Where a symbolic link leads on POSIX, found as the kernel would find it, but one step at
// a time from directories held: each link's text is read and walked part by part, so that
// the folder that holds the file at the end is held itself and can be told to lie below
// another by going up from it.

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace quillpack::platform {
namespace {

// As many links in a row as the kernel follows in one lookup.
constexpr int kMostLinksInARow = 40;

#ifdef O_PATH
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
#endif

int32_t OpenFolderAt(int at, const char* name, OwnedHandle* folder) {
  int fd = openat(at, name, kFolderFlags);
  if (fd < 0) {
    return errno == ENOENT ? kPathNotFound
                           : posix::CodeOfErrno(errno, posix::LastPart::kLinkNotFollowed);
  }
  *folder = OwnedHandle(fd);
  return 0;
}

int32_t IdentityOfFolder(Handle folder, FileIdentity* identity) {
  struct stat info;
  if (fstat(static_cast<int>(folder), &info) != 0) return posix::CodeOfErrno(errno);
  *identity = posix::IdentityOf(info.st_dev, info.st_ino);
  return 0;
}

int32_t ReadLinkAt(int at, const std::string& name, std::string* text) {
  for (std::size_t room = 256;; room *= 2) {
    text->resize(room);
    ssize_t length = readlinkat(at, name.c_str(), text->data(), room);
    if (length < 0) return posix::CodeOfErrno(errno);
    if (static_cast<std::size_t>(length) < room) {
      text->resize(static_cast<std::size_t>(length));
      return 0;
    }
  }
}

// The parts still to walk, the next one last. A link's text takes the place of the link;
// one that ends in "/" asks for a folder, which "." at its end keeps asking for.
class Way {
 public:
  void Take(const std::string& text) {
    if (text.ends_with('/')) parts_.emplace_back(".");
    std::size_t end = text.size();
    while (end > 0) {
      std::size_t slash = text.rfind('/', end - 1);
      std::size_t start = slash == std::string::npos ? 0 : slash + 1;
      if (end > start) parts_.push_back(text.substr(start, end - start));
      if (slash == std::string::npos) break;
      end = slash;
    }
  }
  bool Done() const { return parts_.empty(); }
  std::string Next() {
    std::string part = std::move(parts_.back());
    parts_.pop_back();
    return part;
  }

 private:
  std::vector<std::string> parts_;
};

// Replaces the link `name` in `*folder` by its text; an absolute one starts again at "/".
int32_t TakeLink(const std::string& name, OwnedHandle* folder, Way* way, int* links) {
  if (++*links > kMostLinksInARow) return kPathNotFound;
  std::string text;
  if (int32_t code = ReadLinkAt(static_cast<int>(folder->get()), name, &text)) return code;
  if (text.starts_with('/')) {
    if (int32_t code = OpenFolderAt(AT_FDCWD, "/", folder)) return code;
  }
  way->Take(text);
  return 0;
}

// Walks `way` from `*folder`, leaving in it the folder that holds the regular file at the
// end, and that file's identity in `*identity`.
int32_t WalkTo(Way* way, OwnedHandle* folder, FileIdentity* identity) {
  int links = 0;
  while (!way->Done()) {
    std::string part = way->Next();
    int at = static_cast<int>(folder->get());
    struct stat info;
    if (fstatat(at, part.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      return errno == ENOENT && !way->Done() ? kPathNotFound : posix::CodeOfErrno(errno);
    }
    if (S_ISLNK(info.st_mode)) {
      if (int32_t code = TakeLink(part, folder, way, &links)) return code;
    } else if (way->Done()) {
      if (!S_ISREG(info.st_mode)) return kNotRegularFile;
      *identity = posix::IdentityOf(info.st_dev, info.st_ino);
    } else if (!S_ISDIR(info.st_mode)) {
      return kPathNotFound;
    } else if (int32_t code = OpenFolderAt(at, part.c_str(), folder)) {
      return code;
    }
  }
  return 0;
}

// Whether `folder` is `top` or lies below it: going up from it meets `top` before the root,
// whose ".." is itself.
int32_t LiesWithin(OwnedHandle folder, const FileIdentity& top, bool* within) {
  FileIdentity here;
  if (int32_t code = IdentityOfFolder(folder.get(), &here)) return code;
  for (;;) {
    if (here == top) {
      *within = true;
      return 0;
    }
    OwnedHandle parent;
    FileIdentity above;
    if (int32_t code = OpenFolderAt(static_cast<int>(folder.get()), "..", &parent)) return code;
    if (int32_t code = IdentityOfFolder(parent.get(), &above)) return code;
    if (above == here) {
      *within = false;
      return 0;
    }
    folder = std::move(parent);
    here = above;
  }
}

}  // namespace

int32_t FollowLinkIn(const Directory& top, const Directory& folder, const std::string& name,
                     bool* within, FileIdentity* identity) {
  *within = false;
  if (posix::HoldsNul(name)) return kPathNotFound;
  FileIdentity topIdentity;
  if (int32_t code = IdentityOfFolder(top.handle(), &topIdentity)) return code;
  OwnedHandle at;
  if (int32_t code = OpenFolderAt(static_cast<int>(folder.handle()), ".", &at)) return code;
  Way way;
  way.Take(name);
  if (int32_t code = WalkTo(&way, &at, identity)) return code;
  return LiesWithin(std::move(at), topIdentity, within);
}

}  // namespace quillpack::platform
