#include "merged/member_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillpack {
namespace {

constexpr NameProblem kNone = NameProblem::kNone;
constexpr NameProblem kLeaves = NameProblem::kLeavesTarget;
constexpr NameProblem kDevice = NameProblem::kDeviceName;
constexpr NameProblem kTrailing = NameProblem::kTrailingDotOrSpace;
constexpr NameProblem kByte = NameProblem::kForbiddenByte;

TEST(CheckMemberName, BothRuleSets) {
  struct Case {
    std::string name;
    NameProblem windows;
    NameProblem posix;
  };
  const Case cases[] = {
      {"A.TXT", kNone, kNone},
      {"", kNone, kNone},
      {"SUB\\X.TXT", kNone, kNone},
      {"SUB/X.TXT", kNone, kNone},
      {"..", kLeaves, kLeaves},
      {"../X.TXT", kLeaves, kLeaves},
      {"..\\X.TXT", kLeaves, kNone},  // a backslash is an ordinary byte on POSIX
      {"SUB/../../X", kLeaves, kLeaves},
      {"SUB\\..", kLeaves, kNone},
      {"..X", kNone, kNone},
      {"X..Y", kNone, kNone},
      {"/ETC/PASSWD", kLeaves, kLeaves},
      {"\\WINDOWS\\X", kLeaves, kNone},
      {"C:X.TXT", kLeaves, kNone},
      {"X.TXT:STREAM", kLeaves, kNone},
      {"./X.TXT", kTrailing, kNone},
      {"CON", kDevice, kNone},
      {"con.txt", kDevice, kNone},
      {"SUB/NUL.TAR.GZ", kDevice, kNone},
      {"AUX .TXT", kDevice, kNone},
      {"COM1", kDevice, kNone},
      {"LPT9.LOG", kDevice, kNone},
      {"COM\xb9", kDevice, kNone},
      {"COM0", kNone, kNone},
      {"COM10", kNone, kNone},
      {"CONSOLE.TXT", kNone, kNone},
      {"XCON", kNone, kNone},
      {"CONIN$", kDevice, kNone},
      {"NAME.", kTrailing, kNone},
      {"NAME ", kTrailing, kNone},
      {"DIR./X", kTrailing, kNone},
      {"...", kTrailing, kNone},
      {"A*B", kByte, kNone},
      {"A?B", kByte, kNone},
      {"A\tB", kByte, kNone},
      {std::string("A\0B", 3), kByte, kByte},
      {"A\xe9\xff", kNone, kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckMemberName(c.name, WindowsMemberNameRules()), c.windows) << c.name;
    EXPECT_EQ(CheckMemberName(c.name, PosixMemberNameRules()), c.posix) << c.name;
  }
}

TEST(ForEachDirectoryPart, ShortestFirst) {
  std::vector<std::string> parts;
  ForEachDirectoryPart("A/B\\C/D", "/\\", [&](std::string_view part) { parts.emplace_back(part); });
  EXPECT_EQ(parts, (std::vector<std::string>{"A", "A/B", "A/B\\C"}));
  parts.clear();
  ForEachDirectoryPart("PLAIN", "/", [&](std::string_view part) { parts.emplace_back(part); });
  EXPECT_TRUE(parts.empty());
}

}  // namespace
}  // namespace quillpack
