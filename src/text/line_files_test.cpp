#include "text/line_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "failures/error_objects.h"
#include "failures/failure_codes.h"
#include "platform/platform.h"
#include "support/line_model.h"
#include "support/temporary_directory.h"

namespace quillpack {
namespace {

// The i-th letter of a run of lines that makes each line tell where it came from.
char LetterOf(int i) {
  return static_cast<char>('a' + i % 26);
}

using test_support::ModelLines;
using test_support::ReadBytes;
using test_support::TemporaryDirectory;

// Gathers a line handed over piece by piece.
class Gathered final : public LineSink {
 public:
  void Take(std::string_view piece) override {
    EXPECT_FALSE(piece.empty());
    line += piece;
  }
  std::string line;
};

enum class Reading { whole, kInPieces };

std::vector<std::string> ReadAllLines(const std::string& path, Reading reading) {
  TextLineFile file;
  file.AssignName(path);
  file.OpenForReading();
  CheckFileFailure();
  std::vector<std::string> lines;
  while (!file.AtEnd()) {
    if (reading == Reading::whole) {
      lines.push_back(file.ReadTextLine());
    } else {
      Gathered gathered;
      file.ReadTextLineInto(gathered);
      lines.push_back(gathered.line);
    }
  }
  CheckFileFailure();
  file.CloseFile();
  CheckFileFailure();
  return lines;
}

// Every file is read both ways, which must agree.
std::vector<std::string> ReadAllLines(const std::string& path) {
  std::vector<std::string> lines = ReadAllLines(path, Reading::whole);
  EXPECT_EQ(ReadAllLines(path, Reading::kInPieces), lines) << path;
  return lines;
}

int32_t CodeOf(void (*operation)(TextLineFile&), TextLineFile& file) {
  TakeFailureCode();
  operation(file);
  return TakeFailureCode();
}

class LineFilesTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(TakeFailureCode(), 0); }
  TemporaryDirectory dir_;
};

struct ReadCase {
  const char* label;
  std::string bytes;
  std::vector<std::string> lines;
};

TEST_F(LineFilesTest, LineEnds) {
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

TEST_F(LineFilesTest, LinesAcrossBufferEdges) {
  // CR LF, lone CR and Ctrl-Z placed on every side of the 128-byte and the block edges.
  for (std::size_t edge : {kTransferBytes, kDiskBlockBytes}) {
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

TEST_F(LineFilesTest, CtrlZAtEveryOffset) {
  std::string body;
  for (int i = 0; body.size() < 320; ++i)
    body += "line " + std::to_string(i) + (i % 2 ? "\n" : "\r\n");
  for (std::size_t offset = 0; offset <= 300; ++offset) {
    std::string bytes = body.substr(0, offset) + '\x1a' + body.substr(offset);
    std::string path = dir_.Write("ctrlz.txt", bytes);
    EXPECT_EQ(ReadAllLines(path), ModelLines(bytes)) << "offset " << offset;
  }
}

TEST_F(LineFilesTest, LongLinesReadWhole) {
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

TEST_F(LineFilesTest, ReadingPastTheEndYieldsEmptyLines) {
  TextLineFile file;
  file.AssignName(dir_.Write("one.txt", "only\r\n"));
  file.OpenForReading();
  EXPECT_EQ(file.ReadTextLine(), "only");
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(file.AtEnd());
    EXPECT_EQ(file.ReadTextLine(), "");
    EXPECT_EQ(TakeFailureCode(), 0);
  }
  EXPECT_TRUE(file.InputEnded());
  file.CloseFile();
}

TEST_F(LineFilesTest, LineViewsMatchCopiedLines) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i)
    bytes += std::string(static_cast<std::size_t>(i % 300), LetterOf(i)) + (i % 3 ? "\r\n" : "\n");
  bytes += "\rtail\r";
  std::string path = dir_.Write("views.txt", bytes);
  TextLineFile file;
  file.AssignName(path);
  file.OpenForReading();
  std::vector<std::string> lines;
  std::string scratch;
  while (!file.AtEnd())
    lines.emplace_back(file.ReadTextLineView(&scratch));
  file.CloseFile();
  EXPECT_EQ(lines, ModelLines(bytes));
}

// The bulk copy must write what the line-by-line loop writes, with either line end, and
// leave every line that begins with a stop prefix to the caller.
TEST_F(LineFilesTest, CopyLinesMatchesLineByLineCopy) {
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
    for (int variant = 0; variant < 4; ++variant) {
      bool withStops = variant % 2 == 1;
      bool lineFeeds = variant >= 2;
      TextLineFile source;
      TextLineFile copy;
      source.AssignName(dir_.Write("source.txt", bytes));
      source.OpenForReading();
      copy.SetLineEnd(lineFeeds ? LineEnd::kLf : LineEnd::kCrLf);
      copy.AssignName(dir_.Path("copy.txt"));
      copy.OpenForWriting();
      std::size_t stopLinesSeen = 0;
      for (;;) {
        source.CopyLinesTo(&copy, withStops ? stops : std::span<const std::string_view>());
        if (source.AtEnd()) break;
        std::string line = source.ReadTextLine();
        if (line.starts_with(">>>>>>>>>>") || line.starts_with("./")) ++stopLinesSeen;
        copy.WriteTextLine(line);
      }
      source.CloseFile();
      copy.CloseFile();
      std::string expected;
      std::size_t stopLines = 0;
      for (const std::string& line : ModelLines(bytes)) {
        expected += line + (lineFeeds ? "\n" : "\r\n");
        if (line.starts_with(">>>>>>>>>>") || line.starts_with("./")) ++stopLines;
      }
      EXPECT_EQ(ReadBytes(dir_.Path("copy.txt")), expected) << bytes.size() << " " << variant;
      if (withStops) {
        EXPECT_EQ(stopLinesSeen, stopLines) << bytes.size();
      }
    }
  }
}

