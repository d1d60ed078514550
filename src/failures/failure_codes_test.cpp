#include "failures/failure_codes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "failures/error_objects.h"
#include "support/raised.h"

namespace quillpack {
namespace {

// The codes a failed platform call gives read as their text in the failure table; a code
// the table does not list, the platform's or the runtime's, reads as its number.
TEST(FailureCodes, AFailedStepReadsAsItsTextOrItsNumber) {
  const std::pair<int32_t, std::string_view> messages[] = {
      {2, "File not found"},
      {3, "Invalid filename"},
      {5, "File access denied"},
      {32, "I/O error 32"},
      {kFileNotOpenForWriting, "I/O error 105"},
  };
  for (const auto& [code, message] : messages) {
    RecordFailure(code);
    EXPECT_EQ(test_support::MessageRaisedBy<EInOutError>(&CheckFileFailure), message) << code;
  }
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
  std::optional<EInOutError> raised = test_support::ErrorRaisedBy<EInOutError>(&CheckFileFailure);
  ASSERT_TRUE(raised) << "no error raised";
  EXPECT_EQ(raised->FailureCode(), 32);
  EXPECT_EQ(raised->Message(), "I/O error 32");
  EXPECT_NE(raised->RaisePosition(), nullptr);
  EXPECT_NO_THROW(CheckFileFailure());
}

}  // namespace
}  // namespace quillpack
