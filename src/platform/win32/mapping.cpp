// Mapped files on Win32: none. Windows refuses to cut short a file while a view of it is
// mapped, but the reads the tool makes are what its files are measured with there.

#include "platform/platform.h"

namespace quillpack::platform {

bool MappedFile::Map(Handle, uint64_t, uint64_t) {
  return false;
}

void MappedFile::Unmap() {
  data_ = nullptr;
  size_ = 0;
}

bool MappedFile::WasCut() const {
  return false;
}

// Never set: nothing is mapped.
const std::atomic<bool>& MappedFile::CutFlag() {
  static const std::atomic<bool> never{false};
  return never;
}

}  // namespace quillpack::platform
