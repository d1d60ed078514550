// Header recognition and name cutting against a plain model, and the member-name rules
// against their own model: whatever a merged file holds, the two must agree.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "merged/member_names.h"
#include "merged/merged_format.h"
#include "runtime/string_rules.h"

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

quillpack::NameProblem ModelProblem(std::string_view name, bool windows) {
  using quillpack::NameProblem;
  std::string_view separators = windows ? "\\/" : "/";
  if (name.empty()) return NameProblem::kNone;
  if (separators.find(name[0]) != name.npos) return NameProblem::kLeavesTarget;
  if (windows && name.find(':') != name.npos) return NameProblem::kLeavesTarget;
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte == 0) return NameProblem::kForbiddenByte;
    if (windows && (byte < 32 || std::string_view("<>\"|?*").find(c) != name.npos)) {
      return NameProblem::kForbiddenByte;
    }
  }
  std::string component;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && separators.find(name[i]) == name.npos) {
      component.push_back(name[i]);
      continue;
    }
    if (component == "..") return NameProblem::kLeavesTarget;
    if (windows && !component.empty()) {
      if (component.back() == '.' || component.back() == ' ') {
        return NameProblem::kTrailingDotOrSpace;
      }
      if (ModelDevice(component)) return NameProblem::kDeviceName;
    }
    component.clear();
  }
  return NameProblem::kNone;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  Model model = ModelOf(line);
  LineKind kind = quillpack::ClassifyLine(line);
  if (kind != model.kind) std::abort();
  if (kind != LineKind::kMemberLine && quillpack::MemberNameOf(line, kind) != model.name) {
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

  if (quillpack::CheckMemberName(line, quillpack::WindowsMemberNameRules()) !=
      ModelProblem(line, true)) {
    std::abort();
  }
  if (quillpack::CheckMemberName(line, quillpack::PosixMemberNameRules()) !=
      ModelProblem(line, false)) {
    std::abort();
  }
  return 0;
}
