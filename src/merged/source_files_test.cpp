#include "merged/source_files.h"

#include <gtest/gtest.h>

#include <string>

namespace quillpack {
namespace {

using platform::HostSystem;

// The counts in their order, each in the singular for one, and the kind that differs by
// host in each host's words.
TEST(PassedOverLine, CountsEachKindInItsNumber) {
  struct Case {
    PassedOver passedOver;
    HostSystem host;
    std::string line;
  };
  const Case cases[] = {
      {{}, HostSystem::kPosix, ""},
      {{}, HostSystem::kWindows, ""},
      {{6, 4, 0, 0}, HostSystem::kPosix, "Passed over: 6 hidden names, 4 links to folders."},
      {{1, 1, 1, 1},
       HostSystem::kPosix,
       "Passed over: 1 hidden name, 1 link to a folder, 1 link that leads nowhere, 1 file that "
       "is not regular."},
      {{0, 0, 2, 3},
       HostSystem::kPosix,
       "Passed over: 2 links that lead nowhere, 3 files that are not regular."},
      {{0, 0, 0, 1}, HostSystem::kWindows, "Passed over: 1 system file."},
      {{12, 0, 0, 2}, HostSystem::kWindows, "Passed over: 12 hidden names, 2 system files."},
      {{0, 1000000, 0, 0}, HostSystem::kPosix, "Passed over: 1000000 links to folders."},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PassedOverLine(c.passedOver, c.host), c.line) << c.line;
}

}  // namespace
}  // namespace quillpack
