#include "merged/member_target.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/temporary_directory.h"

namespace quillpack {
namespace {

using test_support::Exists;
using test_support::TemporaryDirectory;

// What another program does to the folders below the target between two members.
enum class Between { kNothing, kMoved, kSwappedForLink, kOuterSwappedForLink, kRemoved };

struct SecondMemberCase {
  const char* what;
  std::vector<std::string> first;  // the folders of the first member
  Between between;
  std::vector<std::string> second;  // the folders of the second member
  int32_t reached;                  // what reaching them gives
  const char* landsIn;              // where a file made there shows, below the target
};

// Moves `from` (below the target) away to `from`.old and, when `link` is set, puts a link
// to that moved folder in its place. False where the host keeps held folders from moving.
bool MoveAway(const TemporaryDirectory& dir, const std::string& from, bool link) {
  std::error_code error;
  std::filesystem::rename(dir.Path("out/" + from), dir.Path("out/" + from + ".old"), error);
  if (error) return false;
  if (link) {
    std::filesystem::create_directory_symlink(dir.Path("out/" + from + ".old"),
                                              dir.Path("out/" + from), error);
  }
  return !error;
}

// The folders of the member before stay open for the next member through them, but only
// while their names still hold them: a folder moved away or swapped for a link meanwhile
// is looked up again, as for a new member, so no member goes where its name does not lead.
TEST(TargetDirectory, KeepsFoldersOnlyWhileTheirNamesHoldThem) {
  const SecondMemberCase kCases[] = {
      {"same folder", {"SUB"}, Between::kNothing, {"SUB"}, 0, "SUB"},
      {"deeper", {"SUB"}, Between::kNothing, {"SUB", "IN"}, 0, "SUB/IN"},
      {"back from another", {"OTHER"}, Between::kNothing, {"SUB"}, 0, "SUB"},
      {"the target itself", {"SUB"}, Between::kNothing, {}, 0, ""},
      {"moved away", {"SUB"}, Between::kMoved, {"SUB"}, 0, "SUB"},
      {"removed", {"SUB"}, Between::kRemoved, {"SUB"}, 0, "SUB"},
      {"swapped for a link",
       {"SUB"},
       Between::kSwappedForLink,
       {"SUB"},
       platform::kStoppedOnLink,
       nullptr},
      {"outer one swapped",
       {"SUB", "IN"},
       Between::kOuterSwappedForLink,
       {"SUB", "IN"},
       platform::kStoppedOnLink,
       nullptr},
  };
  for (const SecondMemberCase& c : kCases) {
    SCOPED_TRACE(c.what);
    TemporaryDirectory dir;
    std::filesystem::create_directories(dir.Path("out/SUB"));
    std::string delimiter(1, platform::kHostSystem == platform::HostSystem::kWindows ? '\\' : '/');
    TargetDirectory target(dir.Path("out") + delimiter);
    const platform::Directory* reached = nullptr;
    ASSERT_EQ(target.Reach(c.first, &reached), 0);
    ASSERT_NE(reached, nullptr);
    bool done = true;
    if (c.between == Between::kMoved) done = MoveAway(dir, "SUB", false);
    if (c.between == Between::kSwappedForLink) done = MoveAway(dir, "SUB", true);
    if (c.between == Between::kOuterSwappedForLink) done = MoveAway(dir, "SUB", true);
    if (c.between == Between::kRemoved) {
      std::error_code error;
      done = std::filesystem::remove(dir.Path("out/SUB"), error) && !error;
    }
    if (!done) {
      // Win32 holds the folders against moves and removals; POSIX must let them happen.
      EXPECT_EQ(platform::kHostSystem, platform::HostSystem::kWindows);
      continue;
    }
    EXPECT_EQ(target.Reach(c.second, &reached), c.reached);
    if (c.landsIn == nullptr) {
      EXPECT_FALSE(Exists(dir.Path("out/SUB.old/x.txt")));
      continue;
    }
    ASSERT_NE(reached, nullptr);
    platform::OwnedHandle made;
    ASSERT_EQ(platform::CreateNewFileIn(*reached, "x.txt", &made, nullptr), 0);
    std::string expected = dir.Path(*c.landsIn ? "out/" + std::string(c.landsIn) : "out");
    EXPECT_TRUE(Exists(expected + delimiter + "x.txt")) << "not in " << expected;
    EXPECT_FALSE(Exists(dir.Path("out/SUB.old/x.txt"))) << "went where its name no longer leads";
  }
}

// Each step reaches `folders` and asks about `name`.
struct LookUpStep {
  std::vector<std::string> folders;
  const char* name;
  bool spared;
};

// Only a folder this extract has just made is known to hold nothing but the names met in
// it since: there a name never met may go without a look, while a name met again (in
// another case too), a short name and anything beyond ASCII are looked up.
TEST(TargetDirectory, SparesLookUpsOnlyInFoldersItJustMade) {
  const LookUpStep kSteps[] = {
      {{}, "A.TXT", false},  // the target: someone else's
      {{"OLD"}, "A.TXT", false},
      {{"NEW"}, "A.TXT", true},
      {{"NEW"}, "B.TXT", true},
      {{"NEW"}, "A.TXT", false},
      {{"NEW"}, "b.txt", false},
      {{"NEW"}, "LONGNA~1.TXT", false},
      {{"NEW"}, "C.TXT", true},
      {{"NEW", "IN"}, "D.TXT", true},
      {{"NEW"}, "E.TXT", false},  // made before, at another reach
      {{"NEW2"}, "\xc3\x89.TXT", false},
      {{"NEW2"}, "F.TXT", false},  // sparing ends beyond ASCII
  };
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir.Path("out/OLD"));
  std::string delimiter(1, platform::kHostSystem == platform::HostSystem::kWindows ? '\\' : '/');
  TargetDirectory target(dir.Path("out") + delimiter);
  for (const LookUpStep& step : kSteps) {
    SCOPED_TRACE(step.name);
    const platform::Directory* reached = nullptr;
    ASSERT_EQ(target.Reach(step.folders, &reached), 0);
    EXPECT_EQ(target.SparesLookUpOf(step.name), step.spared);
  }
}

}  // namespace
}  // namespace quillpack
