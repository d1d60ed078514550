#include "merged/source_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/error_objects.h"
#include "runtime/string_rules.h"

namespace quillpack {
namespace {

// A list whose order ignores ASCII case but for i and I, which differ as they do in a
// Turkish locale (I folds to a dotless i there), and which takes the 8-bit e acute in
// either case (0xE9, 0xC9) for one letter.
class UnusualOrderList : public TStringList {
 public:
  int32_t CompareItems(std::string_view a, std::string_view b) const override {
    std::string x = Folded(a);
    std::string y = Folded(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }

 private:
  static std::string Folded(std::string_view text) {
    std::string folded;
    for (char c : text) {
      if (c == '\xC9') c = '\xE9';
      folded.push_back(c == 'I' || c == 'i' ? c : UpperCaseAscii(std::string(1, c))[0]);
    }
    return folded;
  }
};

// The message Add raises for the last of `names`, or "" when every one is taken.
std::string RefusalOf(const std::vector<std::string>& names, TStringList* list) {
  SourceNames sources(list);
  try {
    for (const std::string& name : names)
      sources.Add(name);
  } catch (myException& error) {
    return error.Message();
  }
  return "";
}

TEST(SourceNames, RefusesWhatAHeaderCannotCarry) {
  const std::string twins = " differ only in case; one of them would be lost.";
  const std::string control = " holds a control character, which a member header cannot carry.";
  struct Case {
    std::vector<std::string> names;
    std::string refusal;
  };
  const Case cases[] = {
      {{"b.txt", "A.txt", "c.TXT", "caf\xE9.txt"}, ""},
      {{"a.txt", "b\n>>>>>>>>>> .PROFILE"}, "File name b?>>>>>>>>>> .PROFILE" + control},
      {{"cr\r.txt"}, "File name cr?.txt" + control},
      {{"z\x1a.txt"}, "File name z?.txt" + control},
      {{"tab\t", "del\x7f"}, "File name tab?" + control},
      {{"\x01\x1f.txt"}, "File name ??.txt" + control},
      // The list orders these apart; their headers are both I.TXT.
      {{"i.txt", "x", "I.txt"}, "Files i.txt and I.txt" + twins},
      {{"README", "readme"}, "Files README and readme" + twins},
      {{"a\xE9.txt", "A\xE9.txt"}, "Files a\xE9.txt and A\xE9.txt" + twins},
      // Headers that differ, but the list would keep only one of them.
      {{"\xE9.txt", "\xC9.txt"}, "Files \xE9.txt and \xC9.txt" + twins},
  };
  for (const Case& c : cases) {
    UnusualOrderList list;
    list.SetSortedMode(true);
    EXPECT_EQ(RefusalOf(c.names, &list), c.refusal) << c.names.back();
  }
}

// The header rule refuses; it does not reorder: i stays behind J, as this list has it.
TEST(SourceNames, KeepsTheListsOwnOrder) {
  UnusualOrderList list;
  list.SetSortedMode(true);
  ASSERT_EQ(RefusalOf({"i", "J", "a"}, &list), "");
  std::vector<std::string> items;
  for (int32_t i = 0; i < list.ItemCount(); ++i)
    items.push_back(list.ItemAt(i));
  EXPECT_EQ(items, (std::vector<std::string>{"a", "J", "i"}));
}

}  // namespace
}  // namespace quillpack
