#include "text/name_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "failures/error_objects.h"
#include "support/raised.h"

namespace quillpack {
namespace {

using Names = std::vector<std::string>;

Names ItemsOf(const TStringList& list) {
  Names items;
  for (int32_t i = 0; i < list.ItemCount(); ++i)
    items.push_back(list.ItemAt(i));
  return items;
}

std::string Joined(const Names& names) {
  std::string text;
  for (const std::string& name : names)
    text += name + " ";
  return text;
}

std::string NameNumbered(int number) {
  std::string name = "name";
  return name += std::to_string(number);
}

// Adds each name in turn and returns the indexes AddItem gave.
std::vector<int32_t> AddAll(TStringList* list, const Names& names) {
  std::vector<int32_t> indexes;
  for (const std::string& name : names)
    indexes.push_back(list->AddItem(name));
  return indexes;
}

// The message of the EStringListError that `action` raises, or "" when it raises none.
template <typename Action>
std::string ListErrorOf(Action action) {
  return test_support::MessageRaisedBy<EStringListError>(action);
}

TEST(SortedNameList, AddsEachNameAtItsPlaceIgnoringCase) {
  struct Case {
    Names present;
    std::string added;
    int32_t index;
    Names after;
  };
  const Case cases[] = {
      {{}, "b.txt", 0, {"b.txt"}},
      {{"b.txt"}, "A.txt", 0, {"A.txt", "b.txt"}},
      {{"A.txt", "b.txt"}, "c.TXT", 2, {"A.txt", "b.txt", "c.TXT"}},
      {{"A", "C"}, "B", 1, {"A", "B", "C"}},
      {{"READ.ME"}, "Read.me", 0, {"READ.ME"}},
      {{"A", "READ.ME", "Z"}, "read.me", 1, {"A", "READ.ME", "Z"}},
      {{"b", "c", "d", "e", "f", "g"}, "a", 0, {"a", "b", "c", "d", "e", "f", "g"}},
      {{"b", "c", "d", "e", "f", "g"}, "h", 6, {"b", "c", "d", "e", "f", "g", "h"}},
  };
  for (const Case& c : cases) {
    TStringList list;
    list.SetSortedMode(true);
    AddAll(&list, c.present);
    EXPECT_EQ(list.AddItem(c.added), c.index) << Joined(c.present) << "+ " << c.added;
    EXPECT_EQ(ItemsOf(list), c.after) << Joined(c.present) << "+ " << c.added;
  }
}

TEST(SortedNameList, DuplicateRules) {
  TStringList keep;
  keep.SetDuplicateRule(DuplicateRule::kKeep);
  keep.SetSortedMode(true);
  AddAll(&keep, {"a", "k1", "z", "K", "k"});
  // Case-equal names under kKeep go before the equal ones.
  EXPECT_EQ(keep.AddItem("K"), 1);
  EXPECT_EQ(ItemsOf(keep), (Names{"a", "K", "k", "K", "k1", "z"}));

  TStringList refuse;
  refuse.SetDuplicateRule(DuplicateRule::kRefuse);
  refuse.SetSortedMode(true);
  AddAll(&refuse, {"b", "a"});
  EXPECT_EQ(ListErrorOf([&] { refuse.AddItem("B"); }), "String list does not allow duplicates");
  EXPECT_EQ(ItemsOf(refuse), (Names{"a", "b"}));

  TStringList caseSensitive;
  caseSensitive.SetCaseSensitiveOrder(true);
  caseSensitive.SetSortedMode(true);
  AddAll(&caseSensitive, {"a", "A", "a"});
  EXPECT_EQ(caseSensitive.ItemCount(), 2);
}

TEST(SortedNameList, UnsortedModeAppendsAndKeepsEqualItems) {
  TStringList list;
  EXPECT_EQ(AddAll(&list, {"b", "a", "B", "b"}), (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(ItemsOf(list), (Names{"b", "a", "B", "b"}));
}

TEST(SortedNameList, ItemAtOutOfBoundsLeavesTheListAsItWas) {
  TStringList list;
  EXPECT_EQ(ListErrorOf([&] { list.ItemAt(0); }), "List index out of bounds (0)");
  AddAll(&list, {"x", "y", "z"});
  for (int32_t index : {3, -1, INT32_MIN}) {
    EXPECT_EQ(ListErrorOf([&] { list.ItemAt(index); }),
              "List index out of bounds (" + std::to_string(index) + ")");
  }
  EXPECT_EQ(ItemsOf(list), (Names{"x", "y", "z"}));
}

TEST(SortedNameList, CapacityGrowsInSteps) {
  TStringList list;
  list.SetSortedMode(true);
  std::vector<int32_t> capacities = {list.Capacity()};
  Names added;
  for (int i = 0; i < 147; ++i) {
    added.push_back(NameNumbered(1000 + (i * 37) % 147));
    list.AddItem(added.back());
    if (list.Capacity() != capacities.back()) capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{0, 4, 8, 12, 28, 44, 60, 76, 95, 118, 147}));
  std::sort(added.begin(), added.end());
  EXPECT_EQ(ItemsOf(list), added) << "growing kept every item";
}

TEST(SortedNameList, SwitchingSortedModeOnSortsThePresentItems) {
  const Names cases[] = {
      {},
      {"only"},
      {"b", "a"},
      {"a", "b", "c", "d"},
      {"E", "d", "C", "b", "A"},
      {"m", "M", "m", "a", "z", "M"},
      {"k", "c", "x", "a", "q", "b", "z", "e", "f", "w", "y", "d", "r", "m", "n", "g"},
  };
  for (const Names& names : cases) {
    TStringList list;
    AddAll(&list, names);
    list.SetSortedMode(true);
    list.SetSortedMode(true);
    Names items = ItemsOf(list);
    EXPECT_TRUE(std::is_permutation(items.begin(), items.end(), names.begin(), names.end()))
        << Joined(names);
    for (std::size_t i = 1; i < items.size(); ++i) {
      EXPECT_LE(list.CompareItems(items[i - 1], items[i]), 0)
          << Joined(names) << "-> " << Joined(items);
    }
  }
}

// Counts the comparisons the binary search makes.
class CountingList : public TStringList {
 public:
  int32_t CompareItems(std::string_view a, std::string_view b) const override {
    ++comparisons;
    return TStringList::CompareItems(a, b);
  }
  mutable int comparisons = 0;
};

TEST(SortedNameList, AddingComparesLogarithmically) {
  CountingList list;
  list.SetSortedMode(true);
  for (int i = 0; i < 200; ++i) {
    int32_t count = list.ItemCount();
    int allowed = count == 0 ? 0 : static_cast<int>(std::floor(std::log2(count))) + 1;
    list.comparisons = 0;
    list.AddItem(NameNumbered((i * 7919) % 200));
    EXPECT_LE(list.comparisons, allowed) << "add " << i << " to " << count << " items";
  }
}

}  // namespace
}  // namespace quillpack
