// The platform's contract for directory enumeration, natively and under Wine: masks by
// the Win32 rules, the attributes each entry carries, and listings through a held
// directory.

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/temporary_directory.h"

namespace quillpack::platform {
namespace {

using quillpack::test_support::TemporaryDirectory;

std::map<std::string, uint32_t> AttributesFound(const std::string& pattern, EntryDetail detail) {
  Search search;
  FoundEntry entry;
  std::map<std::string, uint32_t> found;
  int32_t code = FindFirst(pattern, &search, &entry, detail);
  while (code == 0) {
    found[entry.name] = entry.attributes;
    code = FindNext(search, &entry);
  }
  EXPECT_EQ(code, kNoMoreFiles);
  return found;
}

TEST(Platform, EnumeratesWithAttributes) {
  TemporaryDirectory dir;
  dir.Write("b.txt", "bb");
  dir.Write("A.TXT", "a");
  std::filesystem::create_directory(dir.Path("sub.txt"));
  std::map<std::string, uint32_t> found = AttributesFound(dir.Path("*.txt"), EntryDetail::kFull);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found["A.TXT"] & kAttributeDirectory, 0u);
  EXPECT_EQ(found["b.txt"] & kAttributeDirectory, 0u);
  EXPECT_NE(found["sub.txt"] & kAttributeDirectory, 0u);
}

// Names and kinds only: every attribute but the read-only bit as a full listing has it,
// links classed by what they lead to.
TEST(Platform, EnumeratesNamesAndKinds) {
  TemporaryDirectory dir;
  dir.Write("file.txt", "f");
  dir.Write(".hidden.txt", "h");
  std::filesystem::create_directory(dir.Path("sub.txt"));
  if (kHostSystem == HostSystem::kPosix) {
    std::filesystem::create_symlink(dir.Path("sub.txt"), dir.Path("to-sub.txt"));
    std::filesystem::create_symlink(dir.Path("file.txt"), dir.Path("to-file.txt"));
    std::filesystem::create_symlink(dir.Path("nowhere"), dir.Path("dangling.txt"));
  }
  std::map<std::string, uint32_t> full = AttributesFound(dir.Path("*.txt"), EntryDetail::kFull);
  std::map<std::string, uint32_t> kinds =
      AttributesFound(dir.Path("*.txt"), EntryDetail::kNamesAndKinds);
  ASSERT_EQ(kinds.size(), full.size());
  for (const auto& [name, attributes] : full)
    EXPECT_EQ(kinds[name] & ~kAttributeReadOnly, attributes & ~kAttributeReadOnly) << name;
}

// A plain name is one lookup where it exists as spelled; only a name missing in that case
// lists the others, so twins that differ in case come back both.
TEST(Platform, PlainNameIgnoresCaseOnlyWhenMissingAsSpelled) {
  TemporaryDirectory dir;
  dir.Write("a.txt", "a");
  dir.Write("Makefile", "m");
  auto names = [](const std::string& pattern) {
    std::map<std::string, uint32_t> found = AttributesFound(pattern, EntryDetail::kFull);
    std::string joined;
    for (const auto& [name, attributes] : found)
      joined += name + ";";
    return joined;
  };
  EXPECT_EQ(names(dir.Path("A.TXT")), "a.txt;");
  EXPECT_EQ(names(dir.Path("MAKEFILE.")), "Makefile;");
  // Windows holds no case twins; and Wine, which runs these tests, lists every name for
  // "*." where Windows lists the names without a dot.
  if (kHostSystem == HostSystem::kWindows) return;
  EXPECT_EQ(names(dir.Path("*.")), "Makefile;");
  dir.Write("A.TXT", "A");
  EXPECT_EQ(names(dir.Path("A.TXT")), "A.TXT;");
  EXPECT_EQ(names(dir.Path("a.txt")), "a.txt;");
  EXPECT_EQ(names(dir.Path("A.txt")), "A.TXT;a.txt;");
}

// A held directory is listed and its files warmed through the handle, whatever its path
// names meanwhile.
TEST(Platform, ListsAndWarmsThroughAHeldDirectory) {
  TemporaryDirectory dir;
  std::filesystem::create_directory(dir.Path("top"));
  dir.Write("top/a.txt", "aaaa");
  dir.Write("top/b.md", "b");
  Directory top;
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath("top"), &top), 0);
  std::error_code moved;
  std::filesystem::rename(dir.Path("top"), dir.Path("top.old"), moved);
  if (!moved && std::filesystem::create_directory(dir.Path("top"))) {
    dir.Write("top/other.txt", "x");
  }
  auto listed = [&](const std::string& mask) {
    Search search;
    FoundEntry entry;
    std::string names;
    for (int32_t code = FindFirstIn(top, mask, &search, &entry); code == 0;
         code = FindNext(search, &entry)) {
      names += entry.name + ";";
    }
    return names;
  };
  EXPECT_EQ(listed("*.txt"), "a.txt;");
  EXPECT_EQ(listed("A.TXT"), "a.txt;") << "a plain name ignores case too";
  EXPECT_EQ(listed("*.none"), "");
  EXPECT_EQ(WarmFileIn(top, "a.txt", 2), kHostSystem == HostSystem::kPosix ? 0u : 2u)
      << "just written, so in the cache already where the host can tell";
  EXPECT_EQ(WarmFileIn(top, "missing.txt", 2), 0u);
}

TEST(Platform, SearchFailures) {
  TemporaryDirectory dir;
  Search search;
  FoundEntry entry;
  EXPECT_EQ(FindFirst(dir.Path("*.none"), &search, &entry), kFileNotFound);
  EXPECT_FALSE(search.IsOpen());
  EXPECT_NE(FindFirst(dir.Path("missing") + "/*.txt", &search, &entry), 0);
  EXPECT_FALSE(search.IsOpen());
  EXPECT_EQ(FindNext(search, &entry), kNoMoreFiles) << "no search is open";
}

}  // namespace
}  // namespace quillpack::platform
