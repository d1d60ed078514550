#include "files/ignore_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace quillpack {
namespace {

using platform::CaseRule;

struct Case {
  std::string file;  // the .gitignore of the top
  std::string path;  // parts joined by "/"
  bool isFolder;
  bool ignored;
};

// The entry `path` asked about with its own name found after the last separator.
bool Ignored(const IgnoreRules& rules, const std::string& path, bool isFolder, char separator) {
  std::size_t slash = path.rfind(separator);
  return rules.Ignores(path, slash == std::string::npos ? 0 : slash + 1, isFolder);
}

void ExpectCases(const Case* cases, std::size_t count, char separator, CaseRule caseRule) {
  for (std::size_t i = 0; i < count; ++i) {
    const Case& c = cases[i];
    IgnoreRules rules(separator, caseRule);
    rules.AddFile(c.file, 0);
    std::string path = c.path;
    std::replace(path.begin(), path.end(), '/', separator);
    EXPECT_EQ(Ignored(rules, path, c.isFolder, separator), c.ignored)
        << "pattern [" << c.file << "] path [" << path << "]" << (c.isFolder ? " folder" : "");
  }
}

// The forms gitignore(5) describes, each with a name it takes and one it does not.
TEST(IgnoreRules, PatternsOfOneFile) {
  const Case cases[] = {
      // A name without "/" matches at any level, files and folders alike.
      {"*.o", "a.o", false, true},
      {"*.o", "x/y/a.o", false, true},
      {"*.o", "a.o", true, true},
      {"*.o", "a.oo", false, false},
      {"build", "src/build", true, true},
      {"build", "build2", true, false},
      // A trailing "/": folders only.
      {"out/", "out", true, true},
      {"out/", "out", false, false},
      {"out/", "a/out", true, true},
      // A leading or middle "/" anchors to the folder of the file.
      {"/top.txt", "top.txt", false, true},
      {"/top.txt", "a/top.txt", false, false},
      {"doc/*.txt", "doc/a.txt", false, true},
      {"doc/*.txt", "x/doc/a.txt", false, false},
      {"doc/*.txt", "doc/sub/a.txt", false, false},
      {"a/b/", "a/b", true, true},
      {"a/b/", "a/b", false, false},
      // "*" and "?" stay within one part.
      {"a*", "a/b", false, false},
      {"a/*", "a/b", false, true},
      {"a/*", "a/b/c", false, false},
      {"a/?", "a/b", false, true},
      {"a?b", "a/b", false, false},
      // "**" forms.
      {"**/foo", "foo", false, true},
      {"**/foo", "a/b/foo", false, true},
      {"**/foo/bar", "x/foo/bar", false, true},
      {"**/foo/bar", "foo/x/bar", false, false},
      {"abc/**", "abc/x/y", false, true},
      {"abc/**", "abc", true, false},
      {"a/**/b", "a/b", false, true},
      {"a/**/b", "a/x/y/b", false, true},
      {"a/**/b", "a/xb", false, false},
      {"**", "any/thing", false, true},
      {"a**b", "axyb", false, true},
      {"a/x**/b", "a/x/y/b", false, false},
      {"***/c", "a/b/c", false, true},
      // Sets.
      {"[abc].txt", "b.txt", false, true},
      {"[abc].txt", "d.txt", false, false},
      {"[a-c]x", "cx", false, true},
      {"[!a-c]x", "dx", false, true},
      {"[^a-c]x", "bx", false, false},
      {"[]]x", "]x", false, true},
      {"[a-]x", "-x", false, true},
      {"[[:digit:]]x", "7x", false, true},
      {"[[:upper:][:space:]]", " ", false, true},
      {"[[:upper:]]", "a", false, false},
      {"a[/]b", "a/b", false, false},
      {"[!a]", "/", false, false},
      // Sets as git reads them: "[:" without ":]" is two bytes of the set, an escaped "-"
      // is itself, a range backwards is empty.
      {"[[:alpha]*", "[", false, true},
      {"[[:alpha]*", "px", false, true},
      {"[[:alpha]*", "b", false, false},
      {"[---]*", "-x", false, true},
      {"[[]", "[", false, true},
      {"[\\]]x", "]x", false, true},
      {"[a\\-c]*", "-x", false, true},
      {"[a\\-c]*", "c d", false, true},
      {"[a\\-c]*", "b", false, false},
      {"[z-a]*", "x", false, false},
      // Malformed patterns match nothing.
      {"*\\", "x\\", false, false},
      {"[]x", "]x", false, false},
      {"x[", "x[", false, false},
      {"[[:nope:]]", "n", false, false},
      {"x\\", "x\\", false, false},
      // Comments, blank lines, escapes and spaces.
      {"#a", "#a", false, false},
      {"\\#a", "#a", false, true},
      {"\\!a", "!a", false, true},
      {"a  ", "a", false, true},
      {"a\\ ", "a ", false, true},
      {"a\\  ", "a ", false, true},
      {"a\\ ", "a", false, false},
      {"\\ ", " ", false, true},
      {"f\\\\ ", "f\\ ", false, false},
      {"!!h", "!h", false, false},
      {"\\*", "*", false, true},
      {"\\*", "x", false, false},
      {"  ", " ", false, false},
      {"a\tb", "a\tb", false, true},
      // Line ends: LF and CR LF; a BOM first is skipped.
      {"x\r\ny\n", "y", false, true},
      {"x\r\ny\n", "x", false, true},
      {"\xEF\xBB\xBF"
       "a",
       "a", false, true},
      // Negation: the last match decides.
      {"*.log\n!keep.log", "keep.log", false, false},
      {"*.log\n!keep.log", "drop.log", false, true},
      {"!keep.log\n*.log", "keep.log", false, true},
      {"!", "!", false, false},
      {"/", "x", true, false},
      // Case counts on POSIX.
      {"README", "readme", false, false},
  };
  ExpectCases(cases, std::size(cases), '/', CaseRule::kSensitive);
}

// On Windows git ignores case, and the parts of a path are joined by "\\", which a pattern
// still writes as "/".
TEST(IgnoreRules, WindowsPaths) {
  const Case cases[] = {
      {"README", "readme", false, true}, {"Doc/*.TXT", "doc/a.txt", false, true},
      {"[a-c]X", "Bx", false, true},     {"[[:upper:]]", "a", false, true},
      {"a/**/b", "A/x/B", false, true},  {"a*", "a/b", false, false},
      {"*", "a/b", false, true},
  };
  ExpectCases(cases, std::size(cases), '\\', CaseRule::kIgnoreCase);
}

// The files of deeper folders come later and win; an anchored pattern is anchored to its
// own file's folder; files go as the walk goes up again.
TEST(IgnoreRules, DeeperFilesWin) {
  IgnoreRules rules('/', CaseRule::kSensitive);
  rules.AddFile("*.txt\n/top\n", 0);
  rules.AddFile("!keep.txt\n/local\n", 4);  // the folder "sub/"
  struct Ask {
    std::string path;
    bool ignored;
  };
  const Ask asks[] = {
      {"sub/keep.txt", false}, {"sub/drop.txt", true}, {"sub/local", true},
      {"sub/x/local", false},  {"sub/top", false},     {"sub/x/keep.txt", false},
  };
  for (const Ask& ask : asks)
    EXPECT_EQ(Ignored(rules, ask.path, false, '/'), ask.ignored) << ask.path;
  rules.RemoveLastFile();
  EXPECT_TRUE(Ignored(rules, "keep.txt", false, '/'));
  EXPECT_TRUE(Ignored(rules, "top", false, '/'));
  rules.RemoveLastFile();
  rules.RemoveLastFile();
  EXPECT_FALSE(Ignored(rules, "top", false, '/'));
}

// Many stars cost time in proportion to the pattern and the name, never more: a hostile
// pattern cannot stall the walk (a backtracking matcher would take ages here).
TEST(IgnoreRules, ManyStarsStayLinear) {
  std::string pattern;
  for (int i = 0; i < 2000; ++i)
    pattern += "*a";
  pattern += "b";
  std::optional<Wildcards> wildcards = Wildcards::Compile(pattern, CaseRule::kSensitive);
  ASSERT_TRUE(wildcards);
  EXPECT_FALSE(wildcards->Matches(std::string(5000, 'a'), '/'));
  EXPECT_TRUE(wildcards->Matches(std::string(5000, 'a') + "b", '/'));
}

}  // namespace
}  // namespace quillpack
