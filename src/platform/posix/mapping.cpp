// Mapped files on POSIX, and the guard that turns a read past the end of a file cut short
// into Ctrl-Z bytes instead of a SIGBUS that would end the process.

#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace quillpack::platform {
namespace {

// The one window mapped, as the signal handler sees it; 0 for none.
std::atomic<uintptr_t> guardedBegin{0};
std::atomic<uintptr_t> guardedEnd{0};
std::atomic<bool> guardedCut{false};
std::atomic<uintptr_t> pageSize{0};

}  // namespace

bool posix::CoverCutMapping(const siginfo_t* info) {
  uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
  uintptr_t begin = guardedBegin.load();
  if (begin == 0 || address < begin || address >= guardedEnd.load()) return false;
  uintptr_t page = address & ~(pageSize.load() - 1);
  // A private page of Ctrl-Z in place of the one the file no longer has: the reader stops
  // at its first byte. Only pages read are covered, one fault each.
  void* covered = mmap(reinterpret_cast<void*>(page), pageSize.load(), PROT_READ | PROT_WRITE,
                       MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (covered == MAP_FAILED) return false;
  memset(covered, kCtrlZByte, pageSize.load());
  guardedCut.store(true);
  return true;
}

bool MappedFile::Map(Handle handle, uint64_t offset, uint64_t size) {
  Unmap();
  if (size == 0 || size > SIZE_MAX || offset % kMapGranularity != 0) return false;
  if (guardedBegin.load() != 0) return false;
  pageSize.store(static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)));
  posix::HandleBusErrors();
  // Populated at once: the pages are in the cache, and faults one by one cost more.
  void* mapped = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED | MAP_POPULATE,
                      static_cast<int>(handle), static_cast<off_t>(offset));
  if (mapped == MAP_FAILED) return false;
  data_ = static_cast<const char*>(mapped);
  size_ = size;
  guardedCut.store(false);
  guardedEnd.store(reinterpret_cast<uintptr_t>(data_) + size);
  guardedBegin.store(reinterpret_cast<uintptr_t>(data_));
  return true;
}

void MappedFile::Unmap() {
  if (!data_) return;
  guardedBegin.store(0);
  guardedCut.store(false);
  munmap(const_cast<char*>(data_), static_cast<std::size_t>(size_));
  data_ = nullptr;
  size_ = 0;
}

bool MappedFile::WasCut() const {
  return data_ != nullptr && guardedCut.load();
}

const std::atomic<bool>& MappedFile::CutFlag() {
  return guardedCut;
}

}  // namespace quillpack::platform
