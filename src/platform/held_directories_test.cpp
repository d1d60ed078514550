// The platform's contract for directories held open, natively and under Wine: names
// looked up and files made inside a held directory, never through a link, and new files
// that take a name in one step.

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "support/temporary_directory.h"

namespace quillpack::platform {
namespace {

using quillpack::test_support::ReadBytes;
using quillpack::test_support::TemporaryDirectory;

// The code of an open inside a held directory: a hold of an existing file, or a new
// file; the handle, if any, closes at once.
int32_t CodeIn(const Directory& directory, const std::string& name, bool existing) {
  OwnedHandle handle;
  return existing ? HoldForReplacingIn(directory, name, &handle)
                  : CreateNewFileIn(directory, name, &handle, nullptr);
}

// A folder "top" with a folder "sub" in it, "top" held open.
class HeldDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.Path("top/sub"));
    ASSERT_EQ(OpenDirectory(dir_.DirectoryPath("top"), &top_), 0);
  }

  TemporaryDirectory dir_;
  Directory top_;
};

TEST_F(HeldDirectoryTest, NamesInsideAHeldDirectory) {
  dir_.Write("top/f.txt", "old");
  Directory other;
  EXPECT_EQ(OpenDirectory(dir_.DirectoryPath("missing"), &other), kPathNotFound);
  EXPECT_FALSE(other.IsOpen());
  EXPECT_EQ(OpenDirectory(dir_.DirectoryPath("top/f.txt"), &other), kPathNotFound);

  const std::pair<const char*, EntryKind> kinds[] = {
      {"f.txt", EntryKind::kFile},     {"sub", EntryKind::kDirectory},
      {"", EntryKind::kDirectory},     {"missing", EntryKind::kMissing},
      {"f*.txt", EntryKind::kMissing},  // never a pattern
  };
  for (const auto& [name, kind] : kinds)
    EXPECT_EQ(LookUpEntry(top_, name), kind) << name;

  Directory sub;
  EXPECT_EQ(OpenSubdirectory(top_, "f.txt", &sub), kPathNotFound);
  EXPECT_EQ(OpenSubdirectory(top_, "missing", &sub), kPathNotFound);
  ASSERT_EQ(OpenSubdirectory(top_, "sub", &sub), 0);
  EXPECT_EQ(CodeIn(sub, "new.txt", false), 0);
  EXPECT_TRUE(std::filesystem::exists(dir_.Path("top/sub/new.txt")));
  EXPECT_EQ(CodeIn(sub, "new.txt", false), kFileExists);
  EXPECT_EQ(CodeIn(top_, "sub", false), kFileExists);

  OwnedHandle reader;
  OpenedFile opened;
  EXPECT_EQ(OpenExistingForReadingIn(top_, "missing", &reader), kFileNotFound);
  EXPECT_EQ(OpenExistingForReadingIn(top_, "sub", &reader), kNotRegularFile);
  ASSERT_EQ(OpenExistingForReadingIn(top_, "f.txt", &reader, &opened), 0);
  EXPECT_EQ(opened.kind, DeviceKind::kDisk);
  EXPECT_EQ(opened.stamp.size, 3u);
  FileIdentity identity;
  ASSERT_EQ(IdentifyFile(dir_.Path("top/f.txt"), &identity), 0);
  EXPECT_EQ(opened.identity, identity);
  FileStamp now;
  ASSERT_EQ(StampOf(reader.get(), &now), 0);
  EXPECT_EQ(now, opened.stamp);
  EXPECT_EQ(CodeIn(top_, "f.txt", true), kSharingViolation) << "held by its reader";
  reader.Close();

  EXPECT_EQ(CodeIn(top_, "f.txt", true), 0);
  EXPECT_EQ(ReadBytes(dir_.Path("top/f.txt")), "old") << "a hold changes nothing";
  EXPECT_EQ(CodeIn(top_, "sub", true), kNotRegularFile);
  EXPECT_EQ(CodeIn(top_, "missing", true), kFileNotFound);
}

