#include "text/line_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "failures/failure_codes.h"
#include "platform/platform.h"
#include "support/gathered.h"
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

using test_support::Gathered;

enum class Reading { kWhole, kInPieces };

std::vector<std::string> ReadAllLines(const std::string& path, Reading reading) {
  TextLineFile file;
  file.AssignName(path);
  file.OpenForReading();
  CheckFileFailure();
  std::vector<std::string> lines;
  while (!file.AtEnd()) {
    if (reading == Reading::kWhole) {
      lines.push_back(file.ReadTextLine());
    } else {
      Gathered gathered;
      file.ReadTextLineInto(gathered);
      lines.push_back(gathered.bytes);
    }
  }
  CheckFileFailure();
  file.CloseFile();
  CheckFileFailure();
  return lines;
}

// Every file is read both ways, which must agree.
std::vector<std::string> ReadAllLines(const std::string& path) {
  std::vector<std::string> lines = ReadAllLines(path, Reading::kWhole);
  EXPECT_EQ(ReadAllLines(path, Reading::kInPieces), lines) << path;
  return lines;
}

class LineFilesTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(TakeFailureCode(), 0); }
  TemporaryDirectory dir_;
};

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

// The file's reading operations on top of its reader: the line count, what reading
// drops, and the bulk copy's hand-over of a stop line to the caller.
TEST_F(LineFilesTest, WatchedCopyCountsLinesAndLosses) {
  std::string path = dir_.Write("watched.txt",
                                "a\r\nb\rc\n./stop\r\nd\x1a"
                                "after");
  TextLineFile file;
  TextLineFile copy;
  file.AssignName(path);
  file.OpenForReading();
  file.WatchLosses();
  copy.AssignName(dir_.Path("copy.txt"));
  copy.OpenForWriting();
  const std::string_view stops[] = {"./"};
  file.CopyLinesTo(&copy, stops);
  EXPECT_EQ(file.LineNumber(), 3u);
  EXPECT_EQ(file.ReadTextLine(), "./stop");
  file.CopyLinesTo(&copy, stops);
  EXPECT_TRUE(file.AtEnd());
  TextLineFile::Losses losses = file.ReadLosses();
  EXPECT_EQ(losses.loneCarriageReturnLine, 2u);
  EXPECT_EQ(losses.ctrlZLine, 4u);
  file.CloseFile();
  copy.CloseFile();
  EXPECT_EQ(ReadBytes(dir_.Path("copy.txt")), "a\r\nbc\r\nd\r\n");
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

}  // namespace
}  // namespace quillpack
