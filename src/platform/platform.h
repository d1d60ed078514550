// The operating system as the layers above see it: the effects the tool relies on, in plain
// C++ types. One backend per system stands behind this header (win32/ on the Win32 API,
// posix/ on POSIX, split alike by concern); the build links exactly one of them.
//
// Every call that can fail returns a failure code: 0 for success, otherwise a number of
// the failure table (2 file not found, 3 path not found, 5 access denied, 32 sharing
// violation, 112 disk full, ...). Win32 passes GetLastError() on unchanged; POSIX maps
// errno to the code with the same meaning, in one table in posix/internal.cpp.
//
// A name that holds a NUL byte cannot reach the system whole: every call that takes one
// refuses it on both backends with 3 (kPathNotFound, "Invalid filename"), finds nothing
// there, or gives the empty full path.

#ifndef QUILLPACK_PLATFORM_PLATFORM_H_
#define QUILLPACK_PLATFORM_PLATFORM_H_

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillpack::platform {

enum class HostSystem { kWindows, kPosix };

// The one place that says which family of path, option and name rules the host follows.
#ifdef _WIN32
inline constexpr HostSystem kHostSystem = HostSystem::kWindows;
#else
inline constexpr HostSystem kHostSystem = HostSystem::kPosix;
#endif

// The longest file name, in bytes and without a terminating NUL, that the host takes:
// MAX_PATH less its NUL on Win32, PATH_MAX less one on POSIX.
inline constexpr std::size_t kWindowsMaxPathBytes = 259;
inline constexpr std::size_t kPosixMaxPathBytes = 4095;
inline constexpr std::size_t kMaxPathBytes =
    kHostSystem == HostSystem::kWindows ? kWindowsMaxPathBytes : kPosixMaxPathBytes;

// Failure codes that the layers above name.
inline constexpr int32_t kFileNotFound = 2;
inline constexpr int32_t kPathNotFound = 3;
inline constexpr int32_t kTooManyOpenFiles = 4;
inline constexpr int32_t kAccessDenied = 5;
inline constexpr int32_t kInvalidHandle = 6;
// Two names on different devices (or mounts): one cannot be renamed to the other.
inline constexpr int32_t kNotSameDevice = 17;
inline constexpr int32_t kNoMoreFiles = 18;
inline constexpr int32_t kSharingViolation = 32;
inline constexpr int32_t kFileExists = 80;
inline constexpr int32_t kBrokenPipe = 109;
// A write to standard output that failed because no one reads it any more: a pipe whose
// reader has gone. Other pipes without a reader fail with the platform's code (232 on
// POSIX). An application's own code, as Win32 marks them (bit 29), so it meets no system
// code.
inline constexpr int32_t kStandardOutputGone = 0x20000000 | 232;
inline constexpr int32_t kDiskFull = 112;
// In use by the system: on POSIX also a name where something is mounted.
inline constexpr int32_t kBusy = 170;
inline constexpr int32_t kInvalidName = 123;
// Win32's "not supported", given here also where a regular file is needed and something
// else is there: a directory, a FIFO, a device.
inline constexpr int32_t kNotRegularFile = 50;
// Win32's "incorrect function": the file system cannot do what was asked of it.
inline constexpr int32_t kUnsupportedOperation = 1;

// ---------------------------------------------------------------------------------------
// Files and standard handles

// A HANDLE on Win32, a descriptor on POSIX.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// Closes a handle this process opened.
int32_t CloseFileHandle(Handle handle);

// A handle this process opened, closed when its owner goes unless handed over first.
// Move-only.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(Handle handle) : handle_(handle) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kNoHandle);
    }
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  bool IsOpen() const { return handle_ != kNoHandle; }
  Handle get() const { return handle_; }

  // Hands the handle over: from now on the caller closes it.
  Handle Release() { return std::exchange(handle_, kNoHandle); }

  // Closes the handle now and returns the platform's code (0 when none was held).
  int32_t Close() { return IsOpen() ? CloseFileHandle(Release()) : 0; }

 private:
  Handle handle_ = kNoHandle;
};

