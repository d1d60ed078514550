// The contract of the platform layer, run against whichever backend the build links:
// natively for POSIX, under Wine for Win32. Where the two must agree, they are held to
// the same expectations.

#include "platform/platform.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <array>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "support/temporary_directory.h"

namespace quillpack::platform {
namespace {

using quillpack::test_support::ReadBytes;
using quillpack::test_support::TemporaryDirectory;

// The code of an open; the handle, if any, closes at once.
int32_t OpenCode(const std::string& name, bool forWriting) {
  OwnedHandle handle;
  return forWriting ? CreateForWriting(name, &handle) : OpenExistingForReading(name, &handle);
}

TEST(Platform, WritesAndReadsBack) {
  TemporaryDirectory dir;
  std::string path = dir.Path("data.bin");
  OwnedHandle handle;
  ASSERT_EQ(CreateForWriting(path, &handle), 0);
  std::string bytes(300000, 'b');
  EXPECT_EQ(WriteAll(handle.get(), bytes.data(), bytes.size()), 0);
  // Two pieces, either of them empty, go out whole and in order.
  std::string second(200000, 'c');
  EXPECT_EQ(WriteAllOfTwo(handle.get(), "head", second), 0);
  EXPECT_EQ(WriteAllOfTwo(handle.get(), "", "tail"), 0);
  EXPECT_EQ(WriteAllOfTwo(handle.get(), "end", ""), 0);
  bytes += "head" + second + "tail" + "end";
  EXPECT_EQ(KindOf(handle.get()), DeviceKind::kDisk);
  EXPECT_EQ(handle.Close(), 0);
  EXPECT_FALSE(handle.IsOpen());

  uint64_t size = 0;
  ASSERT_EQ(OpenExistingForReading(path, &handle, nullptr, &size), 0);
  EXPECT_EQ(size, bytes.size());
  char buffer[128];
  std::size_t count = 0;
  EXPECT_EQ(ReadSome(handle.get(), buffer, sizeof buffer, &count), 0);
  EXPECT_EQ(count, sizeof buffer);
  EXPECT_EQ(ReadBytes(path), bytes);
}

// Only a terminal counts as one: the null device is a character device like any other,
// which the runtime then feeds as it feeds a pipe.
TEST(Platform, OnlyATerminalIsATerminal) {
  const std::string nullDevice = kHostSystem == HostSystem::kWindows ? "NUL" : "/dev/null";
  OwnedHandle handle;
  DeviceKind kind = DeviceKind::kUnknown;
  ASSERT_EQ(OpenExistingForReading(nullDevice, &handle, &kind), 0);
  EXPECT_EQ(kind, DeviceKind::kCharacter);
  EXPECT_EQ(KindOf(handle.get()), DeviceKind::kCharacter);
#ifndef _WIN32
  int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  OwnedHandle master(terminal);
  ASSERT_EQ(grantpt(terminal), 0);
  ASSERT_EQ(unlockpt(terminal), 0);
  ASSERT_EQ(OpenExistingForReading(ptsname(terminal), &handle, &kind), 0);
  EXPECT_EQ(kind, DeviceKind::kTerminal);
  EXPECT_EQ(KindOf(handle.get()), DeviceKind::kTerminal);
#endif
}

TEST(Platform, CreatingEmptiesAnExistingFile) {
  TemporaryDirectory dir;
  std::string path = dir.Write("old.txt", "old bytes");
  EXPECT_EQ(OpenCode(path, true), 0);
  EXPECT_EQ(ReadBytes(path), "");
}

// Only a name that holds nothing is created; whatever is there is left as it was.
TEST(Platform, CreatingNewOnly) {
  TemporaryDirectory dir;
  std::string file = dir.Write("old.txt", "old bytes");
  std::filesystem::create_directory(dir.Path("sub"));
  OwnedHandle handle;
  EXPECT_EQ(CreateNewForWriting(file, &handle), kFileExists);
  EXPECT_FALSE(handle.IsOpen());
  EXPECT_EQ(ReadBytes(file), "old bytes");
  EXPECT_NE(CreateNewForWriting(dir.Path("sub"), &handle), 0);
  EXPECT_EQ(CreateNewForWriting(dir.Path("missing-dir") + "/x.txt", &handle), kPathNotFound);

  std::string fresh = dir.Path("new.txt");
  DeviceKind kind = DeviceKind::kUnknown;
  OwnedHandle writer;
  ASSERT_EQ(CreateNewForWriting(fresh, &writer, &kind), 0);
  EXPECT_EQ(kind, DeviceKind::kDisk);
  EXPECT_EQ(OpenCode(fresh, false), kSharingViolation) << "held as any written file";
  if (kHostSystem == HostSystem::kPosix) {
    std::filesystem::create_symlink(dir.Path("nowhere"), dir.Path("dangling"));
    EXPECT_EQ(CreateNewForWriting(dir.Path("dangling"), &handle), kFileExists);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("nowhere")));
  }
}

