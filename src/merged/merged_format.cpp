#include "merged/merged_format.h"

#include "runtime/string_rules.h"

namespace quillpack {
namespace {

constexpr std::string_view kNameMark = "NAME=";

}  // namespace

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
  if (kind == LineKind::kArrowHeader) return CopyOf(header, 12, kMaxMemberNameBytes);
  int32_t mark = PositionOf(kNameMark, header);
  int32_t start = mark > 0 ? mark + static_cast<int32_t>(kNameMark.size()) : 5;
  return CopyOf(header, start, kMaxMemberNameBytes);
}

bool IsWrittenHeader(std::string_view line) {
  return line.starts_with(kPlainHeaderPrefix) || line.starts_with(kArrowHeaderPrefix);
}

}  // namespace quillpack
