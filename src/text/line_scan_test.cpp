#include "text/line_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

#include "support/scan_levels.h"

namespace quillpack {
namespace {

// Each test runs once per level the scan has.
class LineScan : public test_support::AtEveryScanLevel {};
INSTANTIATE_TEST_SUITE_P(EveryLevel, LineScan, test_support::kEveryScanLevel,
                         test_support::LevelName);

const char* NaiveFind(const char* p, const char* end) {
  while (p < end && *p != '\n' && *p != '\r' && *p != 26)
    ++p;
  return p;
}

TEST_P(LineScan, RunsAtTheForcedLevel) {
  EXPECT_EQ(CurrentScanLevel(), GetParam());
}

// Random stretches with line bytes at every distance from the 16-byte steps,
// including none at all and bytes just below and above them in value.
TEST_P(LineScan, AgreesWithAByteByByteSearch) {
  std::mt19937 random(7);
  const char kBytes[] = {'a', '\n', '\r', 26, 9, 11, 12, 25, 27, '\xff', 0};
  for (int round = 0; round < 2000; ++round) {
    std::size_t size = random() % 300;
    std::size_t density = 1 + random() % 40;
    std::string text(size, 'x');
    for (char& c : text) {
      if (random() % density == 0) c = kBytes[random() % sizeof kBytes];
    }
    const char* begin = text.data();
    const char* end = begin + text.size();
    for (const char* p = begin; p <= end;) {
      const char* expected = NaiveFind(p, end);
      ASSERT_EQ(FindLineByte(p, end), expected) << "round " << round << " at " << (p - begin);
      p = expected + 1 + random() % 3;
    }
  }
}

// Lengths on both sides of the block steps, and past the 255 blocks after which the
// byte lanes are summed, where a count of 255 or more per lane would wrap.
TEST_P(LineScan, CountsLineFeedsAsAByteByByteCount) {
  std::mt19937 random(11);
  for (std::size_t size : {0u, 1u, 15u, 16u, 31u, 32u, 33u, 64u, 255u * 32 - 1, 255u * 32,
                           255u * 32 + 33, 3u * 255 * 32 + 17}) {
    for (std::size_t density : {1u, 2u, 50u}) {
      std::string text(size + 1, 'x');
      for (char& c : text) {
        if (random() % density == 0) c = density == 1 || random() % 2 ? '\n' : '\r';
      }
      const char* begin = text.data() + 1;  // not on an aligned address
      EXPECT_EQ(CountLineFeeds(begin, begin + size),
                static_cast<std::size_t>(std::count(begin, begin + size, '\n')))
          << size << " " << density;
    }
  }
}

// Line by line, as the copy would go without the bulk scan.
const char* NaiveSkip(const char* line, const char* end, std::string_view stops) {
  for (;;) {
    if (line == end || *line == '\n') return line;
    if (stops.find(*line) != stops.npos || *line == 26) return line;
    const char* p = line;
    while (p < end && *p != '\n' && *p != '\r' && *p != 26)
      ++p;
    if (p < end && *p == '\n') return p;
    if (p + 1 >= end || *p != '\r' || p[1] != '\n') return line;
    line = p + 2;
  }
}

// Mostly CR LF lines of every length around the scan's steps, with now and then a lone LF
// or CR, a Ctrl-Z, a stop byte at a line start or inside a line.
TEST_P(LineScan, SkipsCrLfLinesAsALineByLineWalkDoes) {
  std::mt19937 random(11);
  const std::string kSpecials[] = {"\n", "\r", "\x1a", ">", ".", "|", "\r\r\n", "\n\n"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    std::size_t lines = random() % 12;
    std::size_t rarity = 2 + random() % 30;
    std::size_t longest = round % 5 == 0 ? 400 : 90;
    for (std::size_t i = 0; i < lines; ++i) {
      text += std::string(random() % longest, static_cast<char>('a' + i));
      if (random() % rarity == 0)
        text.insert(random() % (text.size() + 1), kSpecials[random() % std::size(kSpecials)]);
      text += "\r\n";
    }
    text.resize(text.size() - random() % 3 * (text.size() > 2));
    // No stop bytes, two, or three; Ctrl-Z fills the places left.
    static const char* const kStopSets[] = {"\x1a\x1a\x1a", ">.\x1a", ">.|"};
    std::string_view stops = kStopSets[round % 3];
    const char* begin = text.data();
    const char* end = begin + text.size();
    for (const char* line = begin; line <= end;) {
      const char* expected = NaiveSkip(line, end, stops);
      ASSERT_EQ(SkipCrLfLines(line, end, stops[0], stops[1], stops[2]), expected)
          << "round " << round << " from " << (line - begin);
      if (stops[2] == 26) {
        ASSERT_EQ(SkipCrLfLines(line, end, stops[0], stops[1]), expected)
            << "round " << round << " from " << (line - begin);
      }
      // On from the next line start after the stop.
      const char* next = expected;
      while (next < end && *next != '\n')
        ++next;
      line = next + 1;
    }
  }
}

}  // namespace
}  // namespace quillpack
