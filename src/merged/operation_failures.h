// The handler that merge and extract wrap their file work in.

#ifndef QUILLPACK_MERGED_OPERATION_FAILURES_H_
#define QUILLPACK_MERGED_OPERATION_FAILURES_H_

#include <string>

#include "console/console_question.h"
#include "console/run_options.h"
#include "failures/error_objects.h"

namespace quillpack {

// Runs `work`. The tool's own messages pass on unchanged, and so does a standard output
// whose reader has gone (EndsQuietly); any other error is replaced by
// myException(`message`), after its own message as a console line when RunOptions.debug
// is set.
template <typename Work>
void WithOperationMessage(const std::string& message, Work work) {
  try {
    work();
  } catch (myException&) {
    ReRaise();
  } catch (Exception& error) {
    if (EndsQuietly(error)) ReRaise();
    if (RunOptions.debug) WriteConsoleLine(error.Message());
    RaiseError(myException(message));
  }
}

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_OPERATION_FAILURES_H_
