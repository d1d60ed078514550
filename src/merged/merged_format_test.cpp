#include "merged/merged_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "support/gathered.h"

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

// `line` through a BarEscape in pieces of `size` bytes (0: whole).
std::string Through(BarEscape::Direction direction, std::string_view line, std::size_t size) {
  test_support::Gathered collected;
  BarEscape escape(direction, &collected);
  for (std::size_t at = 0; at < line.size(); at += size ? size : line.size())
    escape.Take(line.substr(at, size ? size : line.size()));
  escape.Finish();
  return collected.bytes;
}

bool BeginsWithAStopPrefix(std::string_view line) {
  auto prefixes = StopPrefixesOf(LineEscape::kBars);
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](std::string_view prefix) { return line.starts_with(prefix); });
}

// Each member line as the escaped merge writes it, and back as the extract reads it, in
// pieces of every size; and the bulk copy never passes over a line that either changes.
TEST(BarEscape, MergeAddsAndExtractTakesOneBar) {
  struct Case {
    std::string line;
    std::string escaped;
  };
  const std::string bars(200, '|');
  const Case cases[] = {
      {"./x", "|./x"},
      {"|./x", "||./x"},
      {"||>>>>>>>>>>y", "|||>>>>>>>>>>y"},
      {">>>>>>>>>>", "|>>>>>>>>>>"},
      {"./       ADD   NAME=A.TXT", "|./       ADD   NAME=A.TXT"},
      {bars + "./", "|" + bars + "./"},
      {"|x", "|x"},
      {">>>>>>>>>x", ">>>>>>>>>x"},
      {"|>>>>>>>>>", "|>>>>>>>>>"},
      {"|", "|"},
      {bars, bars},
      {"|.x/", "|.x/"},
      {"x./", "x./"},
      {"", ""},
      {"plain text", "plain text"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NeedsEscape(c.line), c.escaped != c.line) << c.line;
    for (std::size_t size : {0u, 1u, 2u, 3u, 7u, 11u}) {
      EXPECT_EQ(Through(BarEscape::Direction::kAdd, c.line, size), c.escaped) << c.line << size;
      if (!c.escaped.starts_with(kEscapeBar)) continue;
      EXPECT_EQ(Through(BarEscape::Direction::kRemove, c.escaped, size), c.line) << c.line << size;
    }
    // What the bulk copy passes over it copies as it is.
    EXPECT_TRUE(!NeedsEscape(c.line) || BeginsWithAStopPrefix(c.line)) << c.line;
    EXPECT_TRUE(c.escaped == c.line || BeginsWithAStopPrefix(c.escaped)) << c.line;
  }
  // Without the escape the bulk copy stops at the header marks alone.
  auto plain = StopPrefixesOf(LineEscape::kNone);
  EXPECT_TRUE(
      std::equal(plain.begin(), plain.end(), std::begin(kHeaderMarks), std::end(kHeaderMarks)));
}

// Only the exact line turns the escape on; a line that is almost the marker does not.
TEST(EscapeMarkerMatch, OnlyTheExactLine) {
  const std::string marker(kEscapeMarker);
  std::string oneByteOff = marker;
  oneByteOff[10] = 'E';
  struct Case {
    std::string line;
    bool matched;
  };
  const Case cases[] = {
      {marker, true},        {oneByteOff, false},   {marker.substr(0, marker.size() - 1), false},
      {marker + " ", false}, {" " + marker, false}, {marker + marker, false},
      {"", false},           {"Quillpack", false},
  };
  EXPECT_EQ(marker,
            "Quillpack escaped bundle: a member line that begins with | followed by ./ or "
            ">>>>>>>>>> has one | added.");
  for (const Case& c : cases) {
    for (std::size_t size : {std::size_t{1}, std::size_t{5}, c.line.size() + 1}) {
      EscapeMarkerMatch match;
      for (std::size_t at = 0; at < c.line.size(); at += size)
        match.Take(std::string_view(c.line).substr(at, size));
      EXPECT_EQ(match.Matched(), c.matched) << c.line << " in pieces of " << size;
    }
  }
}

}  // namespace
}  // namespace quillpack
