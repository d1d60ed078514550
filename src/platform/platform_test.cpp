// The contract of the platform layer, run against whichever backend the build links:
// natively for POSIX, under Wine for Win32. Where the two must agree, they are held to
// the same expectations. This file holds files and standard handles, paths, collation,
// code addresses and warming; held directories, enumeration and (POSIX) the access a new
// file takes have files of their own beside it.

#include "platform/platform.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>

#include "support/temporary_directory.h"

namespace quillpack::platform {
namespace {

using quillpack::test_support::ReadBytes;
using quillpack::test_support::TemporaryDirectory;

// The code of an open; the handle, if any, closes at once.
int32_t OpenCode(const std::string& name, bool forWriting) {
  OwnedHandle handle;
  return forWriting ? CreateForWriting(name, &handle) : OpenExistingForReading(name, &handle);
}

TEST(Platform, WritesAndReadsBack) {
  TemporaryDirectory dir;
  std::string path = dir.Path("data.bin");
  OwnedHandle handle;
  ASSERT_EQ(CreateForWriting(path, &handle), 0);
  std::string bytes(300000, 'b');
  EXPECT_EQ(WriteAll(handle.get(), bytes.data(), bytes.size()), 0);
  // Two pieces, either of them empty, go out whole and in order.
  std::string second(200000, 'c');
  EXPECT_EQ(WriteAllOfTwo(handle.get(), "head", second), 0);
  EXPECT_EQ(WriteAllOfTwo(handle.get(), "", "tail"), 0);
  EXPECT_EQ(WriteAllOfTwo(handle.get(), "end", ""), 0);
  bytes += "head" + second + "tail" + "end";
  EXPECT_EQ(KindOf(handle.get()), DeviceKind::kDisk);
  EXPECT_EQ(handle.Close(), 0);
  EXPECT_FALSE(handle.IsOpen());

  uint64_t size = 0;
  ASSERT_EQ(OpenExistingForReading(path, &handle, nullptr, &size), 0);
  EXPECT_EQ(size, bytes.size());
  char buffer[128];
  std::size_t count = 0;
  EXPECT_EQ(ReadSome(handle.get(), buffer, sizeof buffer, &count), 0);
  EXPECT_EQ(count, sizeof buffer);
  EXPECT_EQ(ReadBytes(path), bytes);
}

// Only a terminal counts as one: the null device is a character device like any other,
// which the runtime then feeds as it feeds a pipe.
TEST(Platform, OnlyATerminalIsATerminal) {
  const std::string nullDevice = kHostSystem == HostSystem::kWindows ? "NUL" : "/dev/null";
  OwnedHandle handle;
  DeviceKind kind = DeviceKind::kUnknown;
  ASSERT_EQ(OpenExistingForReading(nullDevice, &handle, &kind), 0);
  EXPECT_EQ(kind, DeviceKind::kCharacter);
  EXPECT_EQ(KindOf(handle.get()), DeviceKind::kCharacter);
#ifndef _WIN32
  int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  OwnedHandle master(terminal);
  ASSERT_EQ(grantpt(terminal), 0);
  ASSERT_EQ(unlockpt(terminal), 0);
  ASSERT_EQ(OpenExistingForReading(ptsname(terminal), &handle, &kind), 0);
  EXPECT_EQ(kind, DeviceKind::kTerminal);
  EXPECT_EQ(KindOf(handle.get()), DeviceKind::kTerminal);
#endif
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
  OwnedHandle handle;
  EXPECT_EQ(CreateNewForWriting(file, &handle), kFileExists);
  EXPECT_FALSE(handle.IsOpen());
  EXPECT_EQ(ReadBytes(file), "old bytes");
  EXPECT_NE(CreateNewForWriting(dir.Path("sub"), &handle), 0);
  EXPECT_EQ(CreateNewForWriting(dir.Path("missing-dir") + "/x.txt", &handle), kPathNotFound);

  std::string fresh = dir.Path("new.txt");
  DeviceKind kind = DeviceKind::kUnknown;
  OwnedHandle writer;
  ASSERT_EQ(CreateNewForWriting(fresh, &writer, &kind), 0);
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
  std::string inMissingDir = dir.Path("missing-dir") + "/x.txt";
  std::string sub = dir.Path("sub");
  std::filesystem::create_directory(sub);
  EXPECT_EQ(OpenCode(dir.Path("missing.txt"), false), kFileNotFound) << "missing file";
  EXPECT_EQ(OpenCode(inMissingDir, false), kPathNotFound) << "missing directory";
  EXPECT_EQ(OpenCode(inMissingDir, true), kPathNotFound) << "missing directory, writing";
  EXPECT_EQ(OpenCode(sub, false), kAccessDenied) << "directory read as a file";
  EXPECT_EQ(OpenCode(sub, true), kAccessDenied) << "directory written as a file";
}

TEST(Platform, ReadOnlySharingAlsoInsideOneProcess) {
  TemporaryDirectory dir;
  std::string path = dir.Write("shared.txt", "x");
  OwnedHandle reader;
  ASSERT_EQ(OpenExistingForReading(path, &reader), 0);
  {
    EXPECT_EQ(OpenCode(path, false), 0) << "a second reader";
    EXPECT_EQ(OpenCode(path, true), kSharingViolation) << "a writer beside a reader";
    EXPECT_EQ(ReadBytes(path), "x") << "the refused writer emptied nothing";
  }
  reader.Close();
  OwnedHandle writer;
  ASSERT_EQ(CreateForWriting(path, &writer), 0);
  EXPECT_EQ(OpenCode(path, false), kSharingViolation) << "a reader beside a writer";
  EXPECT_EQ(OpenCode(path, true), kSharingViolation) << "a second writer";
}

// A name that holds a NUL byte cannot reach the system whole: every call refuses it with
// one code on both backends, and nothing is made under the part before the NUL.
TEST(Platform, NamesHoldingNulAreRefused) {
  TemporaryDirectory dir;
  std::string file = dir.Write("f.txt", "f");
  std::string nul(1, '\0');
  Directory top;
  ASSERT_EQ(OpenDirectory(dir.DirectoryPath(), &top), 0);
  OwnedHandle handle;
  Search search;
  FoundEntry entry;
  FileIdentity identity;
  bool within = false;
  struct Case {
    const char* call;
    int32_t code;
  };
  const Case cases[] = {
      {"OpenExistingForReading", OpenExistingForReading(file + nul, &handle)},
      {"CreateForWriting", CreateForWriting(file + nul + "x", &handle)},
      {"CreateNewForWriting", CreateNewForWriting(dir.Path("new.txt") + nul, &handle)},
      {"IdentifyFile", IdentifyFile(file + nul, &identity)},
      {"FindFirst", FindFirst(file + nul, &search, &entry)},
      {"FindFirstIn", FindFirstIn(top, "f.txt" + nul, &search, &entry)},
      {"OpenDirectory", OpenDirectory(dir.DirectoryPath() + nul, &top)},
      {"OpenExistingForReadingIn", OpenExistingForReadingIn(top, "f.txt" + nul, &handle)},
      {"CreateNewFileIn", CreateNewFileIn(top, "new.txt" + nul, &handle, nullptr)},
      {"HoldForReplacingIn", HoldForReplacingIn(top, "f.txt" + nul, &handle)},
      {"OpenSubdirectory", OpenSubdirectory(top, "sub" + nul, &top)},
      {"CreateSubdirectoryIn", CreateSubdirectoryIn(top, "sub" + nul)},
      {"RenameIn", RenameIn(top, "f.txt", "g.txt" + nul)},
      {"RenameUnlessTakenIn", RenameUnlessTakenIn(top, "f.txt" + nul, "g.txt")},
      {"RemoveFileIn", RemoveFileIn(top, "f.txt" + nul)},
      {"FollowLinkIn", FollowLinkIn(top, top, "f.txt" + nul, &within, &identity)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.code, kPathNotFound) << c.call;
  EXPECT_EQ(LookUpEntry(top, "f.txt" + nul), EntryKind::kMissing);
  EXPECT_EQ(FullPathName("f.txt" + nul), "");
  EXPECT_EQ(ReadBytes(file), "f");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("new.txt")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("sub")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("g.txt")));
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
  // Long shared prefixes, with the difference or a case-only difference past eight bytes.
  const std::string stem = "small-file-0000";
  EXPECT_EQ(LocaleCompare(stem + "1.txt", stem + "2.txt", CaseRule::kIgnoreCase), -1);
  EXPECT_EQ(LocaleCompare(stem + "2.TXT", stem + "1.txt", CaseRule::kIgnoreCase), 1);
  EXPECT_EQ(LocaleCompare("SMALL-FILE-00001.TXT", stem + "1.txt", CaseRule::kIgnoreCase), 0);
  EXPECT_EQ(LocaleCompare(stem + "1.txt", stem + "1.txt.bak", CaseRule::kIgnoreCase), -1);
  EXPECT_NE(LocaleCompare("SMALL-FILE-00001.TXT", stem + "1.txt", CaseRule::kSensitive), 0);
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

// Drops a file from the cache where the host lets a test do so (POSIX, on a file system
// with a cache of its own), so that warming it has something to ask for.
void DropFromCache(const std::string& name) {
#ifndef _WIN32
  int fd = open(name.c_str(), O_RDONLY);
  if (fd < 0) return;
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
#else
  (void)name;
#endif
}

// Warming is a hint: whatever the name, it answers with the bytes it asked for and leaves
// the file free for everyone, also while another holds it for writing. POSIX asks for
// nothing when the file's start is in the cache already.
TEST(Platform, WarmFile) {
  TemporaryDirectory dir;
  std::string file = dir.Write("five.txt", std::string(5000, 'w'));
  std::filesystem::create_directory(dir.Path("sub"));
  bool askedOnlyIfNeeded = kHostSystem == HostSystem::kPosix;
  struct Case {
    const char* label;
    std::string name;
    uint64_t maxBytes;
    uint64_t bytes;
  };
  const Case cases[] = {
      {"first bytes", file, 100, 100},
      {"whole file", file, 1 << 20, 5000},
      {"nothing asked", file, 0, 0},
      {"empty file", dir.Write("empty.txt", ""), 1 << 20, 0},
      {"missing", dir.Path("missing.txt"), 1 << 20, 0},
      {"missing directory", dir.Path("missing-dir") + "/x.txt", 1 << 20, 0},
      {"directory", dir.Path("sub"), 1 << 20, 0},
      {"NUL in the name", file + std::string(1, '\0'), 1 << 20, 0},
  };
  for (const Case& c : cases) {
    DropFromCache(c.name);
    uint64_t bytes = WarmFile(c.name, c.maxBytes);
    bool inTheCache = askedOnlyIfNeeded && bytes == 0;
    EXPECT_TRUE(bytes == c.bytes || inTheCache) << c.label << ": " << bytes;
  }
  if (askedOnlyIfNeeded) {
    ReadBytes(file);
    EXPECT_EQ(WarmFile(file, 1 << 20), 0U) << "in the cache after a read";
  }

  std::string held = dir.Path("held.txt");
  {
    OwnedHandle writer;
    ASSERT_EQ(CreateForWriting(held, &writer), 0);
    EXPECT_EQ(WriteAll(writer.get(), "abc", 3), 0);
    uint64_t bytes = WarmFile(held, 1 << 20);
    EXPECT_TRUE(bytes == 3 || (askedOnlyIfNeeded && bytes == 0)) << "beside a writer";
    EXPECT_EQ(WriteAll(writer.get(), "def", 3), 0);
  }
  EXPECT_EQ(ReadBytes(held), "abcdef");
  EXPECT_EQ(OpenCode(held, true), 0) << "nothing left open or locked";
  EXPECT_EQ(OpenCode(file, true), 0) << "nothing left open or locked";
#ifndef _WIN32
  std::string fifo = dir.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(WarmFile(fifo, 1 << 20), 0U) << "a FIFO, without waiting for a writer";
#endif
}

#if defined(F_SETPIPE_SZ)
// A pipe takes two blocks without a reader once widened, is never narrowed, and a handle
// that is no pipe is left alone.
TEST(Platform, LetPipeHold) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  fcntl(ends[1], F_SETPIPE_SZ, 64 * 1024);
  ASSERT_EQ(fcntl(ends[1], F_GETPIPE_SZ), 64 * 1024) << "the usual size to start from";
  LetPipeHold(static_cast<Handle>(ends[1]), 256 * 1024);
  fcntl(ends[1], F_SETFL, O_NONBLOCK);
  std::string block(256 * 1024, 'b');
  EXPECT_EQ(write(ends[1], block.data(), block.size()), static_cast<ssize_t>(block.size()));
  LetPipeHold(static_cast<Handle>(ends[1]), 128 * 1024);
  EXPECT_EQ(fcntl(ends[1], F_GETPIPE_SZ), 256 * 1024) << "not narrowed";
  close(ends[0]);
  close(ends[1]);

  TemporaryDirectory dir;
  std::string name = dir.Write("file.txt", "text");
  OwnedHandle file;
  ASSERT_EQ(CreateForWriting(name, &file), 0);
  LetPipeHold(file.get(), 256 * 1024);
  EXPECT_EQ(WriteAll(file.get(), "more", 4), 0);
}
#endif

}  // namespace
}  // namespace quillpack::platform
