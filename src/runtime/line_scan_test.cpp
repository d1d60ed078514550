#include "runtime/line_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace quillpack {
namespace {

const char* NaiveFind(const char* p, const char* end) {
  while (p < end && *p != '\n' && *p != '\r' && *p != 26)
    ++p;
  return p;
}

// Random stretches with line bytes at every distance from the 16-byte steps,
// including none at all and bytes just below and above them in value.
TEST(LineScan, AgreesWithAByteByByteSearch) {
  std::mt19937 random(7);
  const char kBytes[] = {'a', '\n', '\r', 26, 9, 11, 12, 25, 27, '\xff', 0};
  for (int round = 0; round < 2000; ++round) {
    std::size_t size = random() % 300;
    int density = 1 + random() % 40;
    std::string text(size, 'x');
    for (char& c : text) {
      if (random() % density == 0) c = kBytes[random() % sizeof kBytes];
    }
    const char* begin = text.data();
    const char* end = begin + text.size();
    for (const char* p = begin; p <= end;) {
      const char* expected = NaiveFind(p, end);
      ASSERT_EQ(FindLineByte(p, end), expected) << "round " << round << " at " << (p - begin);
      p = expected + 1 + random() % 3;
    }
  }
}

}  // namespace
}  // namespace quillpack