// kTerminal is a device someone types at and reads from: a terminal on POSIX, a console on
// Win32. kCharacter is any other character device (/dev/null, NUL, a serial line).
enum class DeviceKind { kUnknown, kCharacter, kTerminal, kDisk, kPipe };
enum class StandardStream { kInput, kOutput, kError };

// Opens an existing file for reading from its start. The file is shared for reading only:
// while anyone holds it open for writing, the open fails with 32 (also inside this
// process). A directory is refused with 5. When
// `kind` is given it receives the device kind of the opened handle; when `size` is given,
// the size a disk file reports at opening (0 for other kinds, and for files such as those
// of /proc that report 0 yet hold bytes).
int32_t OpenExistingForReading(const std::string& name, OwnedHandle* handle,
                               DeviceKind* kind = nullptr, uint64_t* size = nullptr);

// Creates the file, or empties an existing one, for writing. Shared for reading only: a
// file that anyone holds open, for reading or writing, fails with 32 and is left as it was.
int32_t CreateForWriting(const std::string& name, OwnedHandle* handle, DeviceKind* kind = nullptr);

// Creates the file for writing only when nothing by that name exists (a file, a
// directory, a link even if it leads nowhere); fails with 80 when something does.
int32_t CreateNewForWriting(const std::string& name, OwnedHandle* handle,
                            DeviceKind* kind = nullptr);

// Reads up to `capacity` bytes into `buffer`; `*count` gets the number read, 0 at the end
// of the input. A pipe whose writer has gone reads as 0 bytes, not as a failure.
int32_t ReadSome(Handle handle, char* buffer, std::size_t capacity, std::size_t* count);

// Writes all `count` bytes, writing on after a short write, or reports a failure (a write
// that takes nothing at all is a full disk; kStandardOutputGone on standard output whose
// reader has gone).
int32_t WriteAll(Handle handle, const char* bytes, std::size_t count);

// Writes all of `first`, then all of `second`, as WriteAll does, in one call where the
// platform can: bytes waiting in one buffer and those that complete them elsewhere go out
// without being copied together first.
int32_t WriteAllOfTwo(Handle handle, std::string_view first, std::string_view second);

// Asks the system to let the pipe behind `handle` hold at least `bytes` for its reader, so
// that the writer fills one block while the reader takes the one before instead of each
// waiting for the other. Best effort, never fails: a pipe the system will not widen (Win32
// keeps the size a pipe was made with; Linux caps what a user's pipes may hold), or a
// handle that is no pipe, stays as it is.
void LetPipeHold(Handle handle, std::size_t bytes);

// The standard handle of `stream`. Fails (6 on POSIX) when the process started without it.
int32_t GetStandardHandle(StandardStream stream, Handle* handle);

// What kind of device a handle is on: a terminal (isatty on POSIX, GetConsoleMode on
// Win32) kTerminal, other character devices kCharacter; regular files kDisk; pipes, FIFOs
// and sockets kPipe. The opens above tell the kind in the same terms.
DeviceKind KindOf(Handle handle);

// Opens the terminal the process runs at for reading (kInput) or writing (kOutput),
// whatever its standard handles lead to: /dev/tty on POSIX, CONIN$ and CONOUT$ on Win32.
// Fails with the platform's code when the process has none.
int32_t OpenTerminal(StandardStream side, OwnedHandle* handle);

// Whether `name` leads to the very file that standard input is on, told by identity (a
// pipe or a terminal too, where the platform tells theirs): a file that standard input
// already carries. False when either cannot be told.
bool IsStandardInput(const std::string& name);

// ---------------------------------------------------------------------------------------
// File identity

// What makes a file the one it is, whatever name leads to it: the device and inode number
// on POSIX, the volume serial number and file index on Win32.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file that `name` leads to (links followed), or of the one
// an open handle is on. Fails with the platform's code when nothing is there (2, 3), and
// with 5 for anything but a regular file: a directory, a pipe, a console, a device. When
// `ownName` is given it receives the file's own name in its directory where the platform
// tells it with the identity (Win32: the last part of its final path), else nothing.
int32_t IdentifyFile(const std::string& name, FileIdentity* identity,
                     std::string* ownName = nullptr);
