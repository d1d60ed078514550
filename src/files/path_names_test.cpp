#include "files/path_names.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quillpack {
namespace {

using namespace std::string_view_literals;

// Bytes that are not plain characters in hexadecimal, so that a failing input reads.
std::string Shown(std::string_view text) {
  std::string shown = "\"";
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", byte);
      shown += hex;
    }
  }
  return shown + "\"";
}

PathRules DoubleByteRules() {
  platform::LeadByteSet leadBytes;
  leadBytes.set(0x95);
  return WindowsPathRules(leadBytes);
}

struct PathCase {
  std::string_view path;
  std::string_view directoryPart;
  std::string_view directory;
  std::string_view withDelimiter;
};

void ExpectPathCases(const PathRules& rules, std::span<const PathCase> cases) {
  for (const PathCase& c : cases) {
    EXPECT_EQ(DirectoryPartOf(c.path, rules), c.directoryPart) << Shown(c.path);
    EXPECT_EQ(DirectoryOf(c.path, rules), c.directory) << Shown(c.path);
    EXPECT_EQ(WithTrailingDelimiter(c.path, rules), c.withDelimiter) << Shown(c.path);
  }
}

TEST(PathRules, HostRulesFollowTheHost) {
  const PathRules& host = HostPathRules();
  EXPECT_EQ(&host, &HostPathRules());
  if (platform::kHostSystem == platform::HostSystem::kWindows) {
    EXPECT_EQ(host.delimiters, "\\:");
    EXPECT_EQ(host.leadBytes, platform::AnsiLeadBytes());
    EXPECT_EQ(host.multiByteActive, host.leadBytes.any());
    EXPECT_EQ(DirectoryPartOf("C:/x"), "C:");
  } else {
    EXPECT_EQ(host.delimiters, "/");
    EXPECT_FALSE(host.multiByteActive);
    EXPECT_EQ(DirectoryPartOf("C:/x"), "C:/");
  }
}

TEST(PathNames, WindowsSingleByteTable) {
  const PathCase cases[] = {
      {R"(C:\dir\file.txt)", R"(C:\dir\)", R"(C:\dir)", R"(C:\dir\file.txt\)"},
      {R"(C:\file.txt)", R"(C:\)", R"(C:\)", R"(C:\file.txt\)"},
      {R"(C:file.txt)", R"(C:)", R"(C:)", R"(C:file.txt\)"},
      {R"(C:)", R"(C:)", R"(C:)", R"(C:\)"},
      {R"(C:\)", R"(C:\)", R"(C:\)", R"(C:\)"},
      {R"(\file.txt)", R"(\)", R"(\)", R"(\file.txt\)"},
      {R"(\)", R"(\)", R"(\)", R"(\)"},
      {R"(file.txt)", "", "", R"(file.txt\)"},
      {"", "", "", R"(\)"},
      {R"(dir\)", R"(dir\)", R"(dir)", R"(dir\)"},
      {R"(dir\\)", R"(dir\\)", R"(dir\\)", R"(dir\\)"},
      {R"(\\server\share\file.txt)", R"(\\server\share\)", R"(\\server\share)",
       R"(\\server\share\file.txt\)"},
      {R"(\\server\share)", R"(\\server\)", R"(\\server)", R"(\\server\share\)"},
      {R"(a/b/c.txt)", "", "", R"(a/b/c.txt\)"},
      {R"(C:/x/y.txt)", R"(C:)", R"(C:)", R"(C:/x/y.txt\)"},
      {R"(dir\*.*)", R"(dir\)", R"(dir)", R"(dir\*.*\)"},
      // Without a double-byte code page a 0x95 byte is a character of its own.
      {"\x95\\", "\x95\\", "\x95", "\x95\\"},
  };
  ExpectPathCases(WindowsPathRules(), cases);
}

TEST(PathNames, WindowsDoubleByteTable) {
  const PathCase cases[] = {
      {"\x95\\", "", "", "\x95\\\\"},
      {"dir\\\x95\\", "dir\\", "dir", "dir\\\x95\\\\"},
      {"dir\\\x95\\\\f.txt", "dir\\\x95\\\\", "dir\\\x95\\", "dir\\\x95\\\\f.txt\\"},
      {"\x95\x95\\", "\x95\x95\\", "\x95\x95", "\x95\x95\\"},
      {"\x95:", "", "", "\x95:\\"},
  };
  ExpectPathCases(DoubleByteRules(), cases);

  // The lead bytes count only while double-byte handling is on.
  PathRules inactive = DoubleByteRules();
  inactive.multiByteActive = false;
  EXPECT_EQ(DirectoryPartOf("\x95\\", inactive), "\x95\\");
}

