#include "merged/member_target.h"

#include <cstddef>
#include <utility>

#include "text/line_files.h"

namespace quillpack {
namespace {

// A racing program could take the name and free it again after every create; after this
// many rounds the name counts as held by someone else.
constexpr int kCreateAttempts = 100;

// A folder that gets more members than this is looked up in for every further one, so
// that the names met stay few.
constexpr std::size_t kMostNamesMet = 1 << 16;

}  // namespace

TargetDirectory::TargetDirectory(const std::string& path)
    : openCode_(platform::OpenDirectory(path, &directory_)) {}

int32_t TargetDirectory::Reach(const std::vector<std::string>& folders,
                               const platform::Directory** reached) {
  *reached = nullptr;
  if (openCode_ != 0) return openCode_;
  std::size_t kept = StillHeld(folders);
  if (kept == folders_.size() && kept == folders.size()) {
    *reached = &Innermost();
    return 0;
  }
  folders_.erase(folders_.begin() + static_cast<std::ptrdiff_t>(kept), folders_.end());
  // Another innermost folder: only one this extract has just made is known to be empty.
  sparing_ = false;
  metNames_.clear();
  for (std::size_t level = folders_.size(); level < folders.size(); ++level) {
    if (int32_t code = OpenFolder(folders[level])) return code;
  }
  sparing_ = kept < folders.size() && folders_.back().made;
  *reached = &Innermost();
  return 0;
}

bool TargetDirectory::SparesLookUpOf(const std::string& name) {
  if (!sparing_) return false;
  std::string folded = name;
  for (char& byte : folded) {
    if (static_cast<unsigned char>(byte) >= 0x80) {
      // Beyond ASCII, some file systems take different names for the same one.
      sparing_ = false;
      return false;
    }
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  }
  if (metNames_.size() >= kMostNamesMet) sparing_ = false;
  // A short name (Win32's NAME~1.TXT) may stand for a long one met before.
  bool met = !metNames_.insert(std::move(folded)).second || name.find('~') != name.npos;
  return sparing_ && !met;
}

const platform::Directory& TargetDirectory::Innermost() const {
  return folders_.empty() ? directory_ : folders_.back().directory;
}

// How many of the folders held, from the outermost, `folders` passes through again: each
// under the same name, and that name inside the folder above still holding it.
std::size_t TargetDirectory::StillHeld(const std::vector<std::string>& folders) const {
  std::size_t level = 0;
  for (; level < folders_.size() && level < folders.size(); ++level) {
    const HeldFolder& held = folders_[level];
    const platform::Directory& above = level == 0 ? directory_ : folders_[level - 1].directory;
    if (held.name != folders[level] ||
        !platform::IsStillSubdirectory(above, held.name, held.identity)) {
      break;
    }
  }
  return level;
}

// Opens the folder `name` inside the innermost one held, making it first when it is
// missing. Whatever is there, or comes there meanwhile, is opened as it is, never followed.
int32_t TargetDirectory::OpenFolder(const std::string& name) {
  const platform::Directory& parent = Innermost();
  HeldFolder folder{name, platform::Directory(), platform::FileIdentity(), false};
  int32_t code = platform::OpenSubdirectory(parent, name, &folder.directory);
  if (code == platform::kPathNotFound) {
    code = platform::CreateSubdirectoryIn(parent, name);
    folder.made = code == 0;
    if (code == 0 || code == platform::kFileExists) {
      code = platform::OpenSubdirectory(parent, name, &folder.directory);
    }
  }
  if (code == 0) code = platform::IdentifyDirectory(folder.directory, &folder.identity);
  if (code == 0) folders_.push_back(std::move(folder));
  return code;
}

void TargetDirectory::LearnFrom(const FileReplacement& replacement) {
  if (replacement.NamedOnlyByReplacing()) {
    newFiles_ = NewFiles::kInPlace;
  } else if (replacement.UnnamedRefused() && newFiles_ == NewFiles::kUnnamed) {
    newFiles_ = NewFiles::kHidden;
  }
}

int32_t MemberTarget::Reach(TargetDirectory& target, std::vector<std::string> parts) {
  target_ = &target;
  name_ = std::move(parts.back());
  parts.pop_back();
  return target.Reach(parts, &directory_);
}

int32_t MemberTarget::StartUnlessTaken(TextLineFile* file, platform::EntryKind* taken) {
  *taken = target_->SparesLookUpOf(name_) ? platform::EntryKind::kMissing : LookUp();
  if (*taken != platform::EntryKind::kMissing) return 0;
  TargetDirectory::NewFiles how = target_->HowNewFilesAreMade();
  if (how == TargetDirectory::NewFiles::kInPlace) return CreateInPlace(file, taken);
  int32_t code = replacement_.BeginNew(*directory_, name_, FileReplacement::Flush::kNo, file,
                                       how == TargetDirectory::NewFiles::kUnnamed
                                           ? FileReplacement::NewFile::kUnnamed
                                           : FileReplacement::NewFile::kHidden);
  target_->LearnFrom(replacement_);
  return code;
}

int32_t MemberTarget::CreateInPlace(TextLineFile* file, platform::EntryKind* taken) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    platform::OwnedHandle handle;
    platform::DeviceKind kind = platform::DeviceKind::kUnknown;
    int32_t code = platform::CreateNewFileIn(*directory_, name_, &handle, &kind);
    if (code != platform::kFileExists) {
      if (code == 0) file->AdoptForWriting(std::move(handle), kind);
      *taken = platform::EntryKind::kMissing;
      return code;
    }
    *taken = LookUp();
    if (*taken != platform::EntryKind::kMissing) return 0;
  }
  return platform::kSharingViolation;
}

int32_t MemberTarget::BeginReplacement(TextLineFile* file) {
  return replacement_.Begin(*directory_, name_, FileReplacement::Flush::kNo, file);
}

int32_t MemberTarget::Finish() {
  if (!replacement_.IsPending()) return 0;
  int32_t code = replacement_.Finish();
  target_->LearnFrom(replacement_);
  return code;
}

}  // namespace quillpack
