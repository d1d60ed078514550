#include "files/listing_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/host_names.h"
#include "support/temporary_directory.h"

namespace quillpack {
namespace {

using Verdict = ListingFilter::Verdict;
constexpr Verdict kTaken = Verdict::kTaken;
constexpr Verdict kLeftOut = Verdict::kLeftOut;
constexpr Verdict kHidden = Verdict::kHidden;
using test_support::kOnWindows;

// `path` written with "/", judged with `delimiter` between its parts.
Verdict JudgeOf(const ListingFilter& filter, std::string path, bool isFolder, bool hidden,
                char delimiter) {
  std::replace(path.begin(), path.end(), '/', delimiter);
  std::size_t last = path.rfind(delimiter);
  return filter.Judge(path, last == std::string::npos ? 0 : last + 1, isFolder, hidden);
}

// Exclude patterns by the mask rules: a name at any level without a separator, the whole
// path part by part with one; the same on either host's delimiter.
TEST(ListingFilter, ExcludePatterns) {
  struct Case {
    std::vector<std::string> patterns;
    std::string path;
    bool isFolder;
    Verdict verdict;
  };
  const Case cases[] = {
      {{"*.o"}, "a.o", false, kLeftOut},
      {{"*.o"}, "x/y/A.O", false, kLeftOut},
      {{"*.o"}, "a.c", false, kTaken},
      {{"build"}, "src/Build", true, kLeftOut},
      {{"build"}, "build.txt", false, kTaken},
      {{"*.*"}, "README", false, kLeftOut},
      {{"*."}, "README", false, kLeftOut},
      {{"*."}, "a.txt", false, kTaken},
      // With a separator: the path below the top, part by part.
      {{"docs/old"}, "docs/old", true, kLeftOut},
      {{"docs/old"}, "x/docs/old", true, kTaken},
      {{"docs\\old"}, "docs/old", false, kLeftOut},
      {{"docs/*"}, "docs/a.txt", false, kLeftOut},
      {{"docs/*"}, "docs", true, kTaken},
      {{"docs/*"}, "docs/a/b.txt", false, kTaken},
      {{"*/*.log"}, "a/x.log", false, kLeftOut},
      {{"*/*.log"}, "x.log", false, kTaken},
      {{"/top.txt"}, "top.txt", false, kLeftOut},
      {{"/top.txt"}, "a/top.txt", false, kTaken},
      {{"./docs/old"}, "docs/old", true, kLeftOut},
      {{"./top.txt"}, "a/top.txt", false, kTaken},
      // A trailing separator: folders only, and no separator otherwise.
      {{"out/"}, "a/out", true, kLeftOut},
      {{"out/"}, "out", false, kTaken},
      {{"a/out\\"}, "a/out", true, kLeftOut},
      {{"/", "", "\\\\"}, "x", true, kTaken},
      // Any of several.
      {{"*.o", "*.a"}, "lib.a", false, kLeftOut},
  };
  for (char delimiter : {'/', '\\'}) {
    for (const Case& c : cases) {
      ListingChoices choices;
      choices.excludePatterns = c.patterns;
      ListingFilter filter(choices, delimiter);
      EXPECT_EQ(JudgeOf(filter, c.path, c.isFolder, false, delimiter), c.verdict)
          << c.patterns.front() << " " << c.path << " delimiter " << delimiter;
    }
  }
}

// Hidden names, the .git folder and .gitignore files, by the choices.
TEST(ListingFilter, HiddenNamesAndGitsOwn) {
  struct Case {
    bool gitignore;
    bool hidden;
    std::vector<std::string> patterns;
    std::string path;
    bool isHidden;
    Verdict verdict;
  };
  const Case cases[] = {
      {false, false, {}, ".profile", true, kHidden},
      {false, true, {}, ".profile", true, kTaken},
      {false, false, {".*"}, ".profile", true, kLeftOut},
      {false, true, {}, ".git", true, kTaken},
      {false, true, {".git"}, "a/.git", true, kLeftOut},
      {true, true, {}, ".git", true, kLeftOut},
      {true, true, {}, "sub/.git", true, kLeftOut},
      {true, false, {}, ".git", true, kLeftOut},
      {true, true, {}, ".gitignore", true, kTaken},
      {true, false, {}, ".gitignore", false, kHidden},
      {false, false, {}, ".gitignore", false, kTaken},
      {true, true, {}, ".github", true, kTaken},
      {true, true, {}, ".GIT", true, kOnWindows ? kLeftOut : kTaken},
  };
  for (const Case& c : cases) {
    ListingChoices choices{c.patterns, c.gitignore, c.hidden};
    ListingFilter filter(choices, '/');
    EXPECT_EQ(JudgeOf(filter, c.path, true, c.isHidden, '/'), c.verdict)
        << c.path << (c.gitignore ? " -gitignore" : "") << (c.hidden ? " -hidden" : "");
  }
}

// The .gitignore files are read through the folders held as the walk enters them, and
// given up as it leaves them; one that is a folder is no file to read.
TEST(ListingFilter, ReadsTheGitignoreOfEachFolderEntered) {
  test_support::TemporaryDirectory dir;
  std::filesystem::create_directories(dir.Path("sub/.gitignore"));
  std::filesystem::create_directories(dir.Path("sub/deep"));
  dir.Write(".gitignore", "*.log\n/only-top\n");
  dir.Write("sub/deep/.gitignore", "!keep.log\r\n");
  const char d = test_support::kDelimiter;
  platform::Directory top;
  platform::Directory sub;
  platform::Directory deep;
  ASSERT_EQ(platform::OpenDirectory(dir.Path() + d, &top), 0);
  ASSERT_EQ(platform::OpenSubdirectory(top, "sub", &sub), 0);
  ASSERT_EQ(platform::OpenSubdirectory(sub, "deep", &deep), 0);

  ListingFilter filter({{}, true, true}, d);
  ASSERT_EQ(filter.EnterFolder(top, 0), 0);
  EXPECT_EQ(JudgeOf(filter, "a.log", false, false, d), kLeftOut);
  EXPECT_EQ(JudgeOf(filter, "only-top", false, false, d), kLeftOut);
  ASSERT_EQ(filter.EnterFolder(sub, 4), 0);
  EXPECT_EQ(JudgeOf(filter, "sub/only-top", false, false, d), kTaken);
  ASSERT_EQ(filter.EnterFolder(deep, 9), 0);
  EXPECT_EQ(JudgeOf(filter, "sub/deep/keep.log", false, false, d), kTaken);
  EXPECT_EQ(JudgeOf(filter, "sub/deep/other.log", false, false, d), kLeftOut);
  filter.LeaveFolder();
  EXPECT_EQ(JudgeOf(filter, "sub/keep.log", false, false, d), kLeftOut);
  filter.LeaveFolder();
  filter.LeaveFolder();
  filter.LeaveFolder();  // one more than entered changes nothing
  EXPECT_EQ(JudgeOf(filter, "a.log", false, false, d), kTaken);

  // Without -gitignore nothing is read.
  ListingFilter plain({}, d);
  ASSERT_EQ(plain.EnterFolder(top, 0), 0);
  EXPECT_EQ(JudgeOf(plain, "a.log", false, false, d), kTaken);
}

// A .gitignore that is a link is not read (git reads none either), so a link cannot make a
// file from elsewhere decide what the tree leaves out.
TEST(ListingFilter, GitignoreThatIsALinkIsNotRead) {
  if (kOnWindows) GTEST_SKIP() << "links need rights on Windows";
  test_support::TemporaryDirectory dir;
  dir.Write("rules", "*\n");
  std::filesystem::create_directories(dir.Path("top"));
  std::filesystem::create_symlink(dir.Path("rules"), dir.Path("top/.gitignore"));
  platform::Directory top;
  ASSERT_EQ(platform::OpenDirectory(dir.DirectoryPath("top"), &top), 0);
  ListingFilter filter({{}, true, false}, '/');
  ASSERT_EQ(filter.EnterFolder(top, 0), 0);
  EXPECT_EQ(JudgeOf(filter, "a.txt", false, false, '/'), kTaken);
}

}  // namespace
}  // namespace quillpack
