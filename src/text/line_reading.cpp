// The reading side of the text line files: filling the buffer, finding lines, the bulk
// copy, and what reading drops.

#include <algorithm>
#include <cstring>
#include <iterator>
#include <span>
#include <string_view>

#include "failures/failure_codes.h"
#include "text/line_files.h"
#include "text/line_scan.h"

namespace quillpack {
namespace {

// Puts the distinct first bytes of `prefixes` in `bytes`; false when there are more than
// three, or one is empty or a line end, which the bulk scan cannot stop at.
bool FirstBytesOf(std::span<const std::string_view> prefixes, char (&bytes)[3]) {
  std::size_t distinct = 0;
  for (std::string_view prefix : prefixes) {
    if (prefix.empty() || prefix.front() == kLineFeed || prefix.front() == kCarriageReturn) {
      return false;
    }
    if (std::find(bytes, bytes + distinct, prefix.front()) != bytes + distinct) continue;
    if (distinct == std::size(bytes)) return false;
    bytes[distinct++] = prefix.front();
  }
  return true;
}

}  // namespace

bool TextLineFile::ReadyToRead() {
  return ReadyFor(TextFileMode::kReading, role_ == Role::kStandardInput, kFileNotOpenForReading);
}

// A failed fill meets the end of the input once; a fill of 0 bytes meets it for good. A
// short fill is no end in itself (/proc, FUSE and network file systems give them in the
// middle of a file), but a disk file that has given its size at opening is done with it.
bool TextLineFile::Fill() {
  if (read_.watching)
    read_.lineEndsBefore += CountLineFeeds(buffer_.get(), buffer_.get() + read_.end);
  read_.position = 0;
  read_.end = 0;
  if (read_.inputEnded) return false;
  std::size_t count = 0;
  if (int32_t code = platform::ReadSome(handle_, buffer_.get(), transferSize_, &count)) {
    RecordFailure(code);
    return false;
  }
  read_.end = count;
  read_.bytesRead += count;
  if (count == 0 ||
      (read_.shortFillEnds && count < transferSize_ && read_.bytesRead >= read_.sizeAtOpening)) {
    read_.inputEnded = true;
  }
  return count > 0;
}

void TextLineFile::WatchLosses() {
  read_.watching = true;
}

uint64_t TextLineFile::LineNumber() const {
  return read_.lineEndsBefore + CountLineFeeds(buffer_.get(), buffer_.get() + read_.position) + 1;
}

// `after` is the byte after the dropped CR, or the start of the buffer when the CR ended
// the block before: no LF lies between the two, so either tells the CR's line.
void TextLineFile::NoteLoneCarriageReturn(const char* after) {
  if (!read_.watching || read_.losses.loneCarriageReturnLine != 0) return;
  read_.losses.loneCarriageReturnLine =
      read_.lineEndsBefore + CountLineFeeds(buffer_.get(), after) + 1;
}

TextLineFile::Losses TextLineFile::ReadLosses() {
  bool atCtrlZ = openMode_ == TextFileMode::kReading && read_.position < read_.end &&
                 buffer_[read_.position] == kCtrlZ;
  if (read_.watching && atCtrlZ && read_.losses.ctrlZLine == 0 && BytesFollowCtrlZ()) {
    read_.losses.ctrlZLine = LineNumber();
  }
  return read_.losses;
}

bool TextLineFile::BytesFollowCtrlZ() {
  if (read_.position + 1 < read_.end) return true;
  if (read_.inputEnded) return false;
  char next;
  std::size_t count = 0;
  return platform::ReadSome(handle_, &next, 1, &count) == 0 && count > 0;
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
  if (read_.position == read_.end && !Fill()) return *scratch;

  // Most lines lie whole in the buffer: hand them out where they are.
  const char* begin = buffer_.get() + read_.position;
  const char* end = buffer_.get() + read_.end;
  const char* found = FindLineByte(begin, end);
  if (found != end) {
    std::string_view line(begin, static_cast<std::size_t>(found - begin));
    if (*found == kLineFeed) {
      read_.position += line.size() + 1;
      return line;
    }
    if (*found == kCtrlZ) {
      read_.position += line.size();
      return line;
    }
    if (found + 1 < end && found[1] == kLineFeed) {
      read_.position += line.size() + 2;
      return line;
    }
  }
  AssembleLine(scratch);
  return *scratch;
}

// The general case: a line across buffer fills, or one holding a lone CR.
void TextLineFile::AssembleLine(std::string* line) {
  for (;;) {
    if (read_.position == read_.end && !Fill()) return;
    const char* begin = buffer_.get() + read_.position;
    const char* end = buffer_.get() + read_.end;
    const char* found = FindLineByte(begin, end);
    line->append(begin, found);
    read_.position += static_cast<std::size_t>(found - begin);
    if (found == end) continue;
    if (*found == kCtrlZ) return;
    ++read_.position;
    if (*found == kLineFeed) return;
    // A CR ends the line only when LF follows, so look at the next byte, filling the
    // buffer if the CR was its last one.
    if (read_.position == read_.end && !Fill()) {
      if (read_.inputEnded) NoteLoneCarriageReturn(buffer_.get());
      return;
    }
    if (buffer_[read_.position] == kLineFeed) {
      ++read_.position;
      return;
    }
    NoteLoneCarriageReturn(buffer_.get() + read_.position);
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
    const char* p = buffer_.get() + read_.position;
    const char* end = buffer_.get() + read_.end;
    if (carriageReturnWaits && p < end) {
      carriageReturnWaits = false;
      if (*p == kLineFeed) {
        ++read_.position;
        return true;
      }
      NoteLoneCarriageReturn(p);
    }
    while (p < end) {
      const char* found = FindLineByte(p, end);
      if (!take(p, found)) return false;
      if (found == end) break;
      read_.position = static_cast<std::size_t>(found - buffer_.get());
      if (*found == kCtrlZ) return true;
      if (*found == kLineFeed) {
        ++read_.position;
        return true;
      }
      p = found + 1;
      if (p == end) {
        carriageReturnWaits = true;
      } else if (*p == kLineFeed) {
        read_.position += 2;
        return true;
      } else {
        NoteLoneCarriageReturn(p);
      }
    }
    read_.position = read_.end;
    if (!Fill()) {
      if (carriageReturnWaits && read_.inputEnded) NoteLoneCarriageReturn(buffer_.get());
      return read_.inputEnded;
    }
  }
}

bool TextLineFile::Emit(TextLineFile* target, const char* from, const char* to) {
  return !target || target->Append(std::string_view(from, static_cast<std::size_t>(to - from)));
}

bool TextLineFile::EmitLineEnd(TextLineFile* target) {
  return !target || target->Append(target->lineEnd_);
}

bool TextLineFile::FirstBlockHoldsNul() {
  if (openMode_ != TextFileMode::kReading) return false;
  if (read_.bytesRead == 0 && read_.position == read_.end) Fill();
  return std::memchr(buffer_.get() + read_.position, 0, read_.end - read_.position) != nullptr;
}

void TextLineFile::CopyLinesTo(TextLineFile* target,
                               std::span<const std::string_view> stopPrefixes) {
  if (openMode_ != TextFileMode::kReading) return;
  if (target && (target->openMode_ != TextFileMode::kWriting || target->flushEachWrite_)) return;
  // The bulk scan stops at lines that begin with a stop prefix's first byte, of which it
  // tells three apart; Ctrl-Z fills an unused place, as it stops the scan anyway.
  char stopBytes[3] = {kCtrlZ, kCtrlZ, kCtrlZ};
  bool crLfRuns = !target || target->lineEnd_ == kLineEnd;
  bool bulkScan = crLfRuns && FirstBytesOf(stopPrefixes, stopBytes);
  bool threeStops = stopBytes[2] != kCtrlZ;
  for (;;) {
    if (read_.position == read_.end && !Fill()) return;
    const char* end = buffer_.get() + read_.end;
    const char* line = buffer_.get() + read_.position;
    // Lines that end in CR LF already are what WriteTextLine writes to most targets: they go
    // out as one run.
    const char* run = line;
    bool simpleLines = true;
    bool leftToCaller = false;
    while (line < end) {
      if (bulkScan) {
        const char* stop = threeStops
                               ? SkipCrLfLines(line, end, stopBytes[0], stopBytes[1], stopBytes[2])
                               : SkipCrLfLines(line, end, stopBytes[0], stopBytes[1]);
        if (stop < end && *stop == kLineFeed) {
          if (!Emit(target, run, stop) || !EmitLineEnd(target)) return;
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
        if (!Emit(target, run, found) || !EmitLineEnd(target)) return;
        line = run = found + 1;
      } else if (found + 1 < end && *found == kCarriageReturn && found[1] == kLineFeed) {
        line = found + 2;
        if (crLfRuns) continue;
        if (!Emit(target, run, found) || !EmitLineEnd(target)) return;
        run = line;
      } else {
        simpleLines = false;
        break;
      }
    }
    bool emitted = Emit(target, run, line);
    read_.position = static_cast<std::size_t>(line - buffer_.get());
    if (!emitted || leftToCaller) return;
    if (simpleLines) continue;
    auto toTarget = [target](const char* from, const char* to) { return Emit(target, from, to); };
    if (!StreamLine(toTarget) || !EmitLineEnd(target)) return;
  }
}

void TextLineFile::ReadTextLineInto(LineSink& sink) {
  if (!ReadyToRead()) return;
  if (read_.position == read_.end && !Fill()) return;
  StreamLine([&sink](const char* from, const char* to) {
    if (from != to) sink.Take(std::string_view(from, static_cast<std::size_t>(to - from)));
    return true;
  });
}

bool TextLineFile::AtEnd() {
  if (openMode_ == TextFileMode::kReading && read_.position < read_.end) {
    return buffer_[read_.position] == kCtrlZ;
  }
  if (!ReadyToRead()) return true;
  if (read_.position == read_.end && !Fill()) return true;
  return buffer_[read_.position] == kCtrlZ;
}

bool TextLineFile::InputEnded() const {
  if (openMode_ != TextFileMode::kReading) return false;
  if (read_.position < read_.end) return buffer_[read_.position] == kCtrlZ;
  return read_.inputEnded;
}

}  // namespace quillpack