int32_t IdentifyHandle(Handle handle, FileIdentity* identity, std::string* ownName = nullptr);

// The size and last-write time of a file: when either differs between two looks, the file
// was written in between.
struct FileStamp {
  uint64_t size = 0;
  // In the platform's own units (nanoseconds on POSIX, 100 ns on Win32).
  int64_t modified = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the file an open handle is on, as it is now.
int32_t StampOf(Handle handle, FileStamp* stamp);

// What an open of a regular file inside a held directory tells of it.
struct OpenedFile {
  DeviceKind kind = DeviceKind::kUnknown;
  FileIdentity identity;
  FileStamp stamp;
};

// ---------------------------------------------------------------------------------------
// Directory enumeration

// Attribute bits, with the Win32 values.
inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeVolumeLabel = 0x08;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;
inline constexpr uint32_t kAttributeNormal = 0x80;
// A symbolic link (on Win32 any reparse point); the other bits are those of what it leads to.
inline constexpr uint32_t kAttributeReparsePoint = 0x400;

// The longest entry name an enumeration hands over on Win32 (MAX_PATH).
inline constexpr std::size_t kMaxEntryNameBytes = kWindowsMaxPathBytes + 1;

// One entry of an enumeration.
struct FoundEntry {
  uint32_t attributes = 0;
  uint64_t size = 0;
  // Last-write time in local time, packed as a DOS date-time: date high, time low.
  uint32_t packedTime = 0;
  // The entry's name without any directory part.
  std::string name;
  // What the file the entry leads to is, where the enumeration tells it at no further
  // cost (kListingTellsIdentity): always on POSIX (a link's is its target's), never on
  // Win32.
  std::optional<FileIdentity> identity;
};

// Whether every entry an enumeration hands over tells its identity; where it does, an entry
// without one is a link that leads nowhere.
inline constexpr bool kListingTellsIdentity = kHostSystem == HostSystem::kPosix;

// Whether a mask may take entries by more than the names an enumeration hands over: Win32
// matches the short (8.3) name of each entry as well ("*.htm" takes INDEX~1.HTM, the
// short name of index.html). Where it may, only the platform's own search for the mask
// tells which entries it takes; elsewhere the names alone do (mask_match.h).
inline constexpr bool kMasksMatchShortNames = kHostSystem == HostSystem::kWindows;

// How much an enumeration tells of each entry (FindFirst).
enum class EntryDetail { kFull, kNamesAndKinds };

// Each backend's own record of an enumeration in progress, which it ends and frees.
struct SearchState;
struct SearchStateDeleter {
  void operator()(SearchState* state) const;
};

class Directory;

// One enumeration in progress, ended when it goes. Move-only.
class Search {
 public:
  bool IsOpen() const { return state_ != nullptr; }

  // Ends the enumeration now; nothing happens when none is open.
  void Close() { state_.reset(); }

 private:
  friend int32_t FindFirst(const std::string& pattern, Search* search, FoundEntry* entry,
                           EntryDetail detail);
  friend int32_t FindNext(Search& search, FoundEntry* entry);
  friend int32_t FindFirstIn(const Directory& directory, const std::string& mask, Search* search,
                             FoundEntry* entry, EntryDetail detail);

