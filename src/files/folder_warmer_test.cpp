#include "files/folder_warmer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "files/tree_listing.h"
#include "platform/platform.h"
#include "support/helper_gate.h"
#include "support/temporary_directory.h"

namespace quillpack {
namespace {

using quillpack::test_support::TemporaryDirectory;

// A stand-in for the platform's warming: records the folders in the order they are
// warmed and, while its gate is closed, holds each helper inside the call.
class Recorder : public test_support::HelperGate {
 public:
  explicit Recorder(bool gateOpen = true, bool needed = true)
      : HelperGate(gateOpen), needed_(needed) {}

  FolderWarmer::WarmOne Warm() {
    return [this](const std::string& path) {
      return PassThrough([&] {
        warmed_.push_back(path);
        return needed_;
      });
    };
  }

  std::vector<std::string> Warmed() {
    return Locked([this] { return warmed_; });
  }

 private:
  const bool needed_;
  std::vector<std::string> warmed_;
};

// The folders a walk finds in a folder come before those it found earlier, as it enters
// them first; a folder the walk enters before a helper took it is left to the walk.
TEST(FolderWarmer, WarmsInTheOrderTheWalkEnters) {
  Recorder recorder(false);
  FolderWarmer warmer({1, 0}, recorder.Warm());
  EXPECT_EQ(warmer.ThreadCount(), 0) << "no helper before a folder is found";
  warmer.Found({"a", "b", "c", "d"});
  EXPECT_EQ(warmer.ThreadCount(), 1);
  recorder.WaitUntilInside(1);  // on "a"
  warmer.Entered("a");
  warmer.Found({"a/x", "a/y"});
  warmer.Entered("a/x");  // the walk overtakes the helper
  recorder.OpenGate();
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed(), (std::vector<std::string>{"a", "a/y", "b", "c", "d"}));
}

// On a tree in the cache every folder needs nothing: after a run of them the helpers end,
// and folders found later are left to the walk.
TEST(FolderWarmer, EndsOnATreeInTheCache) {
  Recorder recorder(true, false);
  FolderWarmer warmer({1, 3}, recorder.Warm());
  warmer.Found({"1", "2", "3", "4", "5"});
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed(), (std::vector<std::string>{"1", "2", "3"}));
  warmer.Found({"6"});
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed().size(), 3u) << "ended";
}

// The platform's own warming beside a real walk: what is listed is the same with it;
// folders that do not open, or are no folders, are passed over in silence, and a folder in
// the cache needs nothing.
TEST(FolderWarmer, ThePlatformsWarmingChangesNoListing) {
  TemporaryDirectory dir;
  for (const char* folder : {"a/x", "a/y", "b", "c/z"})
    std::filesystem::create_directories(dir.Path(std::string("top/") + folder));
  for (const char* file : {"a/x/1.txt", "a/y/2.txt", "b/3.txt", "c/z/4.txt", "5.txt"})
    dir.Write(std::string("top/") + file, "text\n");
  platform::Directory top;
  std::string delimiter(1, platform::kHostSystem == platform::HostSystem::kWindows ? '\\' : '/');
  ASSERT_EQ(platform::OpenDirectory(dir.Path("top") + delimiter, &top), 0);
  // A folder just made is in the cache: POSIX tells that nothing had to be read for it.
  EXPECT_EQ(platform::WarmFolderIn(top, "a"),
            platform::kHostSystem == platform::HostSystem::kWindows);
  for (const char* path : {"missing", "5.txt"})
    EXPECT_FALSE(platform::WarmFolderIn(top, path)) << path;
  ListingFilter filter(ListingChoices(), delimiter[0]);
  TreeListing listing;
  ListingRules rules{"*", true, delimiter[0], SIZE_MAX};
  ASSERT_EQ(ListSources(top, rules, filter, &listing), 0);
  std::set<std::string> names;
  for (const ListedFile& file : listing.files)
    names.insert(file.name);
  auto in = [&](const char* path) {
    std::string name = path;
    for (char& byte : name)
      if (byte == '/') byte = delimiter[0];
    return name;
  };
  EXPECT_EQ(names, (std::set<std::string>{in("a/x/1.txt"), in("a/y/2.txt"), in("b/3.txt"),
                                          in("c/z/4.txt"), in("5.txt")}));
}

}  // namespace
}  // namespace quillpack
