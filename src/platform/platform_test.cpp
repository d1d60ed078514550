// The contract of the platform layer, run against whichever backend the build links:
// natively for POSIX, under Wine for Win32. Where the two must agree, they are held to
// the same expectations.

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "testing/temporary_directory.h"

namespace quillpack::platform {
namespace {

using quillpack::testing::ReadBytes;
using quillpack::testing::TemporaryDirectory;

class Held {
 public:
  explicit Held(Handle handle) : handle_(handle) {}
  ~Held() {
    if (handle_ != kNoHandle) CloseFileHandle(handle_);
  }
  Handle get() const { return handle_; }

 private:
  Handle handle_;
};

int32_t OpenCode(const std::string& name, bool forWriting) {
  Handle handle = kNoHandle;
  int32_t code =
      forWriting ? CreateForWriting(name, &handle) : OpenExistingForReading(name, &handle);
  if (code == 0) CloseFileHandle(handle);
  return code;
}

TEST(Platform, WritesAndReadsBack) {
  TemporaryDirectory dir;
  std::string path = dir.Path("data.bin");
  Handle handle = kNoHandle;
  ASSERT_EQ(CreateForWriting(path, &handle), 0);
  std::string bytes(300000, 'b');
  EXPECT_EQ(WriteAll(handle, bytes.data(), bytes.size()), 0);
  EXPECT_EQ(KindOf(handle), DeviceKind::kDisk);
  EXPECT_EQ(CloseFileHandle(handle), 0);

  uint64_t size = 0;
  ASSERT_EQ(OpenExistingForReading(path, &handle, nullptr, &size), 0);
  Held reader(handle);
  EXPECT_EQ(size, bytes.size());
  char buffer[128];
  std::size_t count = 0;
  EXPECT_EQ(ReadSome(handle, buffer, sizeof buffer, &count), 0);
  EXPECT_EQ(count, sizeof buffer);
  EXPECT_EQ(ReadBytes(path), bytes);
}

TEST(Platform, CreatingEmptiesAnExistingFile) {
  TemporaryDirectory dir;
  std::string path = dir.Write("old.txt", "old bytes");
  EXPECT_EQ(OpenCode(path, true), 0);
  EXPECT_EQ(ReadBytes(path), "");
}

// Only a name that holds nothing is created; whatever is there is left as it was.
TEST(Platform, CreatingNewOnly) {
  TemporaryDirectory dir;
  std::string file = dir.Write("old.txt", "old bytes");
  std::filesystem::create_directory(dir.Path("sub"));
  Handle handle = kNoHandle;
  EXPECT_EQ(CreateNewForWriting(file, &handle), kFileExists);
  EXPECT_EQ(handle, kNoHandle);
  EXPECT_EQ(ReadBytes(file), "old bytes");
  EXPECT_NE(CreateNewForWriting(dir.Path("sub"), &handle), 0);
  EXPECT_EQ(CreateNewForWriting(dir.Path("missing-dir") + "/x.txt", &handle), kPathNotFound);

  std::string fresh = dir.Path("new.txt");
  DeviceKind kind = DeviceKind::kUnknown;
  ASSERT_EQ(CreateNewForWriting(fresh, &handle, &kind), 0);
  Held writer(handle);
  EXPECT_EQ(kind, DeviceKind::kDisk);
  EXPECT_EQ(OpenCode(fresh, false), kSharingViolation) << "held as any written file";
  if (kHostSystem == HostSystem::kPosix) {
    std::filesystem::create_symlink(dir.Path("nowhere"), dir.Path("dangling"));
    EXPECT_EQ(CreateNewForWriting(dir.Path("dangling"), &handle), kFileExists);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("nowhere")));
  }
}