  std::unique_ptr<SearchState, SearchStateDeleter> state_;
};

// Starts an enumeration of the entries that match `pattern`, a path whose last component
// may hold the wildcards "*" and "?" (matched without regard to case; "*.*" matches every
// name, "*." the names without a dot). On success `*search` is open and `*entry` holds the
// first entry; otherwise the code is returned (2 nothing matched, 3 missing directory) and
// nothing stays open. A last component without wildcards ignores case too: POSIX looks it
// up as spelled first and lists the names that match it only when that finds nothing.
// On POSIX a name that begins with "." counts as hidden and anything that is neither a
// regular file nor a directory as system; a symbolic link counts as what it points to,
// with kAttributeReparsePoint besides.
// With kNamesAndKinds the entries may come without size, time and the read-only bit (0
// each), which spares POSIX a call per entry wherever the directory tells the kind itself.
int32_t FindFirst(const std::string& pattern, Search* search, FoundEntry* entry,
                  EntryDetail detail = EntryDetail::kFull);

// The next entry of an open enumeration, or 18 when there is none (or none is open).
int32_t FindNext(Search& search, FoundEntry* entry);

// Sets a file's attribute bits, for tests that need hidden or system files. Win32 only:
// POSIX derives the bits from the name and the file type and answers 1 (not supported).
int32_t SetAttributeBits(const std::string& name, uint32_t bits);

// ---------------------------------------------------------------------------------------
// Directories held open

// A step that met a symbolic link (on Win32 a reparse point) where it follows none.
inline constexpr int32_t kStoppedOnLink = 681;

// A directory held open, so that names inside it are looked up and files made relative to
// it: a directory renamed or swapped for a link meanwhile cannot redirect them. Move-only;
// closes in its destructor.
class Directory {
 public:
  Directory() = default;
  Directory(OwnedHandle handle, std::string path)
      : handle_(std::move(handle)), path_(std::move(path)) {}

  bool IsOpen() const { return handle_.IsOpen(); }
  Handle handle() const { return handle_.get(); }
  // The path it was opened by, ending in a delimiter; Win32 makes the names inside it
  // from this path, while the held handle keeps the directory from being moved. POSIX
  // reaches every name through the handle, and a folder opened inside another keeps no
  // path, so that a deep walk does not hold a full path for every level.
  const std::string& path() const { return path_; }

