// The reading half of a text line file: the buffer that the handle fills, the lines found
// in it, the bulk copy of lines to a writer, and what reading drops.
//
// The line rules: LF or CR LF ends a line, a CR followed by anything else is dropped,
// Ctrl-Z ends the input for good and stays unread. A failed read is recorded as a failure
// code (failure_codes.h) and meets the end of the input once.

#ifndef QUILLPACK_TEXT_LINE_READER_H_
#define QUILLPACK_TEXT_LINE_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quillpack {

class LineWriter;

// Receives the bytes of one line piece by piece, in order, as the file reads them.
class LineSink {
 public:
  virtual void Take(std::string_view piece) = 0;

 protected:
  ~LineSink() = default;
};

// What the line reader drops of a file: the line of the first CR that no LF followed,
// and the line of a Ctrl-Z that ended the input with bytes still after it; 0 for none.
struct LineLosses {
  uint64_t loneCarriageReturnLine = 0;
  uint64_t ctrlZLine = 0;
};

// Whether the end of the handle's input is met only by a read of 0 bytes, or also by a
// short read once the size the file had at opening has been read (a named disk file).
enum class InputEndRule { kEmptyRead, kShortReadAtSize };

class LineReader {
 public:
  LineReader() = default;
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Reads `handle` from its current position, `blockBytes` (kTransferBytes or
  // kDiskBlockBytes) a fill; `sizeAtOpening` is what the file reported when opened, for
  // kShortReadAtSize. Nothing read yet, nothing watched. The handle stays the caller's.
  void Start(platform::Handle handle, std::size_t blockBytes, InputEndRule endRule,
             uint64_t sizeAtOpening);

  // Forgets the handle and everything read.
  void Reset();

  // The next line without its line end; empty at the end of the input. The result may
  // point into the buffer, valid until the next call; `scratch` holds the line when it
  // does not lie whole in the buffer.
  std::string_view ReadLineView(std::string* scratch);

  // The next line handed to `sink` piece by piece (none for an empty line): a line of any
  // length needs no more memory than the buffer.
  void ReadLineInto(LineSink& sink);

  // Copies the following lines to `target`, each followed by the target's line end, or
  // drops them when `target` is null; stops at the end of the input, at a failure, and
  // before a line that begins with one of `stopPrefixes` as the reader reads it (lone CRs
  // dropped), or that starts so near the end of the buffer that it cannot tell.
  void CopyLinesTo(LineWriter* target, std::span<const std::string_view> stopPrefixes);

  // Counts the lines from now on and notes what reading drops. REQUIRES: nothing read.
  void Watch() { watching_ = true; }

  // The number of the line at the read position, from 1. REQUIRES: Watch().
  uint64_t LineNumber() const;

  // What reading has dropped so far. At a Ctrl-Z it also tells whether bytes follow it,
  // reading on once where it must: a Ctrl-Z that is the input's last byte loses nothing.
  LineLosses ReadLosses();
  // As ReadLosses, without looking past a Ctrl-Z.
  LineLosses LossesNoted() const { return losses_; }

  // Whether nothing more can be read: at the end of the input, at a Ctrl-Z, after a
  // failed fill. Fills the buffer when it is empty, which may wait.
  bool AtEnd();

  // Whether the end of the input has been met: a fill of 0 bytes, a short fill at the
  // size, or a Ctrl-Z at the read position. Never reads.
  bool InputEnded() const;

  // Whether the first block holds a NUL byte: fills it if nothing was read yet.
  bool FirstBlockHoldsNul();

 private:
  bool Fill();
  void NoteLoneCarriageReturn(const char* after);
  bool BytesFollowCtrlZ();
  template <typename Take>
  bool StreamLine(Take take);
  void AssembleLine(std::string* line);

  platform::Handle handle_ = platform::kNoHandle;
  std::unique_ptr<char[]> buffer_;
  std::size_t bufferSize_ = 0;
  std::size_t blockBytes_ = 0;
  // The buffer holds bytes [0, end_), of which those from `position_` on are unread.
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  bool inputEnded_ = false;
  InputEndRule endRule_ = InputEndRule::kEmptyRead;
  uint64_t sizeAtOpening_ = 0;
  uint64_t bytesRead_ = 0;
  // Losses, noted only while watched; the line ends of the blocks read before the one in
  // the buffer are counted as each is left.
  bool watching_ = false;
  uint64_t lineEndsBefore_ = 0;
  LineLosses losses_;
};

}  // namespace quillpack

#endif  // QUILLPACK_TEXT_LINE_READER_H_
