// What the files of the Win32 backend share; their contracts are in internal.h.

#include "platform/win32/internal.h"

namespace quillpack::platform::win32 {

int32_t LastError() {
  return static_cast<int32_t>(GetLastError());
}

// Asked with room for a usual path first, and again with the room the call asks for: Wine
// counts that room without the terminating NUL where Windows counts it.
int32_t FinalPathOf(HANDLE handle, std::string* path) {
  DWORD room = MAX_PATH;
  for (int attempt = 0; attempt < 3; ++attempt) {
    path->resize(room);
    DWORD length = GetFinalPathNameByHandleA(handle, path->data(), room, FILE_NAME_NORMALIZED);
    if (length == 0) return LastError();
    if (length < room) {
      path->resize(length);
      return 0;
    }
    room = length + 1;
  }
  return kInvalidName;
}

bool HoldsNul(const std::string& name) {
  return name.find('\0') != std::string::npos;
}

int32_t Open(const std::string& name, DWORD access, DWORD disposition, OwnedHandle* handle,
             DeviceKind* kind) {
  *handle = OwnedHandle();
  if (HoldsNul(name)) return kPathNotFound;
  HANDLE opened = CreateFileA(name.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return LastError();
  *handle = OwnedHandle(FromWin32(opened));
  if (kind) *kind = KindOf(handle->get());
  return 0;
}

bool IsDirectoryAt(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FileIdentity IdentityOfInformation(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber,
          (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

FileStamp StampOfInformation(const BY_HANDLE_FILE_INFORMATION& info) {
  uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  uint64_t written = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                     info.ftLastWriteTime.dwLowDateTime;
  return {size, static_cast<int64_t>(written)};
}

}  // namespace quillpack::platform::win32
