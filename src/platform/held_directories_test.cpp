// The platform's contract for directories held open, natively and under Wine: names
// looked up and files made inside a held directory, never through a link, and new files
// that take a name in one step.

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

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
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath("top"), &top), 0);
  EXPECT_EQ(OpenDirectory(dir.DirectoryPath("missing"), &top), kPathNotFound);
  EXPECT_FALSE(top.IsOpen());
  EXPECT_EQ(OpenDirectory(dir.DirectoryPath("top/f.txt"), &top), kPathNotFound);
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath("top"), &top), 0);

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
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath("top"), &top), 0);
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
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath("top"), &top), 0);
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
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath(), &top), 0);
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
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath("top"), &top), 0);
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

// What a name is, opened as it is for writing: never created, a regular file held before
// it is emptied.
TEST(Platform, OpenExistingForWritingInMakesNothing) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir.Path("top/sub"));
  std::string full = dir.Write("top/full.txt", "old");
  Directory top;
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath("top"), &top), 0);
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

}  // namespace
}  // namespace quillpack::platform