TEST(Platform, FailureCodes) {
  TemporaryDirectory dir;
  std::string missingDir = dir.Path("missing-dir");
  std::filesystem::create_directory(dir.Path("sub"));
  struct Case {
    const char* label;
    std::string name;
    bool forWriting;
    int32_t code;
  };
  const Case cases[] = {
      {"missing file", dir.Path("missing.txt"), false, kFileNotFound},
      {"missing directory", missingDir + "/x.txt", false, kPathNotFound},
      {"missing directory, writing", missingDir + "/x.txt", true, kPathNotFound},
      {"directory read as a file", dir.Path("sub"), false, kAccessDenied},
      {"directory written as a file", dir.Path("sub"), true, kAccessDenied},
  };
  for (const Case& c : cases)
    EXPECT_EQ(OpenCode(c.name, c.forWriting), c.code) << c.label;
}

TEST(Platform, ReadOnlySharingAlsoInsideOneProcess) {
  TemporaryDirectory dir;
  std::string path = dir.Write("shared.txt", "x");
  OwnedHandle reader;
  ASSERT_EQ(OpenExistingForReading(path, &reader), 0);
  {
    EXPECT_EQ(OpenCode(path, false), 0) << "a second reader";
    EXPECT_EQ(OpenCode(path, true), kSharingViolation) << "a writer beside a reader";
    EXPECT_EQ(ReadBytes(path), "x") << "the refused writer emptied nothing";
  }
  reader.Close();
  OwnedHandle writer;
  ASSERT_EQ(CreateForWriting(path, &writer), 0);
  EXPECT_EQ(OpenCode(path, false), kSharingViolation) << "a reader beside a writer";
  EXPECT_EQ(OpenCode(path, true), kSharingViolation) << "a second writer";
}

std::string AsDirectory(const std::string& path) {
  return path + (kHostSystem == HostSystem::kWindows ? "\\" : "/");
}

// The code of an open inside a held directory: a hold of an existing file, or a new
// file; the handle, if any, closes at once.
int32_t CodeIn(const Directory& directory, const std::string& name, bool existing) {
  OwnedHandle handle;
  return existing ? HoldForReplacingIn(directory, name, &handle)
                  : CreateNewFileIn(directory, name, &handle, nullptr);
}

TEST(Platform, NamesInsideAHeldDirectory) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir.Path("top/sub"));
  dir.Write("top/f.txt", "old");
  Directory top;
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);
  EXPECT_EQ(OpenDirectory(AsDirectory(dir.Path("missing")), &top), kPathNotFound);
  EXPECT_FALSE(top.IsOpen());
  EXPECT_EQ(OpenDirectory(AsDirectory(dir.Path("top/f.txt")), &top), kPathNotFound);
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);

  const std::pair<const char*, EntryKind> kinds[] = {
      {"f.txt", EntryKind::kFile},     {"sub", EntryKind::kDirectory},
      {"", EntryKind::kDirectory},     {"missing", EntryKind::kMissing},
      {"f*.txt", EntryKind::kMissing},  // never a pattern
  };
  for (const auto& [name, kind] : kinds)
    EXPECT_EQ(LookUpEntry(top, name), kind) << name;

  Directory sub;
  EXPECT_EQ(OpenSubdirectory(top, "f.txt", &sub), kPathNotFound);
  EXPECT_EQ(OpenSubdirectory(top, "missing", &sub), kPathNotFound);
  ASSERT_EQ(OpenSubdirectory(top, "sub", &sub), 0);
  EXPECT_EQ(CodeIn(sub, "new.txt", false), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.Path("top/sub/new.txt")));
  EXPECT_EQ(CodeIn(sub, "new.txt", false), kFileExists);
  EXPECT_EQ(CodeIn(top, "sub", false), kFileExists);

  OwnedHandle reader;
  OpenedFile opened;
  EXPECT_EQ(OpenExistingForReadingIn(top, "missing", &reader), kFileNotFound);
  EXPECT_EQ(OpenExistingForReadingIn(top, "sub", &reader), kNotRegularFile);
  ASSERT_EQ(OpenExistingForReadingIn(top, "f.txt", &reader, &opened), 0);
  EXPECT_EQ(opened.kind, DeviceKind::kDisk);
  EXPECT_EQ(opened.stamp.size, 3u);
  FileIdentity identity;
  ASSERT_EQ(IdentifyFile(dir.Path("top/f.txt"), &identity), 0);
  EXPECT_EQ(opened.identity, identity);
  FileStamp now;
  ASSERT_EQ(StampOf(reader.get(), &now), 0);
  EXPECT_EQ(now, opened.stamp);
  EXPECT_EQ(CodeIn(top, "f.txt", true), kSharingViolation) << "held by its reader";
  reader.Close();

  EXPECT_EQ(CodeIn(top, "f.txt", true), 0);
  EXPECT_EQ(ReadBytes(dir.Path("top/f.txt")), "old") << "a hold changes nothing";
  EXPECT_EQ(CodeIn(top, "sub", true), kNotRegularFile);
  EXPECT_EQ(CodeIn(top, "missing", true), kFileNotFound);
}

