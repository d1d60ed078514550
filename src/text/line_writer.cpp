#include "text/line_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "failures/failure_codes.h"

namespace quillpack {

void LineWriter::Start(platform::Handle handle, std::size_t transferBytes, WriteRule rule) {
  handle_ = handle;
  rule_ = rule;
  transferSize_ = transferBytes;
  waiting_ = 0;
  ReserveBuffer(transferSize_ + kSpareBytes);
}

void LineWriter::Reset() {
  handle_ = platform::kNoHandle;
  rule_ = WriteRule::kWhenFull;
  waiting_ = 0;
}

// The bytes waiting to be written move into the larger buffer.
void LineWriter::ReserveBuffer(std::size_t size) {
  if (bufferSize_ >= size) return;
  auto larger = std::make_unique<char[]>(size);
  if (waiting_ > 0) std::memcpy(larger.get(), buffer_.get(), waiting_);
  buffer_ = std::move(larger);
  bufferSize_ = size;
}

bool LineWriter::AppendAndTransfer(std::string_view bytes) {
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

// A writer that moves blocks takes whole blocks: the waiting bytes and the text that
// completes them go out in one write, straight from where they are; the rest waits.
// REQUIRES: the bytes fill the buffer at least, so that a whole block goes out.
bool LineWriter::AppendInBlocks(std::string_view bytes) {
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
void LineWriter::MoveInBlocks() {
  if (rule_ == WriteRule::kEachWrite) return;
  ReserveBuffer(kDiskBlockBytes + kSpareBytes);
  transferSize_ = kDiskBlockBytes;
}

// Bytes past a transfer wait for the next one, at the start of the buffer.
bool LineWriter::Commit(std::size_t count) {
  waiting_ += count;
  std::size_t sent = 0;
  for (; waiting_ - sent >= transferSize_; sent += transferSize_) {
    if (int32_t code = platform::WriteAll(handle_, buffer_.get() + sent, transferSize_)) {
      waiting_ = 0;
      RecordFailure(code);
      return false;
    }
  }
  if (sent > 0) std::memmove(buffer_.get(), buffer_.get() + sent, waiting_ - sent);
  waiting_ -= sent;
  return true;
}

bool LineWriter::Flush() {
  if (waiting_ == 0) return true;
  std::size_t waiting = std::exchange(waiting_, 0);
  if (int32_t code = platform::WriteAll(handle_, buffer_.get(), waiting)) {
    RecordFailure(code);
    return false;
  }
  return true;
}

void LineWriter::Abandon() {
  std::size_t whole = waiting_ / kTransferBytes * kTransferBytes;
  waiting_ = 0;
  if (whole > 0) platform::WriteAll(handle_, buffer_.get(), whole);
}

}  // namespace quillpack
