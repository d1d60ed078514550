#include "platform/platform.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace quillpack::platform {
namespace {

HANDLE ToWin32(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}
Handle FromWin32(HANDLE handle) {
  return reinterpret_cast<Handle>(handle);
}

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

void FillEntry(const WIN32_FIND_DATAA& data, FoundEntry* entry) {
  FILETIME local;
  WORD date = 0;
  WORD time = 0;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  entry->packedTime = (static_cast<uint32_t>(date) << 16) | time;
  entry->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  entry->attributes = data.dwFileAttributes;
  entry->name.assign(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
}

void CopyCut(const char* text, char* out, std::size_t capacity) {
  if (capacity == 0) return;
  std::size_t n = strnlen(text, capacity - 1);
  memcpy(out, text, n);
  out[n] = '\0';
}

const char* AfterLastBackslash(const char* path) {
  const char* slash = strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The final path is asked for only here, once per identified name: the listing itself
// carries no identity on Win32.
void FinalNameOf(HANDLE handle, std::string* ownName) {
  char path[4 * MAX_PATH];
  DWORD n = GetFinalPathNameByHandleA(handle, path, sizeof path, FILE_NAME_NORMALIZED);
  if (n == 0 || n >= sizeof path) return;
  std::string_view full(path, n);
  std::size_t slash = full.find_last_of("\\/");
  ownName->assign(slash == full.npos ? full : full.substr(slash + 1));
}

int32_t IdentityOfOpened(HANDLE handle, FileIdentity* identity, std::string* ownName) {
  if (ownName) ownName->clear();
  if (GetFileType(handle) != FILE_TYPE_DISK) return kAccessDenied;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return LastError();
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kAccessDenied;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  if (ownName) FinalNameOf(handle, ownName);
  return 0;
}

FaultHandler faultHandler = nullptr;

int32_t RunErrorOf(DWORD exceptionCode) {
  switch (exceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
      return kRunErrorAccessViolation;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
      return kRunErrorDivisionByZero;
    case EXCEPTION_STACK_OVERFLOW:
      return kRunErrorStackOverflow;
    default:
      return kRunErrorUnhandled;
  }
}

LONG WINAPI OnUnhandledFault(EXCEPTION_POINTERS* fault) {
  const EXCEPTION_RECORD* record = fault->ExceptionRecord;
  int32_t runError = RunErrorOf(record->ExceptionCode);
  if (faultHandler) faultHandler(runError, record->ExceptionAddress);
  ExitProcess(static_cast<UINT>(runError));
}

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
                                 OwnedHandle* handle, DeviceKind* kind, uint64_t* size) {
  return OpenExistingForReading(directory.path() + name, handle, kind, size);
}

int32_t CreateForWriting(const std::string& name, OwnedHandle* handle, DeviceKind* kind) {
  return Open(name, GENERIC_WRITE, CREATE_ALWAYS, handle, kind);
}

int32_t CreateNewForWriting(const std::string& name, OwnedHandle* handle, DeviceKind* kind) {
  return Open(name, GENERIC_WRITE, CREATE_NEW, handle, kind);
}

int32_t IdentifyFile(const std::string& name, FileIdentity* identity, std::string* ownName) {
  if (ownName) ownName->clear();
  if (HoldsNul(name)) return kInvalidName;
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
    if (!WriteFile(ToWin32(handle), bytes, chunk, &written, nullptr)) return LastError();
    if (written == 0) return kDiskFull;
    bytes += written;
    count -= written;
  }
  return 0;
}

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

DeviceKind KindOf(Handle handle) {
  switch (GetFileType(ToWin32(handle))) {
    case FILE_TYPE_CHAR:
      return DeviceKind::kCharacter;
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

struct SearchState {
  explicit SearchState(HANDLE found) : handle(found) {}
  ~SearchState() { ::FindClose(handle); }
  SearchState(const SearchState&) = delete;
  SearchState& operator=(const SearchState&) = delete;
  HANDLE handle;
};

Search::Search() = default;
Search::~Search() = default;
Search::Search(Search&&) noexcept = default;
Search& Search::operator=(Search&&) noexcept = default;

void Search::Close() {
  state_.reset();
}

int32_t FindFirst(const std::string& pattern, Search* search, FoundEntry* entry, EntryDetail) {
  search->Close();
  WIN32_FIND_DATAA data;
  HANDLE found = FindFirstFileA(pattern.c_str(), &data);
  if (found == INVALID_HANDLE_VALUE) return LastError();
  search->state_ = std::make_unique<SearchState>(found);
  FillEntry(data, entry);
  return 0;
}

int32_t FindNext(Search& search, FoundEntry* entry) {
  if (!search.IsOpen()) return kNoMoreFiles;
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(search.state_->handle, &data)) return LastError();
  FillEntry(data, entry);
  return 0;
}

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

int32_t SetAttributeBits(const std::string& name, uint32_t bits) {
  return SetFileAttributesA(name.c_str(), bits) ? 0 : LastError();
}

std::string FullPathName(const std::string& name) {
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
    for (int byte = first; byte <= last; ++byte)
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

void StartProcess(int, char**) {}

bool RawCommandLine(std::string* line) {
  line->assign(GetCommandLineA());
  return true;
}

const std::vector<std::string>& DeliveredArguments() {
  static const std::vector<std::string> kNone;
  return kNone;
}

std::string ModuleFileName() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
}

void DescribeCodeAddress(const void* address, char* moduleName, std::size_t capacity,
                         uintptr_t* offset) {
  char path[MAX_PATH + 1] = {};
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(address, &region, sizeof region) != 0 && region.State == MEM_COMMIT &&
      GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, sizeof path) > 0) {
    *offset =
        reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(region.AllocationBase);
  } else {
    GetModuleFileNameA(nullptr, path, sizeof path);
    uintptr_t position = reinterpret_cast<uintptr_t>(address);
    *offset = position == 0 ? 0 : position - kImageBaseOffset;
  }
  CopyCut(AfterLastBackslash(path), moduleName, capacity);
}

void ConvertToOem(char* text) {
  CharToOemA(text, text);
}

void WriteToErrorOutput(const char* bytes, std::size_t count) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes, static_cast<DWORD>(count), &written, nullptr);
}

void WriteToStandardOutputHandle(const char* bytes, std::size_t count) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, static_cast<DWORD>(count), &written, nullptr);
}

void InstallFaultHandler(FaultHandler handler) {
  faultHandler = handler;
  SetUnhandledExceptionFilter(&OnUnhandledFault);
}

void ExitProcessWith(int32_t status) {
  ExitProcess(static_cast<UINT>(status));
}

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

}  // namespace quillpack::platform
