#include "merged/source_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "text/string_rules.h"

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

// The refusals for `names`, listed with `delimiter` between the parts, one line each, or
// "" when every one is taken; the member names taken, in the order, in `sorted`.
std::string RefusalOf(const std::vector<std::string>& names, const TStrings& order,
                      std::vector<std::string>* sorted = nullptr, char delimiter = '/',
                      const std::vector<std::string>& deepFolders = {}) {
  SourceNames sources(order, delimiter);
  for (const std::string& folder : deepFolders)
    sources.RefuseFolder(folder);
  for (const std::string& name : names)
    sources.Add({name, {}});
  std::vector<Source> taken = sources.TakeSorted();
  std::string refusals;
  for (const std::string& sentence : sources.Refusals())
    refusals += (refusals.empty() ? "" : "\n") + sentence;
  if (sorted && refusals.empty()) {
    for (const Source& source : taken)
      sorted->push_back(source.member);
  }
  return refusals;
}

TEST(SourceNames, RefusesWhatCannotComeBack) {
  const std::string twins = " differ only in case; one of them would be lost.";
  const std::string control = " holds a control character, which a member header cannot carry.";
  const std::string dropped = " ends in a dot or a space, which an extract would drop.";
  const std::string tooLong = " is longer than the 120 bytes a member header keeps.";
  struct Case {
    std::vector<std::string> names;
    std::string refusal;
  };
  const Case cases[] = {
      {{"b.txt", "A.txt", "c.TXT", "caf\xE9.txt", ".a", "a.b", std::string(120, 'n')}, ""},
      {{"a.txt", "b\n>>>>>>>>>> .PROFILE"}, "File name b?>>>>>>>>>> .PROFILE" + control},
      {{"cr\r.txt"}, "File name cr?.txt" + control},
      {{"z\x1a.txt"}, "File name z?.txt" + control},
      {{"tab\t", "del\x7f"}, "File name del?" + control + "\nFile name tab?" + control},
      {{"\x01\x1f.txt"}, "File name ??.txt" + control},
      // An extract writes these as A and B, on every system.
      {{"a", "a."}, "File name a." + dropped},
      {{"b "}, "File name b " + dropped},
      {{"..."}, "File name ..." + dropped},
      {{"dir./x.txt"}, "File name dir./x.txt" + dropped},
      {{"dir/x. "}, "File name dir/x. " + dropped},
      // A backslash would come back as a folder.
      {{"a\\b.txt"},
       "File name a\\b.txt holds a \\, which an extract takes for a folder separator."},
      // Twins anywhere in a tree.
      {{"A/B.TXT", "a/x", "a/b.txt"}, "Files A/B.TXT and a/b.txt" + twins},
      {{std::string(121, 'n')}, "File name " + std::string(121, 'n') + tooLong},
      // The list orders these apart; their headers are both I.TXT.
      {{"i.txt", "x", "I.txt"}, "Files i.txt and I.txt" + twins},
      {{"README", "readme"}, "Files README and readme" + twins},
      {{"a\xE9.txt", "A\xE9.txt"}, "Files a\xE9.txt and A\xE9.txt" + twins},
      // Headers that differ, but the order cannot tell them apart, in either listing order.
      {{"\xE9.txt", "x", "\xC9.txt"}, "Files \xE9.txt and \xC9.txt" + twins},
      {{"\xC9.txt", "\xE9.txt"}, "Files \xC9.txt and \xE9.txt" + twins},
  };
  for (const Case& c : cases) {
    UnusualOrderList order;
    EXPECT_EQ(RefusalOf(c.names, order), c.refusal) << c.names.back();
  }
}

// Every name that cannot come back is named in one run, in the order of the member names
// whatever the listing's, each once; a folder too deep for a name below it among them.
TEST(SourceNames, NamesEveryRefusalInOneRun) {
  UnusualOrderList order;
  const std::string deep = "Folder " + std::string(119, 'd') +
                           " is too deep: no name below it fits the 120 bytes a member header "
                           "keeps.";
  const std::string expected =
      "File name a. ends in a dot or a space, which an extract would drop.\n"
      "Files b/README and b/readme differ only in case; one of them would be lost.\n"
      "File name c?.txt holds a control character, which a member header cannot carry.\n" +
      deep + "\n" + "File name " + std::string(121, 'z') +
      " is longer than the 120 bytes a member header keeps.\n"
      "Files \xE9.txt and \xC9.txt differ only in case; one of them would be lost.";
  std::vector<std::string> names = {std::string(121, 'z'),
                                    "\xE9.txt",
                                    "c\t.txt",
                                    "b/README",
                                    "ok.txt",
                                    "a.",
                                    "b/readme",
                                    "\xC9.txt"};
  EXPECT_EQ(RefusalOf(names, order, nullptr, '/', {std::string(119, 'd')}), expected);
  std::reverse(names.begin(), names.end());
  EXPECT_EQ(RefusalOf(names, order, nullptr, '/', {std::string(119, 'd')}),
            std::string(expected)
                .replace(expected.find("b/README and b/readme"), 21, "b/readme and b/README")
                .replace(expected.find("\xE9.txt and \xC9.txt"), 15, "\xC9.txt and \xE9.txt"));
}

// The header rule refuses; it does not reorder: i stays behind J, as this order has it.
TEST(SourceNames, SortsInTheGivenOrder) {
  UnusualOrderList order;
  std::vector<std::string> sorted;
  ASSERT_EQ(RefusalOf({"i", "J", "a"}, order, &sorted), "");
  EXPECT_EQ(sorted, (std::vector<std::string>{"a", "J", "i"}));
}

// Member names join the parts with a backslash, whatever the host's delimiter, and sort as
// whole names: the same tree gives the same order on every system.
TEST(SourceNames, MemberNamesOfATree) {
  UnusualOrderList order;
  // "0" sorts before "\\", but after "/".
  const std::vector<std::string> expected = {"a0.txt", "a\\b.txt", "a\\c\\d.txt", "B.txt"};
  for (char delimiter : {'/', '\\'}) {
    std::vector<std::string> listed = {"B.txt", "a0.txt", "a/c/d.txt", "a/b.txt"};
    for (std::string& name : listed)
      std::replace(name.begin(), name.end(), '/', delimiter);
    std::vector<std::string> sorted;
    ASSERT_EQ(RefusalOf(listed, order, &sorted, delimiter), "") << delimiter;
    EXPECT_EQ(sorted, expected) << delimiter;
  }
}

}  // namespace
}  // namespace quillpack
