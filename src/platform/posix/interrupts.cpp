// Interrupts on POSIX: SIGINT, SIGTERM and SIGHUP remove the temporary file being written,
// then end the process as they would have. The handler may run between any two
// instructions, so it finds the file in fixed storage and calls only async-signal-safe
// functions.

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace quillpack::platform {
namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// The file in care: its directory's descriptor and its name. `noted` is cleared before the
// other two change and set once they are whole, so the handler never reads half a name.
volatile sig_atomic_t noted = 0;
int notedDirectory = -1;
char notedName[64];

void OnInterrupt(int number) {
  int saved = errno;
  posix::RemoveNotedFile();
  // The default disposition, unblocked, ends the process with this signal's own status.
  signal(number, SIG_DFL);
  sigset_t just;
  sigemptyset(&just);
  sigaddset(&just, number);
  sigprocmask(SIG_UNBLOCK, &just, nullptr);
  raise(number);
  errno = saved;
}

// Once per process, at the first file in care. A process started with an interrupt
// ignored (nohup, a background job) keeps ignoring it.
void InstallOnce() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action = {};
  action.sa_handler = &OnInterrupt;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int number : kInterrupts)
    sigaddset(&action.sa_mask, number);
  for (int number : kInterrupts) {
    struct sigaction current = {};
    if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaction(number, &action, nullptr);
  }
}

}  // namespace

void posix::NoteTemporaryFile(int directory, const std::string& name) {
  InstallOnce();
  noted = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  notedDirectory = directory;
  std::size_t length = name.size() < sizeof notedName ? name.size() : sizeof notedName - 1;
  memcpy(notedName, name.data(), length);
  notedName[length] = '\0';
  std::atomic_signal_fence(std::memory_order_seq_cst);
  noted = 1;
}

void posix::RemoveNotedFile() {
  if (!noted) return;
  noted = 0;
  unlinkat(notedDirectory, notedName, 0);
}

void ForgetTemporaryFile(const std::string& name) {
  if (noted && name == notedName) noted = 0;
}

}  // namespace quillpack::platform