// A new file under a hidden name of its own takes the place of a file, a link or nothing
// in one step; the old file's other names keep the old content.
TEST(Platform, ReplacingInsideAHeldDirectory) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir.Path("top/sub"));
  std::string old = dir.Write("top/f.txt", "old");
  Directory top;
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);
  OwnedHandle held;
  ASSERT_EQ(HoldForReplacingIn(top, "f.txt", &held), 0);
  EXPECT_EQ(OpenCode(old, true), kSharingViolation) << "held against other writers";
  std::string temporary;
  OwnedHandle writer;
  DeviceKind kind = DeviceKind::kUnknown;
  ASSERT_EQ(CreateTemporaryFileIn(top, held.get(), &temporary, &writer, &kind), 0);
  EXPECT_EQ(temporary.rfind(".quillpack", 0), 0u) << temporary;
  EXPECT_EQ(kind, DeviceKind::kDisk);
  EXPECT_EQ(LookUpEntry(top, temporary), EntryKind::kFile);
  EXPECT_EQ(WriteAll(writer.get(), "new", 3), 0);
  writer.Close();
  held.Close();
  EXPECT_EQ(ReadBytes(old), "old") << "nothing replaced before the rename";
  EXPECT_EQ(RenameIn(top, temporary, "f.txt"), 0);
  EXPECT_EQ(ReadBytes(old), "new");
  EXPECT_EQ(LookUpEntry(top, temporary), EntryKind::kMissing);

  std::string other;
  ASSERT_EQ(CreateTemporaryFileIn(top, kNoHandle, &other, &writer, nullptr), 0);
  writer.Close();
  EXPECT_NE(RenameIn(top, other, "sub"), 0) << "a directory is never replaced";
  EXPECT_EQ(RemoveFileIn(top, other), 0);
  EXPECT_EQ(LookUpEntry(top, other), EntryKind::kMissing);
  EXPECT_EQ(RemoveFileIn(top, other), kFileNotFound);
}

// A link inside a held directory is seen as a link and never followed; a held directory
// moved away and replaced by a link keeps receiving what is made inside it.
TEST(Platform, HeldDirectoriesFollowNoLinks) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir.Path("top/sub"));
  std::filesystem::create_directory(dir.Path("outside"));
  std::string outsideFile = dir.Write("outside/v.txt", "orig");
  std::error_code error;
  std::filesystem::create_symlink(outsideFile, dir.Path("top/ln"), error);
  if (error) GTEST_SKIP() << "this host makes no symbolic links: " << error.message();
  std::filesystem::create_directory_symlink(dir.Path("outside"), dir.Path("top/dirln"));
  Directory top;
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);
  Directory inner;
  EXPECT_EQ(LookUpEntry(top, "ln"), EntryKind::kLink);
  EXPECT_EQ(OpenSubdirectory(top, "dirln", &inner), kStoppedOnLink);
  EXPECT_EQ(CodeIn(top, "ln", false), kFileExists);
  EXPECT_EQ(CodeIn(top, "ln", true), kStoppedOnLink);
  // A new file takes a link's place; what it pointed to stays as it was.
  std::string temporary;
  OwnedHandle writer;
  ASSERT_EQ(CreateTemporaryFileIn(top, kNoHandle, &temporary, &writer, nullptr), 0);
  writer.Close();
  EXPECT_EQ(RenameIn(top, temporary, "ln"), 0);
  EXPECT_EQ(LookUpEntry(top, "ln"), EntryKind::kFile);
  EXPECT_EQ(RemoveFileIn(top, "ln"), 0);
  EXPECT_EQ(LookUpEntry(top, "ln"), EntryKind::kMissing);
  EXPECT_EQ(ReadBytes(outsideFile), "orig");

  Directory sub;
  ASSERT_EQ(OpenSubdirectory(top, "sub", &sub), 0);
  std::filesystem::rename(dir.Path("top/sub"), dir.Path("top/sub.old"), error);
  if (!error) std::filesystem::create_directory_symlink(dir.Path("outside"), dir.Path("top/sub"));
  EXPECT_EQ(CodeIn(sub, "x.txt", false), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.Path(error ? "top/sub/x.txt" : "top/sub.old/x.txt")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("outside/x.txt")));
}