TEST(PathNames, PosixTable) {
  const PathCase cases[] = {
      {"/dir/file.txt", "/dir/", "/dir", "/dir/file.txt/"},
      {"/file.txt", "/", "/", "/file.txt/"},
      {"/", "/", "/", "/"},
      {"file.txt", "", "", "file.txt/"},
      {"", "", "", "/"},
      {"dir/", "dir/", "dir", "dir/"},
      {"dir//", "dir//", "dir//", "dir//"},
      {"./x", "./", ".", "./x/"},
      {"//server/share/file.txt", "//server/share/", "//server/share", "//server/share/file.txt/"},
      {"//server/share", "//server/", "//server", "//server/share/"},
      {"dir/*.*", "dir/", "dir", "dir/*.*/"},
      // Backslash and colon are ordinary bytes.
      {R"(a\b\c.txt)", "", "", R"(a\b\c.txt/)"},
      {"C:/x/y.txt", "C:/x/", "C:/x", "C:/x/y.txt/"},
      {"C:file.txt", "", "", "C:file.txt/"},
      {"C:", "", "", "C:/"},
      {R"(C:\)", "", "", R"(C:\/)"},
      {"dir:/", "dir:/", "dir:", "dir:/"},
      // No lead bytes on POSIX: a slash after any byte cuts.
      {"\x95/", "\x95/", "\x95", "\x95/"},
  };
  ExpectPathCases(PosixPathRules(), cases);
}

TEST(ByteKindAt, CountsTheLeadRunBefore) {
  struct Case {
    std::string_view value;
    int32_t position;
    ByteKind kind;
  };
  const Case cases[] = {
      {"\x95x", 1, ByteKind::kLead},
      {"\x95x", 2, ByteKind::kTrail},
      {"\x95x", 3, ByteKind::kSingle},  // just past the end reads as NUL
      {"\x95", 2, ByteKind::kSingle},   // even right after an open lead byte
      {"\x95x", 0, ByteKind::kSingle},
      {"\x95x", -1, ByteKind::kSingle},
      {"\x95x", 9, ByteKind::kSingle},
      {"", 1, ByteKind::kSingle},
      {"a\x95\x95\x95\\", 1, ByteKind::kSingle},
      {"a\x95\x95\x95\\", 2, ByteKind::kLead},
      {"a\x95\x95\x95\\", 3, ByteKind::kTrail},
      {"a\x95\x95\x95\\", 4, ByteKind::kLead},
      {"a\x95\x95\x95\\", 5, ByteKind::kTrail},
      {"\x95\x95\\", 3, ByteKind::kSingle},
      {"\x95x\x95\\", 4, ByteKind::kTrail},  // the run stops at the 'x'
      {"\x95\0"sv, 2, ByteKind::kSingle},    // NUL never completes a character
  };
  PathRules rules = DoubleByteRules();
  for (const Case& c : cases) {
    EXPECT_EQ(ByteKindAt(c.value, c.position, rules), c.kind)
        << Shown(c.value) << " at " << c.position;
  }
  EXPECT_EQ(ByteKindAt("\x95x", 1, WindowsPathRules()), ByteKind::kSingle);
  EXPECT_EQ(ByteKindAt("\x95x", 2, WindowsPathRules()), ByteKind::kSingle);
}

TEST(LastDelimiterPosition, SkipsTrailBytesAndTheirLeads) {
  struct Case {
    std::string_view delimiters;
    std::string_view value;
    int32_t position;
  };
  const Case cases[] = {
      {"\\:", "", 0},
      {"\\:", "abc", 0},
      {"\\:", "a\\b:c", 4},
      {"\\:", "\\", 1},
      {".", "a.b.c", 4},
      {"", "a\\b", 0},
      {"\\:", "\\\x95\\", 1},
      {"\\:", "\x95\x95\\", 3},
      // The lead byte of a character whose trail is a delimiter is not looked at.
      {"\\\x95", "x\x95\\", 0},
      {"\0"sv, "a\0b"sv, 0},
      {"\\\0"sv, "a\\\0"sv, 2},
  };
  PathRules rules = DoubleByteRules();
  for (const Case& c : cases) {
    EXPECT_EQ(LastDelimiterPosition(c.delimiters, c.value, rules), c.position)
        << Shown(c.delimiters) << " in " << Shown(c.value);
  }
  EXPECT_EQ(LastDelimiterPosition("\\", "\\\x95\\", WindowsPathRules()), 3);
}

