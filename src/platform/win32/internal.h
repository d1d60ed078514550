// What the files of the Win32 backend share: handles as the Win32 API takes them, the last
// error as a failure code, and the open shared for reading only.

#ifndef QUILLPACK_PLATFORM_WIN32_INTERNAL_H_
#define QUILLPACK_PLATFORM_WIN32_INTERNAL_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace quillpack::platform::win32 {

inline HANDLE ToWin32(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}
inline Handle FromWin32(HANDLE handle) {
  return reinterpret_cast<Handle>(handle);
}

// GetLastError(), which is already a failure code.
int32_t LastError();

// Every kind of sharing, for opens that read no data (attributes, identity, the final
// path), so that nobody's sharing stands in their way.
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The final path of what `handle` is open on, links resolved (GetFinalPathNameByHandleA,
// normalised). Returns 0, or the platform's code.
int32_t FinalPathOf(HANDLE handle, std::string* path);

// A name with a NUL byte in it cannot reach the system whole; every call refuses it
// (platform.h).
bool HoldsNul(const std::string& name);

// Opens `name` with `access` and `disposition`, shared for reading only. Fills `*kind`
// when given; a name holding a NUL byte is refused.
int32_t Open(const std::string& name, DWORD access, DWORD disposition, OwnedHandle* handle,
             DeviceKind* kind);

// Whether `path` names a directory (links followed).
bool IsDirectoryAt(const std::string& path);

// Puts the temporary file `name` inside the directory `directoryPath` (which ends in a
// delimiter) in the care of the console handler, installed at the first call (see
// CreateTemporaryFileIn).
void NoteTemporaryFile(const std::string& directoryPath, const std::string& name);

// Removes the file in care, if any, and takes it out of care (after a machine fault).
void RemoveNotedFile();

// The DACL of the file open on a handle, read once and freed with this object; nothing when
// the handle is kNoHandle or its DACL cannot be read. kForNewFile marks it protected, so
// that a file made with it takes nothing more from its folder's inheritable entries.
class SecurityOf {
 public:
  enum Use { kForNewFile, kAsItIs };
  SecurityOf(Handle handle, Use use);
  ~SecurityOf();
  SecurityOf(const SecurityOf&) = delete;
  SecurityOf& operator=(const SecurityOf&) = delete;

  PSECURITY_DESCRIPTOR descriptor() const { return descriptor_; }
  PACL dacl() const { return dacl_; }
  // Whether the DACL takes nothing from the folder's inheritable entries.
  bool isProtected() const { return isProtected_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  PACL dacl_ = nullptr;
  bool isProtected_ = false;
};

FileIdentity IdentityOfInformation(const BY_HANDLE_FILE_INFORMATION& info);
FileStamp StampOfInformation(const BY_HANDLE_FILE_INFORMATION& info);

}  // namespace quillpack::platform::win32

#endif  // QUILLPACK_PLATFORM_WIN32_INTERNAL_H_
