// Paths, code page and collation on Win32.

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace quillpack::platform {

std::string FullPathName(const std::string& name) {
  if (name.find('\0') != std::string::npos) return std::string();
  char buffer[MAX_PATH];
  char* filePart = nullptr;
  DWORD n = GetFullPathNameA(name.c_str(), MAX_PATH, buffer, &filePart);
  // Past the buffer the call reports the size it would need and writes nothing.
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(buffer, n);
}

std::string CurrentDirectoryName() {
  char buffer[MAX_PATH + 1] = {};
  DWORD n = GetCurrentDirectoryA(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return ".";
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

LeadByteSet AnsiLeadBytes() {
  LeadByteSet set;
  char codePageText[16] = {};
  UINT codePage = 0;
  if (GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, codePageText,
                     sizeof codePageText) > 0) {
    codePage = static_cast<UINT>(std::atoi(codePageText));
  }
  if (codePage == 0) codePage = GetACP();
  CPINFO info;
  if (!GetCPInfo(codePage, &info)) return set;
  for (int i = 0; i + 1 < MAX_LEADBYTES; i += 2) {
    BYTE first = info.LeadByte[i];
    BYTE last = info.LeadByte[i + 1];
    if (first == 0 && last == 0) break;
    for (std::size_t byte = first; byte <= last; ++byte)
      set.set(byte);
  }
  return set;
}

int32_t LocaleCompare(std::string_view a, std::string_view b, CaseRule rule) {
  // Lengths are always explicit, and an empty text is an empty string, never null.
  const char* textA = a.empty() ? "" : a.data();
  const char* textB = b.empty() ? "" : b.data();
  DWORD flags = rule == CaseRule::kIgnoreCase ? NORM_IGNORECASE : 0;
  return CompareStringA(LOCALE_USER_DEFAULT, flags, textA, static_cast<int>(a.size()), textB,
                        static_cast<int>(b.size())) -
         2;
}

}  // namespace quillpack::platform
