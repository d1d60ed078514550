// What the files of the Win32 backend share; their contracts are in internal.h.

#include "platform/win32/internal.h"

namespace quillpack::platform::win32 {

int32_t LastError() {
  return static_cast<int32_t>(GetLastError());
}

bool HoldsNul(const std::string& name) {
  return name.find('\0') != std::string::npos;
}

int32_t Open(const std::string& name, DWORD access, DWORD disposition, OwnedHandle* handle,
             DeviceKind* kind) {
  *handle = OwnedHandle();
  if (HoldsNul(name)) return kInvalidName;
  HANDLE opened = CreateFileA(name.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return LastError();
  *handle = OwnedHandle(FromWin32(opened));
  if (kind) *kind = KindOf(handle->get());
  return 0;
}

}  // namespace quillpack::platform::win32
