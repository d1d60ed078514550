#include "runtime/line_files.h"

#include <algorithm>
#include <cstring>

#include "runtime/failure_codes.h"
#include "runtime/line_scan.h"

namespace quillpack {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

TextLineFile::TextLineFile() : TextLineFile(Role::kNamed) {}

TextLineFile::TextLineFile(Role role) : role_(role) {}

// An abandoned writer keeps what 128-byte transfers would have written by now.
TextLineFile::~TextLineFile() {
  if (!ownsHandle_ || openMode_ == TextFileMode::kClosed) return;
  if (openMode_ == TextFileMode::kWriting) {
    std::size_t whole = bufferPosition_ / kTransferBytes * kTransferBytes;
    if (whole > 0) platform::WriteAll(fileHandle_, buffer_.get(), whole);
  }
  platform::CloseFileHandle(fileHandle_);
}

void TextLineFile::AssignName(std::string_view name) {
  // The waiting bytes are lost, but the handle and the sharing it holds are released.
  if (ownsHandle_ && openMode_ != TextFileMode::kClosed) platform::CloseFileHandle(fileHandle_);
  assignedName_.assign(name);
  openMode_ = TextFileMode::kClosed;
  fileHandle_ = platform::kNoHandle;
  ownsHandle_ = false;
  onConsole_ = false;
  flushEachWrite_ = false;
  inputEnded_ = false;
  bufferPosition_ = 0;
  bufferEnd_ = 0;
}

void TextLineFile::OpenForReading() {
  Open(TextFileMode::kReading);
}

void TextLineFile::OpenForWriting() {
  Open(TextFileMode::kWriting);
}

void TextLineFile::CloseBeforeReopening() {
  CloseFile();
  if (ownsHandle_ && openMode_ != TextFileMode::kClosed) platform::CloseFileHandle(fileHandle_);
  openMode_ = TextFileMode::kClosed;
}

void TextLineFile::ReserveBuffer(std::size_t size) {
  if (bufferSize_ >= size) return;
  buffer_ = std::make_unique<char[]>(size);
  bufferSize_ = size;
}

void TextLineFile::Open(TextFileMode mode) {
  if (openMode_ != TextFileMode::kClosed) CloseBeforeReopening();
  bool reading = mode == TextFileMode::kReading;
  bool named = !assignedName_.empty();
  platform::Handle handle = platform::kNoHandle;
  platform::DeviceKind kind = platform::DeviceKind::kUnknown;
  uint64_t size = 0;
  int32_t code;
  if (!named) {
    code = platform::GetStandardHandle(StandardStreamFor(mode), &handle);
    if (code == 0) kind = platform::KindOf(handle);
  } else if (assignedName_.size() > platform::kMaxPathBytes) {
    code = platform::kPathNotFound;
  } else if (reading) {
    code = platform::OpenExistingForReading(assignedName_, &handle, &kind, &size);
  } else {
    code = platform::CreateForWriting(assignedName_, &handle, &kind);
  }
  if (code != 0) {
    RecordFailure(code);
    return;
  }

  if (!reading && kind == platform::DeviceKind::kUnknown) {
    if (named) platform::CloseFileHandle(handle);
    RecordFailure(kFileNotOpenForWriting);
    return;
  }
  Adopt(handle, kind, mode, size);
}

void TextLineFile::AdoptForWriting(platform::Handle handle, platform::DeviceKind kind) {
  if (openMode_ != TextFileMode::kClosed) CloseBeforeReopening();
  Adopt(handle, kind, TextFileMode::kWriting);
}

void TextLineFile::Adopt(platform::Handle handle, platform::DeviceKind kind, TextFileMode mode,
                         uint64_t sizeAtOpening) {
  bool named = !assignedName_.empty();
  bool namedDisk = named && kind == platform::DeviceKind::kDisk;
  bufferPosition_ = 0;
  bufferEnd_ = 0;
  inputEnded_ = false;
  // The error output holds back nothing, wherever it leads: its lines are words about the
  // run, due at once, and reports written straight to its handle must not overtake them.
  onConsole_ = kind == platform::DeviceKind::kCharacter;
  flushEachWrite_ = mode == TextFileMode::kWriting && (onConsole_ || role_ == Role::kStandardError);
  transferSize_ = namedDisk ? kDiskBlockBytes : kTransferBytes;
  // A size of 0 may be a file that only knows its bytes as it yields them (/proc): only a
  // read of 0 bytes ends such a file.
  shortFillEnds_ = namedDisk && sizeAtOpening > 0;
  sizeAtOpening_ = sizeAtOpening;
  bytesRead_ = 0;
  watching_ = false;
  lineEndsBefore_ = 0;
  losses_ = Losses();
  ReserveBuffer(transferSize_);
  fileHandle_ = handle;
  ownsHandle_ = named;
  openMode_ = mode;
}

platform::StandardStream TextLineFile::StandardStreamFor(TextFileMode mode) const {
  if (mode == TextFileMode::kReading) return platform::StandardStream::kInput;
  return role_ == Role::kStandardError ? platform::StandardStream::kError
                                       : platform::StandardStream::kOutput;
}

bool TextLineFile::IsStandardWriter() const {
  return role_ == Role::kStandardOutput || role_ == Role::kStandardError;
}

// A file not open in `mode` records `code`, except the standard files of that direction,
// which open themselves on first use.
bool TextLineFile::ReadyFor(TextFileMode mode, bool opensItself, int32_t code) {
  if (openMode_ == mode) return true;
  if (opensItself && openMode_ == TextFileMode::kClosed) {
    Open(mode);
    if (openMode_ == mode) return true;
  }
  RecordFailure(code);
  return false;
}

bool TextLineFile::ReadyToRead() {
  return ReadyFor(TextFileMode::kReading, role_ == Role::kStandardInput, kFileNotOpenForReading);
}

// A failed fill meets the end of the input once; a fill of 0 bytes meets it for good. A
// short fill is no end in itself (/proc, FUSE and network file systems give them in the
// middle of a file), but a disk file that has given its size at opening is done with it.
bool TextLineFile::Fill() {
  if (watching_) lineEndsBefore_ += CountLineFeeds(buffer_.get(), buffer_.get() + bufferEnd_);
  bufferPosition_ = 0;
  bufferEnd_ = 0;
  if (inputEnded_) return false;
  std::size_t count = 0;
  if (int32_t code = platform::ReadSome(fileHandle_, buffer_.get(), transferSize_, &count)) {
    RecordFailure(code);
    return false;
  }
  bufferEnd_ = count;
  bytesRead_ += count;
  if (count == 0 || (shortFillEnds_ && count < transferSize_ && bytesRead_ >= sizeAtOpening_)) {
    inputEnded_ = true;
  }
  return count > 0;
}

void TextLineFile::WatchLosses() {
  watching_ = true;
}

uint64_t TextLineFile::LineNumber() const {
  return lineEndsBefore_ + CountLineFeeds(buffer_.get(), buffer_.get() + bufferPosition_) + 1;
}

// `after` is the byte after the dropped CR, or the start of the buffer when the CR ended
// the block before: no LF lies between the two, so either tells the CR's line.
void TextLineFile::NoteLoneCarriageReturn(const char* after) {
  if (!watching_ || losses_.loneCarriageReturnLine != 0) return;
  losses_.loneCarriageReturnLine = lineEndsBefore_ + CountLineFeeds(buffer_.get(), after) + 1;
}

TextLineFile::Losses TextLineFile::ReadLosses() {
  bool atCtrlZ = openMode_ == TextFileMode::kReading && bufferPosition_ < bufferEnd_ &&
                 buffer_[bufferPosition_] == kCtrlZ;
  if (watching_ && atCtrlZ && losses_.ctrlZLine == 0 && BytesFollowCtrlZ()) {
    losses_.ctrlZLine = LineNumber();
  }
  return losses_;
}

bool TextLineFile::BytesFollowCtrlZ() {
  if (bufferPosition_ + 1 < bufferEnd_) return true;
  if (inputEnded_) return false;
  char next;
  std::size_t count = 0;
  return platform::ReadSome(fileHandle_, &next, 1, &count) == 0 && count > 0;
}

std::string TextLineFile::ReadTextLine() {
  std::string line;
  ReadTextLine(&line);
  return line;
}

void TextLineFile::ReadTextLine(std::string* line) {
  std::string_view read = ReadTextLineView(line);
  if (read.data() != line->data()) line->assign(read);
}

std::string_view TextLineFile::ReadTextLineView(std::string* scratch) {
  scratch->clear();
  if (!ReadyToRead()) return *scratch;
  if (bufferPosition_ == bufferEnd_ && !Fill()) return *scratch;

  // Most lines lie whole in the buffer: hand them out where they are.
  const char* begin = buffer_.get() + bufferPosition_;
  const char* end = buffer_.get() + bufferEnd_;
  const char* found = FindLineByte(begin, end);
  if (found != end) {
    std::string_view line(begin, static_cast<std::size_t>(found - begin));
    if (*found == kLineFeed) {
      bufferPosition_ += line.size() + 1;
      return line;
    }
    if (*found == kCtrlZ) {
      bufferPosition_ += line.size();
      return line;
    }
    if (found + 1 < end && found[1] == kLineFeed) {
      bufferPosition_ += line.size() + 2;
      return line;
    }
  }
  AssembleLine(scratch);
  return *scratch;
}

// The general case: a line across buffer fills, or one holding a lone CR.
void TextLineFile::AssembleLine(std::string* line) {
  for (;;) {
    if (bufferPosition_ == bufferEnd_ && !Fill()) return;
    const char* begin = buffer_.get() + bufferPosition_;
    const char* end = buffer_.get() + bufferEnd_;
    const char* found = FindLineByte(begin, end);
    line->append(begin, found);
    bufferPosition_ += static_cast<std::size_t>(found - begin);
    if (found == end) continue;
    if (*found == kCtrlZ) return;
    ++bufferPosition_;
    if (*found == kLineFeed) return;
    // A CR ends the line only when LF follows, so look at the next byte, filling the
    // buffer if the CR was its last one.
    if (bufferPosition_ == bufferEnd_ && !Fill()) {
      if (inputEnded_) NoteLoneCarriageReturn(buffer_.get());
      return;
    }
    if (buffer_[bufferPosition_] == kLineFeed) {
      ++bufferPosition_;
      return;
    }
    NoteLoneCarriageReturn(buffer_.get() + bufferPosition_);
  }
}

// Compares the line as the line reader will read it, lone CRs dropped, so that the copy
// never passes over a line the reader would take for a stop line. True also when the
// buffer holds too little of the line to tell. Most lines differ from every prefix in
// their first byte, which ends the comparison at once.
bool TextLineFile::StartsStopLine(const char* line, const char* end,
                                  std::span<const std::string_view> stopPrefixes) const {
  for (std::string_view prefix : stopPrefixes) {
    std::size_t matched = 0;
    for (const char* p = line; matched < prefix.size(); ++p) {
      if (p == end) return true;
      if (*p == kCarriageReturn) {
        if (p + 1 == end) return true;
        if (p[1] == kLineFeed) break;
        continue;
      }
      if (*p != prefix[matched]) break;
      ++matched;
    }
    if (matched == prefix.size()) return true;
  }
  return false;
}

// Hands the line's bytes to `take(from, to)` piece by piece, lone CRs dropped, and
// consumes its line end; a line of any length needs no more memory than the buffer. True
// at the end of the line, at a Ctrl-Z and at the end of the input; false when `take`
// refused a piece or a read failed, leaving the line unfinished.
template <typename Take>
bool TextLineFile::StreamLine(Take take) {
  bool carriageReturnWaits = false;  // the buffer ended in a CR: is LF next?
  for (;;) {
    const char* p = buffer_.get() + bufferPosition_;
    const char* end = buffer_.get() + bufferEnd_;
    if (carriageReturnWaits && p < end) {
      carriageReturnWaits = false;
      if (*p == kLineFeed) {
        ++bufferPosition_;
        return true;
      }
      NoteLoneCarriageReturn(p);
    }
    while (p < end) {
      const char* found = FindLineByte(p, end);
      if (!take(p, found)) return false;
      if (found == end) break;
      bufferPosition_ = static_cast<std::size_t>(found - buffer_.get());
      if (*found == kCtrlZ) return true;
      if (*found == kLineFeed) {
        ++bufferPosition_;
        return true;
      }
      p = found + 1;
      if (p == end) {
        carriageReturnWaits = true;
      } else if (*p == kLineFeed) {
        bufferPosition_ += 2;
        return true;
      } else {
        NoteLoneCarriageReturn(p);
      }
    }
    bufferPosition_ = bufferEnd_;
    if (!Fill()) {
      if (carriageReturnWaits && inputEnded_) NoteLoneCarriageReturn(buffer_.get());
      return inputEnded_;
    }
  }
}

bool TextLineFile::Emit(TextLineFile* target, const char* from, const char* to) {
  return !target || target->Append(std::string_view(from, static_cast<std::size_t>(to - from)));
}

void TextLineFile::CopyLinesTo(TextLineFile* target,
                               std::span<const std::string_view> stopPrefixes) {
  if (openMode_ != TextFileMode::kReading) return;
  if (target && (target->openMode_ != TextFileMode::kWriting || target->flushEachWrite_)) return;
  // The bulk scan stops at lines that begin with a stop prefix's first byte; Ctrl-Z fills
  // an unused place, as it stops the scan anyway.
  char stopBytes[2] = {kCtrlZ, kCtrlZ};
  bool bulkScan = stopPrefixes.size() <= 2;
  for (std::size_t i = 0; bulkScan && i < stopPrefixes.size(); ++i) {
    std::string_view prefix = stopPrefixes[i];
    bulkScan = !prefix.empty() && prefix.front() != kLineFeed && prefix.front() != kCarriageReturn;
    if (bulkScan) stopBytes[i] = prefix.front();
  }
  for (;;) {
    if (bufferPosition_ == bufferEnd_ && !Fill()) return;
    const char* end = buffer_.get() + bufferEnd_;
    const char* line = buffer_.get() + bufferPosition_;
    // Lines that end in CR LF already are what WriteTextLine writes: they go out as one run.
    const char* run = line;
    bool simpleLines = true;
    bool leftToCaller = false;
    while (line < end) {
      if (bulkScan) {
        const char* stop = SkipCrLfLines(line, end, stopBytes[0], stopBytes[1]);
        if (stop < end && *stop == kLineFeed) {
          if (!Emit(target, run, stop) || !Emit(target, kLineEnd.data(), kLineEnd.data() + 2)) {
            return;
          }
          line = run = stop + 1;
          continue;
        }
        line = stop;
        if (line == end) break;
      }
      if (*line == kCtrlZ || StartsStopLine(line, end, stopPrefixes)) {
        leftToCaller = true;
        break;
      }
      const char* found = FindLineByte(line, end);
      if (found != end && *found == kLineFeed) {
        if (!Emit(target, run, found) || !Emit(target, kLineEnd.data(), kLineEnd.data() + 2)) {
          return;
        }
        line = run = found + 1;
      } else if (found + 1 < end && *found == kCarriageReturn && found[1] == kLineFeed) {
        line = found + 2;
      } else {
        simpleLines = false;
        break;
      }
    }
    bool emitted = Emit(target, run, line);
    bufferPosition_ = static_cast<std::size_t>(line - buffer_.get());
    if (!emitted || leftToCaller) return;
    if (simpleLines) continue;
    auto toTarget = [target](const char* from, const char* to) { return Emit(target, from, to); };
    if (!StreamLine(toTarget) || !Emit(target, kLineEnd.data(), kLineEnd.data() + 2)) return;
  }
}

void TextLineFile::ReadTextLineInto(LineSink& sink) {
  if (!ReadyToRead()) return;
  if (bufferPosition_ == bufferEnd_ && !Fill()) return;
  StreamLine([&sink](const char* from, const char* to) {
    if (from != to) sink.Take(std::string_view(from, static_cast<std::size_t>(to - from)));
    return true;
  });
}

bool TextLineFile::AtEnd() {
  if (openMode_ == TextFileMode::kReading && bufferPosition_ < bufferEnd_) {
    return buffer_[bufferPosition_] == kCtrlZ;
  }
  if (!ReadyToRead()) return true;
  if (bufferPosition_ == bufferEnd_ && !Fill()) return true;
  return buffer_[bufferPosition_] == kCtrlZ;
}

bool TextLineFile::InputEnded() const {
  if (openMode_ != TextFileMode::kReading) return false;
  if (bufferPosition_ < bufferEnd_) return buffer_[bufferPosition_] == kCtrlZ;
  return inputEnded_;
}

bool TextLineFile::IsConsole() {
  if (openMode_ == TextFileMode::kClosed && IsStandardWriter()) Open(TextFileMode::kWriting);
  return openMode_ != TextFileMode::kClosed && onConsole_;
}

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
    if (bufferPosition_ == 0 && transferSize_ > kTransferBytes && bytes.size() >= transferSize_) {
      std::size_t whole = bytes.size() / transferSize_ * transferSize_;
      if (int32_t code = platform::WriteAll(fileHandle_, bytes.data(), whole)) {
        RecordFailure(code);
        return false;
      }
      bytes.remove_prefix(whole);
      continue;
    }
    std::size_t taken = std::min(transferSize_ - bufferPosition_, bytes.size());
    std::memcpy(buffer_.get() + bufferPosition_, bytes.data(), taken);
    bufferPosition_ += taken;
    bytes.remove_prefix(taken);
    if (bufferPosition_ == transferSize_) {
      bufferPosition_ = 0;
      if (int32_t code = platform::WriteAll(fileHandle_, buffer_.get(), transferSize_)) {
        RecordFailure(code);
        return false;
      }
    }
  }
  return true;
}

