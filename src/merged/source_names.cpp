#include "merged/source_names.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "merged/merged_format.h"
#include "runtime/error_objects.h"
#include "runtime/string_rules.h"

namespace quillpack {
namespace {

[[noreturn]] void RaiseCaseTwins(const std::string& earlier, const std::string& later) {
  RaiseError(myException("Files " + earlier + " and " + later +
                         " differ only in case; one of them would be lost."));
}

[[noreturn]] void RefuseName(const std::string& name, std::string_view problem) {
  RaiseError(myException("File name " + PrintableText(name) + std::string(problem)));
}

bool EndsInDotOrSpace(std::string_view part) {
  return !part.empty() && (part.back() == '.' || part.back() == ' ');
}

// Whether a part of `name`, cut at `delimiter`, ends in a dot or a space.
bool APartEndsInDotOrSpace(std::string_view name, char delimiter) {
  for (std::size_t start = 0;;) {
    std::size_t end = name.find(delimiter, start);
    if (EndsInDotOrSpace(name.substr(start, end - start))) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

// Refuses the first two neighbours of `sorted` that `compare` holds equal, naming them in
// the order the listing gave them.
template <typename Compare>
void RefuseNeighbours(const std::vector<Source*>& sorted, const Compare& compare) {
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    const Source* a = sorted[i - 1];
    const Source* b = sorted[i];
    if (compare(a, b) == 0)
      RaiseCaseTwins(std::min(a, b)->listed.name, std::max(a, b)->listed.name);
  }
}

}  // namespace

void SourceNames::Add(ListedFile file) {
  const std::string& name = file.name;
  if (HoldsControlByte(name)) {
    RefuseName(name, " holds a control character, which a member header cannot carry.");
  }
  if (delimiter_ != kMemberSeparator && name.find(kMemberSeparator) != std::string::npos) {
    RefuseName(name, " holds a \\, which an extract takes for a folder separator.");
  }
  if (APartEndsInDotOrSpace(name, delimiter_)) {
    RefuseName(name, " ends in a dot or a space, which an extract would drop.");
  }
  if (name.size() > static_cast<std::size_t>(kMaxMemberNameBytes)) {
    RefuseName(name, " is longer than the 120 bytes a member header keeps.");
  }
  std::string member = name;
  std::replace(member.begin(), member.end(), delimiter_, kMemberSeparator);
  files_.push_back({std::move(file), std::move(member)});
}

std::vector<Source> SourceNames::TakeSorted() {
  std::vector<Source*> sorted;
  sorted.reserve(files_.size());
  for (Source& file : files_)
    sorted.push_back(&file);
  // Locales fold case their own way (a Turkish I is no i), and names that are no valid
  // text in the locale's encoding may order inconsistently: the headers alone decide
  // first, folded to upper case by the ASCII rule. That order is plain bytes, so the
  // library's sort may have it.
  auto byHeader = [](const Source* a, const Source* b) {
    return CompareIgnoringCase(a->member, b->member);
  };
  std::sort(sorted.begin(), sorted.end(),
            [&](const Source* a, const Source* b) { return byHeader(a, b) < 0; });
  RefuseNeighbours(sorted, byHeader);
  auto inOrder = [this](const Source* a, const Source* b) {
    return order_.CompareItems(a->member, b->member);
  };
  SortBounded(sorted.data(), 0, static_cast<int32_t>(sorted.size()) - 1, inOrder);
  // Names the order holds equal would be one item of a sorted list: one would be lost.
  RefuseNeighbours(sorted, inOrder);
  std::vector<Source> taken;
  taken.reserve(sorted.size());
  for (Source* file : sorted)
    taken.push_back(std::move(*file));
  std::vector<Source>().swap(files_);
  return taken;
}

}  // namespace quillpack
