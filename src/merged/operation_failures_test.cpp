#include "merged/operation_failures.h"

#include <gtest/gtest.h>

#include <string>

#include "failures/error_objects.h"
#include "support/temporary_directory.h"
#include "text/checked_steps.h"
#include "text/line_files.h"

namespace quillpack {
namespace {

using test_support::TemporaryDirectory;

// The class and message of what leaves WithOperationMessage when `work` runs inside it, or
// "nothing raised".
template <typename Work>
std::string OutcomeOf(Work work) {
  try {
    WithOperationMessage("Error creating out.txt", work);
  } catch (const Exception& error) {
    return std::string(error.ClassName()) + ": " + error.Message();
  }
  return "nothing raised";
}

TEST(WithOperationMessage, ReplacesEveryFailureButTheToolsOwnMessages) {
  TemporaryDirectory directory;
  std::string missing = directory.Path("missing.txt");
  auto openMissingFile = [&missing] {
    TextLineFile file;
    file.AssignName(missing);
    CheckedOpenForReading(file);
  };
  EXPECT_EQ(OutcomeOf(openMissingFile), "myException: Error creating out.txt");
  EXPECT_EQ(OutcomeOf([] { RaiseError(EStringListError("List index out of bounds (3)")); }),
            "myException: Error creating out.txt");
  EXPECT_EQ(OutcomeOf([] { RaiseError(myException("No files matched.")); }),
            "myException: No files matched.");
  EXPECT_EQ(OutcomeOf([] {}), "nothing raised");
}

}  // namespace
}  // namespace quillpack
