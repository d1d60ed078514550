#include "files/identified_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "failures/failure_codes.h"
#include "support/temporary_directory.h"

namespace quillpack {
namespace {

namespace fs = std::filesystem;

constexpr bool kOnPosix = platform::kHostSystem == platform::HostSystem::kPosix;

class IdentifiedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("out.txt", "merged");
    dir_.Write("other.txt", "source");
    fs::create_directory(dir_.Path("sub"));
    fs::create_hard_link(dir_.Path("out.txt"), dir_.Path("hard.txt"));
    if (kOnPosix) fs::create_symlink(dir_.Path("out.txt"), dir_.Path("soft.txt"));
  }
  void TearDown() override { EXPECT_EQ(TakeFailureCode(), 0); }

  // The directory with its trailing delimiter, as the merge hands it over.
  std::string Directory() const {
    std::string inside = dir_.Path("x");
    return inside.substr(0, inside.size() - 1);
  }

  // The names of the listed files that are `file`.
  std::set<std::string> Found(const IdentifiedFile& file) const {
    std::set<std::string> found;
    for (const ListedFile& listed : ListMatchingFiles(Directory() + "*"))
      if (file.IsListedAs(Directory(), listed)) found.insert(listed.name);
    return found;
  }

  test_support::TemporaryDirectory dir_;
};

// Any name that leads to the file finds it under every name the listing gives it.
TEST_F(IdentifiedFileTest, FoundByWhatItIs) {
  std::set<std::string> expected = {"out.txt"};
  // Win32 listings carry no identity: only the file's own name is asked about.
  if (kOnPosix) expected = {"out.txt", "hard.txt", "soft.txt"};
  for (const std::string& name : {dir_.Path("out.txt"), dir_.Path("sub") + "/../out.txt"}) {
    IdentifiedFile file(name);
    EXPECT_TRUE(file.IsIdentified()) << name;
    EXPECT_EQ(Found(file), expected) << name;
  }
  if (kOnPosix) {
    EXPECT_EQ(Found(IdentifiedFile(dir_.Path("soft.txt"))), expected);
  }
}

TEST_F(IdentifiedFileTest, NothingToIdentify) {
  for (const std::string& name :
       {dir_.Path("missing.txt"), dir_.Path("sub"), dir_.Path("gone") + "/x.txt"}) {
    IdentifiedFile file(name);
    EXPECT_FALSE(file.IsIdentified()) << name;
    EXPECT_EQ(Found(file), std::set<std::string>()) << name;
  }
}

// What a listing without identities (Win32) is asked about: its own name only.
TEST_F(IdentifiedFileTest, ListingWithoutIdentities) {
  IdentifiedFile file(dir_.Path("out.txt"));
  EXPECT_TRUE(file.IsListedAs(Directory(), {"out.txt", std::nullopt}));
  EXPECT_FALSE(file.IsListedAs(Directory(), {"other.txt", std::nullopt}));
  EXPECT_FALSE(file.IsListedAs(Directory(), {"hard.txt", std::nullopt}));
  EXPECT_FALSE(file.IsListedAs(Directory(), {"missing.txt", std::nullopt}));
}

}  // namespace
}  // namespace quillpack
