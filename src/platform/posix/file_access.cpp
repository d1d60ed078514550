// What a new file takes over from the file it replaces, on POSIX: owner and group,
// extended attributes (the access ACL among them), permission bits.

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace quillpack::platform {
namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";
// Capabilities belong to a program's content: a write into the old file would drop them.
constexpr char kCapabilities[] = "security.capability";

// Whether `fd` now has the owner and the group of `like`. An ordinary user cannot give a
// file away, but keeps a group of its own.
bool KeepOwnerAndGroup(int fd, const struct stat& like) {
  if (fchown(fd, like.st_uid, like.st_gid) == 0) return true;
  fchown(fd, static_cast<uid_t>(-1), like.st_gid);
  return false;
}

// Reads a list or a value whose size the first call tells; nothing on a failure.
template <typename Read>
std::optional<std::vector<char>> ReadSized(Read read) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    ssize_t size = read(nullptr, 0);
    if (size < 0) return std::nullopt;
    std::vector<char> bytes(static_cast<std::size_t>(size));
    if (size == 0) return bytes;
    size = read(bytes.data(), bytes.size());
    if (size >= 0) {
      bytes.resize(static_cast<std::size_t>(size));
      return bytes;
    }
    // ERANGE: it grew between the two calls.
    if (errno != ERANGE) return std::nullopt;
  }
  return std::nullopt;
}

// Copies every extended attribute `from` has and `to` may take. An access ACL that `to`
// got from its folder's default ACL, and `from` has none of, goes: it would let in whom
// the old file did not.
void CopyExtendedAttributes(int from, int to) {
  std::vector<char> names = ReadSized([from](char* list, std::size_t size) {
                              return flistxattr(from, list, size);
                            }).value_or(std::vector<char>());
  names.push_back('\0');  // the last name ends for sure
  bool hadAccessAcl = false;
  for (std::size_t at = 0; at + 1 < names.size(); at += strlen(names.data() + at) + 1) {
    const char* name = names.data() + at;
    if (strcmp(name, kCapabilities) == 0) continue;
    hadAccessAcl = hadAccessAcl || strcmp(name, kAccessAcl) == 0;
    std::optional<std::vector<char>> value = ReadSized(
        [from, name](char* bytes, std::size_t size) { return fgetxattr(from, name, bytes, size); });
    if (value) fsetxattr(to, name, value->data(), value->size(), 0);
  }
  if (!hadAccessAcl) fremovexattr(to, kAccessAcl);
}

}  // namespace

int32_t TakeAccessOf(Handle from, Handle to) {
  int old = static_cast<int>(from);
  int fresh = static_cast<int>(to);
  struct stat like;
  if (fstat(old, &like) != 0) return posix::CodeOfErrno(errno);
  mode_t bits = like.st_mode & 07777;
  // A set-user-ID or set-group-ID file would otherwise run as someone it does not belong to.
  if (!KeepOwnerAndGroup(fresh, like)) bits &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
  CopyExtendedAttributes(old, fresh);
  // Last: a change of owner clears set-user-ID and set-group-ID.
  return fchmod(fresh, bits) == 0 ? 0 : posix::CodeOfErrno(errno);
}

}  // namespace quillpack::platform
