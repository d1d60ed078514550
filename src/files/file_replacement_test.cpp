#include "files/file_replacement.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "support/temporary_directory.h"
#include "text/line_files.h"

namespace quillpack {
namespace {

using test_support::ReadBytes;
using test_support::TemporaryDirectory;

std::string AsDirectory(const std::string& path) {
  return path + (platform::kHostSystem == platform::HostSystem::kWindows ? "\\" : "/");
}

std::set<std::string> NamesIn(const std::string& path) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path))
    names.insert(entry.path().filename().string());
  return names;
}

// What comes to a new member's free name while it is written, and what the extract then
// does about it.
enum class Meanwhile { kNothing, kFileCame, kLinkCame };
enum class Then { kFinish, kReplaceTaken, kDropTaken, kAbandon };

struct NewFileCase {
  const char* what;
  Meanwhile meanwhile;
  Then then;
  int32_t finished;  // what Finish returns (kAbandon: not called)
  const char* left;  // what the name holds at the end ("" for nothing)
};

// Whichever way a new file is made, it takes the name whole and only while it is free:
// something that came meanwhile is replaced only when asked to, a link never written
// through, and nothing of the new file is left when it does not take the name.
TEST(FileReplacement, NewFilesTakeOnlyAFreeNameWhole) {
  const NewFileCase kCases[] = {
      {"free name", Meanwhile::kNothing, Then::kFinish, 0, "new\r\n"},
      {"file came, replaced", Meanwhile::kFileCame, Then::kReplaceTaken, platform::kFileExists,
       "new\r\n"},
      {"file came, kept", Meanwhile::kFileCame, Then::kDropTaken, platform::kFileExists, "theirs"},
      {"link came, replaced", Meanwhile::kLinkCame, Then::kReplaceTaken, platform::kFileExists,
       "new\r\n"},
      {"abandoned", Meanwhile::kNothing, Then::kAbandon, 0, ""},
  };
  for (FileReplacement::NewFile how :
       {FileReplacement::NewFile::kUnnamed, FileReplacement::NewFile::kHidden}) {
    for (const NewFileCase& c : kCases) {
      SCOPED_TRACE(std::string(c.what) +
                   (how == FileReplacement::NewFile::kUnnamed ? ", unnamed" : ", hidden"));
      TemporaryDirectory dir;
      std::filesystem::create_directories(dir.Path("top"));
      std::string outside = dir.Write("outside.txt", "outside");
      platform::Directory top;
      ASSERT_EQ(platform::OpenDirectory(AsDirectory(dir.Path("top")), &top), 0);
      std::string name = dir.Path("top/A.TXT");
      {
        TextLineFile file;
        file.AssignName(name);
        FileReplacement replacement;
        ASSERT_EQ(replacement.BeginNew(top, "A.TXT", FileReplacement::Flush::kNo, &file, how), 0);
        EXPECT_TRUE(replacement.IsPending());
        file.WriteTextLine("new");
        file.CloseFile();
        if (c.meanwhile == Meanwhile::kFileCame) dir.Write("top/A.TXT", "theirs");
        if (c.meanwhile == Meanwhile::kLinkCame) {
          std::error_code noLinks;
          std::filesystem::create_symlink(outside, name, noLinks);
          if (noLinks) continue;  // this host makes no symbolic links
        }
        if (c.then != Then::kAbandon) {
          EXPECT_EQ(replacement.Finish(), c.finished);
          if (c.then == Then::kReplaceTaken) {
            EXPECT_EQ(replacement.ReplaceTaken(), 0);
          }
          if (c.then != Then::kDropTaken) {
            EXPECT_FALSE(replacement.IsPending());
          }
        }
      }
      EXPECT_EQ(std::filesystem::is_symlink(name), false);
      EXPECT_EQ(ReadBytes(name), c.left);
      EXPECT_EQ(ReadBytes(outside), "outside") << "written through a link";
      std::set<std::string> expected;
      if (*c.left) expected.insert("A.TXT");
      EXPECT_EQ(NamesIn(dir.Path("top")), expected) << "a new file left behind";
      if (c.then == Then::kFinish) {
        std::string plain = dir.Write("plain.txt", "");
        EXPECT_EQ(std::filesystem::status(name).permissions(),
                  std::filesystem::status(plain).permissions())
            << "a new file gets the access any new file gets";
      }
    }
  }
}

}  // namespace
}  // namespace quillpack