TEST(Platform, FailureCodes) {
  TemporaryDirectory dir;
  std::string missingDir = dir.Path("missing-dir");
  std::filesystem::create_directory(dir.Path("sub"));
  struct Case {
    const char* label;
    std::string name;
    bool forWriting;
    int32_t code;
  };
  const Case cases[] = {
      {"missing file", dir.Path("missing.txt"), false, kFileNotFound},
      {"missing directory", missingDir + "/x.txt", false, kPathNotFound},
      {"missing directory, writing", missingDir + "/x.txt", true, kPathNotFound},
      {"directory read as a file", dir.Path("sub"), false, kAccessDenied},
      {"directory written as a file", dir.Path("sub"), true, kAccessDenied},
  };
  for (const Case& c : cases)
    EXPECT_EQ(OpenCode(c.name, c.forWriting), c.code) << c.label;
}

TEST(Platform, ReadOnlySharingAlsoInsideOneProcess) {
  TemporaryDirectory dir;
  std::string path = dir.Write("shared.txt", "x");
  Handle first = kNoHandle;
  ASSERT_EQ(OpenExistingForReading(path, &first), 0);
  {
    Held reader(first);
    EXPECT_EQ(OpenCode(path, false), 0) << "a second reader";
    EXPECT_EQ(OpenCode(path, true), kSharingViolation) << "a writer beside a reader";
    EXPECT_EQ(ReadBytes(path), "x") << "the refused writer emptied nothing";
  }
  Handle writer = kNoHandle;
  ASSERT_EQ(CreateForWriting(path, &writer), 0);
  Held held(writer);
  EXPECT_EQ(OpenCode(path, false), kSharingViolation) << "a reader beside a writer";
  EXPECT_EQ(OpenCode(path, true), kSharingViolation) << "a second writer";
}

std::map<std::string, uint32_t> AttributesFound(const std::string& pattern, EntryDetail detail) {
  SearchHandle search = kNoSearch;
  FoundEntry entry;
  std::map<std::string, uint32_t> found;
  int32_t code = FindFirst(pattern, &search, &entry, detail);
  while (code == 0) {
    found[entry.name] = entry.attributes;
    code = FindNext(search, &entry);
  }
  FindClose(search);
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

TEST(Platform, SearchFailures) {
  TemporaryDirectory dir;
  SearchHandle search = kNoSearch;
  FoundEntry entry;
  EXPECT_EQ(FindFirst(dir.Path("*.none"), &search, &entry), kFileNotFound);
  EXPECT_EQ(search, kNoSearch);
  EXPECT_NE(FindFirst(dir.Path("missing") + "/*.txt", &search, &entry), 0);
  EXPECT_EQ(search, kNoSearch);
}

TEST(Platform, FullPathResolvesAgainstTheCurrentDirectory) {
  std::string current = CurrentDirectoryName();
  ASSERT_FALSE(current.empty());
  std::string full = FullPathName("some-name.txt");
  EXPECT_EQ(full.substr(0, current.size()), current);
  EXPECT_EQ(full.substr(full.size() - 13), "some-name.txt");
  EXPECT_EQ(FullPathName(""), "");
  EXPECT_EQ(FullPathName("*.txt").substr(full.size() - 13), "*.txt");
}

TEST(Platform, LocaleCompareIgnoringCase) {
  EXPECT_EQ(LocaleCompare("A.txt", "a.TXT", CaseRule::kIgnoreCase), 0);
  EXPECT_EQ(LocaleCompare("a", "b", CaseRule::kIgnoreCase), -1);
  EXPECT_EQ(LocaleCompare("B", "a", CaseRule::kIgnoreCase), 1);
  EXPECT_EQ(LocaleCompare("", "", CaseRule::kIgnoreCase), 0);
  EXPECT_EQ(LocaleCompare("", "a", CaseRule::kIgnoreCase), -1);
  EXPECT_NE(LocaleCompare("A", "a", CaseRule::kSensitive), 0);
}

TEST(Platform, ModuleOfACodeAddress) {
  char name[261];
  uintptr_t offset = 0;
  DescribeCodeAddress(reinterpret_cast<const void*>(&FullPathName), name, sizeof name, &offset);
  std::string module = name;
  EXPECT_NE(module.find("quillpack_tests"), std::string::npos) << module;
  EXPECT_EQ(module.find_first_of("/\\"), std::string::npos) << module;
  EXPECT_GT(offset, 0u);
}

}  // namespace
}  // namespace quillpack::platform