// Takes each step a replacement takes after its content is written: a copy of the handle,
// a flush, and the write in place where the new file cannot take the name.
TEST(Platform, HandlesOfANewFileAndWritesInPlace) {
  TemporaryDirectory dir;
  std::string old = dir.Write("w.txt", "old content, longer than the new");
  Directory top;
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path()), &top), 0);
  OwnedHandle held;
  ASSERT_EQ(HoldForReplacingIn(top, "w.txt", &held), 0);
  std::string temporary;
  OwnedHandle writer;
  ASSERT_EQ(CreateTemporaryFileIn(top, held.get(), &temporary, &writer, nullptr), 0);
  OwnedHandle copy;
  ASSERT_EQ(DuplicateHandleOf(writer.get(), &copy), 0);
  EXPECT_EQ(WriteAll(writer.get(), "new", 3), 0);
  writer.Close();
  EXPECT_EQ(FlushToDisk(copy.get()), 0);
  EXPECT_EQ(WriteInPlace(held.get(), copy.get()), 0);
  EXPECT_EQ(ReadBytes(old), "new");
  EXPECT_EQ(WriteInPlace(held.get(), kNoHandle), 0);
  EXPECT_EQ(ReadBytes(old), "");
  copy.Close();
  EXPECT_EQ(RemoveFileIn(top, temporary), 0);
  ForgetTemporaryFile(temporary);
}

// A new file takes a name only while nothing has it: nothing that came there meanwhile is
// ever replaced, and a refused file keeps its own hidden name.
TEST(Platform, RenameUnlessTakenReplacesNothing) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir.Path("top/sub"));
  std::string theirs = dir.Write("top/theirs.txt", "theirs");
  std::string outside = dir.Write("outside.txt", "outside");
  std::error_code noLinks;
  std::filesystem::create_symlink(outside, dir.Path("top/ln"), noLinks);
  Directory top;
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);
  const std::pair<const char*, int32_t> kNames[] = {
      {"free.txt", 0}, {"theirs.txt", kFileExists}, {"sub", kFileExists}, {"ln", kFileExists}};
  for (const auto& [name, code] : kNames) {
    if (noLinks && std::string(name) == "ln") continue;
    std::string temporary;
    OwnedHandle writer;
    ASSERT_EQ(CreateTemporaryFileIn(top, kNoHandle, &temporary, &writer, nullptr), 0);
    EXPECT_EQ(WriteAll(writer.get(), "ours", 4), 0);
    writer.Close();
    EXPECT_EQ(RenameUnlessTakenIn(top, temporary, name), code) << name;
    EXPECT_EQ(LookUpEntry(top, temporary), code == 0 ? EntryKind::kMissing : EntryKind::kFile)
        << name;
    RemoveFileIn(top, temporary);
    ForgetTemporaryFile(temporary);
  }
  EXPECT_EQ(ReadBytes(dir.Path("top/free.txt")), "ours");
  EXPECT_EQ(ReadBytes(theirs), "theirs");
  EXPECT_EQ(ReadBytes(outside), "outside");
  EXPECT_EQ(LookUpEntry(top, "sub"), EntryKind::kDirectory);
}

// The names directly inside `path`.
std::set<std::string> NamesIn(const std::string& path) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path))
    names.insert(entry.path().filename().string());
  return names;
}

