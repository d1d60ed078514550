#include "merged/merged_format.h"

#include <algorithm>
#include <cstring>

#include "console/run_options.h"

namespace quillpack {

static_assert(kDefaultHeaderStyle == HeaderStyle::kPlain && kNiceHeaderStyle == HeaderStyle::kArrow,
              "the options pick the styles by these numbers");

namespace {

constexpr std::string_view kNameMark = "NAME=";
constexpr std::size_t kMaxName = static_cast<std::size_t>(kMaxMemberNameBytes);
// Where the name starts, counted from 0: an arrow header's 12th byte; a plain header's 5th
// when it holds no "NAME=".
constexpr std::size_t kArrowNameStart = 11;
constexpr std::size_t kPlainFallbackStart = 4;

// Appends the bytes of `piece`, which starts at `pieceStart` of its line, that lie at or
// after `start`, until `kept` holds a whole name.
void KeepFrom(std::string_view piece, std::size_t pieceStart, std::size_t start,
              std::string* kept) {
  if (kept->size() >= kMaxName || pieceStart + piece.size() <= start) return;
  std::size_t from = start > pieceStart ? start - pieceStart : 0;
  kept->append(piece.substr(from, kMaxName - kept->size()));
}

}  // namespace

void HeaderNameReader::Take(std::string_view piece) {
  if (kind_ == LineKind::kArrowHeader) {
    KeepFrom(piece, taken_, kArrowNameStart, &name_);
  } else if (markFound_) {
    KeepFrom(piece, 0, 0, &name_);
  } else {
    KeepFrom(piece, taken_, kPlainFallbackStart, &fallback_);
    SeekMark(piece);
  }
  taken_ += piece.size();
}

// "NAME=" begins with the only "N" it holds, so a mismatch can only restart at an "N".
void HeaderNameReader::SeekMark(std::string_view piece) {
  for (std::size_t i = 0; i < piece.size(); ++i) {
    // Between marks, straight on to the next "N".
    if (markMatched_ == 0) {
      i = piece.find(kNameMark.front(), i);
      if (i == std::string_view::npos) return;
    }
    if (piece[i] == kNameMark[markMatched_]) {
      if (++markMatched_ < kNameMark.size()) continue;
      markFound_ = true;
      KeepFrom(piece.substr(i + 1), 0, 0, &name_);
      return;
    }
    markMatched_ = piece[i] == kNameMark.front() ? 1 : 0;
  }
}

const std::string& HeaderNameReader::Name() const {
  return kind_ == LineKind::kPlainHeader && !markFound_ ? fallback_ : name_;
}

std::string MemberHeader(HeaderStyle style, std::string_view name) {
  std::string header(style == HeaderStyle::kArrow ? kArrowHeaderPrefix : kPlainHeaderPrefix);
  header += name;
  return header;
}

// A line begins with a mark exactly when the mark's first occurrence is at its start;
// testing the start alone gives the same answer without scanning long lines.
LineKind ClassifyLine(std::string_view line) {
  if (line.starts_with(kArrowHeaderMark)) return LineKind::kArrowHeader;
  if (line.starts_with(kPlainHeaderMark)) return LineKind::kPlainHeader;
  return LineKind::kMemberLine;
}

std::string MemberNameOf(std::string_view header, LineKind kind) {
  HeaderNameReader reader(kind);
  reader.Take(header);
  return reader.Name();
}

bool IsWrittenHeader(std::string_view line) {
  return line.starts_with(kPlainHeaderPrefix) || line.starts_with(kArrowHeaderPrefix);
}

// Ten ">" tell an arrow header; a whole written prefix takes twenty bytes.
std::size_t DecidingBytes(HeaderRule rule) {
  return rule == HeaderRule::kAnyHeader ? kArrowHeaderMark.size() : kPlainHeaderPrefix.size();
}

std::string_view LineStart::Take(std::string_view piece) {
  std::size_t taken = std::min(DecidingBytes(rule_) - size_, piece.size());
  std::memcpy(bytes_ + size_, piece.data(), taken);
  size_ += taken;
  return piece.substr(taken);
}

LineKind ClassifyLineStart(std::string_view head, HeaderRule rule) {
  if (rule == HeaderRule::kWrittenHeaderOnly && !IsWrittenHeader(head)) {
    return LineKind::kMemberLine;
  }
  return ClassifyLine(head);
}

bool NeedsEscape(std::string_view line) {
  std::size_t bars = line.find_first_not_of(kEscapeBar);
  if (bars == std::string_view::npos) return false;
  line.remove_prefix(bars);
  return line.starts_with(kPlainHeaderMark) || line.starts_with(kArrowHeaderMark);
}

std::span<const std::string_view> StopPrefixesOf(LineEscape escape) {
  static constexpr std::string_view kEscaped[] = {kArrowHeaderMark, kPlainHeaderMark, "||", "|./",
                                                  "|>>>>>>>>>>"};
  if (escape == LineEscape::kNone) return kHeaderMarks;
  return kEscaped;
}

void BarEscape::Take(std::string_view piece) {
  if (!decided_) piece = Hold(piece);
  if (decided_ && !piece.empty()) next_->Take(piece);
}

// Bars are counted, not kept, so that a line of any number of them needs no memory.
std::string_view BarEscape::Hold(std::string_view piece) {
  if (direction_ == Direction::kRemove && !firstBarTaken_ && !piece.empty()) {
    piece.remove_prefix(1);
    firstBarTaken_ = true;
  }
  if (heldSize_ == 0) {
    std::size_t bars = std::min(piece.find_first_not_of(kEscapeBar), piece.size());
    bars_ += bars;
    piece.remove_prefix(bars);
  }
  std::size_t taken = std::min(sizeof held_ - heldSize_, piece.size());
  std::memcpy(held_ + heldSize_, piece.data(), taken);
  heldSize_ += taken;
  if (heldSize_ == sizeof held_) Decide();
  return piece.substr(taken);
}

void BarEscape::Decide() {
  decided_ = true;
  std::string_view held(held_, heldSize_);
  bool marked = held.starts_with(kPlainHeaderMark) || held.starts_with(kArrowHeaderMark);
  bool barInFront = direction_ == Direction::kAdd ? marked : firstBarTaken_ && !marked;
  static constexpr std::string_view kBars =
      "||||||||||||||||||||||||||||||||||||||||||||||||||||||||||||||||";
  for (uint64_t left = bars_ + (barInFront ? 1 : 0); left > 0;) {
    std::size_t run = static_cast<std::size_t>(std::min<uint64_t>(left, kBars.size()));
    next_->Take(kBars.substr(0, run));
    left -= run;
  }
  if (!held.empty()) next_->Take(held);
}

}  // namespace quillpack
