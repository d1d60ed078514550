// Warming the file cache on Win32: the bytes are read and dropped, with everything shared,
// so that the system keeps them and nobody is refused meanwhile.

#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/platform.h"

namespace quillpack::platform {
namespace {

constexpr DWORD kWarmBlockBytes = 256 * 1024;

// Reads up to `maxBytes` and drops them: the bytes stay in the system's file cache.
uint64_t ReadAndDrop(HANDLE file, uint64_t maxBytes) {
  std::unique_ptr<char[]> block(new char[kWarmBlockBytes]);
  uint64_t total = 0;
  while (total < maxBytes) {
    DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(kWarmBlockBytes, maxBytes - total));
    DWORD got = 0;
    if (!ReadFile(file, block.get(), wanted, &got, nullptr) || got == 0) break;
    total += got;
  }
  return total;
}

}  // namespace

uint64_t WarmFile(const std::string& name, uint64_t maxBytes) {
  if (name.find('\0') != std::string::npos || maxBytes == 0) return 0;
  // Sharing everything, so that nobody's open is refused because of the warmer.
  HANDLE file = CreateFileA(name.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  uint64_t bytes = GetFileType(file) == FILE_TYPE_DISK ? ReadAndDrop(file, maxBytes) : 0;
  CloseHandle(file);
  return bytes;
}

uint64_t WarmFileIn(const Directory& directory, const std::string& name, uint64_t maxBytes) {
  return WarmFile(directory.path() + name, maxBytes);
}

bool WarmFolderIn(const Directory& directory, const std::string& path) {
  if (path.find('\0') != std::string::npos) return false;
  std::string folder = directory.path() + path;
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return false;
  while (FindNextFileA(search, &found)) {
  }
  FindClose(search);
  return true;
}

}  // namespace quillpack::platform
