#include "failures/failure_codes.h"

#include <gtest/gtest.h>

#include <string>

#include "failures/error_objects.h"

namespace quillpack {
namespace {

// The message of the error that the check after a failed step raises for `code`.
std::string MessageRaisedFor(int32_t code) {
  RecordFailure(code);
  try {
    CheckFileFailure();
  } catch (const EInOutError& error) {
    return error.Message();
  }
  return "nothing raised";
}

TEST(FailureCodes, AFailedStepReadsAsItsTextOrItsNumber) {
  struct Row {
    int32_t code;
    const char* message;
  };
  const Row rows[] = {
      // The codes a failed platform call gives, by their numbers in the failure table.
      {2, "File not found"},
      {3, "Invalid filename"},
      {5, "File access denied"},
      // A code the table does not list, the platform's or the runtime's, reads as its number.
      {32, "I/O error 32"},
      {kFileNotOpenForWriting, "I/O error 105"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(MessageRaisedFor(row.code), row.message) << row.code;
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