// A merge's source read from a directory held gives the lines the buffer gives, also across
// the blocks' edges; cut short by another program after its first block was read, it gives
// its bytes up to the cut and none it no longer holds, wherever in a page the cut falls.
TEST_F(LineFilesTest, SourceInADirectoryGivesTheBytesItHolds) {
  std::string bytes;
  for (int i = 0; bytes.size() < 4 * kDiskBlockBytes; ++i) {
    bytes += std::string(static_cast<std::size_t>(i % 301), LetterOf(i));
    bytes += i % 3 == 0 ? "\n" : i % 7 == 0 ? "\r" : "\r\n";
  }
  // A CR LF split by the first block's edge, and a line that runs over the second.
  bytes[kDiskBlockBytes - 1] = '\r';
  bytes[kDiskBlockBytes] = '\n';
  bytes.replace(2 * kDiskBlockBytes - 500, 1000, std::string(1000, 'w'));
  // Win32 lets no other program cut short a file open with read-only sharing.
  bool cuts = platform::kHostSystem == platform::HostSystem::kPosix;
  const std::size_t whole = bytes.size();
  const std::size_t cutsAt[] = {whole, kDiskBlockBytes + 1234, 2 * kDiskBlockBytes,
                                3 * kDiskBlockBytes + 4095, kDiskBlockBytes + 1};
  platform::Directory directory;
  char delimiter = platform::kHostSystem == platform::HostSystem::kWindows ? '\\' : '/';
  ASSERT_EQ(platform::OpenDirectory(dir_.Path() + delimiter, &directory), 0);
  for (std::size_t cut : cutsAt) {
    if (cut != whole && !cuts) continue;
    std::string path = dir_.Write("big.txt", bytes);
    TextLineFile source;
    TextLineFile copy;
    source.AssignName(path);
    source.OpenForReadingIn(directory, "big.txt");
    ASSERT_EQ(TakeFailureCode(), 0);
    copy.AssignName(dir_.Path("copy.txt"));
    copy.OpenForWriting();
    EXPECT_FALSE(source.FirstBlockHoldsNul());
    if (cut != whole) std::filesystem::resize_file(path, cut);
    while (!source.AtEnd()) {
      source.CopyLinesTo(&copy);
      if (!source.AtEnd()) copy.WriteTextLine(source.ReadTextLine());
    }
    copy.CloseFile();
    source.CloseFile();
    EXPECT_EQ(TakeFailureCode(), 0) << cut;
    std::string expected;
    for (const std::string& line : ModelLines(bytes.substr(0, cut)))
      expected += line + "\r\n";
    std::string copied = ReadBytes(dir_.Path("copy.txt"));
    EXPECT_TRUE(copied == expected)
        << "cut at " << cut << ": " << copied.size() << " bytes of " << expected.size() << ", "
        << std::count(copied.begin(), copied.end(), '\0') << " of them NUL";
  }
}

