#include "text/line_reader.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <span>
#include <string_view>

#include "failures/failure_codes.h"
#include "text/line_convert.h"
#include "text/line_scan.h"
#include "text/line_writer.h"

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

// Compares the line as the line reader will read it, lone CRs dropped, so that the copy
// never passes over a line the reader would take for a stop line. True also when the
// buffer holds too little of the line to tell. Most lines differ from every prefix in
// their first byte, which ends the comparison at once.
bool StartsStopLine(const char* line, const char* end,
                    std::span<const std::string_view> stopPrefixes) {
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

bool Emit(LineWriter* target, const char* from, const char* to) {
  return !target || target->Append(std::string_view(from, static_cast<std::size_t>(to - from)));
}

bool EmitLineEnd(LineWriter* target) {
  return !target || target->AppendLineEnd();
}

static_assert(LineWriter::kSpareBytes >= kConvertRoom);

// Converts whole lines straight into the target's buffer, a transfer at a time. Returns
// the start of the first line left, or null when a transfer failed.
const char* ConvertInto(LineWriter& target, const char* line, const char* end, ConvertTo to,
                        const char (&stops)[3]) {
  for (;;) {
    char* space = target.Space();
    ConvertedLines done =
        ConvertLines(line, end, space, target.SpaceEnd(), to, stops[0], stops[1], stops[2]);
    if (done.next == line) return line;
    if (!target.Commit(static_cast<std::size_t>(done.out - space))) return nullptr;
    line = done.next;
  }
}

}  // namespace

void LineReader::Start(platform::Handle handle, std::size_t blockBytes, InputEndRule endRule,
                       uint64_t sizeAtOpening) {
  Reset();
  handle_ = handle;
  blockBytes_ = blockBytes;
  endRule_ = endRule;
  sizeAtOpening_ = sizeAtOpening;
  if (bufferSize_ < blockBytes) {
    buffer_ = std::make_unique<char[]>(blockBytes);
    bufferSize_ = blockBytes;
  }
}

void LineReader::Reset() {
  handle_ = platform::kNoHandle;
  position_ = 0;
  end_ = 0;
  inputEnded_ = false;
  endRule_ = InputEndRule::kEmptyRead;
  sizeAtOpening_ = 0;
  bytesRead_ = 0;
  watching_ = false;
  lineEndsBefore_ = 0;
  losses_ = LineLosses();
}

// A failed fill meets the end of the input once; a fill of 0 bytes meets it for good. A
// short fill is no end in itself (/proc, FUSE and network file systems give them in the
// middle of a file), but a disk file that has given its size at opening is done with it.
bool LineReader::Fill() {
  if (watching_) lineEndsBefore_ += CountLineFeeds(buffer_.get(), buffer_.get() + end_);
  position_ = 0;
  end_ = 0;
  if (inputEnded_) return false;
  std::size_t count = 0;
  if (int32_t code = platform::ReadSome(handle_, buffer_.get(), blockBytes_, &count)) {
    RecordFailure(code);
    return false;
  }
  end_ = count;
  bytesRead_ += count;
  if (count == 0 || (endRule_ == InputEndRule::kShortReadAtSize && count < blockBytes_ &&
                     bytesRead_ >= sizeAtOpening_)) {
    inputEnded_ = true;
  }
  return count > 0;
}

uint64_t LineReader::LineNumber() const {
  return lineEndsBefore_ + CountLineFeeds(buffer_.get(), buffer_.get() + position_) + 1;
}

// `after` is the byte after the dropped CR, or the start of the buffer when the CR ended
// the block before: no LF lies between the two, so either tells the CR's line.
void LineReader::NoteLoneCarriageReturn(const char* after) {
  if (!watching_ || losses_.loneCarriageReturnLine != 0) return;
  losses_.loneCarriageReturnLine = lineEndsBefore_ + CountLineFeeds(buffer_.get(), after) + 1;
}

LineLosses LineReader::ReadLosses() {
  bool atCtrlZ = position_ < end_ && buffer_[position_] == kCtrlZ;
  if (watching_ && atCtrlZ && losses_.ctrlZLine == 0 && BytesFollowCtrlZ()) {
    losses_.ctrlZLine = LineNumber();
  }
  return losses_;
}

bool LineReader::BytesFollowCtrlZ() {
  if (position_ + 1 < end_) return true;
  if (inputEnded_) return false;
  char next;
  std::size_t count = 0;
  return platform::ReadSome(handle_, &next, 1, &count) == 0 && count > 0;
}

std::string_view LineReader::ReadLineView(std::string* scratch) {
  scratch->clear();
  if (position_ == end_ && !Fill()) return *scratch;

  // Most lines lie whole in the buffer: hand them out where they are.
  const char* begin = buffer_.get() + position_;
  const char* end = buffer_.get() + end_;
  const char* found = FindLineByte(begin, end);
  if (found != end) {
    std::string_view line(begin, static_cast<std::size_t>(found - begin));
    if (*found == kLineFeed) {
      position_ += line.size() + 1;
      return line;
    }
    if (*found == kCtrlZ) {
      position_ += line.size();
      return line;
    }
    if (found + 1 < end && found[1] == kLineFeed) {
      position_ += line.size() + 2;
      return line;
    }
  }
  AssembleLine(scratch);
  return *scratch;
}

