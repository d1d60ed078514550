// The merged file: members one after another, each a header line that carries the
// member's name, followed by the member's lines. There is no magic number, no count and
// no length; the header lines are the only structure.

#ifndef QUILLPACK_MERGED_MERGED_FORMAT_H_
#define QUILLPACK_MERGED_MERGED_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MERGED_FORMAT_H_
