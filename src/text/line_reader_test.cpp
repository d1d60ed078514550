#include "text/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "failures/failure_codes.h"
#include "platform/platform.h"
#include "support/gathered.h"
#include "support/line_halves.h"
#include "support/line_model.h"
#include "support/temporary_directory.h"
#include "text/line_writer.h"

namespace quillpack {
namespace {

using test_support::FileReader;
using test_support::FileWriter;
using test_support::ModelLines;
using test_support::ReadBytes;
using test_support::TemporaryDirectory;

// The i-th letter of a run of lines that makes each line tell where it came from.
char LetterOf(int i) {
  return static_cast<char>('a' + i % 26);
}

const std::size_t kBlockSizes[] = {kTransferBytes, kDiskBlockBytes};

using test_support::Gathered;

enum class Reading { kViews, kInPieces };

std::vector<std::string> ReadAllLines(const std::string& path, std::size_t blockBytes,
                                      Reading reading) {
  FileReader file(path, blockBytes);
  std::vector<std::string> lines;
  std::string scratch;
  while (!file.reader.AtEnd()) {
    if (reading == Reading::kViews) {
      lines.emplace_back(file.reader.ReadLineView(&scratch));
    } else {
      Gathered gathered;
      file.reader.ReadLineInto(gathered);
      lines.push_back(gathered.bytes);
    }
  }
  // Past the end: empty lines at once, however often.
  EXPECT_EQ(file.reader.ReadLineView(&scratch), "");
  EXPECT_TRUE(file.reader.InputEnded());
  return lines;
}

// Every file is read with both fills and both ways, which must agree.
std::vector<std::string> ReadAllLines(const std::string& path) {
  std::vector<std::string> lines = ReadAllLines(path, kDiskBlockBytes, Reading::kViews);
  EXPECT_EQ(ReadAllLines(path, kDiskBlockBytes, Reading::kInPieces), lines) << path;
  EXPECT_EQ(ReadAllLines(path, kTransferBytes, Reading::kViews), lines) << path;
  EXPECT_EQ(ReadAllLines(path, kTransferBytes, Reading::kInPieces), lines) << path;
  return lines;
}

class LineReaderTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(TakeFailureCode(), 0); }
  TemporaryDirectory dir_;
};

struct ReadCase {
  const char* label;
  std::string bytes;
  std::vector<std::string> lines;
};

TEST_F(LineReaderTest, LineEnds) {
  const ReadCase cases[] = {
      {"mixed ends", "a\r\nb\nc", {"a", "b", "c"}},
      {"lone CR dropped", "a\rb\r\n", {"ab"}},
      {"CR as last byte", "a\r", {"a"}},
      {"empty lines", "\r\n\r\n", {"", ""}},
      {"empty file", "", {}},
      {"Ctrl-Z ends input",
       "abc\x1a"
       "def\r\nghi\r\n",
       {"abc"}},
      {"Ctrl-Z first",
       "\x1a"
       "abc\r\n",
       {}},
      {"control bytes kept",
       std::string("a\0b\tc\x01\x7f\xff\n", 9),
       {std::string("a\0b\tc\x01\x7f\xff", 8)}},
      {"CR CR LF", "a\r\r\nb", {"a", "b"}},
      {"LF CR", "a\n\rb", {"a", "b"}},
      {"CR then Ctrl-Z", "a\r\x1a", {"a"}},
  };
  for (const ReadCase& c : cases) {
    std::string path = dir_.Write("case.txt", c.bytes);
    EXPECT_EQ(ReadAllLines(path), c.lines) << c.label;
  }
}

TEST_F(LineReaderTest, LinesAcrossBufferEdges) {
  // CR LF, lone CR and Ctrl-Z placed on every side of the 128-byte and the block edges.
  for (std::size_t edge : kBlockSizes) {
    for (std::size_t offset = edge - 3; offset <= edge + 2; ++offset) {
      for (std::string_view tail : {"\r\nnext\r\n", "\rnext\n", "\r",
                                    "\x1a"
                                    "gone\r\n",
                                    "\n"}) {
        std::string bytes(offset, 'x');
        bytes += tail;
        std::string path = dir_.Write("edge.txt", bytes);
        EXPECT_EQ(ReadAllLines(path), ModelLines(bytes))
            << "offset " << offset << " tail " << ::testing::PrintToString(tail);
      }
    }
  }
}

