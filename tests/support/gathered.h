// A line sink that gathers what it is handed, piece by piece, for tests of the code that
// hands lines over in pieces.

#ifndef QUILLPACK_SUPPORT_GATHERED_H_
#define QUILLPACK_SUPPORT_GATHERED_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/line_files.h"

namespace quillpack::test_support {

// Every piece is to hold at least one byte: an empty one is a fault of the sender.
class Gathered final : public LineSink {
 public:
  void Take(std::string_view piece) override {
    EXPECT_FALSE(piece.empty());
    bytes += piece;
  }
  std::string bytes;
};

}  // namespace quillpack::test_support

#endif  // QUILLPACK_SUPPORT_GATHERED_H_
