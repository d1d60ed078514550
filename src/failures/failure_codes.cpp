#include "failures/failure_codes.h"

#include "failures/error_objects.h"

namespace quillpack {
namespace {

thread_local int32_t pendingFailureCode = 0;

struct CodeMessage {
  int32_t code;
  const char* message;
};
constexpr CodeMessage kMessageTable[] = {
    {2, "File not found"},
    {3, "Invalid filename"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {kReadBeyondEnd, "Read beyond end of file"},
    {kRuntimeDiskFull, "Disk full"},
    {kInvalidNumericInput, "Invalid numeric input"},
};

[[noreturn, gnu::noinline]] void RaiseFrom(const void* position, int32_t code) {
  EInOutError error(FailureMessage(code), code);
  error.SetRaisePosition(position);
  throw error;
}

}  // namespace

void RecordFailure(int32_t code) {
  pendingFailureCode = code;
}

int32_t TakeFailureCode() {
  int32_t code = pendingFailureCode;
  pendingFailureCode = 0;
  return code;
}

std::string FailureMessage(int32_t code) {
  for (const CodeMessage& row : kMessageTable) {
    if (row.code == code) return row.message;
  }
  return FormatText("I/O error %d", {code});
}

[[gnu::noinline]] void CheckFileFailure() {
  if (pendingFailureCode == 0) return;
  RaiseFrom(__builtin_extract_return_addr(__builtin_return_address(0)), TakeFailureCode());
}

}  // namespace quillpack