TEST(IsDelimiterAt, OnlyExistingSingleBytes) {
  struct Case {
    std::string_view value;
    int32_t position;
    bool delimiter;
    bool pathDelimiter;
  };
  const Case cases[] = {
      {"a\\b", 2, true, true},     {"a:b", 2, true, false},       {"a/b", 2, false, false},
      {"a\\b", 1, false, false},   {"\\", 0, false, false},       {"\\", -1, false, false},
      {"\\", 2, false, false},     {"", 1, false, false},         {"\x95\\", 2, false, false},
      {"\x95\\", 1, false, false}, {"\x95\x95\\", 3, true, true}, {"\0"sv, 1, false, false},
  };
  PathRules rules = DoubleByteRules();
  for (const Case& c : cases) {
    EXPECT_EQ(IsDelimiterAt(rules.delimiters, c.value, c.position, rules), c.delimiter)
        << Shown(c.value) << " at " << c.position;
    EXPECT_EQ(IsPathDelimiterAt(c.value, c.position, rules), c.pathDelimiter)
        << Shown(c.value) << " at " << c.position;
  }
  PathRules posix = PosixPathRules();
  EXPECT_TRUE(IsPathDelimiterAt("a/", 2, posix));
  EXPECT_FALSE(IsPathDelimiterAt("a\\", 2, posix));
  EXPECT_TRUE(IsDelimiterAt("/", "\x95/", 2, posix));
  EXPECT_FALSE(IsDelimiterAt("/", "a:", 2, posix));
}

// The host's form of a relative name written with "/".
std::string HostForm(std::string_view name) {
  std::string host(name);
  for (char& c : host) {
    if (c == '/') c = HostPathRules().pathDelimiter;
  }
  return host;
}

// A relative name of exactly `length` bytes, cut into steps short enough for any platform.
std::string RelativeNameOfLength(std::size_t length) {
  std::string name(length, 'a');
  for (std::size_t i = 99; i + 1 < length; i += 100)
    name[i] = HostPathRules().pathDelimiter;
  return name;
}

TEST(FullPathOf, ResolvesAgainstTheCurrentDirectory) {
  std::string here = WithTrailingDelimiter(CurrentDirectory());
  struct Case {
    std::string_view name;
    std::string_view tail;
  };
  const Case cases[] = {
      {"*.txt", "*.txt"}, {"a/./b/../c", "a/c"}, {"no_such_dir/x?.t*", "no_such_dir/x?.t*"},
      {"a//b", "a/b"},    {"./x", "x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FullPathOf(c.name), here + HostForm(c.tail)) << c.name;
  }
  EXPECT_EQ(FullPathOf(""), "");
  EXPECT_EQ(FullPathOf("."), CurrentDirectory());
  // A mask typed with "/" still cuts into the directory to search.
  EXPECT_EQ(DirectoryPartOf(FullPathOf("sub/*.txt")), here + HostForm("sub/"));
}

TEST(FullPathOf, AbsoluteNamesAndRoots) {
  if (platform::kHostSystem == platform::HostSystem::kWindows) {
    EXPECT_EQ(FullPathOf(R"(C:\x\..\y)"), R"(C:\y)");
    EXPECT_EQ(FullPathOf(R"(C:\x\..)"), R"(C:\)");
    EXPECT_EQ(WithTrailingDelimiter(FullPathOf(R"(C:\x\..)")), R"(C:\)");
  } else {
    EXPECT_EQ(FullPathOf("/x/../y"), "/y");
    EXPECT_EQ(FullPathOf("/x//y/./z"), "/x/y/z");
    EXPECT_EQ(FullPathOf("/.."), "/");
    EXPECT_EQ(WithTrailingDelimiter(FullPathOf("/x/..")), "/");
  }
}

TEST(FullPathOf, EmptyPastThePlatformLimit) {
  std::string here = WithTrailingDelimiter(CurrentDirectory());
  if (here.size() + 2 > platform::kMaxPathBytes) GTEST_SKIP() << "current directory too deep";
  std::string fits = RelativeNameOfLength(platform::kMaxPathBytes - here.size());
  EXPECT_EQ(FullPathOf(fits), here + fits);
  EXPECT_EQ(FullPathOf(fits + "a"), "");
  EXPECT_EQ(FullPathOf(RelativeNameOfLength(3 * platform::kMaxPathBytes)), "");
}

TEST(CurrentDirectory, EndsInOneDelimiterOnlyAtARoot) {
  std::string current = CurrentDirectory();
  ASSERT_FALSE(current.empty());
  // Only a root keeps its final delimiter, so cutting the ensured one gives it back.
  EXPECT_EQ(DirectoryOf(WithTrailingDelimiter(current)), current);
  if (platform::kHostSystem == platform::HostSystem::kPosix) {
    EXPECT_EQ(current.front(), '/');
  }
}

}  // namespace
}  // namespace quillpack