// A file without a name shows nowhere until it is named, takes only a free name (never
// through a link), can take a hidden one for a later rename, and goes with its last
// handle. Win32 makes none.
TEST(Platform, UnnamedFilesTakeOnlyAFreeName) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir.Path("top/sub"));
  std::string theirs = dir.Write("top/theirs.txt", "theirs");
  std::string outside = dir.Write("outside.txt", "outside");
  std::error_code noLinks;
  std::filesystem::create_symlink(outside, dir.Path("top/ln"), noLinks);
  Directory top;
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);
  std::set<std::string> before = NamesIn(dir.Path("top"));
  OwnedHandle file;
  DeviceKind kind = DeviceKind::kUnknown;
  int32_t made = CreateUnnamedFileIn(top, &file, &kind);
  if (kHostSystem == HostSystem::kWindows) {
    EXPECT_EQ(made, kUnsupportedOperation);
    EXPECT_FALSE(file.IsOpen());
    return;
  }
  if (made == kUnsupportedOperation) GTEST_SKIP() << "this file system makes no unnamed file";
  ASSERT_EQ(made, 0);
  EXPECT_EQ(kind, DeviceKind::kDisk);
  EXPECT_EQ(WriteAll(file.get(), "ours", 4), 0);
  EXPECT_EQ(NamesIn(dir.Path("top")), before) << "nothing shows before it is named";

  const std::pair<const char*, int32_t> kNames[] = {
      {"theirs.txt", kFileExists}, {"sub", kFileExists}, {"ln", kFileExists}, {"free.txt", 0}};
  for (const auto& [name, code] : kNames) {
    if (noLinks && std::string(name) == "ln") continue;
    EXPECT_EQ(NameUnnamedFileIn(file.get(), top, name), code) << name;
  }
  EXPECT_EQ(ReadBytes(dir.Path("top/free.txt")), "ours");
  EXPECT_EQ(ReadBytes(theirs), "theirs");
  EXPECT_EQ(ReadBytes(outside), "outside");
  EXPECT_EQ(LookUpEntry(top, "sub"), EntryKind::kDirectory);

  std::string temporary;
  ASSERT_EQ(NameUnnamedFileAsTemporaryIn(file.get(), top, &temporary), 0);
  EXPECT_EQ(temporary.rfind(".quillpack-", 0), 0u) << temporary;
  EXPECT_EQ(ReadBytes(dir.Path("top/" + temporary)), "ours");
  EXPECT_EQ(RemoveFileIn(top, temporary), 0);
  ForgetTemporaryFile(temporary);

  before = NamesIn(dir.Path("top"));
  OwnedHandle dropped;
  ASSERT_EQ(CreateUnnamedFileIn(top, &dropped, nullptr), 0);
  EXPECT_EQ(WriteAll(dropped.get(), "half", 4), 0);
  dropped.Close();
  EXPECT_EQ(NamesIn(dir.Path("top")), before) << "an unnamed file leaves nothing";
}

// A held folder knows whether its name in the folder above still holds it: not once it
// was moved away, whatever took its name then, a link to it included. On Win32 nobody
// can move a folder that is held.
TEST(Platform, HeldFoldersKnowWhetherTheirNameStillHoldsThem) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir.Path("top/sub"));
  std::filesystem::create_directories(dir.Path("top/other"));
  Directory top;
  Directory sub;
  Directory other;
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);
  ASSERT_EQ(OpenSubdirectory(top, "sub", &sub), 0);
  ASSERT_EQ(OpenSubdirectory(top, "other", &other), 0);
  FileIdentity identity;
  FileIdentity otherIdentity;
  ASSERT_EQ(IdentifyDirectory(sub, &identity), 0);
  ASSERT_EQ(IdentifyDirectory(other, &otherIdentity), 0);
  EXPECT_NE(identity, otherIdentity);
  EXPECT_TRUE(IsStillSubdirectory(top, "sub", identity));
  std::error_code error;
  std::filesystem::rename(dir.Path("top/sub"), dir.Path("top/sub.old"), error);
  if (kHostSystem == HostSystem::kWindows) {
    EXPECT_TRUE(error) << "a held folder was moved";
    EXPECT_TRUE(IsStillSubdirectory(top, "sub", identity));
    return;
  }
  ASSERT_FALSE(error) << error.message();
  EXPECT_FALSE(IsStillSubdirectory(top, "sub", identity)) << "moved away";
  EXPECT_TRUE(IsStillSubdirectory(top, "sub.old", identity));
  EXPECT_FALSE(IsStillSubdirectory(top, "other", identity));
  std::filesystem::create_directory(dir.Path("top/sub"));
  EXPECT_FALSE(IsStillSubdirectory(top, "sub", identity)) << "another folder in its place";
  std::filesystem::remove(dir.Path("top/sub"));
  std::filesystem::create_directory_symlink(dir.Path("top/sub.old"), dir.Path("top/sub"));
  EXPECT_FALSE(IsStillSubdirectory(top, "sub", identity)) << "a link to it in its place";
}

