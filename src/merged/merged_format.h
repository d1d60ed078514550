// The merged file: members one after another, each a header line that carries the
// member's name, followed by the member's lines. There is no magic number, no count and
// no length; the header lines are the only structure. An escaped merged file begins with
// one line more, the escape marker, and keeps every member line a line (below).

#ifndef QUILLPACK_MERGED_MERGED_FORMAT_H_
#define QUILLPACK_MERGED_MERGED_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "text/line_files.h"

namespace quillpack {

// The two header styles; the options pick one by its number (console/run_options.h).
enum class HeaderStyle : int32_t { kPlain = 0, kArrow = 1 };

// The two header styles as the merge writes them: 20 and 11 bytes before the name.
inline constexpr std::string_view kPlainHeaderPrefix = "./       ADD   NAME=";
inline constexpr std::string_view kArrowHeaderPrefix = ">>>>>>>>>> ";

// What header lines begin with: ten ">" for the arrow style, "./" for the plain one.
inline constexpr std::string_view kArrowHeaderMark = ">>>>>>>>>>";
inline constexpr std::string_view kPlainHeaderMark = "./";
inline constexpr std::string_view kHeaderMarks[] = {kArrowHeaderMark, kPlainHeaderMark};

// What separates the parts of a member name that lies in folders below the merged
// directory: "\\" as Windows writes paths, on every system.
inline constexpr char kMemberSeparator = '\\';

// A name read back from a header is cut to this many bytes.
inline constexpr int32_t kMaxMemberNameBytes = 120;

// The header line for a member named `name` (already upper-cased), without line end.
std::string MemberHeader(HeaderStyle style, std::string_view name);

enum class LineKind { kMemberLine, kArrowHeader, kPlainHeader };

// A line that begins with ten ">" is an arrow header; otherwise one that begins with "./"
// is a plain header; every other line belongs to a member.
LineKind ClassifyLine(std::string_view line);

// The name of a header line read piece by piece as the line streams in, keeping no more of
// the line than the name needs, however long the line is.
class HeaderNameReader {
 public:
  // `kind` is the header's: kArrowHeader or kPlainHeader.
  explicit HeaderNameReader(LineKind kind) : kind_(kind) {}

  // The line's next bytes, from its first byte on.
  void Take(std::string_view piece);

  // The name of the line taken so far, as MemberNameOf gives it.
  const std::string& Name() const;

 private:
  void SeekMark(std::string_view piece);

  LineKind kind_;
  std::size_t taken_ = 0;
  // Plain headers: how much of "NAME=" the bytes taken last end with, and whether it came.
  std::size_t markMatched_ = 0;
  bool markFound_ = false;
  // Arrow headers: the name from the 12th byte on. Plain headers: after "NAME=".
  std::string name_;
  // Plain headers: the name from the 5th byte on, for a line without "NAME=".
  std::string fallback_;
};

// The name a header line carries, at most 120 bytes: an arrow header's from its 12th
// byte on; a plain header's after its first "NAME=", or from its 5th byte on when it has
// none. Spaces after the name stay part of it.
std::string MemberNameOf(std::string_view header, LineKind kind);

// Whether `line` begins with one of the two prefixes exactly as the merge writes them.
bool IsWrittenHeader(std::string_view line);

// Which lines an extract takes for headers. The line right after a header that opened a
// target is the member's first line whatever it holds, unless it begins exactly as the
// merge writes a header (then the member is empty); every other line is classified as
// ClassifyLine does.
enum class HeaderRule { kAnyHeader, kWrittenHeaderOnly };

// How many first bytes of a line decide its kind under `rule`.
std::size_t DecidingBytes(HeaderRule rule);

// The kind of a line under `rule`, from `head`: its first DecidingBytes(rule) bytes, or the
// whole of a shorter line.
LineKind ClassifyLineStart(std::string_view head, HeaderRule rule);

// The first bytes of a line as it comes in pieces, as many as decide its kind under a rule.
class LineStart {
 public:
  explicit LineStart(HeaderRule rule) : rule_(rule) {}

  // Keeps what the start still lacks of `piece`; returns the rest of the piece.
  std::string_view Take(std::string_view piece);

  // Whether every deciding byte has come (a shorter line never completes its start).
  bool IsComplete() const { return size_ == DecidingBytes(rule_); }
  std::string_view Bytes() const { return std::string_view(bytes_, size_); }
  LineKind Kind() const { return ClassifyLineStart(Bytes(), rule_); }

 private:
  HeaderRule rule_;
  char bytes_[kPlainHeaderPrefix.size()];
  std::size_t size_ = 0;
};

// The first line of an escaped merged file, before any header. Member lines that begin
// with any number of "|" and then a header mark are written with one "|" more, so that no
// member line reads as a header; a reader that knows no escape sees the marker as a line
// before the first header and an escaped line with its bar, never a split file.
inline constexpr std::string_view kEscapeMarker =
    "Quillpack escaped bundle: a member line that begins with | followed by ./ or >>>>>>>>>> "
    "has one | added.";
inline constexpr char kEscapeBar = '|';

// Tells whether a line, as it streams in, is the escape marker exactly, keeping no more
// of it than how much of the marker has come.
class EscapeMarkerMatch {
 public:
  // The line's next bytes, from its first byte on.
  void Take(std::string_view piece) {
    if (matched_ == kMismatch) return;
    bool fits = kEscapeMarker.substr(matched_).starts_with(piece);
    matched_ = fits ? matched_ + piece.size() : kMismatch;
  }

  // Whether the bytes taken are the whole marker and nothing more.
  bool Matched() const { return matched_ == kEscapeMarker.size(); }

 private:
  static constexpr std::size_t kMismatch = std::string_view::npos;
  std::size_t matched_ = 0;
};

// How the member lines of a merged file stand: as they are, or escaped.
enum class LineEscape { kNone, kBars };

// Whether `line` begins with any number of "|" and then "./" or ten ">": such a member line
// gets one "|" more under the escape, and loses one on reading.
bool NeedsEscape(std::string_view line);

// The lines a bulk copy of member lines leaves to its caller: those that begin with a
// header mark, and under the escape those that may need a bar (on merging) or carry one
// (on reading): "||", "|./" and "|" and ten ">". A line a prefix misses has no need of
// either.
std::span<const std::string_view> StopPrefixesOf(LineEscape escape);

// One member line under the escape on its way to `next`, passed on as it streams in:
// kAdd puts one "|" in front of a line that NeedsEscape (merge); kRemove takes the first
// "|" off a line that begins with one when the rest NeedsEscape (extract). Until it knows
// it holds back a count of bars and the ten bytes after them, never more.
class BarEscape final : public LineSink {
 public:
  enum class Direction { kAdd, kRemove };
  BarEscape(Direction direction, LineSink* next) : direction_(direction), next_(next) {}

  // The line's next bytes, from its first byte on. REQUIRES for kRemove: the line's first
  // byte is "|".
  void Take(std::string_view piece) override;

  // The line has ended: passes on what is still held back.
  void Finish() {
    if (!decided_) Decide();
  }

 private:
  std::string_view Hold(std::string_view piece);
  void Decide();

  Direction direction_;
  LineSink* next_;
  bool decided_ = false;
  bool firstBarTaken_ = false;
  uint64_t bars_ = 0;
  char held_[kArrowHeaderMark.size()];
  std::size_t heldSize_ = 0;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MERGED_FORMAT_H_
