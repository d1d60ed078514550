// The process on POSIX: start-up, arguments, reports, machine faults and the exit.

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace quillpack::platform {
namespace {

std::vector<std::string>* deliveredArguments = nullptr;
FaultHandler faultHandler = nullptr;

const void* FaultingPosition(const siginfo_t* info, void* context) {
#if defined(__x86_64__)
  (void)info;
  return reinterpret_cast<const void*>(
      static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#else
  (void)context;
  return info->si_addr;
#endif
}

// The lowest address of the main thread's stack, and how far below it a fault still
// counts as the stack running over: a frame may reach past the end by as much as the
// kernel keeps free below a stack (its guard gap), however much it holds.
uintptr_t stackLow = 0;
constexpr uintptr_t kStackOverrunReach = uintptr_t{1} << 20;
constexpr uintptr_t kStackEndSlack = uintptr_t{64} << 10;

void NoteStackOfThisThread() {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
  void* low = nullptr;
  std::size_t size = 0;
  if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
    stackLow = reinterpret_cast<uintptr_t>(low);
  }
  pthread_attr_destroy(&attributes);
}

bool IsAtStackEnd(const void* address) {
  uintptr_t at = reinterpret_cast<uintptr_t>(address);
  return stackLow > kStackOverrunReach && at < stackLow + kStackEndSlack &&
         at >= stackLow - kStackOverrunReach;
}

FaultKind KindOfFault(int signalNumber, const siginfo_t* info) {
  switch (signalNumber) {
    case SIGFPE:
      return FaultKind::kDivisionByZero;
    case SIGILL:
      return FaultKind::kOther;
    default:
      return IsAtStackEnd(info->si_addr) ? FaultKind::kStackOverflow : FaultKind::kAccessViolation;
  }
}

void OnFaultSignal(int number, siginfo_t* info, void* context) {
  posix::RemoveNotedFile();
  if (faultHandler) faultHandler(KindOfFault(number, info), FaultingPosition(info, context));
  // The action is the default again (SA_RESETHAND): raised once more, the signal ends the
  // process as it would have without a handler.
  raise(number);
}

void CopyCut(std::string_view text, char* out, std::size_t capacity) {
  if (capacity == 0) return;
  std::size_t n = std::min(text.size(), capacity - 1);
  memcpy(out, text.data(), n);
  out[n] = '\0';
}

std::string_view AfterLastSlash(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == path.npos ? path : path.substr(slash + 1);
}

void WriteIgnoringResult(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
}

}  // namespace

void StartProcess(int argc, char** argv) {
  posix::HoldMissingStandardDescriptors();
  // A reader that went away must show as a failed write, not end the process unseen.
  signal(SIGPIPE, SIG_IGN);
  posix::UseCollationOfEnvironment();
  delete deliveredArguments;
  deliveredArguments = new std::vector<std::string>(argv, argv + argc);
}

bool RawCommandLine(std::string* line) {
  line->clear();
  return false;
}

const std::vector<std::string>& DeliveredArguments() {
  static const std::vector<std::string> kNone;
  return deliveredArguments ? *deliveredArguments : kNone;
}

std::string ModuleFileName() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
  if (deliveredArguments && !deliveredArguments->empty()) return deliveredArguments->front();
  return std::string();
}

void DescribeCodeAddress(const void* address, char* moduleName, std::size_t capacity,
                         uintptr_t* offset) {
  Dl_info info;
  if (address != nullptr && dladdr(address, &info) != 0 && info.dli_fname != nullptr) {
    CopyCut(AfterLastSlash(info.dli_fname), moduleName, capacity);
    *offset = reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(info.dli_fbase);
    return;
  }
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  CopyCut(AfterLastSlash(std::string_view(path, n > 0 ? static_cast<std::size_t>(n) : 0)),
          moduleName, capacity);
  uintptr_t position = reinterpret_cast<uintptr_t>(address);
  *offset = position == 0 ? 0 : position - kImageBaseOffset;
}

void ConvertToOem(char*) {}

void WriteToErrorOutput(const char* bytes, std::size_t count) {
  WriteIgnoringResult(STDERR_FILENO, bytes, count);
}

void WriteToStandardOutputHandle(const char* bytes, std::size_t count) {
  WriteIgnoringResult(STDOUT_FILENO, bytes, count);
}

void InstallFaultHandler(FaultHandler handler) {
  faultHandler = handler;
  NoteStackOfThisThread();
  // Its own stack, so that a stack overflow can still be reported.
  static char alternateStack[64 * 1024];
  stack_t stack = {};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);
  struct sigaction action = {};
  action.sa_sigaction = &OnFaultSignal;
  action.sa_flags = static_cast<int>(SA_SIGINFO | SA_ONSTACK | SA_RESETHAND);
  sigemptyset(&action.sa_mask);
  for (int number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
    sigaction(number, &action, nullptr);
}

void ExitProcessWith(int32_t status) {
  _exit(status);
}

}  // namespace quillpack::platform
