#include "platform/lexical_path.h"

#include <gtest/gtest.h>

#include <utility>

namespace quillpack::platform {
namespace {

TEST(ResolveLexically, Table) {
  // A name, and the full path it stands for in /home/u.
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"a.txt", "/home/u/a.txt"},
      {"*.txt", "/home/u/*.txt"},
      {"./x/../y//z", "/home/u/y/z"},
      {"../..", "/"},
      {"../../../..", "/"},
      {"dir/", "/home/u/dir/"},
      {"dir/.", "/home/u/dir"},
      {".", "/home/u"},
      {"/abs//p/./q", "/abs/p/q"},
      {"/", "/"},
      {"a\\b:c", "/home/u/a\\b:c"},
  };
  for (const auto& [name, full] : cases)
    EXPECT_EQ(ResolveLexically("/home/u", name), full) << name;
}

}  // namespace
}  // namespace quillpack::platform