// Files of /proc report the size 0 and give a page or so per read: only a read of 0 bytes
// ends them.
TEST_F(LineFilesTest, ReadsAFileOfShortReadsWhole) {
  const std::string path = "/proc/kallsyms";
  platform::OwnedHandle handle;
  if (platform::OpenExistingForReading(path, &handle) != 0) GTEST_SKIP() << "no " << path;
  std::string bytes;
  std::vector<char> block(kDiskBlockBytes);
  std::size_t count = 0;
  do {
    ASSERT_EQ(platform::ReadSome(handle.get(), block.data(), block.size(), &count), 0);
    bytes.append(block.data(), count);
  } while (count > 0);
  handle.Close();
  ASSERT_GT(bytes.size(), kDiskBlockBytes) << "too small to need many reads";
  EXPECT_EQ(ReadAllLines(path), ModelLines(bytes));
}

// What reading drops is noted with its line, however the lines are read and wherever the
// buffer's edges fall; the line number follows every line read.
TEST_F(LineFilesTest, NotesWhatReadingDropsWithItsLine) {
  struct Case {
    std::string bytes;
    uint64_t loneCarriageReturnLine;
    uint64_t ctrlZLine;
  };
  std::vector<Case> cases = {
      {"a\r\nb\nc", 0, 0},  {"a\r\nb\rc\r\nd\re\n", 2, 0}, {"a\nb\r", 2, 0},
      {"a\r\nb\x1a", 0, 0}, {"a\r\nb\x1a\x1a", 0, 2},      {"a\r\n\x1a\r\nlost\r\n", 0, 2},
  };
  for (std::size_t edge : {kTransferBytes, kDiskBlockBytes}) {
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
    for (int way = 0; way < 3; ++way) {
      TextLineFile file;
      TextLineFile copy;
      file.AssignName(path);
      file.OpenForReading();
      file.WatchLosses();
      copy.AssignName(dir_.Path("copy.txt"));
      copy.OpenForWriting();
      uint64_t lines = 0;
      Gathered ignored;
      for (;;) {
        if (way == 2) file.CopyLinesTo(&copy, stops);
        if (file.AtEnd()) break;
        if (way != 2) {
          EXPECT_EQ(file.LineNumber(), ++lines) << c.bytes.size();
        }
        if (way == 1) {
          file.ReadTextLineInto(ignored);
        } else {
          file.ReadTextLine();
        }
      }
      TextLineFile::Losses losses = file.ReadLosses();
      EXPECT_EQ(losses.loneCarriageReturnLine, c.loneCarriageReturnLine)
          << way << " " << c.bytes.size() << " " << ::testing::PrintToString(c.bytes.substr(0, 8));
      EXPECT_EQ(losses.ctrlZLine, c.ctrlZLine) << way << " " << c.bytes.size();
      file.CloseFile();
      copy.CloseFile();
    }
  }
}

TEST_F(LineFilesTest, WritesCrLfLines) {
  std::string path = dir_.Path("out.txt");
  TextLineFile file;
  file.AssignName(path);
  file.OpenForWriting();
  file.WriteTextLine("x");
  file.WriteText("no end");
  file.WriteTextLine("");
  file.CloseFile();
  CheckFileFailure();
  EXPECT_EQ(ReadBytes(path), "x\r\nno end\r\n");
}

TEST_F(LineFilesTest, OpeningForWritingEmptiesTheFile) {
  std::string path = dir_.Write("full.txt", "old contents\r\n");
  TextLineFile file;
  file.AssignName(path);
  file.OpenForWriting();
  EXPECT_EQ(ReadBytes(path), "");
  file.CloseFile();
}

// A handle opened elsewhere is written as if the file had opened it itself.
TEST_F(LineFilesTest, AdoptingAHandle) {
  std::string fresh = dir_.Path("free.txt");
  platform::OwnedHandle handle;
  platform::DeviceKind kind = platform::DeviceKind::kUnknown;
  ASSERT_EQ(platform::CreateNewForWriting(fresh, &handle, &kind), 0);
  TextLineFile file;
  file.AssignName(fresh);
  file.AdoptForWriting(std::move(handle), kind);
  EXPECT_EQ(file.Mode(), TextFileMode::kWriting);
  file.WriteTextLine("new");
  file.CloseFile();
  EXPECT_EQ(ReadBytes(fresh), "new\r\n");
}

TEST_F(LineFilesTest, CloseWritesEveryByte) {
  for (std::size_t size : {std::size_t{127}, std::size_t{128}, std::size_t{129},
                           kDiskBlockBytes - 1, kDiskBlockBytes, 3 * kDiskBlockBytes + 5}) {
    std::string path = dir_.Path("sized.txt");
    std::string text(size, 'z');
    TextLineFile file;
    file.AssignName(path);
    file.OpenForWriting();
    file.WriteText(text);
    file.CloseFile();
    CheckFileFailure();
    EXPECT_EQ(ReadBytes(path).size(), size);
  }
}

