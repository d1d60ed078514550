// Where a link leads on Win32: the system follows it on opening, and the final path of
// what it opened tells whether that lies below another folder held.

#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/internal.h"

namespace quillpack::platform {

using win32::FinalPathOf;
using win32::HoldsNul;
using win32::kShareAll;
using win32::LastError;
using win32::ToWin32;

namespace {

char FoldAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// Whether `path` names something below the folder `folder`, case ignored as the file
// systems of Windows ignore it.
bool LiesBelow(const std::string& path, std::string folder) {
  if (!folder.ends_with('\\')) folder += '\\';
  if (path.size() <= folder.size()) return false;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    if (FoldAscii(path[i]) != FoldAscii(folder[i])) return false;
  }
  return true;
}

int32_t Examine(HANDLE file, const Directory& top, bool* within, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return kNotRegularFile;
  }
  *identity = win32::IdentityOfInformation(info);
  std::string filePath;
  std::string topPath;
  if (int32_t code = FinalPathOf(file, &filePath)) return code;
  if (int32_t code = FinalPathOf(ToWin32(top.handle()), &topPath)) return code;
  *within = LiesBelow(filePath, topPath);
  return 0;
}

}  // namespace

int32_t FollowLinkIn(const Directory& top, const Directory& folder, const std::string& name,
                     bool* within, FileIdentity* identity) {
  *within = false;
  if (HoldsNul(name)) return kPathNotFound;
  HANDLE file = CreateFileA((folder.path() + name).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  int32_t code = Examine(file, top, within, identity);
  CloseHandle(file);
  return code;
}

}  // namespace quillpack::platform
