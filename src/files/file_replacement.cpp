#include "files/file_replacement.h"

#include <utility>

#include "text/line_files.h"

namespace quillpack {
namespace {

// The file went, or a link took its place, between the look and the hold: there is
// nothing to hold, and the new file replaces whatever is there then.
bool ChangedMeanwhile(int32_t code) {
  return code == platform::kFileNotFound || code == platform::kStoppedOnLink;
}

// Why a rename that failed with `code` leaves the old file to be written in place.
FileReplacement::InPlace InPlaceAfterRename(int32_t code) {
  switch (code) {
    case platform::kAccessDenied:
      return FileReplacement::InPlace::kNameRefused;
    case platform::kBusy:
      return FileReplacement::InPlace::kMountedOrBusy;
    case platform::kNotSameDevice:
      return FileReplacement::InPlace::kOtherMount;
    default:
      return FileReplacement::InPlace::kNo;
  }
}

// Holds the regular file `name` for replacing, when one is there; a directory fails with 5
// and anything else that is no file with kNotRegularFile.
int32_t HoldWhatIsThere(const platform::Directory& directory, const std::string& name,
                        platform::OwnedHandle* held) {
  switch (platform::LookUpEntry(directory, name)) {
    case platform::EntryKind::kFile:
      if (int32_t code = platform::HoldForReplacingIn(directory, name, held)) {
        if (!ChangedMeanwhile(code)) return code;
      }
      return 0;
    case platform::EntryKind::kDirectory:
      return platform::kAccessDenied;
    case platform::EntryKind::kOther:
      return platform::kNotRegularFile;
    case platform::EntryKind::kMissing:
    case platform::EntryKind::kLink:
      return 0;
  }
  return 0;
}

}  // namespace

FileReplacement::~FileReplacement() {
  RemoveNewFile();
}

void FileReplacement::Reset(const platform::Directory& directory, const std::string& name,
                            Flush flush) {
  RemoveNewFile();
  held_.Close();
  written_.Close();
  directory_ = &directory;
  name_ = name;
  flush_ = flush;
  replacesFile_ = placed_ = namedOnlyByReplacing_ = unnamedRefused_ = false;
  inPlace_ = InPlace::kNo;
}

int32_t FileReplacement::Begin(const platform::Directory& directory, const std::string& name,
                               Flush flush, TextLineFile* file) {
  Reset(directory, name, flush);
  isNew_ = false;
  if (int32_t code = HoldWhatIsThere(directory, name, &held_)) return code;
  replacesFile_ = held_.IsOpen();
  int32_t code = Start(held_.get(), file);
  if (code == platform::kAccessDenied && held_.IsOpen()) return WriteHeldInPlace(file);
  if (code != 0) held_.Close();
  return code;
}

int32_t FileReplacement::BeginNew(const platform::Directory& directory, const std::string& name,
                                  Flush flush, TextLineFile* file, NewFile how) {
  Reset(directory, name, flush);
  isNew_ = true;
  if (how == NewFile::kUnnamed) {
    int32_t code = StartUnnamed(file);
    if (code != platform::kUnsupportedOperation) return code;
    unnamedRefused_ = true;
  }
  return Start(platform::kNoHandle, file);
}

// A second handle keeps the unnamed file, to name it once its writer has closed.
int32_t FileReplacement::StartUnnamed(TextLineFile* file) {
  platform::OwnedHandle handle;
  platform::DeviceKind kind = platform::DeviceKind::kUnknown;
  if (int32_t code = platform::CreateUnnamedFileIn(*directory_, &handle, &kind)) return code;
  if (int32_t code = platform::DuplicateHandleOf(handle.get(), &written_)) return code;
  unnamed_ = true;
  file->AdoptForWriting(std::move(handle), kind);
  return 0;
}

// Makes the new file beside the name and hands it to `file`; a second handle stays where
// the old file's access or a flush come to it after its writer has closed.
int32_t FileReplacement::Start(platform::Handle like, TextLineFile* file) {
  platform::OwnedHandle handle;
  platform::DeviceKind kind = platform::DeviceKind::kUnknown;
  std::string temporaryName;
  if (int32_t code =
          platform::CreateTemporaryFileIn(*directory_, like, &temporaryName, &handle, &kind)) {
    return code;
  }
  temporaryName_ = std::move(temporaryName);
  if (like != platform::kNoHandle || flush_ == Flush::kToDisk) {
    if (int32_t code = platform::DuplicateHandleOf(handle.get(), &written_)) {
      RemoveNewFile();
      return code;
    }
  }
  file->AdoptForWriting(std::move(handle), kind);
  return 0;
}

// The folder refuses a new file beside the old one: the old one is written as before the
// hidden files, emptied once it is held.
int32_t FileReplacement::WriteHeldInPlace(TextLineFile* file) {
  if (int32_t code = platform::WriteInPlace(held_.get(), platform::kNoHandle)) {
    held_.Close();
    return code;
  }
  inPlace_ = InPlace::kNoNewFileBeside;
  file->AdoptForWriting(std::move(held_), platform::DeviceKind::kDisk);
  return 0;
}

int32_t FileReplacement::Finish() {
  if (!IsPending()) return 0;
  int32_t code = Seal();
  if (code == 0) code = isNew_ ? Name() : Replace();
  if (code != 0 && code != platform::kFileExists) RemoveNewFile();
  return code;
}

// The old file's access, then the flush, come to the new file only now that its content
// is complete: whoever the access lets in finds nothing half written.
int32_t FileReplacement::Seal() {
  if (held_.IsOpen()) {
    if (int32_t code = platform::TakeAccessOf(held_.get(), written_.get())) return code;
  }
  if (flush_ == Flush::kToDisk) return platform::FlushToDisk(written_.get());
  return 0;
}

int32_t FileReplacement::Replace() {
  // Where the platform can, the hold keeps other writers out until the name has moved.
  if (!platform::kRenamesOverHeldFiles) held_.Close();
  int32_t code = platform::RenameIn(*directory_, temporaryName_, name_);
  if (code == 0) {
    Placed();
    return 0;
  }
  InPlace why = InPlaceAfterRename(code);
  if (why == InPlace::kNo || !replacesFile_ || !written_.IsOpen()) return code;
  if (!held_.IsOpen() && platform::HoldForReplacingIn(*directory_, name_, &held_) != 0) return code;
  inPlace_ = why;
  if (int32_t copied = platform::WriteInPlace(held_.get(), written_.get())) return copied;
  RemoveNewFile();
  return 0;
}

int32_t FileReplacement::Name() {
  if (unnamed_) return NameUnnamed();
  written_.Close();
  int32_t code = platform::RenameUnlessTakenIn(*directory_, temporaryName_, name_);
  if (code == platform::kUnsupportedOperation) {
    namedOnlyByReplacing_ = true;
    code = ClaimAndRename();
  }
  if (code == 0) Placed();
  return code;
}

// The name is made this run's own first, empty, so that the rename replaces nothing else;
// 80 when it is taken.
int32_t FileReplacement::ClaimAndRename() {
  platform::OwnedHandle claimed;
  if (int32_t code = platform::CreateNewFileIn(*directory_, name_, &claimed, nullptr)) return code;
  claimed.Close();
  return platform::RenameIn(*directory_, temporaryName_, name_);
}

int32_t FileReplacement::NameUnnamed() {
  int32_t code = platform::NameUnnamedFileIn(written_.get(), *directory_, name_);
  if (code == 0) Placed();
  if (code != platform::kUnsupportedOperation) return code;
  unnamedRefused_ = true;
  if (int32_t copied = CopyUnnamedToHidden()) return copied;
  return Name();
}

// Where the system cannot name a file by its handle after all, its content goes to a hidden
// file beside the name, which takes the name as any.
int32_t FileReplacement::CopyUnnamedToHidden() {
  platform::OwnedHandle copy;
  std::string temporaryName;
  if (int32_t code = platform::CreateTemporaryFileIn(*directory_, platform::kNoHandle,
                                                     &temporaryName, &copy, nullptr)) {
    return code;
  }
  temporaryName_ = std::move(temporaryName);
  int32_t code = platform::WriteInPlace(copy.get(), written_.get());
  if (code == 0 && flush_ == Flush::kToDisk) code = platform::FlushToDisk(copy.get());
  unnamed_ = false;
  written_ = std::move(copy);
  return code;
}

// A taken name is replaced by a rename, which needs a name to rename from.
int32_t FileReplacement::NameUnnamedAsHidden() {
  std::string temporaryName;
  int32_t code =
      platform::NameUnnamedFileAsTemporaryIn(written_.get(), *directory_, &temporaryName);
  if (code != 0) return code;
  temporaryName_ = std::move(temporaryName);
  unnamed_ = false;
  written_.Close();
  return 0;
}

int32_t FileReplacement::ReplaceTaken() {
  if (unnamed_) {
    if (int32_t code = NameUnnamedAsHidden()) {
      RemoveNewFile();
      return code;
    }
  }
  held_.Close();
  int32_t code = HoldWhatIsThere(*directory_, name_, &held_);
  isNew_ = false;
  replacesFile_ = held_.IsOpen();
  if (code == 0 && replacesFile_) {
    // The new file's own writer is gone: it is reached again by its hidden name, for its
    // access only, so that no write in place follows from it.
    code = platform::HoldForReplacingIn(*directory_, temporaryName_, &written_);
    if (code == 0) code = platform::TakeAccessOf(held_.get(), written_.get());
    written_.Close();
  }
  if (code == 0) code = Replace();
  if (code != 0) RemoveNewFile();
  return code;
}

void FileReplacement::Placed() {
  if (!temporaryName_.empty()) platform::ForgetTemporaryFile(temporaryName_);
  temporaryName_.clear();
  unnamed_ = false;
  placed_ = true;
  written_.Close();
  held_.Close();
}

void FileReplacement::RemoveNewFile() {
  if (unnamed_) {
    // Its last handle takes it away.
    unnamed_ = false;
    written_.Close();
  }
  if (temporaryName_.empty()) return;
  platform::RemoveFileIn(*directory_, temporaryName_);
  platform::ForgetTemporaryFile(temporaryName_);
  temporaryName_.clear();
}

}  // namespace quillpack