TEST_F(LineReaderTest, CtrlZAtEveryOffset) {
  std::string body;
  for (int i = 0; body.size() < 320; ++i)
    body += "line " + std::to_string(i) + (i % 2 ? "\n" : "\r\n");
  for (std::size_t offset = 0; offset <= 300; ++offset) {
    std::string bytes = body.substr(0, offset) + '\x1a' + body.substr(offset);
    std::string path = dir_.Write("ctrlz.txt", bytes);
    EXPECT_EQ(ReadAllLines(path), ModelLines(bytes)) << "offset " << offset;
  }
}

TEST_F(LineReaderTest, LongLinesReadWhole) {
  for (std::size_t length : {std::size_t{1000}, std::size_t{10} * 1024 * 1024}) {
    std::string line(length, 'q');
    line[length / 2] = '\r';  // a lone CR inside is dropped
    std::string path = dir_.Write("long.txt", line + "\r\nend");
    std::string expected(length, 'q');
    expected.erase(length / 2, 1);
    std::vector<std::string> lines = ReadAllLines(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], expected);
    EXPECT_EQ(lines[1], "end");
  }
}

TEST_F(LineReaderTest, LineViewsOfManyLinesMatchTheModel) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i)
    bytes += std::string(static_cast<std::size_t>(i % 300), LetterOf(i)) + (i % 3 ? "\r\n" : "\n");
  bytes += "\rtail\r";
  EXPECT_EQ(ReadAllLines(dir_.Write("views.txt", bytes)), ModelLines(bytes));
}

// Copies `bytes` with the bulk copy, the caller taking each line it leaves as the merge
// does; returns what was written and counts the stop lines the caller took.
std::string CopyThrough(const TemporaryDirectory& dir, const std::string& bytes,
                        std::size_t blockBytes, LineEnd lineEnd,
                        std::span<const std::string_view> stops, std::size_t* stopLinesSeen) {
  std::string source = dir.Write("source.txt", bytes);
  {
    FileReader file(source, blockBytes);
    FileWriter copy(dir.Path("copy.txt"));
    copy.writer.SetLineEnd(lineEnd);
    std::string scratch;
    for (;;) {
      file.reader.CopyLinesTo(&copy.writer, stops);
      if (file.reader.AtEnd()) break;
      std::string_view line = file.reader.ReadLineView(&scratch);
      if (line.starts_with(">>>>>>>>>>") || line.starts_with("./")) ++*stopLinesSeen;
      copy.writer.Append(line);
      copy.writer.AppendLineEnd();
    }
  }
  return ReadBytes(dir.Path("copy.txt"));
}

// The bulk copy must write what the line-by-line loop writes, with either line end and
// either fill, and leave every line that begins with a stop prefix to the caller.
TEST_F(LineReaderTest, CopyLinesMatchesLineByLineCopy) {
  std::vector<std::string> inputs = {"", "a\r\nb\nc", "x\ry\r\n\r\n\n",
                                     "abc\x1a"
                                     "def\r\n",
                                     ">>>>>>>>>> H\r\nbody\r\n./x\n>>>>>\r\n./",
                                     // Headers behind lone CRs, which the reader drops.
                                     "x\r\n\r./ A\r\ny\r\n.\r/B\r\n>>>>>\r>>>>> C\r\n\r\r\n"};
  std::string big;
  for (int i = 0; big.size() < 3 * kDiskBlockBytes; ++i) {
    big += std::string(static_cast<std::size_t>(i % 97), LetterOf(i));
    big += (i % 5 == 0 ? "\n" : i % 7 == 0 ? "\r" : i % 11 == 0 ? "\n./h" : "\r\n");
  }
  inputs.push_back(big);
  inputs.push_back(std::string(kDiskBlockBytes - 1, 'e') + "\r\n>>>>>>>>>>\r\n");
  // Lines longer than the buffer, with CRs on its edges: lone, before LF, before Ctrl-Z.
  std::string longLine(3 * kDiskBlockBytes, 'L');
  longLine[kDiskBlockBytes - 1] = '\r';
  longLine[2 * kDiskBlockBytes - 1] = '\r';
  longLine[2 * kDiskBlockBytes] = '\n';
  inputs.push_back("short\r\n" + longLine + "\rtail");
  inputs.push_back(longLine.substr(0, kDiskBlockBytes) + "\x1a" + "never");
  const std::string_view stops[] = {">>>>>>>>>>", "./"};
  for (const std::string& bytes : inputs) {
    for (int variant = 0; variant < 8; ++variant) {
      bool withStops = variant % 2 == 1;
      LineEnd lineEnd = variant % 4 >= 2 ? LineEnd::kLf : LineEnd::kCrLf;
      std::size_t block = variant >= 4 ? kTransferBytes : kDiskBlockBytes;
      std::size_t stopLinesSeen = 0;
      std::string copied =
          CopyThrough(dir_, bytes, block, lineEnd,
                      withStops ? stops : std::span<const std::string_view>(), &stopLinesSeen);
      std::string expected;
      std::size_t stopLines = 0;
      for (const std::string& line : ModelLines(bytes)) {
        expected += line + (lineEnd == LineEnd::kLf ? "\n" : "\r\n");
        if (line.starts_with(">>>>>>>>>>") || line.starts_with("./")) ++stopLines;
      }
      EXPECT_TRUE(copied == expected) << bytes.size() << " " << variant;
      if (withStops) {
        EXPECT_EQ(stopLinesSeen, stopLines) << bytes.size();
      }
    }
  }
}

