// The life of the process: start-up of the runtime's parts in a fixed order, the tool's
// body inside the outermost handler, and the orderly end with its clean-up steps.
//
// An error object that no handler of the tool takes is reported on the error output and
// ends the process with status 1. A failure while error objects cannot be made or
// reported (start-up, the final clean-up), a C++ exception that is no error object, and
// a machine fault (access violation, division by zero, stack overflow) end the process
// with a run error: "Runtime error NNN at XXXXXXXX" on standard output, status NNN.

#ifndef QUILLPACK_PROCESS_PROCESS_END_H_
#define QUILLPACK_PROCESS_PROCESS_END_H_

#include <cstddef>
#include <cstdint>

#include "failures/error_objects.h"
#include "platform/platform.h"

namespace quillpack {

// The status the process ends with: set by EndWithStatus and by a machine fault, and
// raised to 1 at the end when the last output could not be written.
extern int32_t ExitStatus;

// The tool as the process runs it: its body returns the status of a normal end (0, or 1
// after a failure it reported itself); its globals are cleared first when the process
// ends.
struct ToolEntry {
  int32_t (*body)();
  void (*clearGlobals)();
};

// Runs the process: starts the platform and the runtime's parts, runs
// the body inside the outermost handler, and ends through EndProcess. Never returns.
[[noreturn]] void RunProcess(int argc, char** argv, const ToolEntry& tool);

// The room a report has, its terminating NUL included.
inline constexpr std::size_t kErrorReportCapacity = 1024;

// Fills `buffer` with the report of an unhandled error, NUL-terminated and cut at
// capacity - 1 bytes: "Exception CLASS in module MODULE at OFFSET.\r\nMESSAGE.\r\n", the
// module being the file name (without directory) of the image that holds `position`, the
// offset 8 upper-case hexadecimal digits, and the "." added only to a message that does
// not already end in one (none to an empty message). Uses no heap memory. Returns the
// length written.
std::size_t FormatErrorReport(const Exception& error, const void* position, char* buffer,
                              std::size_t capacity);

// Run-error numbers: the process ends with one of them after a machine fault, or after a
// failure that could not be reported as an error object.
inline constexpr int32_t kRunErrorDivisionByZero = 200;
inline constexpr int32_t kRunErrorStackOverflow = 202;
inline constexpr int32_t kRunErrorAccessViolation = 216;
inline constexpr int32_t kRunErrorUnhandled = 217;

// The run error a machine fault of `kind` ends the process with: 200, 202 or 216 for the
// faults of those names, 217 for any other.
int32_t RunErrorOf(platform::FaultKind kind);

// The run-error text "Runtime error NNN at XXXXXXXX" (29 bytes) and its terminating NUL:
// the number right-aligned to end at byte 17, the position in upper-case hexadecimal
// right-aligned to end at byte 29, the template's zeros kept.
inline constexpr std::size_t kRunErrorReportBytes = 30;
void FormatRunErrorReport(int32_t number, uintptr_t position, char (&report)[kRunErrorReportBytes]);

// Writes standard output's waiting bytes (raising EInOutError if that fails), then the
// report and CR LF to the error output, and ends with status 1.
[[noreturn]] void ReportUnhandledError(const Exception& error, const void* position);

// Sets ExitStatus and ends the process.
[[noreturn]] void EndWithStatus(int32_t status);

// Ends the process with run error `number` at `position`.
[[noreturn]] void StopWithRunError(int32_t number, const void* position);

// The orderly end: a pending run-error report, the clean-up steps in reverse order of
// start-up (the standard text files closed last, so that waiting output is written),
// then the exit with ExitStatus. When that last write of standard output fails, the
// status becomes 1 and its message goes to the error output, unless the failure is
// platform::kStandardOutputGone: its reader has gone and needs no word.
[[noreturn]] void EndProcess();

}  // namespace quillpack

#endif  // QUILLPACK_PROCESS_PROCESS_END_H_