// A new file under a hidden name of its own takes the place of a file, a link or nothing
// in one step; the old file's other names keep the old content.
TEST_F(HeldDirectoryTest, ReplacingInsideAHeldDirectory) {
  std::string old = dir_.Write("top/f.txt", "old");
  OwnedHandle held;
  ASSERT_EQ(HoldForReplacingIn(top_, "f.txt", &held), 0);
  OwnedHandle second;
  EXPECT_EQ(CreateForWriting(old, &second), kSharingViolation) << "held against other writers";
  std::string temporary;
  OwnedHandle writer;
  DeviceKind kind = DeviceKind::kUnknown;
  ASSERT_EQ(CreateTemporaryFileIn(top_, held.get(), &temporary, &writer, &kind), 0);
  EXPECT_EQ(temporary.rfind(".quillpack", 0), 0u) << temporary;
  EXPECT_EQ(kind, DeviceKind::kDisk);
  EXPECT_EQ(LookUpEntry(top_, temporary), EntryKind::kFile);
  EXPECT_EQ(WriteAll(writer.get(), "new", 3), 0);
  writer.Close();
  held.Close();
  EXPECT_EQ(ReadBytes(old), "old") << "nothing replaced before the rename";
  EXPECT_EQ(RenameIn(top_, temporary, "f.txt"), 0);
  EXPECT_EQ(ReadBytes(old), "new");
  EXPECT_EQ(LookUpEntry(top_, temporary), EntryKind::kMissing);

  std::string other;
  ASSERT_EQ(CreateTemporaryFileIn(top_, kNoHandle, &other, &writer, nullptr), 0);
  writer.Close();
  EXPECT_NE(RenameIn(top_, other, "sub"), 0) << "a directory is never replaced";
  EXPECT_EQ(RemoveFileIn(top_, other), 0);
  EXPECT_EQ(LookUpEntry(top_, other), EntryKind::kMissing);
  EXPECT_EQ(RemoveFileIn(top_, other), kFileNotFound);
}

// A link inside a held directory is seen as a link and never followed; a held directory
// moved away and replaced by a link keeps receiving what is made inside it.
TEST_F(HeldDirectoryTest, HeldDirectoriesFollowNoLinks) {
  std::filesystem::create_directory(dir_.Path("outside"));
  std::string outsideFile = dir_.Write("outside/v.txt", "orig");
  std::error_code error;
  std::filesystem::create_symlink(outsideFile, dir_.Path("top/ln"), error);
  if (error) GTEST_SKIP() << "this host makes no symbolic links: " << error.message();
  std::filesystem::create_directory_symlink(dir_.Path("outside"), dir_.Path("top/dirln"));
  Directory inner;
  EXPECT_EQ(LookUpEntry(top_, "ln"), EntryKind::kLink);
  EXPECT_EQ(OpenSubdirectory(top_, "dirln", &inner), kStoppedOnLink);
  EXPECT_EQ(CodeIn(top_, "ln", false), kFileExists);
  EXPECT_EQ(CodeIn(top_, "ln", true), kStoppedOnLink);
  // A new file takes a link's place; what it pointed to stays as it was.
  std::string temporary;
  OwnedHandle writer;
  ASSERT_EQ(CreateTemporaryFileIn(top_, kNoHandle, &temporary, &writer, nullptr), 0);
  writer.Close();
  EXPECT_EQ(RenameIn(top_, temporary, "ln"), 0);
  EXPECT_EQ(LookUpEntry(top_, "ln"), EntryKind::kFile);
  EXPECT_EQ(RemoveFileIn(top_, "ln"), 0);
  EXPECT_EQ(LookUpEntry(top_, "ln"), EntryKind::kMissing);
  EXPECT_EQ(ReadBytes(outsideFile), "orig");

  Directory sub;
  ASSERT_EQ(OpenSubdirectory(top_, "sub", &sub), 0);
  std::filesystem::rename(dir_.Path("top/sub"), dir_.Path("top/sub.old"), error);
  if (!error) std::filesystem::create_directory_symlink(dir_.Path("outside"), dir_.Path("top/sub"));
  EXPECT_EQ(CodeIn(sub, "x.txt", false), 0);
  EXPECT_TRUE(std::filesystem::exists(dir_.Path(error ? "top/sub/x.txt" : "top/sub.old/x.txt")));
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("outside/x.txt")));
}

// Takes each step a replacement takes after its content is written: a copy of the handle,
// a flush, and the write in place where the new file cannot take the name.
TEST_F(HeldDirectoryTest, HandlesOfANewFileAndWritesInPlace) {
  std::string old = dir_.Write("top/w.txt", "old content, longer than the new");
  OwnedHandle held;
  ASSERT_EQ(HoldForReplacingIn(top_, "w.txt", &held), 0);
  std::string temporary;
  OwnedHandle writer;
  ASSERT_EQ(CreateTemporaryFileIn(top_, held.get(), &temporary, &writer, nullptr), 0);
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
  EXPECT_EQ(RemoveFileIn(top_, temporary), 0);
  ForgetTemporaryFile(temporary);
}

