// Directories held open on Win32: a handle without delete sharing keeps each directory from
// being renamed or replaced, and the names inside it are made from its path.

#include <windows.h>

#include "platform/platform.h"
#include "platform/temporary_name.h"
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

// A file, or a link to a file or directory, never what a link points to.
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
  if (HoldsNul(name)) return kPathNotFound;
  return HoldDirectory(parent.path() + name + "\\", FILE_FLAG_OPEN_REPARSE_POINT, directory);
}

int32_t IdentifyDirectory(const Directory& directory, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(win32::ToWin32(directory.handle()), &information)) {
    return LastError();
  }
  *identity = win32::IdentityOfInformation(information);
  return 0;
}

// Each directory of the chain is held without delete sharing, so that nobody renames or
// replaces it while it is held: what was opened by this name is what the name holds.
bool IsStillSubdirectory(const Directory&, const std::string&, const FileIdentity&) {
  return true;
}

int32_t CreateSubdirectoryIn(const Directory& parent, const std::string& name) {
  if (HoldsNul(name)) return kPathNotFound;
  if (CreateDirectoryA((parent.path() + name).c_str(), nullptr)) return 0;
  int32_t code = LastError();
  return code == ERROR_ALREADY_EXISTS ? kFileExists : code;
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

int32_t HoldForReplacingIn(const Directory& directory, const std::string& name,
                           OwnedHandle* handle) {
  *handle = OwnedHandle();
  if (HoldsNul(name)) return kPathNotFound;
  std::string path = directory.path() + name;
  // Shared for reading only, as a file being written: nobody else writes it meanwhile.
  HANDLE held = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (held == INVALID_HANDLE_VALUE) {
    int32_t code = LastError();
    return code == kAccessDenied && win32::IsDirectoryAt(path) ? kNotRegularFile : code;
  }
  DWORD attributes = AttributesOfHandle(held);
  int32_t code = 0;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    code = kStoppedOnLink;
  } else if (GetFileType(held) != FILE_TYPE_DISK || attributes == INVALID_FILE_ATTRIBUTES ||
             (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    code = kNotRegularFile;
  }
  if (code != 0) {
    CloseHandle(held);
    return code;
  }
  *handle = OwnedHandle(FromWin32(held));
  return 0;
}

int32_t OpenExistingForWritingIn(const Directory& directory, const std::string& name,
                                 OwnedHandle* handle, DeviceKind* kind,
                                 std::optional<FileIdentity>* identity) {
  if (identity) identity->reset();
  DeviceKind opened = DeviceKind::kUnknown;
  // OPEN_EXISTING leads through a link only to what exists, and makes nothing.
  if (int32_t code = Open(directory.path() + name, GENERIC_WRITE, OPEN_EXISTING, handle, &opened)) {
    return code;
  }
  if (kind) *kind = opened;
  if (opened != DeviceKind::kDisk) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  // The share mode kept other writers out before anything is emptied.
  if (!SetEndOfFile(win32::ToWin32(handle->get())) ||
      !GetFileInformationByHandle(win32::ToWin32(handle->get()), &info)) {
    int32_t code = LastError();
    handle->Close();
    return code;
  }
  if (identity) *identity = win32::IdentityOfInformation(info);
  return 0;
}

int32_t CreateTemporaryFileIn(const Directory& directory, Handle like, std::string* name,
                              OwnedHandle* handle, DeviceKind* kind) {
  *handle = OwnedHandle();
  // Beside a file it replaces, the new file is made with that file's DACL alone, so that
  // nobody reads it whom the old one keeps out; TakeAccessOf gives it the rest.
  win32::SecurityOf security(like, win32::SecurityOf::kForNewFile);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, security.descriptor(), FALSE};
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    std::string candidate = TemporaryFileName(
        TemporaryNameSeed(GetCurrentProcessId(), static_cast<uint64_t>(now.QuadPart), attempt));
    win32::NoteTemporaryFile(directory.path(), candidate);
    // Delete sharing lets the console handler remove it while it is being written.
    HANDLE made =
        CreateFileA((directory.path() + candidate).c_str(),
                    GENERIC_READ | GENERIC_WRITE | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made != INVALID_HANDLE_VALUE) {
      *name = candidate;
      *handle = OwnedHandle(FromWin32(made));
      if (kind) *kind = DeviceKind::kDisk;
      return 0;
    }
    int32_t code = LastError();
    ForgetTemporaryFile(candidate);
    if (code != kFileExists) return code;
  }
  return kFileExists;
}

// Win32 has no file without a name: new files are made under a hidden name beside their own.
int32_t CreateUnnamedFileIn(const Directory&, OwnedHandle* handle, DeviceKind*) {
  *handle = OwnedHandle();
  return kUnsupportedOperation;
}

int32_t NameUnnamedFileIn(Handle, const Directory&, const std::string&) {
  return kUnsupportedOperation;
}

int32_t NameUnnamedFileAsTemporaryIn(Handle, const Directory&, std::string*) {
  return kUnsupportedOperation;
}

int32_t RenameIn(const Directory& directory, const std::string& from, const std::string& to) {
  if (HoldsNul(from) || HoldsNul(to)) return kPathNotFound;
  bool moved = MoveFileExA((directory.path() + from).c_str(), (directory.path() + to).c_str(),
                           MOVEFILE_REPLACE_EXISTING);
  return moved ? 0 : LastError();
}

int32_t RenameUnlessTakenIn(const Directory& directory, const std::string& from,
                            const std::string& to) {
  if (HoldsNul(from) || HoldsNul(to)) return kPathNotFound;
  if (MoveFileExA((directory.path() + from).c_str(), (directory.path() + to).c_str(), 0)) return 0;
  int32_t code = LastError();
  return code == ERROR_ALREADY_EXISTS ? kFileExists : code;
}

int32_t RemoveFileIn(const Directory& directory, const std::string& name) {
  if (HoldsNul(name)) return kPathNotFound;
  return RemoveLink(directory.path() + name);
}

}  // namespace quillpack::platform
