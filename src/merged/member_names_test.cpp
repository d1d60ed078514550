#include "merged/member_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillpack {
namespace {

constexpr NameProblem kNone = NameProblem::kNone;
constexpr NameProblem kLeaves = NameProblem::kLeavesTarget;
constexpr NameProblem kDevice = NameProblem::kDeviceName;
constexpr NameProblem kByte = NameProblem::kForbiddenByte;
constexpr NameProblem kNoFile = NameProblem::kNoFileName;

TEST(CheckMemberName, BothRuleSets) {
  struct Case {
    std::string name;
    NameProblem windows;
    NameProblem posix;
  };
  const Case cases[] = {
      {"A.TXT", kNone, kNone},
      {"", kNoFile, kNoFile},
      {"SUB\\X.TXT", kNone, kNone},
      {"SUB/X.TXT", kNone, kNone},
      {"..", kLeaves, kLeaves},
      {"../X.TXT", kLeaves, kLeaves},
      {"..\\X.TXT", kLeaves, kLeaves},  // a backslash separates parts on every system
      {"SUB/../../X", kLeaves, kLeaves},
      {"SUB\\..", kLeaves, kLeaves},
      {"..X", kNone, kNone},
      {"X..Y", kNone, kNone},
      {"/ETC/PASSWD", kLeaves, kLeaves},
      {"\\WINDOWS\\X", kLeaves, kLeaves},
      {"C:X.TXT", kLeaves, kNone},
      {"X.TXT:STREAM", kLeaves, kNone},
      {"./X.TXT", kLeaves, kLeaves},  // "." is as good as ".."
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
      {"NAME.", kNone, kNone},  // written as NAME
      {"NAME ", kNone, kNone},
      {"NUL. ", kDevice, kNone},
      {"SUB/ /X", kLeaves, kLeaves},
      {"SUB//X", kNone, kNone},
      {"DIR./X", kNone, kNone},
      {"...", kLeaves, kLeaves},
      {"SUB\\.. ", kLeaves, kLeaves},
      {"A*B", kByte, kNone},
      {"A?B", kByte, kNone},
      {"A\tB", kByte, kByte},
      {"A\x1b[2J", kByte, kByte},
      {"A\x7f", kByte, kByte},
      {std::string("A\0B", 3), kByte, kByte},
      {"A\xe9\xff", kNone, kNone},
      // A last part that is empty names a folder, never a file.
      {"A\\B\\", kNoFile, kNoFile},
      {"A/B/", kNoFile, kNoFile},
      {"SUB\\/", kNoFile, kNoFile},
      {"DIR.\\", kNoFile, kNoFile},
      {std::string(60, 'F') + "\\" + std::string(58, 'G') + "\\", kNoFile, kNoFile},  // cut at 120
      {"..\\", kLeaves, kLeaves},  // what leads outside is said first
      {"\\", kLeaves, kLeaves},
      {"SUB\\ \\", kLeaves, kLeaves},
      {"CON\\", kDevice, kNoFile},
      {"A*\\", kByte, kNoFile},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckMemberName(c.name, WindowsMemberNameRules()), c.windows) << c.name;
    EXPECT_EQ(CheckMemberName(c.name, PosixMemberNameRules()), c.posix) << c.name;
  }
}

// Every refusal is a sentence that goes behind "Member name NAME".
TEST(ProblemText, EveryProblemHasItsSentence) {
  for (NameProblem problem : {kLeaves, kDevice, kByte, kNoFile}) {
    std::string_view text = ProblemText(problem);
    EXPECT_TRUE(text.starts_with(' ') && text.ends_with('.')) << static_cast<int>(problem);
  }
  EXPECT_EQ(ProblemText(kNone), "");
}

// Trailing dots and spaces go as the Win32 file system drops them, on every host.
TEST(WrittenParts, AsTheFileSystemHoldsThem) {
  using Parts = std::vector<std::string>;
  struct Case {
    std::string name;
    Parts windows;
    Parts posix;
  };
  const Case cases[] = {
      {"", {""}, {""}},
      {"A.TXT", {"A.TXT"}, {"A.TXT"}},
      {"A.TXT. .", {"A.TXT"}, {"A.TXT"}},
      {"SUB./X ", {"SUB", "X"}, {"SUB", "X"}},
      {"SUB//X", {"SUB", "X"}, {"SUB", "X"}},
      {"SUB/", {"SUB", ""}, {"SUB", ""}},
      {"A\\B\\C.D", {"A", "B", "C.D"}, {"A", "B", "C.D"}},
      {"A\\B/C.\\D", {"A", "B", "C", "D"}, {"A", "B", "C", "D"}},
      {"..X/Y", {"..X", "Y"}, {"..X", "Y"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WrittenParts(c.name, WindowsMemberNameRules()), c.windows) << c.name;
    EXPECT_EQ(WrittenParts(c.name, PosixMemberNameRules()), c.posix) << c.name;
  }
}

// The path a list shows is the one the extract writes, in the host's own form: a shell
// on POSIX finds SUB/X, never SUB\X, and never the trailing dot the file system drops.
TEST(WrittenPath, JoinedByTheHostDelimiter) {
  struct Case {
    std::string name;
    std::string windows;
    std::string posix;
  };
  const Case cases[] = {
      {"A.TXT", "A.TXT", "A.TXT"},
      {"A.TXT. .", "A.TXT", "A.TXT"},
      {"SUB\\X.TXT", "SUB\\X.TXT", "SUB/X.TXT"},
      {"A\\B/C.\\D ", "A\\B\\C\\D", "A/B/C/D"},
      {"SUB//X", "SUB\\X", "SUB/X"},
      {"SUB\\", "SUB\\", "SUB/"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WrittenPath(c.name, '\\', WindowsMemberNameRules()), c.windows) << c.name;
    EXPECT_EQ(WrittenPath(c.name, '/', PosixMemberNameRules()), c.posix) << c.name;
  }
}

}  // namespace
}  // namespace quillpack
