#include "process/process_end.h"

#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "failures/failure_codes.h"
#include "files/path_names.h"
#include "platform/platform.h"
#include "text/line_files.h"

namespace quillpack {

int32_t ExitStatus = 0;

namespace {

// Set only by StopWithRunError; while set, the end of the process writes the report.
const void* runErrorPosition = nullptr;
bool runErrorPending = false;
// From the error layer's start to its removal, failures can be reported as objects.
bool errorLayerActive = false;
void (*clearToolGlobals)() = nullptr;

// Appends to a fixed buffer, cutting what does not fit; the reports must not need the
// heap, so that running out of memory can be reported.
class FixedText {
 public:
  FixedText(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {
    if (capacity_ > 0) buffer_[0] = '\0';
  }
  void Append(std::string_view text) {
    if (capacity_ == 0) return;
    std::size_t room = capacity_ - 1 - length_;
    std::size_t taken = text.size() < room ? text.size() : room;
    std::memcpy(buffer_ + length_, text.data(), taken);
    length_ += taken;
    buffer_[length_] = '\0';
  }
  std::size_t length() const { return length_; }

 private:
  char* buffer_;
  std::size_t capacity_;
  std::size_t length_ = 0;
};

void PlaceDigits(uint64_t value, unsigned base, char* lastDigit, char* first) {
  do {
    *lastDigit = "0123456789ABCDEF"[value % base];
    value /= base;
  } while (value != 0 && lastDigit-- != first);
}

[[noreturn]] void RaiseOutOfMemory() {
  RaiseError(OutOfMemoryError());
}

void WriteRunErrorReport();

// A fault may strike anywhere, inside the heap too: report and leave without the
// clean-up steps, which could need the heap.
void OnMachineFault(platform::FaultKind kind, const void* position) {
  ExitStatus = RunErrorOf(kind);
  runErrorPosition = position;
  WriteRunErrorReport();
  platform::ExitProcessWith(ExitStatus);
}

// The parts start in a fixed order: the code page's lead bytes, then the error layer. The
// standard text files need no start (they are closed until first use), nor do the tool's
// own globals (their declarations set them).
void StartParts() {
  HostPathRules();
  OutOfMemoryError();
  std::set_new_handler(&RaiseOutOfMemory);
  platform::InstallFaultHandler(&OnMachineFault);
  errorLayerActive = true;
}

void WriteRunErrorReport() {
  char report[kRunErrorReportBytes];
  FormatRunErrorReport(ExitStatus, reinterpret_cast<uintptr_t>(runErrorPosition), report);
  if (StandardOutput().Mode() == TextFileMode::kWriting) {
    StandardOutput().FlushOutput();
    TakeFailureCode();
  }
  platform::WriteToStandardOutputHandle(report, sizeof report);
  platform::WriteToStandardOutputHandle("\r\n", 2);
}

// Reports the error object held by `pending`, again for a new error that the report's
// own flush of standard output raises.
[[noreturn]] void ReportPending(std::exception_ptr pending) {
  for (;;) {
    try {
      std::rethrow_exception(pending);
    } catch (const Exception& error) {
      if (!errorLayerActive) StopWithRunError(kRunErrorUnhandled, error.RaisePosition());
      try {
        ReportUnhandledError(error, error.RaisePosition());
      } catch (...) {
        pending = std::current_exception();
      }
    } catch (...) {
      StopWithRunError(kRunErrorUnhandled, nullptr);
    }
  }
}

}  // namespace

std::size_t FormatErrorReport(const Exception& error, const void* position, char* buffer,
                              std::size_t capacity) {
  char module[platform::kModuleNameCapacity];
  uintptr_t offset = 0;
  platform::DescribeCodeAddress(position, module, sizeof module, &offset);
  char hex[9] = "00000000";
  PlaceDigits(offset & 0xFFFFFFFFu, 16, hex + 7, hex);

  const std::string& message = error.Message();
  bool endMark = !message.empty() && message.back() != '.';
  FixedText text(buffer, capacity);
  text.Append("Exception ");
  text.Append(error.ClassName());
  text.Append(" in module ");
  text.Append(module);
  text.Append(" at ");
  text.Append(hex);
  text.Append(".\r\n");
  text.Append(message);
  text.Append(endMark ? "." : "");
  text.Append("\r\n");
  return text.length();
}

int32_t RunErrorOf(platform::FaultKind kind) {
  switch (kind) {
    case platform::FaultKind::kAccessViolation:
      return kRunErrorAccessViolation;
    case platform::FaultKind::kDivisionByZero:
      return kRunErrorDivisionByZero;
    case platform::FaultKind::kStackOverflow:
      return kRunErrorStackOverflow;
    case platform::FaultKind::kOther:
      break;
  }
  return kRunErrorUnhandled;
}

void FormatRunErrorReport(int32_t number, uintptr_t position,
                          char (&report)[kRunErrorReportBytes]) {
  std::memcpy(report, "Runtime error     at 00000000", kRunErrorReportBytes);
  PlaceDigits(static_cast<uint32_t>(number), 10, report + 16, report + 13);
  PlaceDigits(position & 0xFFFFFFFFu, 16, report + 28, report + 21);
}

void ReportUnhandledError(const Exception& error, const void* position) {
  char report[kErrorReportCapacity];
  std::size_t length = FormatErrorReport(error, position, report, sizeof report);
  StandardOutput().FlushOutput();
  CheckFileFailure();
  platform::ConvertToOem(report);
  platform::WriteToErrorOutput(report, length);
  platform::WriteToErrorOutput("\r\n", 2);
  EndWithStatus(1);
}

void EndWithStatus(int32_t status) {
  ExitStatus = status;
  EndProcess();
}

void StopWithRunError(int32_t number, const void* position) {
  runErrorPosition = position;
  runErrorPending = true;
  EndWithStatus(number);
}

void EndProcess() {
  if (runErrorPending) {
    runErrorPending = false;
    WriteRunErrorReport();
  }
  if (clearToolGlobals) clearToolGlobals();
  errorLayerActive = false;
  if (int32_t code = CloseStandardFiles()) {
    // Output that never arrived must not look like success; a reader that has gone needs
    // no word about it.
    if (code != platform::kStandardOutputGone) {
      std::string line = FailureMessage(code) + "\r\n";
      platform::WriteToErrorOutput(line.data(), line.size());
    }
    if (ExitStatus == 0) ExitStatus = 1;
  }
  platform::ExitProcessWith(ExitStatus);
}

void RunProcess(int argc, char** argv, const ToolEntry& tool) {
  platform::StartProcess(argc, argv);
  try {
    StartParts();
  } catch (...) {
    StopWithRunError(kRunErrorUnhandled, nullptr);
  }
  clearToolGlobals = tool.clearGlobals;
  std::exception_ptr pending;
  try {
    EndWithStatus(tool.body());
  } catch (...) {
    pending = std::current_exception();
  }
  ReportPending(pending);
}

}  // namespace quillpack