// What a name is, opened as it is for writing: never created, a regular file held before
// it is emptied.
TEST(Platform, OpenExistingForWritingInMakesNothing) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir.Path("top/sub"));
  std::string full = dir.Write("top/full.txt", "old");
  Directory top;
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);
  OwnedHandle writer;
  DeviceKind kind = DeviceKind::kUnknown;
  EXPECT_EQ(OpenExistingForWritingIn(top, "missing", &writer, &kind), kFileNotFound);
  EXPECT_EQ(LookUpEntry(top, "missing"), EntryKind::kMissing);
  EXPECT_EQ(OpenExistingForWritingIn(top, "sub", &writer, &kind), kAccessDenied);
  OwnedHandle reader;
  ASSERT_EQ(OpenExistingForReading(full, &reader), 0);
  EXPECT_EQ(OpenExistingForWritingIn(top, "full.txt", &writer, &kind), kSharingViolation);
  EXPECT_EQ(ReadBytes(full), "old") << "emptied only once held";
  reader.Close();
  std::optional<FileIdentity> identity;
  ASSERT_EQ(OpenExistingForWritingIn(top, "full.txt", &writer, &kind, &identity), 0);
  EXPECT_EQ(kind, DeviceKind::kDisk);
  EXPECT_EQ(ReadBytes(full), "");
  FileIdentity expected;
  ASSERT_EQ(IdentifyFile(full, &expected), 0);
  EXPECT_EQ(identity, expected);
  writer.Close();

  std::error_code error;
  std::filesystem::create_symlink(dir.Path("elsewhere.txt"), dir.Path("top/dangling"), error);
  if (error) return;
  EXPECT_EQ(OpenExistingForWritingIn(top, "dangling", &writer, &kind), kFileNotFound);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("elsewhere.txt"))) << "nothing made through it";
  std::string target = dir.Write("target.txt", "linked");
  std::filesystem::create_symlink(target, dir.Path("top/ln"));
  ASSERT_EQ(OpenExistingForWritingIn(top, "ln", &writer, &kind, &identity), 0);
  EXPECT_EQ(ReadBytes(target), "") << "what a link leads to is written as it is";
}

#ifndef _WIN32
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
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path()), &top), 0);
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
    if (OpenDirectory(AsDirectory(dir.Path()), &top) != 0 || OpenExistingForReading(old, &like) ||
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
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);
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
    if (OpenDirectory(AsDirectory(dir.Path()), &top) != 0 ||
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
#endif

std::map<std::string, uint32_t> AttributesFound(const std::string& pattern, EntryDetail detail) {
  Search search;
  FoundEntry entry;
  std::map<std::string, uint32_t> found;
  int32_t code = FindFirst(pattern, &search, &entry, detail);
  while (code == 0) {
    found[entry.name] = entry.attributes;
    code = FindNext(search, &entry);
  }
  EXPECT_EQ(code, kNoMoreFiles);
  return found;
}

TEST(Platform, EnumeratesWithAttributes) {
  TemporaryDirectory dir;
  dir.Write("b.txt", "bb");
  dir.Write("A.TXT", "a");
  std::filesystem::create_directory(dir.Path("sub.txt"));
  std::map<std::string, uint32_t> found = AttributesFound(dir.Path("*.txt"), EntryDetail::kFull);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found["A.TXT"] & kAttributeDirectory, 0u);
  EXPECT_EQ(found["b.txt"] & kAttributeDirectory, 0u);
  EXPECT_NE(found["sub.txt"] & kAttributeDirectory, 0u);
}

// Names and kinds only: every attribute but the read-only bit as a full listing has it,
// links classed by what they lead to.
TEST(Platform, EnumeratesNamesAndKinds) {
  TemporaryDirectory dir;
  dir.Write("file.txt", "f");
  dir.Write(".hidden.txt", "h");
  std::filesystem::create_directory(dir.Path("sub.txt"));
  if (kHostSystem == HostSystem::kPosix) {
    std::filesystem::create_symlink(dir.Path("sub.txt"), dir.Path("to-sub.txt"));
    std::filesystem::create_symlink(dir.Path("file.txt"), dir.Path("to-file.txt"));
    std::filesystem::create_symlink(dir.Path("nowhere"), dir.Path("dangling.txt"));
  }
  std::map<std::string, uint32_t> full = AttributesFound(dir.Path("*.txt"), EntryDetail::kFull);
  std::map<std::string, uint32_t> kinds =
      AttributesFound(dir.Path("*.txt"), EntryDetail::kNamesAndKinds);
  ASSERT_EQ(kinds.size(), full.size());
  for (const auto& [name, attributes] : full)
    EXPECT_EQ(kinds[name] & ~kAttributeReadOnly, attributes & ~kAttributeReadOnly) << name;
}

