#include "platform/temporary_name.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quillpack::platform {
namespace {

TEST(TemporaryFileName, HiddenRecognisableAndSpread) {
  std::set<std::string> names;
  // Seeds that differ in one low bit only, as two attempts in one moment do.
  for (uint64_t seed : {0ull, 1ull, 2ull, 1ull << 48, (1ull << 48) + 1, ~0ull}) {
    std::string name = TemporaryFileName(seed);
    EXPECT_EQ(name.size(), 19u) << name;
    EXPECT_EQ(name.rfind(".quillpack-", 0), 0u) << name;
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 11), std::string::npos) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 6u);
}

// Two attempts in one moment, and two processes in one moment, draw different names.
TEST(TemporaryNameSeed, AttemptsAndProcessesDrawApart) {
  std::set<std::string> names;
  for (uint64_t process : {1u, 2u, 4242u}) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      names.insert(TemporaryFileName(TemporaryNameSeed(process, 123456789u, attempt)));
    }
  }
  EXPECT_EQ(names.size(), 3u * kTemporaryNameAttempts);
}

}  // namespace
}  // namespace quillpack::platform
