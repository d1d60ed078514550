// The lines of a merged file as an extract reads them, each as it streams in: no line is
// ever held whole, however long.

#ifndef QUILLPACK_MERGED_MERGED_LINES_H_
#define QUILLPACK_MERGED_MERGED_LINES_H_

#include <optional>
#include <string>
#include <string_view>

#include "merged/merged_format.h"
#include "text/line_files.h"

namespace quillpack {

// Writes the bytes of a member line into the open target, or nowhere when there is none.
// Raises EInOutError when a write fails.
class TargetWriter final : public LineSink {
 public:
  explicit TargetWriter(TextLineFile* target) : target_(target) {}
  void Take(std::string_view piece) override;

 private:
  TextLineFile* target_;
};

// One line of the merged file. Its first bytes tell, under `rule`, whether it is a header,
// of which only the name is kept, or a member line, which goes on to `target` (or nowhere
// when it is null), under the escape without the bar it was given.
class MergedLine final : public LineSink {
 public:
  MergedLine(HeaderRule rule, TextLineFile* target, LineEscape escape)
      : start_(rule), target_(target), writer_(target), escape_(escape) {}

  void Take(std::string_view piece) override;

  // Ends the line once the input has handed over all of it; returns whether it was a
  // header. A member line gets its line end in the target.
  bool Finish();

  // The header's name. REQUIRES: Finish() returned true.
  const std::string& Name() const { return header_->Name(); }

 private:
  void Decide();

  LineStart start_;
  TextLineFile* target_;
  TargetWriter writer_;
  LineEscape escape_;
  bool decided_ = false;
  std::optional<HeaderNameReader> header_;
  std::optional<BarEscape> unescape_;
};

// The first line of the input, read on to `line` while it is compared with the escape
// marker.
class FirstLine final : public LineSink {
 public:
  explicit FirstLine(MergedLine* line) : line_(line) {}

  void Take(std::string_view piece) override {
    marker_.Take(piece);
    line_->Take(piece);
  }

  bool IsEscapeMarker() const { return marker_.Matched(); }

 private:
  MergedLine* line_;
  EscapeMarkerMatch marker_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MERGED_LINES_H_