// A plain name is one lookup where it exists as spelled; only a name missing in that case
// lists the others, so twins that differ in case come back both.
TEST(Platform, PlainNameIgnoresCaseOnlyWhenMissingAsSpelled) {
  TemporaryDirectory dir;
  dir.Write("a.txt", "a");
  dir.Write("Makefile", "m");
  auto names = [](const std::string& pattern) {
    std::map<std::string, uint32_t> found = AttributesFound(pattern, EntryDetail::kFull);
    std::string joined;
    for (const auto& [name, attributes] : found)
      joined += name + ";";
    return joined;
  };
  EXPECT_EQ(names(dir.Path("A.TXT")), "a.txt;");
  EXPECT_EQ(names(dir.Path("MAKEFILE.")), "Makefile;");
  // Windows holds no case twins; and Wine, which runs these tests, lists every name for
  // "*." where Windows lists the names without a dot.
  if (kHostSystem == HostSystem::kWindows) return;
  EXPECT_EQ(names(dir.Path("*.")), "Makefile;");
  dir.Write("A.TXT", "A");
  EXPECT_EQ(names(dir.Path("A.TXT")), "A.TXT;");
  EXPECT_EQ(names(dir.Path("a.txt")), "a.txt;");
  EXPECT_EQ(names(dir.Path("A.txt")), "A.TXT;a.txt;");
}

// A held directory is listed and its files warmed through the handle, whatever its path
// names meanwhile.
TEST(Platform, ListsAndWarmsThroughAHeldDirectory) {
  TemporaryDirectory dir;
  std::filesystem::create_directory(dir.Path("top"));
  dir.Write("top/a.txt", "aaaa");
  dir.Write("top/b.md", "b");
  Directory top;
  ASSERT_EQ(OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);
  std::error_code moved;
  std::filesystem::rename(dir.Path("top"), dir.Path("top.old"), moved);
  if (!moved && std::filesystem::create_directory(dir.Path("top"))) {
    dir.Write("top/other.txt", "x");
  }
  auto listed = [&](const std::string& mask) {
    Search search;
    FoundEntry entry;
    std::string names;
    for (int32_t code = FindFirstIn(top, mask, &search, &entry); code == 0;
         code = FindNext(search, &entry)) {
      names += entry.name + ";";
    }
    return names;
  };
  EXPECT_EQ(listed("*.txt"), "a.txt;");
  EXPECT_EQ(listed("A.TXT"), "a.txt;") << "a plain name ignores case too";
  EXPECT_EQ(listed("*.none"), "");
  EXPECT_EQ(WarmFileIn(top, "a.txt", 2), kHostSystem == HostSystem::kPosix ? 0u : 2u)
      << "just written, so in the cache already where the host can tell";
  EXPECT_EQ(WarmFileIn(top, "missing.txt", 2), 0u);
}

TEST(Platform, SearchFailures) {
  TemporaryDirectory dir;
  Search search;
  FoundEntry entry;
  EXPECT_EQ(FindFirst(dir.Path("*.none"), &search, &entry), kFileNotFound);
  EXPECT_FALSE(search.IsOpen());
  EXPECT_NE(FindFirst(dir.Path("missing") + "/*.txt", &search, &entry), 0);
  EXPECT_FALSE(search.IsOpen());
  EXPECT_EQ(FindNext(search, &entry), kNoMoreFiles) << "no search is open";
}

TEST(Platform, FullPathResolvesAgainstTheCurrentDirectory) {
  std::string current = CurrentDirectoryName();
  ASSERT_FALSE(current.empty());
  std::string full = FullPathName("some-name.txt");
  EXPECT_EQ(full.substr(0, current.size()), current);
  EXPECT_EQ(full.substr(full.size() - 13), "some-name.txt");
  EXPECT_EQ(FullPathName(""), "");
  EXPECT_EQ(FullPathName("*.txt").substr(full.size() - 13), "*.txt");
}

