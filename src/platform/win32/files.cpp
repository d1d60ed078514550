// Files and standard handles on Win32.

#include <windows.h>

#include <string_view>

#include "platform/platform.h"
#include "platform/win32/internal.h"

namespace quillpack::platform {

using win32::FromWin32;
using win32::HoldsNul;
using win32::kShareAll;
using win32::LastError;
using win32::Open;
using win32::ToWin32;

namespace {

// The final path is asked for only here, once per identified name: the listing itself
// carries no identity on Win32.
void FinalNameOf(HANDLE handle, std::string* ownName) {
  std::string full;
  if (win32::FinalPathOf(handle, &full) != 0) return;
  std::size_t slash = full.find_last_of("\\/");
  ownName->assign(slash == full.npos ? full : full.substr(slash + 1));
}

int32_t IdentityOfOpened(HANDLE handle, FileIdentity* identity, std::string* ownName) {
  if (ownName) ownName->clear();
  if (GetFileType(handle) != FILE_TYPE_DISK) return kAccessDenied;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return LastError();
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kAccessDenied;
  *identity = win32::IdentityOfInformation(info);
  if (ownName) FinalNameOf(handle, ownName);
  return 0;
}

// Standard output with no reader left is told apart: nothing the run says reaches anyone.
// Windows says ERROR_NO_DATA, Wine ERROR_PIPE_NOT_CONNECTED.
int32_t WriteFailure(HANDLE handle) {
  int32_t code = LastError();
  bool readerGone =
      code == ERROR_NO_DATA || code == ERROR_PIPE_NOT_CONNECTED || code == ERROR_BROKEN_PIPE;
  return readerGone && handle == GetStdHandle(STD_OUTPUT_HANDLE) ? kStandardOutputGone : code;
}

}  // namespace

int32_t OpenExistingForReading(const std::string& name, OwnedHandle* handle, DeviceKind* kind,
                               uint64_t* size) {
  DeviceKind opened = DeviceKind::kUnknown;
  int32_t code = Open(name, GENERIC_READ, OPEN_EXISTING, handle, &opened);
  if (kind) *kind = opened;
  if (size) {
    LARGE_INTEGER bytes = {};
    bool known =
        code == 0 && opened == DeviceKind::kDisk && GetFileSizeEx(ToWin32(handle->get()), &bytes);
    *size = known ? static_cast<uint64_t>(bytes.QuadPart) : 0;
  }
  return code;
}

int32_t OpenExistingForReadingIn(const Directory& directory, const std::string& name,
                                 OwnedHandle* handle, OpenedFile* opened) {
  *handle = OwnedHandle();
  if (HoldsNul(name)) return kPathNotFound;
  std::string path = directory.path() + name;
  DeviceKind kind = DeviceKind::kUnknown;
  int32_t code = Open(path, GENERIC_READ, OPEN_EXISTING, handle, &kind);
  if (code == kAccessDenied && win32::IsDirectoryAt(path)) return kNotRegularFile;
  if (code != 0) return code;
  BY_HANDLE_FILE_INFORMATION info;
  if (kind != DeviceKind::kDisk) code = kNotRegularFile;
  if (code == 0 && !GetFileInformationByHandle(ToWin32(handle->get()), &info)) code = LastError();
  if (code != 0) {
    handle->Close();
    return code;
  }
  if (opened) {
    opened->kind = kind;
    opened->identity = win32::IdentityOfInformation(info);
    opened->stamp = win32::StampOfInformation(info);
  }
  return 0;
}

int32_t StampOf(Handle handle, FileStamp* stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(ToWin32(handle), &info)) return LastError();
  *stamp = win32::StampOfInformation(info);
  return 0;
}

int32_t CreateForWriting(const std::string& name, OwnedHandle* handle, DeviceKind* kind) {
  return Open(name, GENERIC_WRITE, CREATE_ALWAYS, handle, kind);
}

int32_t CreateNewForWriting(const std::string& name, OwnedHandle* handle, DeviceKind* kind) {
  return Open(name, GENERIC_WRITE, CREATE_NEW, handle, kind);
}

int32_t DuplicateHandleOf(Handle handle, OwnedHandle* copy) {
  *copy = OwnedHandle();
  HANDLE self = GetCurrentProcess();
  HANDLE duplicate = nullptr;
  if (!DuplicateHandle(self, ToWin32(handle), self, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return LastError();
  }
  *copy = OwnedHandle(FromWin32(duplicate));
  return 0;
}

int32_t FlushToDisk(Handle handle) {
  return FlushFileBuffers(ToWin32(handle)) ? 0 : LastError();
}

int32_t WriteInPlace(Handle held, Handle from) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(ToWin32(held), start, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(ToWin32(held))) {
    return LastError();
  }
  if (from == kNoHandle) return 0;
  if (!SetFilePointerEx(ToWin32(from), start, nullptr, FILE_BEGIN)) return LastError();
  char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(ToWin32(from), buffer, sizeof buffer, &got, nullptr)) return LastError();
    if (got == 0) return 0;
    if (int32_t code = WriteAll(held, buffer, got)) return code;
  }
}