// A new file takes a name only while nothing has it: nothing that came there meanwhile is
// ever replaced, and a refused file keeps its own hidden name.
TEST_F(HeldDirectoryTest, RenameUnlessTakenReplacesNothing) {
  std::string theirs = dir_.Write("top/theirs.txt", "theirs");
  std::string outside = dir_.Write("outside.txt", "outside");
  std::error_code noLinks;
  std::filesystem::create_symlink(outside, dir_.Path("top/ln"), noLinks);
  const std::pair<const char*, int32_t> kNames[] = {
      {"free.txt", 0}, {"theirs.txt", kFileExists}, {"sub", kFileExists}, {"ln", kFileExists}};
  for (const auto& [name, code] : kNames) {
    if (noLinks && std::string(name) == "ln") continue;
    std::string temporary;
    OwnedHandle writer;
    ASSERT_EQ(CreateTemporaryFileIn(top_, kNoHandle, &temporary, &writer, nullptr), 0);
    EXPECT_EQ(WriteAll(writer.get(), "ours", 4), 0);
    writer.Close();
    EXPECT_EQ(RenameUnlessTakenIn(top_, temporary, name), code) << name;
    EXPECT_EQ(LookUpEntry(top_, temporary), code == 0 ? EntryKind::kMissing : EntryKind::kFile)
        << name;
    RemoveFileIn(top_, temporary);
    ForgetTemporaryFile(temporary);
  }
  EXPECT_EQ(ReadBytes(dir_.Path("top/free.txt")), "ours");
  EXPECT_EQ(ReadBytes(theirs), "theirs");
  EXPECT_EQ(ReadBytes(outside), "outside");
  EXPECT_EQ(LookUpEntry(top_, "sub"), EntryKind::kDirectory);
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
TEST_F(HeldDirectoryTest, UnnamedFilesTakeOnlyAFreeName) {
  std::string theirs = dir_.Write("top/theirs.txt", "theirs");
  std::string outside = dir_.Write("outside.txt", "outside");
  std::error_code noLinks;
  std::filesystem::create_symlink(outside, dir_.Path("top/ln"), noLinks);
  std::set<std::string> before = NamesIn(dir_.Path("top"));
  OwnedHandle file;
  DeviceKind kind = DeviceKind::kUnknown;
  int32_t made = CreateUnnamedFileIn(top_, &file, &kind);
  if (kHostSystem == HostSystem::kWindows) {
    EXPECT_EQ(made, kUnsupportedOperation);
    EXPECT_FALSE(file.IsOpen());
    return;
  }
  if (made == kUnsupportedOperation) GTEST_SKIP() << "this file system makes no unnamed file";
  ASSERT_EQ(made, 0);
  EXPECT_EQ(kind, DeviceKind::kDisk);
  EXPECT_EQ(WriteAll(file.get(), "ours", 4), 0);
  EXPECT_EQ(NamesIn(dir_.Path("top")), before) << "nothing shows before it is named";

  const std::pair<const char*, int32_t> kNames[] = {
      {"theirs.txt", kFileExists}, {"sub", kFileExists}, {"ln", kFileExists}, {"free.txt", 0}};
  for (const auto& [name, code] : kNames) {
    if (noLinks && std::string(name) == "ln") continue;
    EXPECT_EQ(NameUnnamedFileIn(file.get(), top_, name), code) << name;
  }
  EXPECT_EQ(ReadBytes(dir_.Path("top/free.txt")), "ours");
  EXPECT_EQ(ReadBytes(theirs), "theirs");
  EXPECT_EQ(ReadBytes(outside), "outside");
  EXPECT_EQ(LookUpEntry(top_, "sub"), EntryKind::kDirectory);

  std::string temporary;
  ASSERT_EQ(NameUnnamedFileAsTemporaryIn(file.get(), top_, &temporary), 0);
  EXPECT_EQ(temporary.rfind(".quillpack-", 0), 0u) << temporary;
  EXPECT_EQ(ReadBytes(dir_.Path("top/" + temporary)), "ours");
  EXPECT_EQ(RemoveFileIn(top_, temporary), 0);
  ForgetTemporaryFile(temporary);

  before = NamesIn(dir_.Path("top"));
  OwnedHandle dropped;
  ASSERT_EQ(CreateUnnamedFileIn(top_, &dropped, nullptr), 0);
  EXPECT_EQ(WriteAll(dropped.get(), "half", 4), 0);
  dropped.Close();
  EXPECT_EQ(NamesIn(dir_.Path("top")), before) << "an unnamed file leaves nothing";
}

// A held folder knows whether its name in the folder above still holds it: not once it
// was moved away, whatever took its name then, a link to it included. On Win32 nobody
// can move a folder that is held.
TEST_F(HeldDirectoryTest, HeldFoldersKnowWhetherTheirNameStillHoldsThem) {
  std::filesystem::create_directories(dir_.Path("top/other"));
  Directory sub;
  Directory other;
  ASSERT_EQ(OpenSubdirectory(top_, "sub", &sub), 0);
  ASSERT_EQ(OpenSubdirectory(top_, "other", &other), 0);
  FileIdentity identity;
  FileIdentity otherIdentity;
  ASSERT_EQ(IdentifyDirectory(sub, &identity), 0);
  ASSERT_EQ(IdentifyDirectory(other, &otherIdentity), 0);
  EXPECT_NE(identity, otherIdentity);
  EXPECT_TRUE(IsStillSubdirectory(top_, "sub", identity));
  std::error_code error;
  std::filesystem::rename(dir_.Path("top/sub"), dir_.Path("top/sub.old"), error);
  if (kHostSystem == HostSystem::kWindows) {
    EXPECT_TRUE(error) << "a held folder was moved";
    EXPECT_TRUE(IsStillSubdirectory(top_, "sub", identity));
    return;
  }
  ASSERT_FALSE(error) << error.message();
  EXPECT_FALSE(IsStillSubdirectory(top_, "sub", identity)) << "moved away";
  EXPECT_TRUE(IsStillSubdirectory(top_, "sub.old", identity));
  EXPECT_FALSE(IsStillSubdirectory(top_, "other", identity));
  std::filesystem::create_directory(dir_.Path("top/sub"));
  EXPECT_FALSE(IsStillSubdirectory(top_, "sub", identity)) << "another folder in its place";
  std::filesystem::remove(dir_.Path("top/sub"));
  std::filesystem::create_directory_symlink(dir_.Path("top/sub.old"), dir_.Path("top/sub"));
  EXPECT_FALSE(IsStillSubdirectory(top_, "sub", identity)) << "a link to it in its place";
}

// What a name is, opened as it is for writing: never created, a regular file held before
// it is emptied.
TEST_F(HeldDirectoryTest, OpenExistingForWritingInMakesNothing) {
  std::string full = dir_.Write("top/full.txt", "old");
  OwnedHandle writer;
  DeviceKind kind = DeviceKind::kUnknown;
  EXPECT_EQ(OpenExistingForWritingIn(top_, "missing", &writer, &kind), kFileNotFound);
  EXPECT_EQ(LookUpEntry(top_, "missing"), EntryKind::kMissing);
  EXPECT_EQ(OpenExistingForWritingIn(top_, "sub", &writer, &kind), kAccessDenied);
  OwnedHandle reader;
  ASSERT_EQ(OpenExistingForReading(full, &reader), 0);
  EXPECT_EQ(OpenExistingForWritingIn(top_, "full.txt", &writer, &kind), kSharingViolation);
  EXPECT_EQ(ReadBytes(full), "old") << "emptied only once held";
  reader.Close();
  std::optional<FileIdentity> identity;
  ASSERT_EQ(OpenExistingForWritingIn(top_, "full.txt", &writer, &kind, &identity), 0);
  EXPECT_EQ(kind, DeviceKind::kDisk);
  EXPECT_EQ(ReadBytes(full), "");
  FileIdentity expected;
  ASSERT_EQ(IdentifyFile(full, &expected), 0);
  EXPECT_EQ(identity, expected);
  writer.Close();

  std::error_code error;
  std::filesystem::create_symlink(dir_.Path("elsewhere.txt"), dir_.Path("top/dangling"), error);
  if (error) return;
  EXPECT_EQ(OpenExistingForWritingIn(top_, "dangling", &writer, &kind), kFileNotFound);
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("elsewhere.txt"))) << "nothing made through it";
  std::string target = dir_.Write("target.txt", "linked");
  std::filesystem::create_symlink(target, dir_.Path("top/ln"));
  ASSERT_EQ(OpenExistingForWritingIn(top_, "ln", &writer, &kind, &identity), 0);
  EXPECT_EQ(ReadBytes(target), "") << "what a link leads to is written as it is";
}

}  // namespace
}  // namespace quillpack::platform
