#include "text/line_convert.h"

#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "support/scan_levels.h"

namespace quillpack {
namespace {

class LineConvert : public test_support::AtEveryScanLevel {};
INSTANTIATE_TEST_SUITE_P(EveryLevel, LineConvert, test_support::kEveryScanLevel,
                         test_support::LevelName);

struct Converted {
  std::size_t next;  // offset of the first line not copied
  std::string out;
  std::map<std::size_t, std::size_t> outAt;  // the size of `out` at each line start
};

// Line by line: the lines that need no care and end within the bytes that the 64-byte
// blocks reach (each block taken while 128 bytes remain from its start).
Converted ModelConvert(std::string_view text, ConvertTo to, std::string_view stops) {
  std::size_t reach = text.size() >= 128 ? (text.size() - 64) / 64 * 64 : 0;
  Converted model{0, "", {{0, 0}}};
  for (;;) {
    std::size_t start = model.next;
    if (start < text.size() && stops.find(text[start]) != stops.npos) return model;
    std::size_t lineFeed = text.find('\n', start);
    if (lineFeed == text.npos || lineFeed >= reach) return model;
    std::string_view line = text.substr(start, lineFeed - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.find_first_of("\r\x1a") != line.npos) return model;
    model.out.append(line).append(to == ConvertTo::kLf ? "\n" : "\r\n");
    model.next = lineFeed + 1;
    model.outAt[model.next] = model.out.size();
  }
}

// Short lines of both ends, now and then a lone CR, a Ctrl-Z, a CR CR LF, or a stop byte
// at a line's start or inside it; with `longLines`, a quarter of the lines run for many
// blocks, which the copy takes another way.
std::string RandomLines(std::mt19937& random, std::size_t size, bool longLines) {
  const std::string_view kSpecials[] = {"\r", "\x1a", "\r\r\n", ">", ".", "|", "\n"};
  std::size_t rarity = 3 + random() % 60;
  std::string text;
  while (text.size() < size) {
    std::size_t length = random() % 8 == 0 ? random() % 200 : random() % 60;
    if (longLines && random() % 4 == 0) length = 500 + random() % 2500;
    text += std::string(length, static_cast<char>('a' + random() % 26));
    if (random() % rarity == 0) {
      text.insert(random() % (text.size() + 1), kSpecials[random() % std::size(kSpecials)]);
    }
    text += random() % 2 ? "\n" : "\r\n";
  }
  text.resize(size);
  return text;
}

constexpr char kGuard = '#';

// Around the block edges and with room to spare, the copy is the model's exactly; with
// little room, a part of it that ends at a line end; never a byte read past the end or
// written past the room.
TEST_P(LineConvert, CopiesTheLinesTheModelCopies) {
  std::mt19937 random(static_cast<unsigned>(GetParam()) + 3);
  static const char* const kStopSets[] = {"\x1a\x1a\x1a", ">.\x1a", ">.|"};
  for (int round = 0; round < 4000; ++round) {
    bool longLines = round % 8 == 4;
    std::size_t size = longLines        ? 4000 + random() % 8000
                       : round % 4 == 0 ? 600 + random() % 1400
                                        : random() % 330;
    std::string text = RandomLines(random, size, longLines);
    // Exactly as long as the text, so that a read past it is caught by the sanitizers.
    auto bytes = std::make_unique<char[]>(text.size() + 1);
    text.copy(bytes.get(), text.size());
    const char* begin = bytes.get();
    const char* end = begin + text.size();
    ConvertTo to = round % 2 ? ConvertTo::kLf : ConvertTo::kCrLf;
    std::string_view stops = kStopSets[round % 3];
    Converted model = ModelConvert(text, to, stops);
    bool tight = round % 5 == 0;
    std::size_t room = tight ? kConvertRoom + random() % 200 : 2 * text.size() + kConvertRoom;
    std::string out(room + 64, kGuard);
    ConvertedLines done =
        ConvertLines(begin, end, out.data(), out.data() + room, to, stops[0], stops[1], stops[2]);
    std::size_t next = static_cast<std::size_t>(done.next - begin);
    std::string written(out.data(), done.out);
    std::string label = "round " + std::to_string(round) + ", " + std::to_string(size) + " bytes";
    ASSERT_EQ(out.substr(room), std::string(64, kGuard)) << label;
    if (!tight) {
      ASSERT_EQ(next, model.next) << label;
      ASSERT_EQ(written, model.out) << label;
    } else {
      ASSERT_LE(next, model.next) << label;
      ASSERT_EQ(model.outAt.count(next), 1u) << label << ": no line start at " << next;
      ASSERT_EQ(written, model.out.substr(0, model.outAt[next])) << label;
    }
  }
}

// Too little room for one block, or too few bytes: nothing is copied.
TEST_P(LineConvert, TakesNoBlockWithoutRoomOrBytes) {
  std::string text(1000, 'x');
  for (std::size_t i = 10; i < text.size(); i += 20)
    text[i] = '\n';
  std::string out(2000, kGuard);
  const char* begin = text.data();
  for (auto [bytes, room] : {std::pair<std::size_t, std::size_t>{127, 2000},
                             std::pair<std::size_t, std::size_t>{1000, kConvertRoom - 1}}) {
    ConvertedLines done = ConvertLines(begin, begin + bytes, out.data(), out.data() + room,
                                       ConvertTo::kCrLf, '\x1a', '\x1a', '\x1a');
    EXPECT_EQ(done.next, begin) << bytes;
    EXPECT_EQ(done.out, out.data()) << bytes;
  }
}

// A line of many blocks is copied block by block up to the room and the input's reach
// and no further, however the room ends; the line after it follows once it fits.
TEST_P(LineConvert, ALongLineStopsAtTheRoom) {
  std::string text = std::string(3000, 'x') + "\n" + std::string(100, 'y') + "\n";
  text += std::string(300, 'z');
  const char* begin = text.data();
  const char* end = begin + text.size();
  for (std::size_t room = kConvertRoom; room < 3500; room += 37) {
    std::string out(room + 64, kGuard);
    ConvertedLines done = ConvertLines(begin, end, out.data(), out.data() + room, ConvertTo::kCrLf,
                                       '\x1a', '\x1a', '\x1a');
    ASSERT_EQ(out.substr(room), std::string(64, kGuard)) << room;
    std::size_t next = static_cast<std::size_t>(done.next - begin);
    std::string written(out.data(), done.out);
    if (next == 0) {
      EXPECT_EQ(written, "") << room;
    } else {
      ASSERT_GE(next, 3001u) << room;
      EXPECT_EQ(written.substr(0, 3002), std::string(3000, 'x') + "\r\n") << room;
    }
  }
}

}  // namespace
}  // namespace quillpack