// What reading drops is noted with its line, however the lines are read and wherever the
// buffer's edges fall; the line number follows every line read.
TEST_F(LineReaderTest, NotesWhatReadingDropsWithItsLine) {
  struct Case {
    std::string bytes;
    uint64_t loneCarriageReturnLine;
    uint64_t ctrlZLine;
  };
  std::vector<Case> cases = {
      {"a\r\nb\nc", 0, 0},  {"a\r\nb\rc\r\nd\re\n", 2, 0}, {"a\nb\r", 2, 0},
      {"a\r\nb\x1a", 0, 0}, {"a\r\nb\x1a\x1a", 0, 2},      {"a\r\n\x1a\r\nlost\r\n", 0, 2},
  };
  for (std::size_t edge : kBlockSizes) {
    for (std::size_t before = edge - 2; before <= edge; ++before) {
      std::string first(before, 'p');
      cases.push_back({first + "\r\nq\r\n", 0, 0});
      cases.push_back({first + "\rx\r\nq\n", 1, 0});
      cases.push_back({"z\n" + first + "\r", 2, 0});
      cases.push_back({first + "\x1a" + "after", 0, 1});
      cases.push_back({first + "\x1a", 0, 0});
    }
  }
  const std::string_view stops[] = {">>>>>>>>>>", "./"};
  for (const Case& c : cases) {
    std::string path = dir_.Write("losses.txt", c.bytes);
    for (int way = 0; way < 6; ++way) {
      FileReader file(path, way < 3 ? kDiskBlockBytes : kTransferBytes);
      file.reader.Watch();
      FileWriter copy(dir_.Path("copy.txt"));
      uint64_t lines = 0;
      Gathered ignored;
      std::string scratch;
      for (;;) {
        if (way % 3 == 2) file.reader.CopyLinesTo(&copy.writer, stops);
        if (file.reader.AtEnd()) break;
        if (way % 3 != 2) {
          EXPECT_EQ(file.reader.LineNumber(), ++lines) << c.bytes.size();
        }
        if (way % 3 == 1) {
          file.reader.ReadLineInto(ignored);
        } else {
          file.reader.ReadLineView(&scratch);
        }
      }
      LineLosses losses = file.reader.ReadLosses();
      EXPECT_EQ(losses.loneCarriageReturnLine, c.loneCarriageReturnLine)
          << way << " " << c.bytes.size() << " " << ::testing::PrintToString(c.bytes.substr(0, 8));
      EXPECT_EQ(losses.ctrlZLine, c.ctrlZLine) << way << " " << c.bytes.size();
    }
  }
}

TEST_F(LineReaderTest, FindsANulInTheFirstBlockOnly) {
  struct Case {
    std::size_t nulAt;
    bool found;
  };
  const Case cases[] = {{0, true}, {kDiskBlockBytes - 1, true}, {kDiskBlockBytes, false}};
  for (const Case& c : cases) {
    std::string bytes(kDiskBlockBytes + 10, 'n');
    bytes[c.nulAt] = '\0';
    FileReader file(dir_.Write("zero.txt", bytes), kDiskBlockBytes);
    EXPECT_EQ(file.reader.FirstBlockHoldsNul(), c.found) << c.nulAt;
  }
}

}  // namespace
}  // namespace quillpack