void TextLineFile::WriteWaiting() {
  if (bufferPosition_ == 0) return;
  std::size_t waiting = bufferPosition_;
  bufferPosition_ = 0;
  if (int32_t code = platform::WriteAll(fileHandle_, buffer_.get(), waiting)) RecordFailure(code);
}

void TextLineFile::FlushOutput() {
  if (openMode_ == TextFileMode::kWriting) {
    WriteWaiting();
  } else if (openMode_ == TextFileMode::kClosed && !IsStandardWriter()) {
    RecordFailure(kFileNotOpen);
  }
}

void TextLineFile::CloseFile() {
  if (openMode_ == TextFileMode::kClosed) {
    if (role_ != Role::kStandardInput) RecordFailure(kFileNotOpen);
    return;
  }
  if (openMode_ == TextFileMode::kWriting && bufferPosition_ > 0) {
    std::size_t waiting = bufferPosition_;
    bufferPosition_ = 0;
    if (int32_t code = platform::WriteAll(fileHandle_, buffer_.get(), waiting)) {
      RecordFailure(code);
      return;
    }
  }
  if (!ownsHandle_) return;
  openMode_ = TextFileMode::kClosed;
  int32_t code = platform::CloseFileHandle(fileHandle_);
  fileHandle_ = platform::kNoHandle;
  ownsHandle_ = false;
  if (code != 0) RecordFailure(code);
}

TextLineFile& StandardInput() {
  static TextLineFile file(TextLineFile::Role::kStandardInput);
  return file;
}

TextLineFile& StandardOutput() {
  static TextLineFile file(TextLineFile::Role::kStandardOutput);
  return file;
}

TextLineFile& StandardError() {
  static TextLineFile file(TextLineFile::Role::kStandardError);
  return file;
}

int32_t CloseStandardFiles() {
  StandardInput().CloseFile();
  TakeFailureCode();
  bool writing = StandardOutput().Mode() == TextFileMode::kWriting;
  StandardOutput().CloseFile();
  int32_t code = TakeFailureCode();
  return writing ? code : 0;
}

}  // namespace quillpack
