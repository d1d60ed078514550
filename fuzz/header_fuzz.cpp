// Header recognition and name cutting against a plain model, the escape of member lines
// and the escape marker against theirs, and the member-name rules against their own
// model: whatever a merged file holds, each pair must agree.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "merged/member_names.h"
#include "merged/merged_format.h"
#include "text/string_rules.h"

namespace {

using quillpack::LineKind;

struct Model {
  LineKind kind;
  std::string name;
};

Model ModelOf(std::string_view line) {
  if (line.size() >= 10 && line.substr(0, 10) == std::string(10, '>')) {
    return {LineKind::kArrowHeader,
            std::string(line.substr(std::min<std::size_t>(11, line.size()), 120))};
  }
  if (line.size() >= 2 && line[0] == '.' && line[1] == '/') {
    std::size_t mark = line.find("NAME=");
    std::size_t start = mark == line.npos ? 4 : mark + 5;
    return {LineKind::kPlainHeader, std::string(line.substr(std::min(start, line.size()), 120))};
  }
  return {LineKind::kMemberLine, std::string()};
}

// Any number of "|", then "./" or ten ">".
bool ModelNeedsEscape(std::string_view line) {
  std::size_t bars = 0;
  while (bars < line.size() && line[bars] == '|')
    ++bars;
  std::string_view rest = line.substr(bars);
  return rest.substr(0, 2) == "./" || rest.substr(0, 10) == std::string(10, '>');
}

// A collector for what a BarEscape passes on.
class Collected final : public quillpack::LineSink {
 public:
  void Take(std::string_view piece) override {
    if (piece.empty()) std::abort();
    bytes += piece;
  }
  std::string bytes;
};

// `line` through a BarEscape in pieces whose sizes the line's own bytes choose.
std::string ThroughInPieces(quillpack::BarEscape::Direction direction, std::string_view line) {
  Collected collected;
  quillpack::BarEscape escape(direction, &collected);
  for (std::size_t at = 0; at < line.size();) {
    std::size_t size = 1 + static_cast<unsigned char>(line[at]) % 13;
    escape.Take(line.substr(at, size));
    at += size;
  }
  escape.Finish();
  return collected.bytes;
}

bool BeginsWithAStopPrefix(std::string_view line) {
  for (std::string_view prefix : quillpack::StopPrefixesOf(quillpack::LineEscape::kBars)) {
    if (line.starts_with(prefix)) return true;
  }
  return false;
}

// The escaped merge writes a bar more where the model says, the extract takes it off
// again, an escaped line is never a header, and the bulk copies stop at every line either
// changes.
void CheckEscape(std::string_view line) {
  using Direction = quillpack::BarEscape::Direction;
  bool needs = ModelNeedsEscape(line);
  if (quillpack::NeedsEscape(line) != needs) std::abort();
  std::string escaped = ThroughInPieces(Direction::kAdd, line);
  if (escaped != (needs ? "|" + std::string(line) : std::string(line))) std::abort();
  if (quillpack::ClassifyLine(escaped) != LineKind::kMemberLine) std::abort();
  if (needs && !(BeginsWithAStopPrefix(line) && BeginsWithAStopPrefix(escaped))) std::abort();
  if (!escaped.empty() && escaped[0] == '|' &&
      ThroughInPieces(Direction::kRemove, escaped) != line) {
    std::abort();
  }
  // Any line with a bar, as an escaped merged file may hold it from elsewhere.
  if (!line.empty() && line[0] == '|') {
    bool drops = ModelNeedsEscape(line.substr(1));
    std::string read = ThroughInPieces(Direction::kRemove, line);
    if (read != (drops ? line.substr(1) : line)) std::abort();
    if (drops && !BeginsWithAStopPrefix(line)) std::abort();
  }
  quillpack::EscapeMarkerMatch marker;
  for (std::size_t at = 0; at < line.size(); at += 5)
    marker.Take(line.substr(at, 5));
  if (marker.Matched() != (line == quillpack::kEscapeMarker)) std::abort();
}

bool ModelDevice(std::string_view component) {
  std::string base(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ')
    base.pop_back();
  for (char& c : base)
    c = (c >= 'a' && c <= 'z') ? c - 32 : c;
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
         std::string_view("123456789\xb9\xb2\xb3").find(base[3]) != std::string_view::npos;
}

std::string ModelStripped(std::string part) {
  while (!part.empty() && (part.back() == '.' || part.back() == ' '))
    part.pop_back();
  return part;
}

std::vector<std::string> ModelParts(std::string_view name, std::string_view separators) {
  std::vector<std::string> parts(1);
  for (char c : name) {
    if (separators.find(c) == name.npos) {
      parts.back().push_back(c);
    } else if (!parts.back().empty()) {
      parts.emplace_back();
    }
  }
  return parts;
}

quillpack::NameProblem ModelProblem(std::string_view name, bool windows) {
  using quillpack::NameProblem;
  // "\\" and "/" separate the parts of a member name on every host.
  std::string_view separators = "\\/";
  if (name.empty()) return NameProblem::kNoFileName;
  if (separators.find(name[0]) != name.npos) return NameProblem::kLeavesTarget;
  if (windows && name.find(':') != name.npos) return NameProblem::kLeavesTarget;
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127) return NameProblem::kForbiddenByte;
    if (windows && std::string_view("<>\"|?*").find(c) != name.npos) {
      return NameProblem::kForbiddenByte;
    }
  }
  for (const std::string& part : ModelParts(name, separators)) {
    if (part.empty()) continue;
    std::string kept = ModelStripped(part);
    if (kept.empty()) return NameProblem::kLeavesTarget;
    if (windows && ModelDevice(kept)) return NameProblem::kDeviceName;
  }
  if (separators.find(name.back()) != name.npos) return NameProblem::kNoFileName;
  return NameProblem::kNone;
}

