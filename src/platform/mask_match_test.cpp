#include "platform/mask_match.h"

#include <gtest/gtest.h>

namespace quillpack::platform {
namespace {

TEST(MatchesMask, WindowsRules) {
  struct Case {
    const char* mask;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*.*", "readme.txt", true},
      {"*.*", "README", true},
      {"*.*", ".hidden", true},
      {"*", "anything.at.all", true},
      {"*.txt", "a.TXT", true},
      {"*.TXT", "b.txt", true},
      {"*.txt", "a.txt.bak", false},
      {"*.txt", "txt", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c", "abbc", false},
      {"a*c", "ac", true},
      {"a*c", "abcabc", true},
      {"a*c", "abcab", false},
      {"note.*", "note", true},
      {"note.*", "note.md", true},
      {"note.*", "notes", false},
      {"exact.txt", "EXACT.TXT", true},
      {"exact.txt", "exact.txtx", false},
      {"**a**", "xxaxx", true},
      {"\xe9*", "\xc9t\xe9", false},
      {"*.", "README", true},
      {"*.", "Makefile", true},
      {"*.", "a.txt", false},
      {"*.", ".profile", false},
      {"*.", "a.b.c", false},
      {"*.", "trailing.", true},
      {"read*.", "README", true},
      {"read*.", "readme.md", false},
      {"a?.", "AB", true},
      {"note.", "NOTE", true},
      {"note.", "note.txt", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesMask(c.mask, c.name), c.matches) << c.mask << " vs " << c.name;
  }
}

// An existence test relies on it: a file named like a mask is among the names it lists.
TEST(MatchesMask, EveryMaskMatchesItsOwnSpelling) {
  for (const char* mask : {"a*.", "*.", "*.*", "?", ".*", "x.", "a?b*.c.", "..", "*"}) {
    EXPECT_TRUE(MatchesMask(mask, mask)) << mask;
  }
}

TEST(MatchesMask, ManyStarsStayLinear) {
  std::string mask(2000, '*');
  mask += "b";
  EXPECT_FALSE(MatchesMask(mask, std::string(5000, 'a')));
}

}  // namespace
}  // namespace quillpack::platform