TEST_F(LineFilesTest, AbandonedWriterHoldsWhole128BytePieces) {
  const std::size_t sizes[] = {100, 128, 300, 200000, 3 * kDiskBlockBytes + 300};
  for (std::size_t size : sizes) {
    std::string path = dir_.Path("abandoned.txt");
    {
      TextLineFile file;
      file.AssignName(path);
      file.OpenForWriting();
      for (std::size_t written = 0; written < size; written += 10) {
        file.WriteText(std::string(std::min<std::size_t>(10, size - written), 'w'));
      }
    }
    EXPECT_EQ(ReadBytes(path).size(), size / 128 * 128) << size;
  }
}

// A file that carries bulk text moves blocks on a pipe as on a disk, keeps the bytes that
// waited before it was told, and still holds whole 128-byte pieces when abandoned; a
// console (a terminal, no other device) takes every write at once whatever it carries. The
// file is a disk file adopted as the device it stands for, so that what reached it can be
// read back at each step.
TEST_F(LineFilesTest, BulkTextMovesInBlocksExceptOnAConsole) {
  enum class Text { kOwnWords, kBulk };
  enum class End { kAbandoned, kClosed };
  struct Case {
    platform::DeviceKind kind;
    Text text;
    std::size_t whileWriting;  // bytes out with all of them written, before the end
    End end;
    std::size_t atEnd;
  };
  std::string text;
  for (int i = 0; text.size() < 2 * kDiskBlockBytes + 300; ++i)
    text +=
        std::string(static_cast<std::size_t>(i % 7 == 0 ? 70000 : i % 120), LetterOf(i)) + "\r\n";
  const std::size_t all = text.size();
  const std::size_t pieces = all / kTransferBytes * kTransferBytes;
  const std::size_t blocks = all / kDiskBlockBytes * kDiskBlockBytes;
  using platform::DeviceKind;
  const Case cases[] = {
      {DeviceKind::kPipe, Text::kOwnWords, pieces, End::kAbandoned, pieces},
      {DeviceKind::kPipe, Text::kBulk, blocks, End::kAbandoned, pieces},
      {DeviceKind::kPipe, Text::kBulk, blocks, End::kClosed, all},
      {DeviceKind::kTerminal, Text::kOwnWords, all, End::kAbandoned, all},
      {DeviceKind::kTerminal, Text::kBulk, all, End::kAbandoned, all},
      // /dev/null and other devices that are no terminal take what a pipe takes.
      {DeviceKind::kCharacter, Text::kOwnWords, pieces, End::kAbandoned, pieces},
      {DeviceKind::kCharacter, Text::kBulk, blocks, End::kAbandoned, pieces},
  };
  std::string path = dir_.Path("device.txt");
  auto expectHeld = [&](std::size_t size, const std::string& label) {
    std::string held = ReadBytes(path);
    EXPECT_EQ(held.size(), size) << label;
    EXPECT_TRUE(held == std::string_view(text).substr(0, held.size())) << label;
  };
  for (const Case& c : cases) {
    std::string label = "kind " + std::to_string(static_cast<int>(c.kind)) +
                        (c.text == Text::kBulk ? ", bulk" : "");
    {
      platform::OwnedHandle handle;
      ASSERT_EQ(platform::CreateForWriting(path, &handle), 0);
      TextLineFile file;
      file.AssignName(path);
      file.AdoptForWriting(std::move(handle), c.kind);
      std::string_view rest = text;
      file.WriteText(rest.substr(0, 100));  // waits in the 128-byte buffer
      rest.remove_prefix(100);
      if (c.text == Text::kBulk) file.MoveInBlocks();
      while (!rest.empty()) {
        std::size_t line = rest.find('\n') + 1;
        file.WriteText(rest.substr(0, line));
        rest.remove_prefix(line);
      }
      expectHeld(c.whileWriting, label + ", while writing");
      if (c.end == End::kClosed) file.CloseFile();
    }
    expectHeld(c.atEnd, label + (c.end == End::kClosed ? ", closed" : ", abandoned"));
  }
}

