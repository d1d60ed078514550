// The reader's bulk copy at every level of the scan, against the line model: what it
// writes, the lines it leaves to the caller with their numbers, and what it drops.

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "failures/failure_codes.h"
#include "support/line_halves.h"
#include "support/line_model.h"
#include "support/scan_levels.h"
#include "support/temporary_directory.h"
#include "text/line_reader.h"
#include "text/line_writer.h"

namespace quillpack {
namespace {

using test_support::FileReader;
using test_support::FileWriter;
using test_support::ModelLines;

class LineReaderCopy : public test_support::AtEveryScanLevel {
 protected:
  void TearDown() override {
    EXPECT_EQ(TakeFailureCode(), 0);
    AtEveryScanLevel::TearDown();
  }
  test_support::TemporaryDirectory dir_;
};
INSTANTIATE_TEST_SUITE_P(EveryLevel, LineReaderCopy, test_support::kEveryScanLevel,
                         test_support::LevelName);

// Lines of about 45 bytes, as ordinary text has, most ending in LF or most in CR LF, with
// now and then a lone CR, a header line, a line that begins as one, or a Ctrl-Z.
std::string OrdinaryText(std::mt19937& random, std::size_t size) {
  const std::string_view kRare[] = {"\r", ">>>>>>>>>> H", "./ X", ".", ">", "\r\r", "\x1a"};
  bool mostlyLf = random() % 2;
  std::size_t rarity = 20 + random() % 400;
  std::string text;
  while (text.size() < size) {
    std::string line(random() % 90, static_cast<char>('a' + random() % 26));
    if (random() % rarity == 0) {
      line.insert(random() % 2 ? 0 : random() % (line.size() + 1),
                  kRare[random() % std::size(kRare)]);
    }
    bool lineFeed = random() % 8 == 0 ? !mostlyLf : mostlyLf;
    text += line + (lineFeed ? "\n" : "\r\n");
  }
  return text;
}

struct Losses {
  uint64_t loneCarriageReturnLine = 0;
  uint64_t ctrlZLine = 0;
};

// The line of the first lone CR and of a Ctrl-Z that bytes follow, one byte at a time.
Losses ModelLosses(std::string_view bytes) {
  Losses losses;
  uint64_t line = 1;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\x1a') {
      if (i + 1 < bytes.size()) losses.ctrlZLine = line;
      break;
    }
    bool lone = bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n');
    if (lone && losses.loneCarriageReturnLine == 0) losses.loneCarriageReturnLine = line;
    line += bytes[i] == '\n';
  }
  return losses;
}

TEST_P(LineReaderCopy, CopiesOrdinaryTextAsTheModelReadsIt) {
  std::mt19937 random(static_cast<unsigned>(GetParam()) + 17);
  const std::string_view stops[] = {">>>>>>>>>>", "./"};
  for (int round = 0; round < 40; ++round) {
    // Sizes on both sides of the 128-byte fills and of the blocks.
    std::size_t size = round % 3 == 0 ? kDiskBlockBytes + random() % 3000 : random() % 2000;
    std::string bytes = OrdinaryText(random, size);
    std::vector<std::string> lines = ModelLines(bytes);
    std::string path = dir_.Write("source.txt", bytes);
    for (int variant = 0; variant < 4; ++variant) {
      LineEnd lineEnd = variant % 2 ? LineEnd::kLf : LineEnd::kCrLf;
      std::size_t fill = variant < 2 ? kDiskBlockBytes : kTransferBytes;
      std::string label = "round " + std::to_string(round) + " variant " + std::to_string(variant) +
                          ", " + std::to_string(bytes.size()) + " bytes";
      LineLosses losses;
      {
        FileReader file(path, fill);
        file.reader.Watch();
        FileWriter copy(dir_.Path("copy.txt"), variant < 2 ? kDiskBlockBytes : kTransferBytes);
        copy.writer.SetLineEnd(lineEnd);
        std::string scratch;
        for (;;) {
          file.reader.CopyLinesTo(&copy.writer, stops);
          if (file.reader.AtEnd()) break;
          uint64_t number = file.reader.LineNumber();
          std::string_view line = file.reader.ReadLineView(&scratch);
          ASSERT_LE(number, lines.size()) << label;
          ASSERT_EQ(line, lines[number - 1]) << label << ": line " << number;
          copy.writer.Append(line);
          copy.writer.AppendLineEnd();
        }
        losses = file.reader.ReadLosses();
      }
      std::string expected;
      for (const std::string& line : lines)
        expected += line + (lineEnd == LineEnd::kLf ? "\n" : "\r\n");
      ASSERT_TRUE(test_support::ReadBytes(dir_.Path("copy.txt")) == expected) << label;
      Losses model = ModelLosses(bytes);
      EXPECT_EQ(losses.loneCarriageReturnLine, model.loneCarriageReturnLine) << label;
      EXPECT_EQ(losses.ctrlZLine, model.ctrlZLine) << label;
    }
  }
}

}  // namespace
}  // namespace quillpack
