#include "text/string_rules.h"

#include <gtest/gtest.h>

namespace quillpack {
namespace {

TEST(UpperCaseAscii, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(UpperCaseAscii("readme.txt"), "README.TXT");
  EXPECT_EQ(UpperCaseAscii("a\xe4z09_-.~{}"), "A\xe4Z09_-.~{}");
  EXPECT_EQ(UpperCaseAscii(std::string("a\0b", 3)), std::string("A\0B", 3));
  EXPECT_EQ(UpperCaseAscii(""), "");
}

TEST(PrintableText, ControlBytesShowAsQuestionMarks) {
  const std::string_view kept = "plain A.TXT \x80\xff~";
  EXPECT_FALSE(HoldsControlByte(kept));
  EXPECT_EQ(PrintableText(kept), kept);
  const std::string controls("a\0b\x1b[2Jc\td\re\nf\x1ag\x7f", 17);
  EXPECT_TRUE(HoldsControlByte(controls));
  EXPECT_EQ(PrintableText(controls), "a?b?[2Jc?d?e?f?g?");
}

TEST(CompareIgnoringCase, Cases) {
  struct Case {
    std::string_view a;
    std::string_view b;
    int32_t result;
  };
  const Case cases[] = {
      {"-MERGE", "-merge", 0}, {"-merg", "-merge", -1}, {"?", "?", 0},
      {"_", "a", 30},          {"a", "_", -30},         {"", "", 0},
      {"", "x", -1},           {"[", "Z", 1},           {"abc", "ABD", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompareIgnoringCase(c.a, c.b), c.result) << c.a << " " << c.b;
  EXPECT_NE(CompareIgnoringCase("\xe9", "\xc9"), 0);
}

TEST(TextEquals, ExactBytes) {
  EXPECT_TRUE(TextEquals("-", "-"));
  EXPECT_FALSE(TextEquals("", "-"));
  EXPECT_FALSE(TextEquals("--", "-"));
  EXPECT_FALSE(TextEquals("a", "A"));
}

TEST(PositionOf, Cases) {
  EXPECT_EQ(PositionOf("NAME=", "./       ADD   NAME=A.TXT"), 16);
  EXPECT_EQ(PositionOf("./", "x./y"), 2);
  EXPECT_EQ(PositionOf("", "abc"), 0);
  EXPECT_EQ(PositionOf("a", ""), 0);
  EXPECT_EQ(PositionOf("abcd", "abc"), 0);
  EXPECT_EQ(PositionOf("y", "Y"), 0);
  EXPECT_EQ(PositionOf("b", "abab"), 2);
  EXPECT_EQ(PositionOf("abc", "abc"), 1);
}

TEST(CopyOf, Clamps) {
  struct Case {
    std::string_view text;
    int32_t index;
    int32_t count;
    std::string_view result;
  };
  const Case cases[] = {
      {"abc", 0, 1, "a"},
      {"abc", -5, 1, "a"},
      {"abc", 3, 120, "c"},
      {"abc", 4, 1, ""},
      {"abc", 2, -1, ""},
      {"abc", 2, 0, ""},
      {"abc", 1, 3, "abc"},
      {"abc", 2, 1, "b"},
      {"", 1, 1, ""},
      {"", 0, 5, ""},
      {"", -1, -1, ""},
      {"abc", INT32_MIN, INT32_MAX, "abc"},
      {"abc", INT32_MAX, 1, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CopyOf(c.text, c.index, c.count), c.result)
        << c.text << " " << c.index << " " << c.count;
  }
}

TEST(LocaleCompare, CaseOnlyDifferencesAreEqualIgnoringCase) {
  EXPECT_EQ(LocaleCompareIgnoringCase("A.txt", "a.TXT"), 0);
  EXPECT_EQ(LocaleCompareIgnoringCase("a.txt", "b.txt"), -1);
  EXPECT_EQ(LocaleCompareIgnoringCase("C.txt", "b.txt"), 1);
  EXPECT_NE(LocaleCompare("A.txt", "a.TXT"), 0);
  EXPECT_EQ(LocaleCompare("same", "same"), 0);
}

}  // namespace
}  // namespace quillpack
