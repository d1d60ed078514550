#include "merged/member_names.h"

#include <gtest/gtest.h>

namespace quillpack {
namespace {

TEST(IsSafeMemberName, BothRuleSets) {
  struct Case {
    std::string_view name;
    bool safeOnWindows;
    bool safeOnPosix;
  };
  const Case cases[] = {
      {"A.TXT", true, true},         {"", true, true},
      {"SUB\\X.TXT", true, true},    {"SUB/X.TXT", true, true},
      {"..", false, false},          {"../X.TXT", false, false},
      {"..\\X.TXT", false, true},  // a backslash is an ordinary byte on POSIX
      {"SUB/../../X", false, false}, {"SUB\\..", false, true},
      {"..X", true, true},           {"X..", true, true},
      {"/ETC/PASSWD", false, false}, {"\\WINDOWS\\X", false, true},
      {"C:X.TXT", false, true},      {"C:\\X.TXT", false, true},
      {"X.TXT:STREAM", false, true}, {"./X.TXT", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsSafeMemberName(c.name, WindowsMemberNameRules()), c.safeOnWindows) << c.name;
    EXPECT_EQ(IsSafeMemberName(c.name, PosixMemberNameRules()), c.safeOnPosix) << c.name;
  }
}

}  // namespace
}  // namespace quillpack
