#include "runtime/failure_codes.h"

#include <gtest/gtest.h>

#include "runtime/error_objects.h"

namespace quillpack {
namespace {

TEST(FailureCodes, MessageTable) {
  struct Row {
    int32_t code;
    const char* message;
  };
  const Row rows[] = {
      {2, "File not found"},
      {3, "Invalid filename"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {100, "Read beyond end of file"},
      {101, "Disk full"},
      {106, "Invalid numeric input"},
      {32, "I/O error 32"},
      {103, "I/O error 103"},
      {104, "I/O error 104"},
      {105, "I/O error 105"},
      {112, "I/O error 112"},
      {123, "I/O error 123"},
      {-5, "I/O error -5"},
      {0, "I/O error 0"},
      {1, "I/O error 1"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(FailureMessage(row.code), row.message) << row.code;
}

TEST(FailureCodes, TheLastRecordedCodeStands) {
  RecordFailure(2);
  RecordFailure(5);
  EXPECT_EQ(TakeFailureCode(), 5);
  EXPECT_EQ(TakeFailureCode(), 0);
}

TEST(FailureCodes, CheckRaisesTheCodeAndClearsIt) {
  EXPECT_NO_THROW(CheckFileFailure());
  RecordFailure(32);
  try {
    CheckFileFailure();
    FAIL() << "no error raised";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.FailureCode(), 32);
    EXPECT_EQ(error.Message(), "I/O error 32");
    EXPECT_NE(error.RaisePosition(), nullptr);
  }
  EXPECT_NO_THROW(CheckFileFailure());
}

}  // namespace
}  // namespace quillpack
