// The writing half of a text line file: the buffer of bytes waiting to be written, the size
// in which they go out, and when they go out.
//
// Bytes leave in transfers of exactly the transfer size, one platform call each, as the
// buffer fills; a writer that moves blocks (a transfer size above kTransferBytes) hands
// larger runs to the platform at once, always a whole number of blocks. Whatever was
// written, what reached the handle is a whole number of 128-byte pieces until Flush.
// Failed writes are recorded as failure codes (failure_codes.h); the waiting bytes and
// the rest of the bytes being appended are then dropped.

#ifndef QUILLPACK_TEXT_LINE_WRITER_H_
#define QUILLPACK_TEXT_LINE_WRITER_H_

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/platform.h"

namespace quillpack {

// The line end of every line written, unless a file is set to write LF alone.
inline constexpr std::string_view kLineEnd = "\r\n";
inline constexpr std::string_view kLineFeedOnly = "\n";

enum class LineEnd { kCrLf, kLf };

// The transfer buffer of standard handles, pipes and consoles.
inline constexpr std::size_t kTransferBytes = 128;
// The block in which named disk files, and files that carry bulk text, move.
inline constexpr std::size_t kDiskBlockBytes = 1024 * kTransferBytes;

enum class WriteRule { kWhenFull, kEachWrite };

class LineWriter {
 public:
  LineWriter() = default;
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  // Writes to `handle` from now on, in transfers of `transferBytes` (kTransferBytes or
  // kDiskBlockBytes); nothing waits. The handle stays the caller's. Never fails.
  void Start(platform::Handle handle, std::size_t transferBytes, WriteRule rule);

  // Drops the waiting bytes and forgets the handle; the line end stays.
  void Reset();

  // The line end that AppendLineEnd appends: CR LF until set otherwise.
  void SetLineEnd(LineEnd lineEnd) {
    lineEnd_ = lineEnd == LineEnd::kLf ? kLineFeedOnly : kLineEnd;
  }
  std::string_view LineEndBytes() const { return lineEnd_; }

  // Whether every write operation is to go out at once (Flush after it): a console, or
  // the error output.
  bool WritesEachOperation() const { return rule_ == WriteRule::kEachWrite; }

  // Adds `bytes` behind the waiting ones, handing full transfers to the platform. False
  // when a transfer failed (recorded). Bytes that leave room in the buffer take the
  // inline path: the copy of lines appends once or twice per line.
  bool Append(std::string_view bytes) {
    if (bytes.empty()) return true;
    if (bytes.size() >= transferSize_ - waiting_) return AppendAndTransfer(bytes);
    std::memcpy(buffer_.get() + waiting_, bytes.data(), bytes.size());
    waiting_ += bytes.size();
    return true;
  }
  bool AppendLineEnd() { return Append(lineEnd_); }

  // From now on moves blocks of kDiskBlockBytes, as a named disk file does; the waiting
  // bytes stay. Does nothing for a writer that writes each operation at once.
  void MoveInBlocks();

  // Writes the waiting bytes now, whatever their number. False when that failed
  // (recorded; the bytes are dropped).
  bool Flush();

  // For a writer given up without Flush: writes what 128-byte transfers would have
  // written by now (the whole 128-byte pieces of the waiting bytes), failures unrecorded.
  void Abandon();

  std::size_t WaitingBytes() const { return waiting_; }

  // Room to write bytes into directly, behind the waiting ones: [Space(), SpaceEnd()),
  // always at least kSpareBytes long. Commit(count) then takes the first `count` of them
  // as appended, handing full transfers to the platform; false when one failed (recorded;
  // the waiting bytes are dropped). Any other operation may change the room.
  char* Space() { return buffer_.get() + waiting_; }
  char* SpaceEnd() { return buffer_.get() + transferSize_ + kSpareBytes; }
  bool Commit(std::size_t count);
  static constexpr std::size_t kSpareBytes = 256;

 private:
  bool AppendAndTransfer(std::string_view bytes);
  bool AppendInBlocks(std::string_view bytes);
  void ReserveBuffer(std::size_t size);

  platform::Handle handle_ = platform::kNoHandle;
  WriteRule rule_ = WriteRule::kWhenFull;
  std::string_view lineEnd_ = kLineEnd;
  std::unique_ptr<char[]> buffer_;
  std::size_t bufferSize_ = 0;
  std::size_t transferSize_ = kTransferBytes;
  // The number of bytes waiting at the start of the buffer.
  std::size_t waiting_ = 0;
};

}  // namespace quillpack

#endif  // QUILLPACK_TEXT_LINE_WRITER_H_
