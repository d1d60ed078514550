// The process on Win32: start-up, arguments, reports, machine faults and the exit.

#include <windows.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/win32/internal.h"

namespace quillpack::platform {
namespace {

FaultHandler faultHandler = nullptr;

FaultKind KindOfFault(DWORD code) {
  if (code == EXCEPTION_ACCESS_VIOLATION) return FaultKind::kAccessViolation;
  if (code == EXCEPTION_STACK_OVERFLOW) return FaultKind::kStackOverflow;
  bool division = code == EXCEPTION_INT_DIVIDE_BY_ZERO || code == EXCEPTION_FLT_DIVIDE_BY_ZERO;
  return division ? FaultKind::kDivisionByZero : FaultKind::kOther;
}

// A handler that returns leaves the fault to the system, which ends the process.
LONG WINAPI OnUnhandledFault(EXCEPTION_POINTERS* fault) {
  const EXCEPTION_RECORD* record = fault->ExceptionRecord;
  win32::RemoveNotedFile();
  if (faultHandler) faultHandler(KindOfFault(record->ExceptionCode), record->ExceptionAddress);
  return EXCEPTION_CONTINUE_SEARCH;
}

void CopyCut(const char* text, char* out, std::size_t capacity) {
  if (capacity == 0) return;
  std::size_t n = strnlen(text, capacity - 1);
  memcpy(out, text, n);
  out[n] = '\0';
}

const char* AfterLastBackslash(const char* path) {
  const char* slash = strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

}  // namespace

void StartProcess(int, char**) {}

bool RawCommandLine(std::string* line) {
  line->assign(GetCommandLineA());
  return true;
}

const std::vector<std::string>& DeliveredArguments() {
  static const std::vector<std::string> kNone;
  return kNone;
}

std::string ModuleFileName() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
}

void DescribeCodeAddress(const void* address, char* moduleName, std::size_t capacity,
                         uintptr_t* offset) {
  char path[MAX_PATH + 1] = {};
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(address, &region, sizeof region) != 0 && region.State == MEM_COMMIT &&
      GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, sizeof path) > 0) {
    *offset =
        reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(region.AllocationBase);
  } else {
    GetModuleFileNameA(nullptr, path, sizeof path);
    uintptr_t position = reinterpret_cast<uintptr_t>(address);
    *offset = position == 0 ? 0 : position - kImageBaseOffset;
  }
  CopyCut(AfterLastBackslash(path), moduleName, capacity);
}

void ConvertToOem(char* text) {
  CharToOemA(text, text);
}

void WriteToErrorOutput(const char* bytes, std::size_t count) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes, static_cast<DWORD>(count), &written, nullptr);
}

void WriteToStandardOutputHandle(const char* bytes, std::size_t count) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, static_cast<DWORD>(count), &written, nullptr);
}

void InstallFaultHandler(FaultHandler handler) {
  faultHandler = handler;
  SetUnhandledExceptionFilter(&OnUnhandledFault);
}

void ExitProcessWith(int32_t status) {
  ExitProcess(static_cast<UINT>(status));
}

}  // namespace quillpack::platform
