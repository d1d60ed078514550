#include "merged/source_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillpack {
namespace {

using Names = std::vector<std::string>;

TEST(SplitNameList, NulOrLineEnds) {
  using namespace std::string_literals;
  struct Case {
    std::string bytes;
    Names names;
  };
  const Case cases[] = {
      {"", {}},
      {"a.txt", {"a.txt"}},
      {"a.txt\nsub/b.txt\n", {"a.txt", "sub/b.txt"}},
      {"a.txt\r\nb.txt\r\n\r\n\nc.txt", {"a.txt", "b.txt", "c.txt"}},
      // Only the CR of a CR LF goes; any other stays, for the name to be refused as given.
      {"a\rb\r\r\n", {"a\rb\r"}},
      // One NUL anywhere makes NUL the only separator: line ends are then name bytes.
      {"a.txt\0sub/b.txt\0"s, {"a.txt", "sub/b.txt"}},
      {"new\nline\0\0tail"s, {"new\nline", "tail"}},
      {"\0"s, {}},
      {"lead\x1a"
       "z\n",
       {"lead\x1az"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitNameList(c.bytes), c.names) << testing::PrintToString(c.bytes);
  }
}

// The same names under both rule sets: "/" separates everywhere, "\\" and colons only
// where Win32 rules cut paths at them.
TEST(PathBelowDirectory, BothRuleSets) {
  constexpr const char* kOutside = nullptr;
  struct Case {
    std::string listed;
    const char* windows;
    const char* posix;
  };
  const Case cases[] = {
      {"a.txt", "a.txt", "a.txt"},
      {"sub/b.txt", "sub\\b.txt", "sub/b.txt"},
      {"./sub//./b.txt", "sub\\b.txt", "sub/b.txt"},
      {"sub\\b.txt", "sub\\b.txt", "sub\\b.txt"},
      {"sub/", "sub", "sub"},
      {".", "", ""},
      {"/etc/passwd", kOutside, kOutside},
      {"\\server\\share", kOutside, "\\server\\share"},
      {"../up.txt", kOutside, kOutside},
      {"sub/../b.txt", kOutside, kOutside},
      {"sub\\..\\b.txt", kOutside, "sub\\..\\b.txt"},
      {"..hidden", "..hidden", "..hidden"},
      {"sub/.../b", kOutside, "sub/.../b"},
      {"sub/. ./b", kOutside, "sub/. ./b"},
      {"C:x.txt", kOutside, "C:x.txt"},
      {"a.txt:stream", kOutside, "a.txt:stream"},
  };
  for (const Case& c : cases) {
    for (auto [rules, expected] :
         {std::pair{WindowsPathRules(), c.windows}, std::pair{PosixPathRules(), c.posix}}) {
      std::string path = "left over";
      bool below = PathBelowDirectory(c.listed, &path, rules);
      std::string host = rules.pathDelimiter == '\\' ? "windows " : "posix ";
      EXPECT_EQ(below, expected != kOutside) << host << c.listed;
      EXPECT_EQ(path, expected ? expected : "") << host << c.listed;
    }
  }
}

// A trail byte that looks like "\\" separates nothing where a double-byte code page is on.
TEST(PathBelowDirectory, TrailBytesAreNoSeparators) {
  platform::LeadByteSet lead;
  lead.set(0x81);
  std::string path;
  EXPECT_TRUE(PathBelowDirectory("dir/\x81\\name", &path, WindowsPathRules(lead)));
  EXPECT_EQ(path, "dir\\\x81\\name");
  EXPECT_TRUE(PathBelowDirectory("\x81\\", &path, WindowsPathRules(lead)));
  EXPECT_EQ(path, "\x81\\");
}

}  // namespace
}  // namespace quillpack