// The general case: a line across buffer fills, or one holding a lone CR.
void LineReader::AssembleLine(std::string* line) {
  for (;;) {
    if (position_ == end_ && !Fill()) return;
    const char* begin = buffer_.get() + position_;
    const char* end = buffer_.get() + end_;
    const char* found = FindLineByte(begin, end);
    line->append(begin, found);
    position_ += static_cast<std::size_t>(found - begin);
    if (found == end) continue;
    if (*found == kCtrlZ) return;
    ++position_;
    if (*found == kLineFeed) return;
    // A CR ends the line only when LF follows, so look at the next byte, filling the
    // buffer if the CR was its last one.
    if (position_ == end_ && !Fill()) {
      if (inputEnded_) NoteLoneCarriageReturn(buffer_.get());
      return;
    }
    if (buffer_[position_] == kLineFeed) {
      ++position_;
      return;
    }
    NoteLoneCarriageReturn(buffer_.get() + position_);
  }
}

// Hands the line's bytes to `take(from, to)` piece by piece, lone CRs dropped, and
// consumes its line end; a line of any length needs no more memory than the buffer. True
// at the end of the line, at a Ctrl-Z and at the end of the input; false when `take`
// refused a piece or a read failed, leaving the line unfinished.
template <typename Take>
bool LineReader::StreamLine(Take take) {
  bool carriageReturnWaits = false;  // the buffer ended in a CR: is LF next?
  for (;;) {
    const char* p = buffer_.get() + position_;
    const char* end = buffer_.get() + end_;
    if (carriageReturnWaits && p < end) {
      carriageReturnWaits = false;
      if (*p == kLineFeed) {
        ++position_;
        return true;
      }
      NoteLoneCarriageReturn(p);
    }
    while (p < end) {
      const char* found = FindLineByte(p, end);
      if (!take(p, found)) return false;
      if (found == end) break;
      position_ = static_cast<std::size_t>(found - buffer_.get());
      if (*found == kCtrlZ) return true;
      if (*found == kLineFeed) {
        ++position_;
        return true;
      }
      p = found + 1;
      if (p == end) {
        carriageReturnWaits = true;
      } else if (*p == kLineFeed) {
        position_ += 2;
        return true;
      } else {
        NoteLoneCarriageReturn(p);
      }
    }
    position_ = end_;
    if (!Fill()) {
      if (carriageReturnWaits && inputEnded_) NoteLoneCarriageReturn(buffer_.get());
      return inputEnded_;
    }
  }
}

bool LineReader::FirstBlockHoldsNul() {
  if (bytesRead_ == 0 && position_ == end_) Fill();
  return std::memchr(buffer_.get() + position_, 0, end_ - position_) != nullptr;
}

// Lines that end in CR LF already are what most targets take: they go out as one run,
// straight from the buffer. From the first line that ends in LF alone, or from the start
// for a target that takes LF, lines are converted into the target's buffer instead, which
// takes every line end of 64 bytes at once.
void LineReader::CopyLinesTo(LineWriter* target, std::span<const std::string_view> stopPrefixes) {
  // The bulk scan stops at lines that begin with a stop prefix's first byte, of which it
  // tells three apart; Ctrl-Z fills an unused place, as it stops the scan anyway.
  char stopBytes[3] = {kCtrlZ, kCtrlZ, kCtrlZ};
  bool crLfRuns = !target || target->LineEndBytes() == kLineEnd;
  bool stopsScanned = FirstBytesOf(stopPrefixes, stopBytes);
  bool bulkScan = crLfRuns && stopsScanned;
  bool converts = target && stopsScanned;
  ConvertTo convertTo = crLfRuns ? ConvertTo::kCrLf : ConvertTo::kLf;
  bool threeStops = stopBytes[2] != kCtrlZ;
  for (;;) {
    if (position_ == end_ && !Fill()) return;
    const char* end = buffer_.get() + end_;
    const char* line = buffer_.get() + position_;
    const char* run = line;
    bool simpleLines = true;
    bool leftToCaller = false;
    while (line < end) {
      if (converts && !crLfRuns) {
        line = run = ConvertInto(*target, line, end, convertTo, stopBytes);
        if (!line) return;
      }
      if (bulkScan) {
        const char* stop = threeStops
                               ? SkipCrLfLines(line, end, stopBytes[0], stopBytes[1], stopBytes[2])
                               : SkipCrLfLines(line, end, stopBytes[0], stopBytes[1]);
        if (stop < end && *stop == kLineFeed) {
          if (!Emit(target, run, stop) || !EmitLineEnd(target)) return;
          line = run = stop + 1;
          if (converts) line = run = ConvertInto(*target, line, end, convertTo, stopBytes);
          if (!line) return;
          continue;
        }
        line = stop;
        if (line == end) break;
      }
      if (line == end) break;
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
    position_ = static_cast<std::size_t>(line - buffer_.get());
    if (!emitted || leftToCaller) return;
    if (simpleLines) continue;
    auto toTarget = [target](const char* from, const char* to) { return Emit(target, from, to); };
    if (!StreamLine(toTarget) || !EmitLineEnd(target)) return;
  }
}

void LineReader::ReadLineInto(LineSink& sink) {
  if (position_ == end_ && !Fill()) return;
  StreamLine([&sink](const char* from, const char* to) {
    if (from != to) sink.Take(std::string_view(from, static_cast<std::size_t>(to - from)));
    return true;
  });
}

bool LineReader::AtEnd() {
  if (position_ == end_ && !Fill()) return true;
  return buffer_[position_] == kCtrlZ;
}

bool LineReader::InputEnded() const {
  if (position_ < end_) return buffer_[position_] == kCtrlZ;
  return inputEnded_;
}

}  // namespace quillpack
