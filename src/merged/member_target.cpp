#include "merged/member_target.h"

#include <utility>

#include "text/line_files.h"

namespace quillpack {
namespace {

// A racing program could take the name and free it again after every create; after this
// many rounds the name counts as held by someone else.
constexpr int kCreateAttempts = 100;

// Opens the directory `name` inside `parent`, making it first when it is missing. Whatever
// is there, or comes there meanwhile, is opened as it is, never followed.
int32_t OpenOrCreate(const platform::Directory& parent, const std::string& name,
                     platform::Directory* directory) {
  int32_t code = platform::OpenSubdirectory(parent, name, directory);
  if (code != platform::kPathNotFound) return code;
  int32_t created = platform::CreateSubdirectoryIn(parent, name);
  if (created != 0 && created != platform::kFileExists) return created;
  return platform::OpenSubdirectory(parent, name, directory);
}

}  // namespace

TargetDirectory::TargetDirectory(const std::string& path)
    : openCode_(platform::OpenDirectory(path, &directory_)) {}

int32_t MemberTarget::Reach(TargetDirectory& target, std::vector<std::string> parts) {
  if (int32_t code = target.openCode()) return code;
  target_ = &target;
  directory_ = &target.directory();
  name_ = std::move(parts.back());
  parts.pop_back();
  for (const std::string& part : parts) {
    platform::Directory inner;
    if (int32_t code = OpenOrCreate(*directory_, part, &inner)) return code;
    reached_ = std::move(inner);
    directory_ = &reached_;
  }
  return 0;
}

int32_t MemberTarget::StartUnlessTaken(TextLineFile* file, platform::EntryKind* taken) {
  *taken = LookUp();
  if (*taken != platform::EntryKind::kMissing) return 0;
  if (target_->MakesNewFilesInPlace()) return CreateInPlace(file, taken);
  return replacement_.BeginNew(*directory_, name_, FileReplacement::Flush::kNo, file);
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
  if (replacement_.NamedOnlyByReplacing()) target_->MakeNewFilesInPlace();
  return code;
}

}  // namespace quillpack
