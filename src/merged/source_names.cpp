#include "merged/source_names.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "merged/merged_format.h"
#include "text/string_rules.h"

namespace quillpack {
namespace {

constexpr std::string_view kTwins = " differ only in case; one of them would be lost.";

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

// Why `name` cannot come back as it is, or "" when it can.
std::string_view ProblemOf(const std::string& name, char delimiter) {
  if (HoldsControlByte(name)) {
    return " holds a control character, which a member header cannot carry.";
  }
  if (delimiter != kMemberSeparator && name.find(kMemberSeparator) != std::string::npos) {
    return " holds a \\, which an extract takes for a folder separator.";
  }
  if (APartEndsInDotOrSpace(name, delimiter)) {
    return " ends in a dot or a space, which an extract would drop.";
  }
  if (name.size() > static_cast<std::size_t>(kMaxMemberNameBytes)) {
    return " is longer than the 120 bytes a member header keeps.";
  }
  return "";
}

}  // namespace

void SourceNames::Refuse(const std::string& name, std::string sentence) {
  std::string member = name;
  std::replace(member.begin(), member.end(), delimiter_, kMemberSeparator);
  refusals_.push_back({std::move(member), std::move(sentence)});
}

void SourceNames::Add(ListedFile file) {
  const std::string& name = file.name;
  std::string_view problem = ProblemOf(name, delimiter_);
  if (!problem.empty()) {
    Refuse(name, "File name " + PrintableText(name) + std::string(problem));
    return;
  }
  std::string member = name;
  std::replace(member.begin(), member.end(), delimiter_, kMemberSeparator);
  files_.push_back({std::move(file), std::move(member)});
}

void SourceNames::RefuseFolder(const std::string& path) {
  Refuse(path, "Folder " + PrintableText(path) +
                   " is too deep: no name below it fits the 120 bytes a member header keeps.");
}

// Refuses every two neighbours of `sorted` that `compare` holds equal, naming them in the
// order the listing gave them.
template <typename Compare>
void SourceNames::RefuseNeighbours(const std::vector<Source*>& sorted, const Compare& compare) {
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    const Source* a = std::min(sorted[i - 1], sorted[i]);
    const Source* b = std::max(sorted[i - 1], sorted[i]);
    if (compare(a, b) != 0) continue;
    refusals_.push_back(
        {a->member, "Files " + a->listed.name + " and " + b->listed.name + std::string(kTwins)});
  }
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
  // Twins by their headers were named above, and are not named twice.
  RefuseNeighbours(sorted, [&](const Source* a, const Source* b) {
    return inOrder(a, b) == 0 && byHeader(a, b) != 0 ? 0 : 1;
  });
  std::vector<Source> taken;
  taken.reserve(sorted.size());
  for (Source* file : sorted)
    taken.push_back(std::move(*file));
  std::vector<Source>().swap(files_);
  return taken;
}

std::vector<std::string> SourceNames::Refusals() const {
  std::vector<const Refusal*> sorted;
  for (const Refusal& refusal : refusals_)
    sorted.push_back(&refusal);
  std::stable_sort(sorted.begin(), sorted.end(), [](const Refusal* a, const Refusal* b) {
    int32_t order = CompareIgnoringCase(a->member, b->member);
    return order != 0 ? order < 0 : a->member < b->member;
  });
  std::vector<std::string> sentences;
  for (const Refusal* refusal : sorted)
    sentences.push_back(refusal->sentence);
  return sentences;
}

}  // namespace quillpack
