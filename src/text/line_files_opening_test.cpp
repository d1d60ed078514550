#include "text/line_files.h"

#include <gtest/gtest.h>

#include <string>

#include "failures/error_objects.h"
#include "failures/failure_codes.h"
#include "platform/platform.h"
#include "support/temporary_directory.h"

// Opening, closing and misuse of the text line files, and the failure codes they record.

namespace quillpack {
namespace {

int32_t CodeOf(void (*operation)(TextLineFile&), TextLineFile& file) {
  TakeFailureCode();
  operation(file);
  return TakeFailureCode();
}

class LineFilesOpeningTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(TakeFailureCode(), 0); }
  test_support::TemporaryDirectory dir_;
};

TEST_F(LineFilesOpeningTest, FailureCodes) {
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

TEST_F(LineFilesOpeningTest, MisuseCodes) {
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

TEST_F(LineFilesOpeningTest, CheckRaisesOnceThenNothing) {
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

TEST_F(LineFilesOpeningTest, ReadersShareAndWritersExclude) {
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

TEST_F(LineFilesOpeningTest, ReopeningClosesFirst) {
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
