#include "runtime/file_replacement.h"

#include <utility>

#include "runtime/line_files.h"

namespace quillpack {
namespace {

// The file went, or a link took its place, between the look and the hold: there is
// nothing to hold, and Finish replaces whatever is there then.
bool ChangedMeanwhile(int32_t code) {
  return code == platform::kFileNotFound || code == platform::kStoppedOnLink;
}

}  // namespace

FileReplacement::~FileReplacement() {
  RemoveNewFile();
}

int32_t FileReplacement::Begin(const platform::Directory& directory, const std::string& name,
                               TextLineFile* file) {
  RemoveNewFile();
  held_.Close();
  switch (platform::LookUpEntry(directory, name)) {
    case platform::EntryKind::kFile:
      if (int32_t code = platform::HoldForReplacingIn(directory, name, &held_)) {
        if (!ChangedMeanwhile(code)) return code;
      }
      break;
    case platform::EntryKind::kDirectory:
      return platform::kAccessDenied;
    case platform::EntryKind::kOther:
      return platform::kNotRegularFile;
    case platform::EntryKind::kMissing:
    case platform::EntryKind::kLink:
      break;
  }
  platform::OwnedHandle handle;
  platform::DeviceKind kind = platform::DeviceKind::kUnknown;
  std::string temporaryName;
  if (int32_t code =
          platform::CreateTemporaryFileIn(directory, held_.get(), &temporaryName, &handle, &kind)) {
    held_.Close();
    return code;
  }
  directory_ = &directory;
  name_ = name;
  temporaryName_ = std::move(temporaryName);
  file->AdoptForWriting(std::move(handle), kind);
  return 0;
}

int32_t FileReplacement::Finish() {
  // Win32 cannot rename over a file this process holds open.
  held_.Close();
  int32_t code = platform::RenameIn(*directory_, temporaryName_, name_);
  if (code != 0) {
    RemoveNewFile();
    return code;
  }
  temporaryName_.clear();
  return 0;
}

void FileReplacement::RemoveNewFile() {
  if (temporaryName_.empty()) return;
  platform::RemoveFileIn(*directory_, temporaryName_);
  temporaryName_.clear();
}

}  // namespace quillpack
