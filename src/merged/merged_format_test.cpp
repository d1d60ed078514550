#include "merged/merged_format.h"

#include <gtest/gtest.h>

namespace quillpack {
namespace {

TEST(MemberHeader, BothStyles) {
  EXPECT_EQ(kPlainHeaderPrefix.size(), 20u);
  EXPECT_EQ(kArrowHeaderPrefix.size(), 11u);
  EXPECT_EQ(MemberHeader(HeaderStyle::kPlain, "A.B"), "./       ADD   NAME=A.B");
  EXPECT_EQ(MemberHeader(HeaderStyle::kArrow, "NOTES.TXT"), ">>>>>>>>>> NOTES.TXT");
}

TEST(ClassifyLine, KindsAndNames) {
  struct Case {
    std::string line;
    LineKind kind;
    std::string name;
  };
  const std::string longName(130, 'N');
  const Case cases[] = {
      {"./       ADD   NAME=A.TXT", LineKind::kPlainHeader, "A.TXT"},
      {">>>>>>>>>> B.TXT", LineKind::kArrowHeader, "B.TXT"},
      {">>>>>>>>>>x.txt", LineKind::kArrowHeader, ".txt"},
      {">>>>>>>>>> ", LineKind::kArrowHeader, ""},
      {">>>>>>>>>>", LineKind::kArrowHeader, ""},
      {"./ COPY", LineKind::kPlainHeader, "OPY"},
      {"./", LineKind::kPlainHeader, ""},
      {"./x NAME=first NAME=second", LineKind::kPlainHeader, "first NAME=second"},
      {"./       ADD   NAME=SPACED  ", LineKind::kPlainHeader, "SPACED  "},
      {">>>>>>>>>> " + longName, LineKind::kArrowHeader, longName.substr(0, 120)},
      {"./       ADD   NAME=" + longName, LineKind::kPlainHeader, longName.substr(0, 120)},
      {">>>>>>>>> nine", LineKind::kMemberLine, ""},
      {" ./not at start", LineKind::kMemberLine, ""},
      {".", LineKind::kMemberLine, ""},
      {"", LineKind::kMemberLine, ""},
      {"x>>>>>>>>>> y", LineKind::kMemberLine, ""},
  };
  for (const Case& c : cases) {
    LineKind kind = ClassifyLine(c.line);
    EXPECT_EQ(kind, c.kind) << c.line;
    if (kind != LineKind::kMemberLine) {
      EXPECT_EQ(MemberNameOf(c.line, kind), c.name) << c.line;
    }
  }
}

TEST(IsWrittenHeader, OnlyTheFullPrefixes) {
  EXPECT_TRUE(IsWrittenHeader("./       ADD   NAME=X"));
  EXPECT_TRUE(IsWrittenHeader("./       ADD   NAME="));
  EXPECT_TRUE(IsWrittenHeader(">>>>>>>>>> X"));
  EXPECT_FALSE(IsWrittenHeader("./configure"));
  EXPECT_FALSE(IsWrittenHeader(">>>>>>>>>>X"));
  EXPECT_FALSE(IsWrittenHeader("./ ADD NAME=X"));
}

// The first bytes decide; the line after a header that opened a target is a header only
// when it begins exactly as the merge writes one.
TEST(ClassifyLineStart, FirstBytesUnderEachRule) {
  struct Case {
    std::string line;
    LineKind any;
    LineKind writtenOnly;
  };
  const Case cases[] = {
      {"./       ADD   NAME=A.TXT", LineKind::kPlainHeader, LineKind::kPlainHeader},
      {">>>>>>>>>> B", LineKind::kArrowHeader, LineKind::kArrowHeader},
      {"./configure", LineKind::kPlainHeader, LineKind::kMemberLine},
      {">>>>>>>>>>x", LineKind::kArrowHeader, LineKind::kMemberLine},
      {"text", LineKind::kMemberLine, LineKind::kMemberLine},
  };
  for (const Case& c : cases) {
    for (auto [rule, kind] : {std::pair{HeaderRule::kAnyHeader, c.any},
                              std::pair{HeaderRule::kWrittenHeaderOnly, c.writtenOnly}}) {
      std::string_view head = std::string_view(c.line).substr(0, DecidingBytes(rule));
      EXPECT_EQ(ClassifyLineStart(head, rule), kind) << c.line;
    }
  }
}

}  // namespace
}  // namespace quillpack
