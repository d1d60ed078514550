// The platform's contract, on POSIX, for what a new file beside an old one is given and
// when (owner, group, permission bits, extended attributes), and for what an interrupt
// leaves behind. Win32 carries the DACL over, which Wine does not keep.

#include "platform/platform.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>

#include "support/temporary_directory.h"

namespace quillpack::platform {
namespace {

using quillpack::test_support::ReadBytes;
using quillpack::test_support::TemporaryDirectory;

mode_t ModeOf(Handle handle) {
  struct stat info;
  fstat(static_cast<int>(handle), &info);
  return info.st_mode & 07777;
}

// The hidden file is its writer's alone while the content goes in, whatever the old file
// lets; only then does it take the old file's owner, group and bits.
TEST(Platform, NewFileTakesTheOldFilesAccessAfterItsContent) {
  TemporaryDirectory dir;
  Directory top;
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath(), &top), 0);
  bool root = geteuid() == 0;
  for (mode_t mode : {0600u, 0640u, 0755u, 04755u, 02750u, 0444u}) {
    std::string old = dir.Write("old.txt", "old");
    // uid 1234 and gid 1234 need no account: only root can give a file to them.
    if (root) {
      ASSERT_EQ(chown(old.c_str(), 1234, 1234), 0);
    }
    ASSERT_EQ(chmod(old.c_str(), mode), 0);
    OwnedHandle like;
    ASSERT_EQ(OpenExistingForReading(old, &like), 0);
    std::string temporary;
    OwnedHandle writer;
    ASSERT_EQ(CreateTemporaryFileIn(top, like.get(), &temporary, &writer, nullptr), 0);
    EXPECT_EQ(ModeOf(writer.get()), 0600u) << std::oct << mode;
    ASSERT_EQ(TakeAccessOf(like.get(), writer.get()), 0);
    struct stat fresh;
    struct stat expected;
    ASSERT_EQ(fstat(static_cast<int>(writer.get()), &fresh), 0);
    ASSERT_EQ(stat(old.c_str(), &expected), 0);
    EXPECT_EQ(fresh.st_mode & 07777, mode) << std::oct << mode;
    EXPECT_EQ(fresh.st_uid, expected.st_uid) << std::oct << mode;
    EXPECT_EQ(fresh.st_gid, expected.st_gid) << std::oct << mode;
    writer.Close();
    like.Close();
    RemoveFileIn(top, temporary);
    ForgetTemporaryFile(temporary);
    std::filesystem::remove(old);
  }
  std::string temporary;
  OwnedHandle writer;
  ASSERT_EQ(CreateTemporaryFileIn(top, kNoHandle, &temporary, &writer, nullptr), 0);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(ModeOf(writer.get()), 0666u & ~mask) << "a new name gets what new files get";
  RemoveFileIn(top, temporary);
  ForgetTemporaryFile(temporary);
}

