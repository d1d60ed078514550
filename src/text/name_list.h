// The sorted name list: a list of texts that, in sorted mode, keeps each item at its
// place under the locale order ignoring case, found by binary search, and drops an item
// equal to one already present.

#ifndef QUILLPACK_TEXT_NAME_LIST_H_
#define QUILLPACK_TEXT_NAME_LIST_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "failures/object.h"

namespace quillpack {

// Sorts items[lo..hi] into ascending order of `compare(a, b)` (negative, 0 or positive):
// a quicksort with the middle item as pivot whose scans are bounded, so that an order the
// platform answers inconsistently cannot lead them out of the range; the smaller part is
// sorted first, which keeps the depth logarithmic. Swaps move items only by std::swap.
template <typename Item, typename Compare>
void SortBounded(Item* items, int32_t lo, int32_t hi, const Compare& compare) {
  while (lo < hi) {
    Item pivot = items[lo + (hi - lo) / 2];
    int32_t i = lo;
    int32_t j = hi;
    while (i <= j) {
      while (i < hi && compare(items[i], pivot) < 0)
        ++i;
      while (j > lo && compare(items[j], pivot) > 0)
        --j;
      if (i <= j) std::swap(items[i++], items[j--]);
    }
    if (j - lo < hi - i) {
      SortBounded(items, lo, j, compare);
      lo = i;
    } else {
      SortBounded(items, i, hi, compare);
      hi = j;
    }
  }
}

class TPersistent : public TObject {
 public:
  const char* ClassName() const override { return "TPersistent"; }
};

// The abstract interface of a list of texts.
class TStrings : public TPersistent {
 public:
  const char* ClassName() const override { return "TStrings"; }

  // The item at a 0-based index; raises EStringListError for an index out of bounds.
  virtual const std::string& ItemAt(int32_t index) const = 0;
  virtual int32_t ItemCount() const = 0;
  // Negative, 0 or positive: LocaleCompareIgnoringCase here.
  virtual int32_t CompareItems(std::string_view a, std::string_view b) const;
  // Adds a text and returns its index; here it appends at the end.
  virtual int32_t AddItem(std::string_view text);

 protected:
  // Stores a copy of `text` at `index`, moving the items behind it up.
  virtual void InsertAt(int32_t index, std::string_view text) = 0;
};

// What adding an item equal to a present one does in sorted mode.
enum class DuplicateRule : uint8_t { kDrop = 0, kKeep = 1, kRefuse = 2 };

class TStringList : public TStrings {
 public:
  TStringList();
  ~TStringList() override;

  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  const char* ClassName() const override { return "TStringList"; }

  // Raises EStringListError "List index out of bounds (N)" for an index < 0 or >= count.
  const std::string& ItemAt(int32_t index) const override;
  int32_t ItemCount() const override { return count_; }
  // LocaleCompare when the order is case-sensitive, else LocaleCompareIgnoringCase.
  int32_t CompareItems(std::string_view a, std::string_view b) const override;
  // Unsorted: appends, no duplicate check. Sorted: inserts at the text's place; when an
  // equal item is present, kDrop returns that item's index and adds nothing, kKeep adds
  // before the equal ones, kRefuse raises EStringListError "String list does not allow
  // duplicates".
  int32_t AddItem(std::string_view text) override;

  // Switching sorted mode on sorts the items present.
  void SetSortedMode(bool on);
  bool SortedMode() const { return sortedMode_; }
  void SetDuplicateRule(DuplicateRule rule) { duplicateRule_ = rule; }
  void SetCaseSensitiveOrder(bool on) { caseSensitiveOrder_ = on; }

  // Binary search: whether an equal item is present, and the index of that item (the
  // first of them under kKeep) or of the place where `text` belongs.
  virtual bool LocateItem(std::string_view text, int32_t* index) const;

  // The number of items the storage holds before it grows: 0, 4, 8, 12, 28, 44, 60, 76,
  // 95, 118, 147, ...
  int32_t Capacity() const { return capacity_; }

 protected:
  void InsertAt(int32_t index, std::string_view text) override;
  // Sorts the items into ascending order of CompareItems.
  virtual void SortItems();

 private:
  void GrowCapacity();

  // One entry per capacity slot; entries 0 to count - 1 own their texts. Pointers, so
  // that an insertion moves the entries behind it in one block.
  std::unique_ptr<std::string*[]> items_;
  // The slot of item `index`, which the caller has checked to lie within the list.
  std::string*& Slot(int32_t index) const { return items_[static_cast<std::size_t>(index)]; }
  int32_t count_ = 0;
  int32_t capacity_ = 0;
  bool sortedMode_ = false;
  DuplicateRule duplicateRule_ = DuplicateRule::kDrop;
  bool caseSensitiveOrder_ = false;
};

}  // namespace quillpack

#endif  // QUILLPACK_TEXT_NAME_LIST_H_
