// Tests that run once per level of the line scan (byte loops, SSE2, AVX2, AVX-512), the
// scan forced to it; a level this processor or build lacks is skipped with a message.

#ifndef QUILLPACK_SUPPORT_SCAN_LEVELS_H_
#define QUILLPACK_SUPPORT_SCAN_LEVELS_H_

#include <gtest/gtest.h>

#include <string>

#include "text/line_scan.h"

namespace quillpack::test_support {

inline const char* NameOf(ScanLevel level) {
  switch (level) {
    case ScanLevel::kPlain:
      return "Plain";
    case ScanLevel::kSse2:
      return "Sse2";
    case ScanLevel::kAvx2:
      return "Avx2";
    case ScanLevel::kAvx512:
      return "Avx512";
  }
  return "?";
}

inline std::string LevelName(const ::testing::TestParamInfo<ScanLevel>& level) {
  return NameOf(level.param);
}

inline const auto kEveryScanLevel =
    ::testing::Values(ScanLevel::kPlain, ScanLevel::kSse2, ScanLevel::kAvx2, ScanLevel::kAvx512);

class AtEveryScanLevel : public ::testing::TestWithParam<ScanLevel> {
 protected:
  void SetUp() override {
    if (GetParam() > BestScanLevel()) {
      GTEST_SKIP() << "this processor or build has no " << NameOf(GetParam()) << " scan";
    }
    UseScanLevel(GetParam());
  }
  void TearDown() override { UseScanLevel(BestScanLevel()); }
};

}  // namespace quillpack::test_support

#endif  // QUILLPACK_SUPPORT_SCAN_LEVELS_H_
