#include "merged/member_refusals.h"

#include <gtest/gtest.h>

#include <string>

#include "failures/error_objects.h"
#include "files/path_names.h"
#include "support/raised.h"

namespace quillpack {
namespace {

using platform::EntryKind;

// What is at a member's name, on a platform that can put a file in a link's place safely
// (POSIX) and on one that cannot (Win32): a link is asked about there, refused here.
TEST(WhyNotWrittenOver, ByWhatIsThereAndWhatThePlatformCan) {
  struct Case {
    EntryKind kind;
    std::string_view replacingLinks;
    std::string_view refusingLinks;
  };
  const Case cases[] = {
      {EntryKind::kMissing, "", ""},
      {EntryKind::kFile, "", ""},
      {EntryKind::kDirectory, "", ""},
      {EntryKind::kLink, "", " is a symbolic link."},
      {EntryKind::kOther, " is a pipe, socket or device, not a file.",
       " is a pipe, socket or device, not a file."},
  };
  for (const Case& c : cases) {
    int kind = static_cast<int>(c.kind);
    EXPECT_EQ(WhyNotWrittenOver(c.kind, true), c.replacingLinks) << kind;
    EXPECT_EQ(WhyNotWrittenOver(c.kind, false), c.refusingLinks) << kind;
  }
  EXPECT_EQ(WhyNotWrittenOver(EntryKind::kLink),
            platform::kReplacesLinksSafely ? "" : " is a symbolic link.");
}

// The refusal as the user reads it, or "" when the name passes.
std::string RefusalOf(const std::string& name, std::size_t targetFullLength) {
  return test_support::MessageRaisedBy<myException>(
      [&] { RefuseUnsafeName(name, targetFullLength); });
}

TEST(RefuseUnsafeName, NamesTheMemberAndWhy) {
  std::size_t room = kMaxFullPathBytes - 10;
  EXPECT_EQ(RefusalOf("A.TXT", room), "");
  EXPECT_EQ(RefusalOf("ABCDE.TXTX", room), "") << "exactly as long as the platform takes";
  EXPECT_EQ(RefusalOf("ABCDE.TXTXY", room), "Member name ABCDE.TXTXY makes the path too long.");
  EXPECT_EQ(RefusalOf("", room).rfind("Member name ", 0), 0u) << "no gap of two spaces";
  EXPECT_EQ(RefusalOf("a\x01\\..\\b", room).rfind("Member name a?\\..\\b ", 0), 0u)
      << "control bytes shown as ?";
}

}  // namespace
}  // namespace quillpack