 private:
  OwnedHandle handle_;
  std::string path_;
};

// What a name inside a directory is: looked up literally, never as a pattern, and a link
// is reported as one, not followed. kOther is anything but a file, a directory or a link
// (a FIFO, socket or device).
enum class EntryKind { kMissing, kFile, kDirectory, kLink, kOther };

// Opens the regular file `name` inside `directory` for reading, shared for reading only
// as OpenExistingForReading opens a full name: the name is looked up from the directory
// held, not walked from the root again, and a link is followed as a listing follows it.
// Never waits: anything there that is no regular file (a directory, a FIFO, a device,
// put there meanwhile) fails with kNotRegularFile and is never read. `opened`, when
// given, receives what the file is at opening.
int32_t OpenExistingForReadingIn(const Directory& directory, const std::string& name,
                                 OwnedHandle* handle, OpenedFile* opened = nullptr);

// Opens the directory `path`, following links: the user named it. `path` ends in the
// host's delimiter. Fails with 3 when it is missing or no directory.
int32_t OpenDirectory(const std::string& path, Directory* directory);

// Opens the directory `name` inside `parent` without following a link: kStoppedOnLink when
// `name` is one, 3 when it is missing or no directory.
int32_t OpenSubdirectory(const Directory& parent, const std::string& name, Directory* directory);

// The identity of the directory `directory` is open on.
int32_t IdentifyDirectory(const Directory& directory, FileIdentity* identity);

// Whether `name` inside `parent`, looked up without following a link, is still the
// directory whose identity is `identity` (IdentifyDirectory): false once it has been
// removed, renamed or replaced by anything else, a link above all. REQUIRES: `parent` is
// held open; on Win32, where a held directory cannot be renamed or replaced, a directory
// opened as `name` inside `parent` is also still held, and the answer is then true.
bool IsStillSubdirectory(const Directory& parent, const std::string& name,
                         const FileIdentity& identity);

// Creates the directory `name` inside `parent`, never through a link: 80 when anything by
// that name is there already.
int32_t CreateSubdirectoryIn(const Directory& parent, const std::string& name);

// What `name` inside `directory` is. The empty name is the directory itself.
EntryKind LookUpEntry(const Directory& directory, const std::string& name);

// Creates the file `name` inside `directory` for writing, shared for reading only, when
// nothing by that name exists: fails with 80 when something does, a link included, which
// is never followed.
int32_t CreateNewFileIn(const Directory& directory, const std::string& name, OwnedHandle* handle,
                        DeviceKind* kind);

// Opens the existing regular file `name` inside `directory` for writing without changing
// it, held as a file being written is held (shared for reading only), so that nobody
// writes it or takes it for reading while it is being replaced. Fails with 32 when anyone
// holds it open, 2 when nothing is there, kStoppedOnLink for a link (never followed) and
// kNotRegularFile for anything else; never waits.
int32_t HoldForReplacingIn(const Directory& directory, const std::string& name,
                           OwnedHandle* handle);

// Opens what `name` inside `directory` is, as it is, for writing: a device, a FIFO (whose
// open waits for a reader, as with any output a user names), or what a link leads to;
// nothing is ever created. A regular file is held as a file being written is held (32
// when anyone holds it open) and only then emptied; `identity`, when given, receives its
// identity, and nothing for anything else. Fails with 2 when nothing is there, 5 for a
// directory.
int32_t OpenExistingForWritingIn(const Directory& directory, const std::string& name,
                                 OwnedHandle* handle, DeviceKind* kind,
                                 std::optional<FileIdentity>* identity = nullptr);

// Creates a new, empty file for reading and writing inside `directory` under a hidden name
// of its own that begins with ".quillpack-" and names nothing yet; `*name` receives it.
// With `like` kNoHandle the file gets the access any new file gets there: it is to be a
// new name. Otherwise it is open to this process's user alone (POSIX: 0600; Win32: made
// with the DACL of the file `like` is open on), so that nobody can read what is written
// into it whom that file does not let read it; TakeAccessOf gives it the rest later.
// From its creation until ForgetTemporaryFile names it, an interrupt that ends the process
// (SIGINT, SIGTERM, SIGHUP; on Win32 Ctrl-C, Ctrl-Break and closing the console) removes
// the file first and then ends the process as the interrupt would have: only a SIGKILL or
// a power cut can leave one behind. One file at a time: a later one takes the place of an
// earlier one in that care.
int32_t CreateTemporaryFileIn(const Directory& directory, Handle like, std::string* name,
                              OwnedHandle* handle, DeviceKind* kind);

// The temporary file `name` has taken its name or is gone: an interrupt leaves that name
// alone from now on. Nothing changes while another file is in that care.
void ForgetTemporaryFile(const std::string& name);

// Creates a new, empty file for reading and writing inside `directory` that has no name
// yet, with the access any new file made there gets: nothing shows in the directory until
// NameUnnamedFileIn names it, and a process that ends before, however it ends (a SIGKILL
// or a power cut too), leaves nothing behind. kUnsupportedOperation where the system or
// the file system makes no such file (POSIX without O_TMPFILE; always on Win32).
int32_t CreateUnnamedFileIn(const Directory& directory, OwnedHandle* handle, DeviceKind* kind);

// Gives the unnamed file open on `handle` (CreateUnnamedFileIn, inside `directory`) the
// name `name` while nothing by that name exists, `name` never half there: fails with 80
// when something has it (a file, a directory, a link, never followed) and changes nothing.
// kUnsupportedOperation where the system can name a file by its handle neither directly
// nor through /proc; the file then stays unnamed, to be copied.
int32_t NameUnnamedFileIn(Handle handle, const Directory& directory, const std::string& name);

// As NameUnnamedFileIn, with a hidden name of its own as CreateTemporaryFileIn makes one,
// put in the same care of the interrupts first; `*name` receives it.
int32_t NameUnnamedFileAsTemporaryIn(Handle handle, const Directory& directory, std::string* name);

// Gives the file open on `to` the access of the file open on `from`, in this order: owner
// and group, as far as this process may give them away (where either cannot be kept, the
// set-user-ID and set-group-ID bits are left off); the extended attributes, the access ACL
// among them, where the file system keeps them (best effort: one that cannot be copied is
// left out quietly, and so are file capabilities, which a write into the old file would
// drop too); then the permission bits. Win32: the DACL, best effort. Returns 0, or the
// platform's code when the permission bits cannot be set.
int32_t TakeAccessOf(Handle from, Handle to);

// A second handle on the file `handle` is open on, closed on its own.
int32_t DuplicateHandleOf(Handle handle, OwnedHandle* copy);

// Writes the data of the file open for writing on `handle` through to the disk, so that a
// power cut after it returned 0 cannot take it away (fdatasync; FlushFileBuffers).
int32_t FlushToDisk(Handle handle);

// Empties the file held on `held` (HoldForReplacingIn), and unless `from` is kNoHandle
// writes into it all that the file open for reading on `from` holds, from its start.
int32_t WriteInPlace(Handle held, Handle from);

// Puts the file `from` inside `directory` in the place of `to` in one step, replacing the
// file or link `to` names (a link itself, never what it points to): whoever opens `to`
// finds the old file or the new one, never a mix. Fails with 5 for a directory at `to` and
// where the folder lets no file take that name, with kBusy where something is mounted at
// `to` and kNotSameDevice where `to` lies on another mount. Where !kRenamesOverHeldFiles,
// it fails while this process holds `to` open.
int32_t RenameIn(const Directory& directory, const std::string& from, const std::string& to);

// Whether RenameIn replaces a file this process holds open (POSIX): the hold can then keep
// other writers out until the name has moved. Win32 cannot rename over a file held open.
inline constexpr bool kRenamesOverHeldFiles = kHostSystem == HostSystem::kPosix;

// Whether a file can be put in the place of a symbolic link found at a name with no moment
// in which a racing program could make the name lead elsewhere: POSIX renames over the
// link itself, from directories held. The plain Win32 calls cannot promise it, so there a
// link at a name the tool would replace is refused rather than replaced.
inline constexpr bool kReplacesLinksSafely = kHostSystem == HostSystem::kPosix;

// Gives the file `from` inside `directory` the name `to` while nothing by that name exists,
// `to` never half there; when something does (a file, a link, a directory, even one that
// came a moment ago), fails with 80 and changes nothing. POSIX renames without replacing
// (RENAME_NOREPLACE) or, on a file system that cannot, links the new name and removes the
// old one; kUnsupportedOperation where the file system can do neither.
int32_t RenameUnlessTakenIn(const Directory& directory, const std::string& from,
                            const std::string& to);

// Removes the file or link `name` inside `directory`, never what a link points to.
int32_t RemoveFileIn(const Directory& directory, const std::string& name);

// Follows the link `name` inside `folder`, and every link on its way, to what it leads
// to, step by step from directories held, never by a path. `folder` is `top` or a folder
// below it. Returns 0 when it leads to a regular file, with `*within` telling whether that
// file lies in `top` or a folder below it and `*identity` what file it is; otherwise the
// platform's code: kNotRegularFile for anything else at its end, 2 or 3 when it leads
// nowhere, 3 after too many links in a row.
int32_t FollowLinkIn(const Directory& top, const Directory& folder, const std::string& name,
                     bool* within, FileIdentity* identity);

// As FindFirst, for the entries of the held `directory` that match `mask`, a last
// component without any directory part: the directory is read through the handle held,
// whatever its path names meanwhile.
int32_t FindFirstIn(const Directory& directory, const std::string& mask, Search* search,
                    FoundEntry* entry, EntryDetail detail = EntryDetail::kFull);

// ---------------------------------------------------------------------------------------
// Paths, code page, collation

// The absolute form of `name`, resolved as text: against the current directory, "." and
// ".." steps folded, the name need not exist, wildcards pass through, links are not
// followed. Empty when the platform fails or the result would exceed kMaxPathBytes.
std::string FullPathName(const std::string& name);

// The current directory as the platform reports it; "." when it cannot say.
std::string CurrentDirectoryName();

using LeadByteSet = std::bitset<256>;

// The byte values that open a double-byte character in the active ANSI code page; empty
// for single-byte code pages and always on POSIX.
LeadByteSet AnsiLeadBytes();

enum class CaseRule { kSensitive, kIgnoreCase };

// Compares two texts under the user's locale: -1, 0 or +1, or -2 if the platform fails.
// With kIgnoreCase, texts that differ only in ASCII letter case compare equal.
int32_t LocaleCompare(std::string_view a, std::string_view b, CaseRule rule);

// ---------------------------------------------------------------------------------------
// Warming the file cache

// Asks the platform to start bringing up to `maxBytes` from the start of the regular file
// `name` into its file cache, so that a read soon after finds them there; returns the
// number of bytes asked for: 0 when the name does not open or is no regular file, and on
// POSIX when the file's start is in the cache already (nothing to ask for). A hint only,
// safe on any thread: it takes no sharing lock and refuses nobody an open, a lock, a
// write or a delete of the file meanwhile; it records no failure code, never waits on a
// FIFO and changes nothing in the file. POSIX hands the range to posix_fadvise; Win32
// reads it and throws the bytes away.
uint64_t WarmFile(const std::string& name, uint64_t maxBytes);

// As WarmFile, for the file `name` inside the held `directory`.
uint64_t WarmFileIn(const Directory& directory, const std::string& name, uint64_t maxBytes);

// Asks the platform to read the entries of the folder `path` (below the held `directory`,
// parts joined by the host's delimiter) into its cache, so that a listing of it soon after
// finds them there. A hint only, as WarmFile: safe on any thread, a link at `path` itself
// is not followed, and a path that does not open as a folder is passed over. Returns
// whether the calling thread had to have anything read from a disk for it (POSIX counts
// the thread's block reads); false for a folder in the cache already or one that does not
// open. Win32 cannot tell and answers true for a folder.
bool WarmFolderIn(const Directory& directory, const std::string& path);

// ---------------------------------------------------------------------------------------
// Process

// Called first thing in the process with the vector main() received. On POSIX it also
// holds each closed standard descriptor with a placeholder, so that no file opened later
// lands on descriptor 0, 1 or 2 (the standard handle itself still reports its failure),
// and sets the collation from the environment.
void StartProcess(int argc, char** argv);

// The raw command line when the host hands one over (Win32); false on POSIX.
bool RawCommandLine(std::string* line);

// The arguments as the host delivered them, program name first (POSIX).
const std::vector<std::string>& DeliveredArguments();

// The room for a module's file name with its NUL: MAX_PATH and one more on Win32.
inline constexpr std::size_t kModuleNameCapacity = kWindowsMaxPathBytes + 2;

// The full path of the running executable; at most kModuleNameCapacity - 1 bytes on Win32.
std::string ModuleFileName();

// Where a program's code starts in its image, for code positions that no image holds.
inline constexpr uintptr_t kImageBaseOffset = 0x1000;

// Describes the loaded image that holds a code address: its file name without directory
// (NUL-terminated, cut to fit `capacity`) and the address less the image's load address.
// When no image holds it, the program's own file name and the address less
// kImageBaseOffset (0 for a null address). Uses fixed buffers only, so that it works when
// memory has run out.
void DescribeCodeAddress(const void* address, char* moduleName, std::size_t capacity,
                         uintptr_t* offset);

// Converts a report from the ANSI to the OEM code page in place (Win32); nothing on POSIX.
void ConvertToOem(char* text);

// Writes bytes straight to the error output or the standard output handle; results are
// ignored, as the reports that use them have nowhere else to go.
void WriteToErrorOutput(const char* bytes, std::size_t count);
void WriteToStandardOutputHandle(const char* bytes, std::size_t count);

// The machine faults the platform tells apart; what each means to the tool is the
// process's matter.
enum class FaultKind { kAccessViolation, kDivisionByZero, kStackOverflow, kOther };

// Called on a machine fault with its kind and the faulting code position. A stack
// overflow is told as such wherever the platform can tell it: on Win32 by the system, on
// POSIX by a fault address at the end of the main thread's stack. The handler runs where
// the fault happened (on POSIX inside a signal handler, on its own stack) and is to end
// the process without returning; if it returns, the fault takes its own course and ends
// the process as it would without a handler.
using FaultHandler = void (*)(FaultKind kind, const void* position);
void InstallFaultHandler(FaultHandler handler);

// Ends the process with `status`. Does not run destructors of static objects.
[[noreturn]] void ExitProcessWith(int32_t status);

}  // namespace quillpack::platform

#endif  // QUILLPACK_PLATFORM_PLATFORM_H_
