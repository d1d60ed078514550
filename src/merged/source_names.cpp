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

bool EndsInDotOrSpace(std::string_view name) {
  return !name.empty() && (name.back() == '.' || name.back() == ' ');
}

}  // namespace

void SourceNames::Add(ListedFile file) {
  const std::string& name = file.name;
  if (HoldsControlByte(name)) {
    RefuseName(name, " holds a control character, which a member header cannot carry.");
  }
  if (EndsInDotOrSpace(name))
    RefuseName(name, " ends in a dot or a space, which an extract would drop.");
  if (name.size() > static_cast<std::size_t>(kMaxMemberNameBytes)) {
    RefuseName(name, " is longer than the 120 bytes a member header keeps.");
  }
  // Locales fold case their own way (a Turkish I is no i), and names that are no valid
  // text in the locale's encoding may order inconsistently: the header alone decides.
  auto [entry, added] = namesByHeader_.try_emplace(UpperCaseAscii(name), name);
  if (!added) RaiseCaseTwins(entry->second, name);
  files_.push_back(std::move(file));
}

std::vector<ListedFile> SourceNames::TakeSorted() {
  std::vector<ListedFile*> sorted;
  sorted.reserve(files_.size());
  for (ListedFile& file : files_)
    sorted.push_back(&file);
  auto compare = [this](const ListedFile* a, const ListedFile* b) {
    return order_.CompareItems(a->name, b->name);
  };
  SortBounded(sorted.data(), 0, static_cast<int32_t>(sorted.size()) - 1, compare);
  // Names the order holds equal would be one item of a sorted list: one would be lost.
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    const ListedFile* a = sorted[i - 1];
    const ListedFile* b = sorted[i];
    // Named in the order the listing gave them.
    if (compare(a, b) == 0) RaiseCaseTwins(std::min(a, b)->name, std::max(a, b)->name);
  }
  std::vector<ListedFile> taken;
  taken.reserve(sorted.size());
  for (ListedFile* file : sorted)
    taken.push_back(std::move(*file));
  files_.clear();
  namesByHeader_.clear();
  return taken;
}

}  // namespace quillpack
