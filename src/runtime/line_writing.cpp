// The writing side of the text line files: the buffer of waiting bytes, its transfers and
// the flush rules.

#include <algorithm>
#include <cstring>

#include "runtime/failure_codes.h"
#include "runtime/line_files.h"

namespace quillpack {

bool TextLineFile::ReadyToWrite() {
  return ReadyFor(TextFileMode::kWriting, IsStandardWriter(), kFileNotOpenForWriting);
}

void TextLineFile::WriteText(std::string_view text) {
  Write(text, std::string_view());
}

void TextLineFile::WriteTextLine(std::string_view text) {
  Write(text, kLineEnd);
}

void TextLineFile::Write(std::string_view text, std::string_view lineEnd) {
  if (ReadyToWrite() && Append(text)) Append(lineEnd);
  if (openMode_ == TextFileMode::kClosed) {
    if (!IsStandardWriter()) RecordFailure(kFileNotOpen);
  } else if (openMode_ == TextFileMode::kWriting && flushEachWrite_) {
    WriteWaiting();
  }
}

// False when a transfer failed: the waiting bytes and the rest of `bytes` are dropped.
bool TextLineFile::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    // A disk file takes whole blocks straight from the text, skipping the buffer.
    if (waiting_ == 0 && transferSize_ > kTransferBytes && bytes.size() >= transferSize_) {
      std::size_t whole = bytes.size() / transferSize_ * transferSize_;
      if (int32_t code = platform::WriteAll(handle_, bytes.data(), whole)) {
        RecordFailure(code);
        return false;
      }
      bytes.remove_prefix(whole);
      continue;
    }
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
