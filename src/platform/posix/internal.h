// What the files of the POSIX backend share: the translation of errno into failure codes,
// the sharing locks, and the process-wide settings that start-up makes.

#ifndef QUILLPACK_PLATFORM_POSIX_INTERNAL_H_
#define QUILLPACK_PLATFORM_POSIX_INTERNAL_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace quillpack::platform::posix {

// Whether the call that failed followed a link at the last part of its name.
enum class LastPart { kLinkFollowed, kLinkNotFollowed };

// The failure code that means what `error` means; a stable number for every other one.
// ELOOP means too many links in a row (3) where a link at the name is followed, and a link
// at the name (kStoppedOnLink) where none is (O_NOFOLLOW).
int32_t CodeOfErrno(int error, LastPart lastPart = LastPart::kLinkFollowed);

// As CodeOfErrno, but a missing `name` is 2 when its directory is there and 3 when the
// directory is missing, as on Windows.
int32_t CodeOfOpenFailure(int error, const std::string& name);

// A name with a NUL byte in it cannot reach the system whole; every call refuses it
// (platform.h).
bool HoldsNul(const std::string& name);

// The kind of the device `fd` is on, `mode` being its fstat mode.
DeviceKind KindOfOpened(int fd, mode_t mode);

// Read-only sharing: readers hold a shared lock (LOCK_SH), a writer an exclusive one
// (LOCK_EX), taken without waiting. Returns 32 on a conflict, 0 otherwise.
int32_t LockForSharing(int fd, int operation);

// Closes `fd` and returns `code`, for the failures that come after an open.
int32_t FailAndClose(int fd, int32_t code);

FileIdentity IdentityOf(dev_t device, ino_t inode);

FileStamp StampOfStat(const struct stat& info);

// Start-up: holds each standard descriptor the process started without with a
// placeholder, which still reports itself as missing.
void HoldMissingStandardDescriptors();

// Start-up: takes the collation from the environment (LC_COLLATE).
void UseCollationOfEnvironment();

// Puts the temporary file `name` inside the directory open on `directory` in the care of
// the interrupt handlers, which are installed at the first call (see CreateTemporaryFileIn).
void NoteTemporaryFile(int directory, const std::string& name);

// Removes the file in care, if any, and takes it out of care. Async-signal-safe: the
// interrupt and fault handlers call it.
void RemoveNotedFile();

}  // namespace quillpack::platform::posix

#endif  // QUILLPACK_PLATFORM_POSIX_INTERNAL_H_
