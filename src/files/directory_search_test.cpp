#include "files/directory_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform.h"
#include "support/host_names.h"
#include "support/temporary_directory.h"

namespace quillpack {
namespace {

namespace fs = std::filesystem;
using test_support::kDelimiter;
using test_support::kOnWindows;
using test_support::Names;
using test_support::Sorted;

constexpr fs::perms kWriteBits =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

Names NamesOf(const std::vector<ListedFile>& files) {
  Names names;
  for (const ListedFile& file : files)
    names.push_back(file.name);
  return names;
}

// Ordinary files (one read-only, one without a dot, one with a long name) beside two
// subdirectories, one of which matches "*.txt".
class DirectorySearch : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("a.txt", "aaaaa");
    dir_.Write("B.TXT", "");
    dir_.Write("README", "r");
    dir_.Write("long file name.text", "");
    locked_ = dir_.Write("locked.txt", "");
    fs::permissions(locked_, kWriteBits, fs::perm_options::remove);
    fs::create_directory(In("sub"));
    fs::create_directory(In("sub.txt"));
  }
  // A read-only file would stop the directory from being removed on Windows.
  void TearDown() override { fs::permissions(locked_, kWriteBits, fs::perm_options::add); }

  std::string In(std::string_view name) const {
    return dir_.Path() + kDelimiter + std::string(name);
  }

  quillpack::test_support::TemporaryDirectory dir_;
  std::string locked_;
};

TEST_F(DirectorySearch, ListMatchingFilesYieldsOrdinaryFilesOnly) {
  const Names all = {"B.TXT", "README", "a.txt", "locked.txt", "long file name.text"};
  struct Case {
    std::string pattern;
    Names names;
  };
  const Case cases[] = {
      {In("*.*"), all},
      {In("*"), all},
      {In("*.TXT"), {"B.TXT", "a.txt", "locked.txt"}},
      {In("?.txt"), {"B.TXT", "a.txt"}},
      {In("a.txt"), {"a.txt"}},
      {In("A.TXT"), {"a.txt"}},
      {In("readme"), {"README"}},
      {In("sub*"), {}},
      {In("sub") + kDelimiter + "*", {}},
      {dir_.Path(), {}},
      {In(""), {}},
      {In("missing") + kDelimiter + "*.txt", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sorted(NamesOf(ListMatchingFiles(c.pattern))), c.names) << "pattern: " << c.pattern;
  }
  // Windows gives the names without a dot too; Wine, which runs these tests, every name.
  if (!kOnWindows) {
    EXPECT_EQ(NamesOf(ListMatchingFiles(In("*."))), Names{"README"});
  }
}

// What a name is found to be: a file, a directory, or neither.
TEST_F(DirectorySearch, IsExistingFileOrDirectory) {
  struct Case {
    std::string name;
    bool file;
    bool directory;
  };
  const Case cases[] = {
      {In("a.txt"), true, false},
      {In("locked.txt"), true, false},
      // POSIX opens only the name as spelled: neither a mask nor another case reaches a file.
      {In("?.txt"), kOnWindows, false},
      {In("A.TXT"), kOnWindows, false},
      {In("b.txt"), kOnWindows, false},
      {In("B.TXT"), true, false},
      {In("sub"), false, true},
      {In("sub.txt"), false, true},
      {In("SUB"), false, kOnWindows},
      {dir_.Path(), false, true},
      // A mask is never a directory, nor is a name that ends in a delimiter.
      {In("sub*"), false, false},
      {In("sub") + kDelimiter, false, false},
      {In("a.txt") + kDelimiter, false, false},
      {"", false, false},
      {In("missing.txt"), false, false},
      {In("missing"), false, false},
      {In("missing") + kDelimiter + "a.txt", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsExistingFile(c.name), c.file) << "name: " << c.name;
    EXPECT_EQ(IsExistingDirectory(c.name), c.directory) << "name: " << c.name;
  }
}

// A name spelled like a mask, beside names it matches, is still found as itself.
TEST_F(DirectorySearch, AFileNamedLikeAMaskExists) {
  if (kOnWindows) GTEST_SKIP() << "Windows file names hold no wildcards";
  dir_.Write("sub/!.txt", "");
  dir_.Write("sub/?.txt", "");
  dir_.Write("sub/x*.", "");
  std::string sub = In("sub") + kDelimiter;
  EXPECT_TRUE(IsExistingFile(sub + "?.txt"));
  EXPECT_TRUE(IsExistingFile(sub + "x*."));
  EXPECT_FALSE(IsExistingFile(sub + "*.txt"));
}

