#include "text/name_list.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>

#include "failures/error_objects.h"
#include "text/string_rules.h"

namespace quillpack {
int32_t TStrings::CompareItems(std::string_view a, std::string_view b) const {
  return LocaleCompareIgnoringCase(a, b);
}

int32_t TStrings::AddItem(std::string_view text) {
  int32_t index = ItemCount();
  InsertAt(index, text);
  return index;
}

TStringList::TStringList() = default;

TStringList::~TStringList() {
  for (int32_t i = 0; i < count_; ++i)
    delete Slot(i);
}

const std::string& TStringList::ItemAt(int32_t index) const {
  if (index < 0 || index >= count_) {
    RaiseError(EStringListError(FormatText("List index out of bounds (%d)", {index})));
  }
  return *Slot(index);
}

int32_t TStringList::CompareItems(std::string_view a, std::string_view b) const {
  return caseSensitiveOrder_ ? LocaleCompare(a, b) : LocaleCompareIgnoringCase(a, b);
}

int32_t TStringList::AddItem(std::string_view text) {
  int32_t index = count_;
  if (sortedMode_ && LocateItem(text, &index)) {
    if (duplicateRule_ == DuplicateRule::kDrop) return index;
    if (duplicateRule_ == DuplicateRule::kRefuse) {
      RaiseError(EStringListError("String list does not allow duplicates"));
    }
  }
  InsertAt(index, text);
  return index;
}

void TStringList::SetSortedMode(bool on) {
  if (on == sortedMode_) return;
  if (on && count_ > 1) SortItems();
  sortedMode_ = on;
}

bool TStringList::LocateItem(std::string_view text, int32_t* index) const {
  int32_t lo = 0;
  int32_t hi = count_ - 1;
  bool found = false;
  while (lo <= hi) {
    int32_t mid = lo + (hi - lo) / 2;
    // The stored item comes first, the sought text second.
    int32_t order = CompareItems(*Slot(mid), text);
    if (order < 0) {
      lo = mid + 1;
      continue;
    }
    hi = mid - 1;
    if (order == 0) {
      found = true;
      // Under kKeep the search goes on to the left, to the first of the equal items.
      if (duplicateRule_ != DuplicateRule::kKeep) lo = mid;
    }
  }
  *index = lo;
  return found;
}

void TStringList::InsertAt(int32_t index, std::string_view text) {
  // The copy is made first, so that a failing allocation leaves the list as it was.
  auto item = std::make_unique<std::string>(text);
  if (count_ == capacity_) GrowCapacity();
  std::memmove(&Slot(index + 1), &Slot(index),
               static_cast<std::size_t>(count_ - index) * sizeof items_[0]);
  Slot(index) = item.release();
  ++count_;
}

void TStringList::SortItems() {
  // Pointers are sorted, so the pivot's text stays where it is.
  SortBounded(items_.get(), 0, count_ - 1,
              [this](const std::string* a, const std::string* b) { return CompareItems(*a, *b); });
}

void TStringList::GrowCapacity() {
  int32_t k = capacity_;
  int32_t grown = k > 64 ? k + k / 4 : k > 8 ? k + 16 : k + 4;
  auto larger = std::make_unique<std::string*[]>(static_cast<std::size_t>(grown));
  std::copy(items_.get(), items_.get() + count_, larger.get());
  items_ = std::move(larger);
  capacity_ = grown;
}

}  // namespace quillpack
