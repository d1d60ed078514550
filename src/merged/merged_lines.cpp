#include "merged/merged_lines.h"

#include "text/checked_steps.h"

namespace quillpack {

void TargetWriter::Take(std::string_view piece) {
  if (target_ && !piece.empty()) CheckedWriteText(*target_, piece);
}

void MergedLine::Take(std::string_view piece) {
  if (!decided_) {
    piece = start_.Take(piece);
    if (!start_.IsComplete()) return;
    Decide();
  }
  if (header_) {
    header_->Take(piece);
  } else if (unescape_) {
    unescape_->Take(piece);
  } else {
    writer_.Take(piece);
  }
}

bool MergedLine::Finish() {
  if (!decided_) Decide();
  if (header_) return true;
  if (unescape_) unescape_->Finish();
  if (target_) CheckedWriteTextLine(*target_, "");
  return false;
}

void MergedLine::Decide() {
  decided_ = true;
  LineKind kind = start_.Kind();
  std::string_view bytes = start_.Bytes();
  if (kind != LineKind::kMemberLine) {
    header_.emplace(kind);
    header_->Take(bytes);
  } else if (escape_ == LineEscape::kBars && bytes.starts_with(kEscapeBar)) {
    unescape_.emplace(BarEscape::Direction::kRemove, &writer_);
    unescape_->Take(bytes);
  } else {
    writer_.Take(bytes);
  }
}

}  // namespace quillpack
