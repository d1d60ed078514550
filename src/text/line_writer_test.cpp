#include "text/line_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "failures/failure_codes.h"
#include "platform/platform.h"
#include "support/temporary_directory.h"

namespace quillpack {
namespace {

using test_support::ReadBytes;
using test_support::TemporaryDirectory;

class LineWriterTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(TakeFailureCode(), 0); }

  // A writer into a fresh file, so that what reached the handle can be read back.
  void StartWriter(std::size_t transferBytes, WriteRule rule) {
    handle_.Close();
    ASSERT_EQ(platform::CreateForWriting(path_, &handle_), 0);
    writer_.Start(handle_.get(), transferBytes, rule);
  }
  std::size_t BytesOut() const { return ReadBytes(path_).size(); }

  TemporaryDirectory dir_;
  std::string path_ = dir_.Path("out.txt");
  platform::OwnedHandle handle_;
  LineWriter writer_;
};

// What reaches the handle while bytes are appended in pieces of every size: whole
// transfers only, 128 bytes or blocks, in the order they came.
TEST_F(LineWriterTest, HandsOverWholeTransfersOnly) {
  struct Case {
    std::size_t transfer;
    bool movesInBlocks;
    WriteRule rule;
    std::size_t heldAfterEach;  // what reaches the handle: whole pieces of this size
  };
  const Case cases[] = {
      {kTransferBytes, false, WriteRule::kWhenFull, kTransferBytes},
      {kDiskBlockBytes, false, WriteRule::kWhenFull, kDiskBlockBytes},
      {kTransferBytes, true, WriteRule::kWhenFull, kDiskBlockBytes},
      // A writer that writes each operation keeps its transfers.
      {kTransferBytes, true, WriteRule::kEachWrite, kTransferBytes},
  };
  const std::size_t pieces[] = {1, 127, 2, 300, 70000, 128, 200000, 5, 131072};
  for (const Case& c : cases) {
    StartWriter(c.transfer, c.rule);
    writer_.Append(std::string(100, 'w'));  // waits in the buffer it started with
    if (c.movesInBlocks) writer_.MoveInBlocks();
    std::string all(100, 'w');
    for (std::size_t size : pieces) {
      std::string piece(size, static_cast<char>('a' + all.size() % 26));
      ASSERT_TRUE(writer_.Append(piece));
      all += piece;
      std::string held = ReadBytes(path_);
      EXPECT_EQ(held.size(), all.size() / c.heldAfterEach * c.heldAfterEach)
          << c.transfer << " after " << all.size();
      EXPECT_TRUE(held == std::string_view(all).substr(0, held.size())) << c.transfer;
      EXPECT_EQ(writer_.WaitingBytes(), all.size() - held.size());
    }
    EXPECT_TRUE(writer_.Flush());
    EXPECT_TRUE(ReadBytes(path_) == all) << c.transfer;
    EXPECT_EQ(writer_.WritesEachOperation(), c.rule == WriteRule::kEachWrite);
  }
}

// Abandoned, a writer leaves what 128-byte transfers would have written, whatever it moves.
TEST_F(LineWriterTest, AbandonedWriterHoldsWhole128BytePieces) {
  const std::size_t sizes[] = {100, 128, 300, 200000, 3 * kDiskBlockBytes + 300};
  for (std::size_t transfer : {kTransferBytes, kDiskBlockBytes}) {
    for (std::size_t size : sizes) {
      StartWriter(transfer, WriteRule::kWhenFull);
      for (std::size_t written = 0; written < size; written += 10)
        writer_.Append(std::string(std::min<std::size_t>(10, size - written), 'w'));
      writer_.Abandon();
      EXPECT_EQ(BytesOut(), size / 128 * 128) << transfer << " " << size;
      EXPECT_EQ(writer_.WaitingBytes(), 0u);
    }
  }
}

TEST_F(LineWriterTest, LineEndsAsSet) {
  StartWriter(kTransferBytes, WriteRule::kWhenFull);
  writer_.Append("crlf");
  writer_.AppendLineEnd();
  writer_.SetLineEnd(LineEnd::kLf);
  writer_.Reset();  // a writer started again keeps its line end
  ASSERT_EQ(platform::CreateForWriting(path_, &handle_), 0);
  writer_.Start(handle_.get(), kTransferBytes, WriteRule::kWhenFull);
  writer_.Append("lf");
  writer_.AppendLineEnd();
  writer_.SetLineEnd(LineEnd::kCrLf);
  writer_.Append("x");
  writer_.AppendLineEnd();
  EXPECT_TRUE(writer_.Flush());
  EXPECT_EQ(ReadBytes(path_), "lf\nx\r\n");
}

// A write the handle refuses is recorded, and the waiting bytes go with it.
TEST_F(LineWriterTest, FailedTransferDropsTheWaitingBytes) {
  std::string path = dir_.Write("read-only.txt", "");
  for (std::size_t transfer : {kTransferBytes, kDiskBlockBytes}) {
    platform::OwnedHandle reading;
    ASSERT_EQ(platform::OpenExistingForReading(path, &reading), 0);
    LineWriter writer;
    writer.Start(reading.get(), transfer, WriteRule::kWhenFull);
    EXPECT_TRUE(writer.Append("waits"));
    EXPECT_FALSE(writer.Append(std::string(transfer, 'x'))) << transfer;
    EXPECT_NE(TakeFailureCode(), 0);
    EXPECT_EQ(writer.WaitingBytes(), 0u);
    EXPECT_TRUE(writer.Append("again"));
    EXPECT_FALSE(writer.Flush());
    EXPECT_NE(TakeFailureCode(), 0);
  }
  EXPECT_EQ(ReadBytes(path), "");
}

}  // namespace
}  // namespace quillpack