TEST_F(DirectorySearch, FindMatchFillsTheEntryAndStaysOpenUntilEnded) {
  TSearchRec search;
  ASSERT_EQ(FindFirstMatch(In("a.*"), 0, &search), 0);
  EXPECT_EQ(search.fileName, "a.txt");
  EXPECT_EQ(search.fileSize, 5);
  EXPECT_EQ(search.attributeBits & platform::kAttributeDirectory, 0u);
  EXPECT_NE(search.packedTime, 0u);

  EXPECT_EQ(FindNextMatch(&search), platform::kNoMoreFiles);
  EXPECT_EQ(search.fileName, "a.txt") << "a failed step keeps the last entry";
  EXPECT_TRUE(search.search.IsOpen());
  EndSearch(&search);
  EXPECT_FALSE(search.search.IsOpen());
  EndSearch(&search);
}

TEST_F(DirectorySearch, IncludeMaskAdmitsDirectories) {
  TSearchRec search;
  EXPECT_EQ(FindFirstMatch(In("sub*"), 0, &search), platform::kNoMoreFiles);
  EXPECT_EQ(search.skipMask, 0x1Eu);
  EXPECT_FALSE(search.search.IsOpen()) << "a failed start leaves nothing open";
  EndSearch(&search);
  EndSearch(&search);

  Names names;
  for (int32_t code = FindFirstMatch(In("sub*"), platform::kAttributeDirectory, &search); code == 0;
       code = FindNextMatch(&search)) {
    names.push_back(search.fileName);
  }
  EndSearch(&search);
  EXPECT_EQ(search.skipMask, 0x0Eu);
  EXPECT_EQ(Sorted(names), (Names{"sub", "sub.txt"}));
}

// Hidden and system entries: on POSIX a leading dot, and anything neither file nor
// directory (here a dangling link); a link to a directory counts as a directory.
TEST_F(DirectorySearch, PassesOverHiddenAndSystemEntries) {
  if (kOnWindows) GTEST_SKIP() << "setting hidden and system attributes needs an OS call";
  std::string sub = In("sub") + kDelimiter;
  dir_.Write("sub/.hidden.txt", "h");
  fs::create_symlink(sub + "nowhere", sub + "dangling.txt");
  fs::create_symlink(sub + "inner", sub + "inner.txt");
  fs::create_directory(sub + "inner");
  EXPECT_EQ(NamesOf(ListMatchingFiles(sub + "*")), Names{});
  EXPECT_EQ(NamesOf(ListMatchingFiles(sub + "*.txt")), Names{});

  EXPECT_TRUE(IsExistingFile(sub + ".hidden.txt"));
  EXPECT_TRUE(IsExistingFile(sub + "dangling.txt"));
  EXPECT_FALSE(IsExistingFile(sub + "inner.txt"));

  TSearchRec search;
  ASSERT_EQ(FindFirstMatch(sub + "*.txt", platform::kAttributeHidden, &search), 0);
  EXPECT_EQ(search.fileName, ".hidden.txt");
  EndSearch(&search);
}

// On Windows the hidden and system bits are the file's own attributes.
TEST_F(DirectorySearch, PassesOverHiddenAndSystemAttributes) {
  if (!kOnWindows) GTEST_SKIP() << "POSIX derives the bits from names and file types";
  std::string sub = In("sub") + kDelimiter;
  std::string hidden = dir_.Write("sub/hidden.txt", "h");
  std::string system = dir_.Write("sub/system.txt", "s");
  ASSERT_EQ(platform::SetAttributeBits(hidden, platform::kAttributeHidden), 0);
  ASSERT_EQ(platform::SetAttributeBits(system, platform::kAttributeSystem), 0);
  EXPECT_EQ(NamesOf(ListMatchingFiles(sub + "*.*")), Names{});
  EXPECT_TRUE(IsExistingFile(hidden));
  EXPECT_TRUE(IsExistingFile(system));

  TSearchRec search;
  ASSERT_EQ(FindFirstMatch(sub + "*.txt", platform::kAttributeHidden, &search), 0);
  EXPECT_EQ(search.fileName, "hidden.txt");
  EXPECT_NE(FindNextMatch(&search), 0);
  EndSearch(&search);
  platform::SetAttributeBits(hidden, platform::kAttributeNormal);
  platform::SetAttributeBits(system, platform::kAttributeNormal);
}

}  // namespace
}  // namespace quillpack
