// Interrupts on Win32: Ctrl-C, Ctrl-Break and closing the console remove the temporary
// file being written before the process ends as they would have ended it. The console
// calls the handler on a thread of its own while the main thread goes on.

#include <windows.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/win32/internal.h"

namespace quillpack::platform {
namespace {

// The file in care, by its full path and its own name; the lock keeps the handler and the
// main thread apart.
SRWLOCK lock = SRWLOCK_INIT;
bool noted = false;
char notedPath[4 * MAX_PATH];
std::size_t notedNameAt = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  // Kept to the end: the main thread must not give the file its name after all.
  AcquireSRWLockExclusive(&lock);
  if (noted) DeleteFileA(notedPath);
  // The next handler, the system's own, ends the process as for any interrupt.
  return FALSE;
}

void InstallOnce() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

}  // namespace

void win32::NoteTemporaryFile(const std::string& directoryPath, const std::string& name) {
  InstallOnce();
  AcquireSRWLockExclusive(&lock);
  noted = directoryPath.size() + name.size() < sizeof notedPath;
  if (noted) {
    std::memcpy(notedPath, directoryPath.data(), directoryPath.size());
    std::memcpy(notedPath + directoryPath.size(), name.c_str(), name.size() + 1);
    notedNameAt = directoryPath.size();
  }
  ReleaseSRWLockExclusive(&lock);
}

void win32::RemoveNotedFile() {
  AcquireSRWLockExclusive(&lock);
  if (noted) DeleteFileA(notedPath);
  noted = false;
  ReleaseSRWLockExclusive(&lock);
}

void ForgetTemporaryFile(const std::string& name) {
  AcquireSRWLockExclusive(&lock);
  if (noted && name == notedPath + notedNameAt) noted = false;
  ReleaseSRWLockExclusive(&lock);
}

}  // namespace quillpack::platform