int32_t IdentifyFile(const std::string& name, FileIdentity* identity, std::string* ownName) {
  if (ownName) ownName->clear();
  if (HoldsNul(name)) return kPathNotFound;
  // Reading attributes is no access to the data, so no sharing is in the way, whoever
  // holds the file.
  HANDLE opened = CreateFileA(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return LastError();
  int32_t code = IdentityOfOpened(opened, identity, ownName);
  CloseHandle(opened);
  return code;
}

int32_t IdentifyHandle(Handle handle, FileIdentity* identity, std::string* ownName) {
  // A handle open for writing only (a redirected standard output) may not read the file's
  // attributes; a handle of its own to the same file may.
  HANDLE given = ToWin32(handle);
  if (GetFileType(given) != FILE_TYPE_DISK) return kAccessDenied;
  HANDLE reopened = ReOpenFile(given, FILE_READ_ATTRIBUTES, kShareAll, 0);
  if (reopened == INVALID_HANDLE_VALUE) return IdentityOfOpened(given, identity, ownName);
  int32_t code = IdentityOfOpened(reopened, identity, ownName);
  CloseHandle(reopened);
  return code;
}

int32_t ReadSome(Handle handle, char* buffer, std::size_t capacity, std::size_t* count) {
  DWORD got = 0;
  *count = 0;
  if (!ReadFile(ToWin32(handle), buffer, static_cast<DWORD>(capacity), &got, nullptr)) {
    int32_t code = LastError();
    // A pipe whose writer has gone is simply at its end.
    return code == kBrokenPipe ? 0 : code;
  }
  *count = got;
  return 0;
}

int32_t WriteAll(Handle handle, const char* bytes, std::size_t count) {
  constexpr DWORD kLargestWrite = 0x40000000;
  while (count > 0) {
    DWORD chunk = count > kLargestWrite ? kLargestWrite : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!WriteFile(ToWin32(handle), bytes, chunk, &written, nullptr)) {
      return WriteFailure(ToWin32(handle));
    }
    if (written == 0) return kDiskFull;
    bytes += written;
    count -= written;
  }
  return 0;
}

// An anonymous pipe keeps the buffer it was made with.
void LetPipeHold(Handle, std::size_t) {}

int32_t WriteAllOfTwo(Handle handle, std::string_view first, std::string_view second) {
  if (int32_t code = WriteAll(handle, first.data(), first.size())) return code;
  return WriteAll(handle, second.data(), second.size());
}

int32_t CloseFileHandle(Handle handle) {
  return CloseHandle(ToWin32(handle)) ? 0 : LastError();
}

int32_t GetStandardHandle(StandardStream stream, Handle* handle) {
  static const DWORD kIds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  HANDLE found = GetStdHandle(kIds[static_cast<int>(stream)]);
  if (found == INVALID_HANDLE_VALUE) {
    *handle = kNoHandle;
    return LastError();
  }
  *handle = FromWin32(found);
  return 0;
}

int32_t OpenTerminal(StandardStream side, OwnedHandle* handle) {
  *handle = OwnedHandle();
  const char* name = side == StandardStream::kInput ? "CONIN$" : "CONOUT$";
  HANDLE opened =
      CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return LastError();
  *handle = OwnedHandle(FromWin32(opened));
  return 0;
}

// Only a disk file tells its identity; a pipe or the console standard input is on cannot
// be the file a name leads to.
bool IsStandardInput(const std::string& name) {
  Handle input = kNoHandle;
  FileIdentity ofInput;
  FileIdentity ofName;
  return GetStandardHandle(StandardStream::kInput, &input) == 0 &&
         IdentifyHandle(input, &ofInput) == 0 && IdentifyFile(name, &ofName) == 0 &&
         ofInput == ofName;
}

DeviceKind KindOf(Handle handle) {
  switch (GetFileType(ToWin32(handle))) {
    case FILE_TYPE_CHAR: {
      // NUL is a character device too; only a console has a mode.
      DWORD mode = 0;
      return GetConsoleMode(ToWin32(handle), &mode) ? DeviceKind::kTerminal
                                                    : DeviceKind::kCharacter;
    }
    case FILE_TYPE_DISK:
      return DeviceKind::kDisk;
    case FILE_TYPE_PIPE:
      return DeviceKind::kPipe;
    case FILE_TYPE_UNKNOWN:
      return DeviceKind::kUnknown;
    default:
      return DeviceKind::kDisk;
  }
}

}  // namespace quillpack::platform
