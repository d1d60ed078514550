#include "files/tree_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/host_names.h"
#include "support/temporary_directory.h"

namespace quillpack {
namespace {

namespace fs = std::filesystem;
using test_support::HostNames;
using test_support::kDelimiter;
using test_support::kOnWindows;
using test_support::Names;
using test_support::Sorted;

class TreeListingTest : public ::testing::Test {
 protected:
  // Lists the folder "top" of the test's directory, or `folder` below it.
  int32_t List(ListingRules rules, const ListingChoices& choices = {},
               const std::string& folder = "top") {
    listing_ = TreeListing();
    platform::Directory top;
    EXPECT_EQ(platform::OpenDirectory(dir_.DirectoryPath(folder), &top), 0);
    rules.delimiter = kDelimiter;
    ListingFilter filter(choices, kDelimiter);
    return ListSources(top, rules, filter, &listing_);
  }
  Names Files() const {
    Names names;
    for (const ListedFile& file : listing_.files)
      names.push_back(file.name);
    return Sorted(names);
  }
  void Write(const std::string& name) {
    fs::create_directories(fs::path(dir_.Path(name)).parent_path());
    dir_.Write(name, name);
  }

  test_support::TemporaryDirectory dir_;
  TreeListing listing_;
};

TEST_F(TreeListingTest, WalksTheTreeAndCountsWhatItPassesOver) {
  Write("top/a.txt");
  Write("top/b.md");
  Write("top/sub/c.txt");
  Write("top/sub/deeper/d.TXT");
  fs::create_directories(dir_.Path("top/empty"));
  ASSERT_EQ(List({"*.txt", true}), 0);
  EXPECT_EQ(Files(), HostNames({"a.txt", "sub/c.txt", "sub/deeper/d.TXT"}));
  EXPECT_EQ(listing_.passedOver, PassedOver());
  if (kOnWindows) GTEST_SKIP() << "hidden entries need attributes set on Windows";

  Write("top/.hidden.txt");
  Write("top/.hid/e.txt");
  fs::create_directory_symlink(dir_.Path("top/sub"), dir_.Path("top/sub/up"));
  fs::create_symlink(dir_.Path("top/nowhere"), dir_.Path("top/dangling.txt"));
  ASSERT_EQ(List({"*.txt", true}), 0);
  EXPECT_EQ(Files(), HostNames({"a.txt", "sub/c.txt", "sub/deeper/d.TXT"}));
  PassedOver expected{2, 1, 1, 0};
  EXPECT_EQ(listing_.passedOver, expected);

  // Flat: the folders count for nothing.
  ASSERT_EQ(List({"*.*", false}), 0);
  EXPECT_EQ(Files(), HostNames({"a.txt", "b.md"}));
  expected = {1, 0, 1, 0};
  EXPECT_EQ(listing_.passedOver, expected);
}

// A walk takes in each folder the files a flat listing of that folder takes, whatever the
// mask: on Win32 a mask also matches short names ("*.htm" takes index.html), and both find
// them by the platform's search.
TEST_F(TreeListingTest, WalkTakesWhatFlatListingsOfItsFoldersTake) {
  const Names folders = {"top", "top/sub", "top/sub/deep"};
  for (const char* name :
       {"top/index.html", "top/a.htm", "top/B.HTM", "top/readme", "top/sub/page.html",
        "top/sub/y.htmx", "top/sub/deep/x.htm", "top/sub/deep/long name.text"}) {
    Write(name);
  }
  for (const char* mask : {"*.htm", "*.*", "*", "*.", "?.htm", "a.htm", "INDEX*", "*.tex"}) {
    Names flat;
    for (const std::string& folder : folders) {
      ASSERT_EQ(List({mask, false}, {}, folder), 0) << mask;
      std::string below = folder == "top" ? "" : folder.substr(4) + "/";
      for (const std::string& file : Files())
        flat.push_back(below + file);
    }
    ASSERT_EQ(List({mask, true}), 0) << mask;
    EXPECT_EQ(Files(), HostNames(flat)) << mask;
  }
  ASSERT_EQ(List({"*.htm", true}), 0);
  Names byName = HostNames({"a.htm", "B.HTM", "sub/deep/x.htm"});
  Names byShortName =
      HostNames({"a.htm", "B.HTM", "index.html", "sub/deep/x.htm", "sub/page.html", "sub/y.htmx"});
  EXPECT_EQ(Files(), platform::kMasksMatchShortNames ? byShortName : byName);
}

// A folder whose path leaves no room below it for a name is not walked: it is refused when
// it holds anything that would be taken, and passed quietly when not.
TEST_F(TreeListingTest, StopsAtFoldersTooDeepForAName) {
  Write("top/abc/x.txt");
  Write("top/abcdefgh/x.txt");
  Write("top/abcdefghi/x.md");       // nothing below matches
  Write("top/abcdefghij/sub/x.md");  // a folder that would be entered
  fs::create_directories(dir_.Path("top/abcdefghijk"));
  ListingRules rules{"*.txt", true};
  rules.longestPath = 9;
  ASSERT_EQ(List(rules), 0);
  EXPECT_EQ(Files(), HostNames({"abc/x.txt"}));
  EXPECT_EQ(Sorted(listing_.foldersTooDeep), Names({"abcdefgh", "abcdefghij"}));
  // Room below a folder does not mean room for every name in it: that is the caller's.
  rules.longestPath = 10;
  ASSERT_EQ(List(rules), 0);
  EXPECT_EQ(Files(), HostNames({"abc/x.txt", "abcdefgh/x.txt"}));
  EXPECT_EQ(Sorted(listing_.foldersTooDeep), Names({"abcdefghij"}));
  // An excluded folder is never looked at.
  ASSERT_EQ(List(rules, {{"abcdefghij"}}), 0);
  EXPECT_TRUE(listing_.foldersTooDeep.empty());
}

// Within a tree a link to a file is taken only when it leads to a file within the top,
// however it gets there; a flat listing takes it as it always has.
TEST_F(TreeListingTest, LinksThatLeaveTheTree) {
  if (kOnWindows) GTEST_SKIP() << "links need rights on Windows";
  Write("outside.txt");
  Write("top/in.txt");
  Write("top/.hidden/secret.txt");
  Write("top/sub/own.txt");
  fs::create_directory_symlink(dir_.Path(""), dir_.Path("top/sub/root-link"));
  const std::pair<const char*, std::string> links[] = {
      {"top/out.txt", dir_.Path("outside.txt")},
      {"top/up.txt", "../outside.txt"},
      {"top/back.txt", "../top/in.txt"},
      {"top/abs.txt", dir_.Path("top/sub/own.txt")},
      {"top/hid.txt", ".hidden/secret.txt"},
      {"top/sub/chain.txt", "../back.txt"},
      {"top/sub/around.txt", "root-link/top/in.txt"},
      {"top/sub/away.txt", "root-link/outside.txt"},
      {"top/sub/chain-out.txt", "../up.txt"},
  };
  for (const auto& [name, target] : links)
    fs::create_symlink(target, dir_.Path(name));
  ASSERT_EQ(List({"*.txt", true}), 0);
  EXPECT_EQ(Files(), HostNames({"abs.txt", "back.txt", "hid.txt", "in.txt", "sub/around.txt",
                                "sub/chain.txt", "sub/own.txt"}));
  EXPECT_EQ(Sorted(listing_.linksLeavingTree),
            HostNames({"out.txt", "sub/away.txt", "sub/chain-out.txt", "up.txt"}));
  // The identity a link is taken with is that of the file it leads to.
  for (const ListedFile& file : listing_.files) {
    platform::FileIdentity identity;
    ASSERT_EQ(platform::IdentifyFile(dir_.Path("top/" + file.name), &identity), 0);
    EXPECT_EQ(file.identity, identity) << file.name;
  }
  ASSERT_EQ(List({"*.txt", false}), 0);
  EXPECT_EQ(Files(), HostNames({"abs.txt", "back.txt", "hid.txt", "in.txt", "out.txt", "up.txt"}));
  EXPECT_TRUE(listing_.linksLeavingTree.empty());
}

// A .gitignore another program holds for writing cannot be read: the listing stops and
// names it.
TEST_F(TreeListingTest, AGitignoreThatCannotBeRead) {
  Write("top/sub/.gitignore");
  Write("top/a.txt");
  platform::Directory top;
  platform::Directory sub;
  ASSERT_EQ(platform::OpenDirectory(dir_.DirectoryPath("top"), &top), 0);
  ASSERT_EQ(platform::OpenSubdirectory(top, "sub", &sub), 0);
  platform::OwnedHandle writer;
  ASSERT_EQ(platform::HoldForReplacingIn(sub, ".gitignore", &writer), 0);
  EXPECT_EQ(List({"*.*", true}, {{}, true, false}), platform::kSharingViolation);
  EXPECT_TRUE(listing_.unreadableFile);
  EXPECT_EQ(listing_.failedPath, HostNames({"sub/.gitignore"}).front());
  // Without -gitignore it is not read at all.
  EXPECT_EQ(List({"*.*", true}), 0);
}

}  // namespace
}  // namespace quillpack