// The header's name read in pieces whose sizes the line's own bytes choose.
std::string NameReadInPieces(std::string_view line, LineKind kind) {
  quillpack::HeaderNameReader reader(kind);
  std::size_t at = 0;
  while (at < line.size()) {
    std::size_t size = 1 + static_cast<unsigned char>(line[at]) % 7;
    reader.Take(line.substr(at, size));
    at += size;
  }
  return reader.Name();
}

void CheckNameRules(std::string_view name, const quillpack::MemberNameRules& rules, bool windows) {
  quillpack::NameProblem problem = quillpack::CheckMemberName(name, rules);
  if (problem != ModelProblem(name, windows)) std::abort();
  if (problem != quillpack::NameProblem::kNone) return;
  std::vector<std::string> expected;
  for (const std::string& part : ModelParts(name, rules.separators))
    expected.push_back(ModelStripped(part));
  if (quillpack::WrittenParts(name, rules) != expected) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  Model model = ModelOf(line);
  LineKind kind = quillpack::ClassifyLine(line);
  if (kind != model.kind) std::abort();
  if (kind != LineKind::kMemberLine && (quillpack::MemberNameOf(line, kind) != model.name ||
                                        NameReadInPieces(line, kind) != model.name)) {
    std::abort();
  }

  // A header as the merge writes it reads back as its header, with the name cut to 120.
  std::string upper = quillpack::UpperCaseAscii(line);
  for (auto style : {quillpack::HeaderStyle::kPlain, quillpack::HeaderStyle::kArrow}) {
    std::string header = quillpack::MemberHeader(style, upper);
    LineKind written = quillpack::ClassifyLine(header);
    if (written == LineKind::kMemberLine || !quillpack::IsWrittenHeader(header)) std::abort();
    if (quillpack::MemberNameOf(header, written) != upper.substr(0, 120)) std::abort();
  }

  CheckEscape(line);
  CheckNameRules(line, quillpack::WindowsMemberNameRules(), true);
  CheckNameRules(line, quillpack::PosixMemberNameRules(), false);
  return 0;
}
