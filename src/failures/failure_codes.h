// File failure codes: a failing step of a text file or console operation records a code;
// the check that follows every such operation turns it into an EInOutError whose message
// comes from a fixed table.

#ifndef QUILLPACK_FAILURES_FAILURE_CODES_H_
#define QUILLPACK_FAILURES_FAILURE_CODES_H_

#include <cstdint>
#include <string>

namespace quillpack {

// The runtime's own codes, beside the platform's (platform.h). 100, 101 and 106 have
// messages but are never recorded here: a full disk, for one, is the platform's kDiskFull.
inline constexpr int32_t kReadBeyondEnd = 100;
inline constexpr int32_t kRuntimeDiskFull = 101;
inline constexpr int32_t kFileNotOpen = 103;
inline constexpr int32_t kFileNotOpenForReading = 104;
inline constexpr int32_t kFileNotOpenForWriting = 105;
inline constexpr int32_t kInvalidNumericInput = 106;

// Sets this thread's pending code, replacing any code already pending.
void RecordFailure(int32_t code);

// Returns this thread's pending code (0 for none) and clears it.
int32_t TakeFailureCode();

// The message of a code: the table's text, or "I/O error N" for a code it does not list.
std::string FailureMessage(int32_t code);

// Returns at once when no code is pending; otherwise takes the code and raises an
// EInOutError with its message and code, as coming from the caller's position.
void CheckFileFailure();

}  // namespace quillpack

#endif  // QUILLPACK_FAILURES_FAILURE_CODES_H_
