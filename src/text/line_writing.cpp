// The writing side of the text line files: the buffer of waiting bytes, its transfers and
// the flush rules.

#include <algorithm>
#include <cstring>
#include <utility>

#include "failures/failure_codes.h"
#include "text/line_files.h"

namespace quillpack {

bool TextLineFile::ReadyToWrite() {
  return ReadyFor(TextFileMode::kWriting, IsStandardWriter(), kFileNotOpenForWriting);
}

void TextLineFile::WriteText(std::string_view text) {
  Write(text, std::string_view());
}

void TextLineFile::WriteTextLine(std::string_view text) {
  Write(text, lineEnd_);
}

void TextLineFile::Write(std::string_view text, std::string_view lineEnd) {
  if (ReadyToWrite() && Append(text)) Append(lineEnd);
  if (openMode_ == TextFileMode::kClosed) {
    if (!IsStandardWriter()) RecordFailure(kFileNotOpen);
  } else if (openMode_ == TextFileMode::kWriting && flushEachWrite_) {
    WriteWaiting();
  }
}

bool TextLineFile::AppendAndTransfer(std::string_view bytes) {
  if (transferSize_ > kTransferBytes) return AppendInBlocks(bytes);
  while (!bytes.empty()) {
    std::size_t taken = std::min(transferSize_ - waiting_, bytes.size());
    std::memcpy(buffer_.get() + waiting_, bytes.data(), taken);
    waiting_ += taken;
    bytes.remove_prefix(taken);
    if (waiting_ == transferSize_) {
      waiting_ = 0;
      if (int32_t code = platform::WriteAll(handle_, buffer_.get(), transferSize_)) {
        RecordFailure(code);
        return false;
      }
    }
  }
  return true;
}

// A file that moves blocks takes whole blocks: the waiting bytes and the text that
// completes them go out in one write, straight from where they are; the rest waits.
// REQUIRES: the bytes fill the buffer at least, so that a whole block goes out.
bool TextLineFile::AppendInBlocks(std::string_view bytes) {
  std::size_t whole = (waiting_ + bytes.size()) / transferSize_ * transferSize_;
  std::size_t taken = whole - waiting_;
  std::size_t waiting = std::exchange(waiting_, 0);
  if (int32_t code = platform::WriteAllOfTwo(handle_, std::string_view(buffer_.get(), waiting),
                                             bytes.substr(0, taken))) {
    RecordFailure(code);
    return false;
  }
  bytes.remove_prefix(taken);
  std::memcpy(buffer_.get(), bytes.data(), bytes.size());
  waiting_ = bytes.size();
  return true;
}

// A block write is whole pieces; a blocking pipe cuts one short only when its reader has
// gone, and Linux has then passed on whole pages of it, each a whole number of pieces.
void TextLineFile::MoveInBlocks() {
  if (openMode_ != TextFileMode::kWriting || flushEachWrite_) return;
  ReserveBuffer(kDiskBlockBytes);
  transferSize_ = kDiskBlockBytes;
}

void TextLineFile::WriteWaiting() {
  if (waiting_ == 0) return;
  std::size_t waiting = waiting_;
  waiting_ = 0;
  if (int32_t code = platform::WriteAll(handle_, buffer_.get(), waiting)) RecordFailure(code);
}

void TextLineFile::FlushOutput() {
  if (openMode_ == TextFileMode::kWriting) {
    WriteWaiting();
  } else if (openMode_ == TextFileMode::kClosed && !IsStandardWriter()) {
    RecordFailure(kFileNotOpen);
  }
}

}  // namespace quillpack
