// What a new file takes over from the file it replaces, on Win32: the DACL. Windows keeps
// no permission bits beyond the read-only attribute, and a read-only file cannot be
// replaced anyway.

#include <windows.h>

#include <aclapi.h>

#include "platform/platform.h"
#include "platform/win32/internal.h"

namespace quillpack::platform {

win32::SecurityOf::SecurityOf(Handle handle, Use use) {
  if (handle == kNoHandle) return;
  if (GetSecurityInfo(ToWin32(handle), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      &dacl_, nullptr, &descriptor_) != ERROR_SUCCESS) {
    descriptor_ = nullptr;
    dacl_ = nullptr;
    return;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (GetSecurityDescriptorControl(descriptor_, &control, &revision)) {
    isProtected_ = (control & SE_DACL_PROTECTED) != 0;
  }
  if (use == kForNewFile)
    SetSecurityDescriptorControl(descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

win32::SecurityOf::~SecurityOf() {
  if (descriptor_) LocalFree(descriptor_);
}

int32_t TakeAccessOf(Handle from, Handle to) {
  win32::SecurityOf like(from, win32::SecurityOf::kAsItIs);
  if (!like.dacl()) return 0;
  // Unprotected, the DACL takes the folder's inheritable entries again, as the old one did.
  SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION | (like.isProtected() ? PROTECTED_DACL_SECURITY_INFORMATION
                                                      : UNPROTECTED_DACL_SECURITY_INFORMATION);
  SetSecurityInfo(win32::ToWin32(to), SE_FILE_OBJECT, what, nullptr, nullptr, like.dacl(), nullptr);
  return 0;
}

}  // namespace quillpack::platform