// Where the owner cannot be kept, a set-user-ID or set-group-ID bit would make the new
// content run as someone it does not belong to: the bits go.
TEST(Platform, NewFileOfAnotherOwnerLosesSetIdBits) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two other users";
  TemporaryDirectory dir;
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
  std::string old = dir.Write("old.txt", "old");
  ASSERT_EQ(chown(old.c_str(), 1234, 1234), 0);
  ASSERT_EQ(chmod(old.c_str(), 06777), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // uid 4321 may write the file and its folder, but owns neither.
    if (setgroups(0, nullptr) != 0 || setgid(4321) != 0 || setuid(4321) != 0) _exit(2);
    Directory top;
    OwnedHandle like;
    OwnedHandle writer;
    std::string temporary;
    if (OpenDirectory(dir.DirectoryPath(), &top) != 0 || OpenExistingForReading(old, &like) ||
        CreateTemporaryFileIn(top, like.get(), &temporary, &writer, nullptr) ||
        TakeAccessOf(like.get(), writer.get())) {
      _exit(3);
    }
    struct stat fresh;
    fstat(static_cast<int>(writer.get()), &fresh);
    RemoveFileIn(top, temporary);
    _exit(fresh.st_uid == 4321 && (fresh.st_mode & 07777) == 0777 ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// An access ACL in the format the kernel takes: entries of tag, permissions and id.
std::string AclOf(std::initializer_list<std::array<uint32_t, 3>> entries) {
  std::string bytes;
  auto put = [&bytes](uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
      bytes += static_cast<char>(value >> (8 * i) & 0xff);
  };
  put(2, 4);  // the version
  for (const auto& [tag, permissions, id] : entries) {
    put(tag, 2);
    put(permissions, 2);
    put(id, 4);
  }
  return bytes;
}

std::optional<std::string> AttributeOf(const std::string& path, const char* name) {
  char value[256];
  ssize_t size = getxattr(path.c_str(), name, value, sizeof value);
  if (size < 0) return std::nullopt;
  return std::string(value, static_cast<std::size_t>(size));
}

// Extended attributes and the access ACL come along; an ACL the folder's default gave
// the new file does not stay where the old file had none; capabilities stay behind.
TEST(Platform, NewFileTakesTheOldFilesAttributes) {
  TemporaryDirectory dir;
  std::filesystem::create_directory(dir.Path("top"));
  std::string plain = dir.Write("top/plain.txt", "plain");
  std::string listed = dir.Write("top/listed.txt", "listed");
  constexpr uint32_t kUserObject = 1, kUser = 2, kGroupObject = 4, kMask = 0x10, kOther = 0x20;
  std::string acl = AclOf({{kUserObject, 6, ~0u},
                           {kUser, 4, 1234},
                           {kGroupObject, 4, ~0u},
                           {kMask, 4, ~0u},
                           {kOther, 0, ~0u}});
  std::string inherited = AclOf({{kUserObject, 7, ~0u},
                                 {kUser, 7, 4321},
                                 {kGroupObject, 7, ~0u},
                                 {kMask, 7, ~0u},
                                 {kOther, 0, ~0u}});
  if (setxattr(listed.c_str(), "user.origin", "kept", 4, 0) != 0 ||
      setxattr(listed.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0 ||
      setxattr(dir.Path("top").c_str(), "system.posix_acl_default", inherited.data(),
               inherited.size(), 0) != 0) {
    GTEST_SKIP() << "this file system keeps no extended attributes or ACLs";
  }
  std::string capability("\0\0\0\x02\0\x20\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20);
  bool capable =
      setxattr(listed.c_str(), "security.capability", capability.data(), capability.size(), 0) == 0;
  Directory top;
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath("top"), &top), 0);
  for (const std::string& old : {plain, listed}) {
    OwnedHandle like;
    ASSERT_EQ(OpenExistingForReading(old, &like), 0);
    std::string temporary;
    OwnedHandle writer;
    ASSERT_EQ(CreateTemporaryFileIn(top, like.get(), &temporary, &writer, nullptr), 0);
    EXPECT_EQ(ModeOf(writer.get()) & 070, 0u) << "no one of the group class reads it yet";
    ASSERT_EQ(TakeAccessOf(like.get(), writer.get()), 0);
    std::string fresh = dir.Path("top/" + temporary);
    EXPECT_EQ(AttributeOf(fresh, "system.posix_acl_access"),
              AttributeOf(old, "system.posix_acl_access"))
        << old;
    EXPECT_EQ(AttributeOf(fresh, "user.origin"), AttributeOf(old, "user.origin")) << old;
    if (capable) {
      EXPECT_FALSE(AttributeOf(fresh, "security.capability")) << old;
    }
    RemoveFileIn(top, temporary);
    ForgetTemporaryFile(temporary);
  }
}

// An interrupt that ends the process removes the hidden file first and then ends it as it
// would have; a file that took its name is no longer its to remove.
TEST(PlatformDeathTest, AnInterruptRemovesTheTemporaryFile) {
  GTEST_FLAG_SET(death_test_style, "fast");  // the child writes into this very folder
  TemporaryDirectory dir;
  auto interrupted = [&dir](int number, const char* keptAs) {
    Directory top;
    std::string temporary;
    OwnedHandle writer;
    if (OpenDirectory(dir.DirectoryPath(), &top) != 0 ||
        CreateTemporaryFileIn(top, kNoHandle, &temporary, &writer, nullptr) != 0 ||
        WriteAll(writer.get(), "half", 4) != 0) {
      _exit(2);
    }
    if (keptAs && RenameIn(top, temporary, keptAs) == 0) ForgetTemporaryFile(temporary);
    raise(number);
    _exit(3);
  };
  for (int number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current = {};
    sigaction(number, nullptr, &current);
    if (current.sa_handler == SIG_IGN) continue;  // ignored from the start, it stays so
    EXPECT_EXIT(interrupted(number, nullptr), testing::KilledBySignal(number), "") << number;
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << number;
  }
  EXPECT_EXIT(interrupted(SIGTERM, "kept.txt"), testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(ReadBytes(dir.Path("kept.txt")), "half");
}

}  // namespace
}  // namespace quillpack::platform
#endif
