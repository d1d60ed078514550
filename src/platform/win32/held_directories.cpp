// Directories held open on Win32: a handle without delete sharing keeps each directory from
// being renamed or replaced, and the names inside it are made from its path.

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/internal.h"

namespace quillpack::platform {

using win32::FromWin32;
using win32::HoldsNul;
using win32::LastError;
using win32::Open;

namespace {

DWORD AttributesOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileInformationByHandle(handle, &information) ? information.dwFileAttributes
                                                          : INVALID_FILE_ATTRIBUTES;
}

// Held with read access and without delete sharing: while the tool holds it, nobody can
// rename or replace it, so the names made from its path keep meaning it.
HANDLE OpenHeld(const std::string& path, DWORD flags) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, flags, nullptr);
}

// A missing directory, or a file where one should be, is a missing path, whatever the
// call reported.
int32_t DirectoryFailure() {
  int32_t code = LastError();
  return code == kFileNotFound || code == kInvalidName ? kPathNotFound : code;
}

int32_t HoldDirectory(const std::string& path, DWORD flags, Directory* directory) {
  HANDLE held = OpenHeld(path, FILE_FLAG_BACKUP_SEMANTICS | flags);
  if (held == INVALID_HANDLE_VALUE) return DirectoryFailure();
  DWORD attributes = AttributesOfHandle(held);
  int32_t code = 0;
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    code = kPathNotFound;
  } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    code = kStoppedOnLink;
  }
  if (code != 0) {
    CloseHandle(held);
    return code;
  }
  *directory = Directory(OwnedHandle(FromWin32(held)), path);
  return 0;
}

int32_t RemoveLink(const std::string& name) {
  DWORD attributes = GetFileAttributesA(name.c_str());
  // A link to a directory is removed as a directory, which leaves its target alone.
  bool removed = (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                     ? RemoveDirectoryA(name.c_str())
                     : DeleteFileA(name.c_str());
  return removed ? 0 : LastError();
}

}  // namespace

int32_t OpenDirectory(const std::string& path, Directory* directory) {
  *directory = Directory();
  if (path.empty() || HoldsNul(path)) return kPathNotFound;
  return HoldDirectory(path, 0, directory);
}

int32_t OpenSubdirectory(const Directory& parent, const std::string& name, Directory* directory) {
  *directory = Directory();
  if (HoldsNul(name)) return kInvalidName;
  return HoldDirectory(parent.path() + name + "\\", FILE_FLAG_OPEN_REPARSE_POINT, directory);
}

EntryKind LookUpEntry(const Directory& directory, const std::string& name) {
  if (HoldsNul(name)) return EntryKind::kMissing;
  DWORD attributes = GetFileAttributesA((directory.path() + name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::kDirectory;
  return EntryKind::kFile;
}

int32_t CreateNewFileIn(const Directory& directory, const std::string& name, OwnedHandle* handle,
                        DeviceKind* kind) {
  return Open(directory.path() + name, GENERIC_WRITE, CREATE_NEW, handle, kind);
}

int32_t OpenExistingFileIn(const Directory& directory, const std::string& name, OwnedHandle* handle,
                           DeviceKind* kind) {
  *handle = OwnedHandle();
  if (HoldsNul(name)) return kInvalidName;
  std::string path = directory.path() + name;
  // The probe keeps the file from being replaced between the look and the open for writing.
  HANDLE probe = OpenHeld(path, FILE_FLAG_OPEN_REPARSE_POINT);
  if (probe == INVALID_HANDLE_VALUE) return LastError();
  DWORD attributes = AttributesOfHandle(probe);
  int32_t code = kAccessDenied;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    code = kStoppedOnLink;
  } else if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    code = Open(path, GENERIC_WRITE, CREATE_ALWAYS, handle, kind);
  }
  CloseHandle(probe);
  return code;
}

int32_t RemoveLinkIn(const Directory& directory, const std::string& name) {
  if (HoldsNul(name)) return kInvalidName;
  return RemoveLink(directory.path() + name);
}

}  // namespace quillpack::platform
