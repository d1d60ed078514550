#include "platform/lexical_path.h"

#include <gtest/gtest.h>

namespace quillpack::platform {
namespace {

TEST(ResolveLexically, Table) {
  struct Case {
    const char* name;
    const char* full;
  };
  const Case cases[] = {
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
  for (const Case& c : cases)
    EXPECT_EQ(ResolveLexically("/home/u", c.name), c.full) << c.name;
}

}  // namespace
}  // namespace quillpack::platform