TEST(Platform, LocaleCompareIgnoringCase) {
  EXPECT_EQ(LocaleCompare("A.txt", "a.TXT", CaseRule::kIgnoreCase), 0);
  EXPECT_EQ(LocaleCompare("a", "b", CaseRule::kIgnoreCase), -1);
  EXPECT_EQ(LocaleCompare("B", "a", CaseRule::kIgnoreCase), 1);
  EXPECT_EQ(LocaleCompare("", "", CaseRule::kIgnoreCase), 0);
  EXPECT_EQ(LocaleCompare("", "a", CaseRule::kIgnoreCase), -1);
  EXPECT_NE(LocaleCompare("A", "a", CaseRule::kSensitive), 0);
  // Long shared prefixes, with the difference or a case-only difference past eight bytes.
  const std::string stem = "small-file-0000";
  EXPECT_EQ(LocaleCompare(stem + "1.txt", stem + "2.txt", CaseRule::kIgnoreCase), -1);
  EXPECT_EQ(LocaleCompare(stem + "2.TXT", stem + "1.txt", CaseRule::kIgnoreCase), 1);
  EXPECT_EQ(LocaleCompare("SMALL-FILE-00001.TXT", stem + "1.txt", CaseRule::kIgnoreCase), 0);
  EXPECT_EQ(LocaleCompare(stem + "1.txt", stem + "1.txt.bak", CaseRule::kIgnoreCase), -1);
  EXPECT_NE(LocaleCompare("SMALL-FILE-00001.TXT", stem + "1.txt", CaseRule::kSensitive), 0);
}

TEST(Platform, ModuleOfACodeAddress) {
  char name[261];
  uintptr_t offset = 0;
  DescribeCodeAddress(reinterpret_cast<const void*>(&FullPathName), name, sizeof name, &offset);
  std::string module = name;
  EXPECT_NE(module.find("quillpack_tests"), std::string::npos) << module;
  EXPECT_EQ(module.find_first_of("/\\"), std::string::npos) << module;
  EXPECT_GT(offset, 0u);
}

// Drops a file from the cache where the host lets a test do so (POSIX, on a file system
// with a cache of its own), so that warming it has something to ask for.
void DropFromCache(const std::string& name) {
#ifndef _WIN32
  int fd = open(name.c_str(), O_RDONLY);
  if (fd < 0) return;
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
#else
  (void)name;
#endif
}

// Warming is a hint: whatever the name, it answers with the bytes it asked for and leaves
// the file free for everyone, also while another holds it for writing. POSIX asks for
// nothing when the file's start is in the cache already.
TEST(Platform, WarmFile) {
  TemporaryDirectory dir;
  std::string file = dir.Write("five.txt", std::string(5000, 'w'));
  std::filesystem::create_directory(dir.Path("sub"));
  bool askedOnlyIfNeeded = kHostSystem == HostSystem::kPosix;
  struct Case {
    const char* label;
    std::string name;
    uint64_t maxBytes;
    uint64_t bytes;
  };
  const Case cases[] = {
      {"first bytes", file, 100, 100},
      {"whole file", file, 1 << 20, 5000},
      {"nothing asked", file, 0, 0},
      {"empty file", dir.Write("empty.txt", ""), 1 << 20, 0},
      {"missing", dir.Path("missing.txt"), 1 << 20, 0},
      {"missing directory", dir.Path("missing-dir") + "/x.txt", 1 << 20, 0},
      {"directory", dir.Path("sub"), 1 << 20, 0},
      {"NUL in the name", file + std::string(1, '\0'), 1 << 20, 0},
  };
  for (const Case& c : cases) {
    DropFromCache(c.name);
    uint64_t bytes = WarmFile(c.name, c.maxBytes);
    bool inTheCache = askedOnlyIfNeeded && bytes == 0;
    EXPECT_TRUE(bytes == c.bytes || inTheCache) << c.label << ": " << bytes;
  }
  if (askedOnlyIfNeeded) {
    ReadBytes(file);
    EXPECT_EQ(WarmFile(file, 1 << 20), 0U) << "in the cache after a read";
  }

  std::string held = dir.Path("held.txt");
  {
    OwnedHandle writer;
    ASSERT_EQ(CreateForWriting(held, &writer), 0);
    EXPECT_EQ(WriteAll(writer.get(), "abc", 3), 0);
    uint64_t bytes = WarmFile(held, 1 << 20);
    EXPECT_TRUE(bytes == 3 || (askedOnlyIfNeeded && bytes == 0)) << "beside a writer";
    EXPECT_EQ(WriteAll(writer.get(), "def", 3), 0);
  }
  EXPECT_EQ(ReadBytes(held), "abcdef");
  EXPECT_EQ(OpenCode(held, true), 0) << "nothing left open or locked";
  EXPECT_EQ(OpenCode(file, true), 0) << "nothing left open or locked";
#ifndef _WIN32
  std::string fifo = dir.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(WarmFile(fifo, 1 << 20), 0U) << "a FIFO, without waiting for a writer";
#endif
}

}  // namespace
}  // namespace quillpack::platform