TEST_F(LineFilesTest, FailureCodes) {
  std::string missingDir = dir_.Path("no-such-dir");
  std::string held = dir_.Path("held.txt");
  TextLineFile holder;
  holder.AssignName(held);
  holder.OpenForWriting();

  struct CodeCase {
    const char* label;
    std::string name;
    bool forWriting;
    int32_t code;
  };
  const CodeCase cases[] = {
      {"missing file", dir_.Path("missing.txt"), false, 2},
      {"missing directory", missingDir + "/x.txt", false, 3},
      {"missing directory, writing", missingDir + "/x.txt", true, 3},
      {"directory for writing", dir_.Path(), true, 5},
      {"held open for writing, reading", held, false, 32},
      {"held open for writing, writing", held, true, 32},
      {"name past the limit", dir_.Path(std::string(platform::kMaxPathBytes, 'n')), true, 3},
  };
  for (const CodeCase& c : cases) {
    TextLineFile file;
    file.AssignName(c.name);
    if (c.forWriting) {
      file.OpenForWriting();
    } else {
      file.OpenForReading();
    }
    EXPECT_EQ(TakeFailureCode(), c.code) << c.label;
    EXPECT_EQ(file.Mode(), TextFileMode::kClosed) << c.label;
  }
  EXPECT_FALSE(test_support::Exists(dir_.Path(std::string(platform::kMaxPathBytes, 'n'))));
  holder.CloseFile();
}

TEST_F(LineFilesTest, MisuseCodes) {
  TextLineFile closed;
  closed.AssignName(dir_.Path("never-opened.txt"));
  EXPECT_EQ(CodeOf([](TextLineFile& f) { f.CloseFile(); }, closed), 103);
  EXPECT_EQ(CodeOf([](TextLineFile& f) { f.FlushOutput(); }, closed), 103);
  EXPECT_EQ(CodeOf([](TextLineFile& f) { f.WriteText("x"); }, closed), 103);
  EXPECT_EQ(CodeOf([](TextLineFile& f) { f.ReadTextLine(); }, closed), 104);
  EXPECT_EQ(CodeOf([](TextLineFile& f) { EXPECT_TRUE(f.AtEnd()); }, closed), 104);

  TextLineFile reading;
  reading.AssignName(dir_.Write("in.txt", "line\r\n"));
  reading.OpenForReading();
  EXPECT_EQ(CodeOf([](TextLineFile& f) { f.WriteTextLine("x"); }, reading), 105);
  EXPECT_EQ(CodeOf([](TextLineFile& f) { f.FlushOutput(); }, reading), 0);
  EXPECT_EQ(reading.ReadTextLine(), "line");

  TextLineFile writing;
  writing.AssignName(dir_.Path("w.txt"));
  writing.OpenForWriting();
  EXPECT_EQ(CodeOf([](TextLineFile& f) { f.ReadTextLine(); }, writing), 104);
  writing.CloseFile();
  reading.CloseFile();
}

TEST_F(LineFilesTest, CheckRaisesOnceThenNothing) {
  TextLineFile file;
  file.AssignName(dir_.Path("missing.txt"));
  file.OpenForReading();
  try {
    CheckFileFailure();
    FAIL() << "no error raised";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.FailureCode(), 2);
    EXPECT_EQ(error.Message(), "File not found");
  }
  file.AssignName(dir_.Write("present.txt", "x"));
  file.OpenForReading();
  EXPECT_NO_THROW(CheckFileFailure());
  file.CloseFile();
}

TEST_F(LineFilesTest, ReadersShareAndWritersExclude) {
  std::string path = dir_.Write("shared.txt", "a\r\n");
  TextLineFile first;
  TextLineFile second;
  first.AssignName(path);
  second.AssignName(path);
  first.OpenForReading();
  second.OpenForReading();
  EXPECT_EQ(TakeFailureCode(), 0);
  TextLineFile writer;
  writer.AssignName(path);
  writer.OpenForWriting();
  EXPECT_EQ(TakeFailureCode(), 32);
  EXPECT_EQ(first.ReadTextLine(), "a");
  first.CloseFile();
  second.CloseFile();
  writer.OpenForWriting();
  EXPECT_EQ(TakeFailureCode(), 0);
  writer.CloseFile();
}

TEST_F(LineFilesTest, ReopeningClosesFirst) {
  std::string path = dir_.Path("reopen.txt");
  TextLineFile file;
  file.AssignName(path);
  file.OpenForWriting();
  file.WriteTextLine("kept");
  file.OpenForReading();  // the waiting line goes out before the file is read
  EXPECT_EQ(file.ReadTextLine(), "kept");
  file.CloseFile();
}

}  // namespace
}  // namespace quillpack
