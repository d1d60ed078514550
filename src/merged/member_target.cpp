#include "merged/member_target.h"

#include <utility>

#include "runtime/line_files.h"

namespace quillpack {
namespace {

// A racing program could put a link back after every removal; after this many looks the
// name counts as held by someone else.
constexpr int kReplaceAttempts = 100;

// The codes that mean the name changed between the look and the step that relied on it.
bool ChangedMeanwhile(int32_t code) {
  return code == platform::kFileExists || code == platform::kStoppedOnLink ||
         code == platform::kFileNotFound;
}

}  // namespace

TargetDirectory::TargetDirectory(const std::string& path)
    : openCode_(platform::OpenDirectory(path, &directory_)) {}

int32_t MemberTarget::Reach(const TargetDirectory& target, std::vector<std::string> parts) {
  if (int32_t code = target.openCode()) return code;
  directory_ = &target.directory();
  name_ = std::move(parts.back());
  parts.pop_back();
  for (const std::string& part : parts) {
    platform::Directory inner;
    if (int32_t code = platform::OpenSubdirectory(*directory_, part, &inner)) return code;
    reached_ = std::move(inner);
    directory_ = &reached_;
  }
  return 0;
}

platform::EntryKind MemberTarget::Kind() const {
  return platform::LookUpEntry(*directory_, name_);
}

int32_t MemberTarget::CreateNew(TextLineFile* file) {
  platform::OwnedHandle handle;
  platform::DeviceKind kind = platform::DeviceKind::kUnknown;
  int32_t code = platform::CreateNewFileIn(*directory_, name_, &handle, &kind);
  if (code == 0) file->AdoptForWriting(std::move(handle), kind);
  return code;
}

int32_t MemberTarget::Replace(TextLineFile* file) {
  for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
    int32_t code = ReplaceOnce(file);
    if (!ChangedMeanwhile(code)) return code;
  }
  return platform::kSharingViolation;
}

int32_t MemberTarget::ReplaceOnce(TextLineFile* file) {
  switch (Kind()) {
    case platform::EntryKind::kMissing:
      return CreateNew(file);
    case platform::EntryKind::kLink:
      if (int32_t code = platform::RemoveLinkIn(*directory_, name_)) return code;
      return CreateNew(file);
    case platform::EntryKind::kOther:
      return platform::kAccessDenied;
    case platform::EntryKind::kFile:
    case platform::EntryKind::kDirectory:
      break;
  }
  platform::OwnedHandle handle;
  platform::DeviceKind kind = platform::DeviceKind::kUnknown;
  int32_t code = platform::OpenExistingFileIn(*directory_, name_, &handle, &kind);
  if (code == 0) file->AdoptForWriting(std::move(handle), kind);
  return code;
}

}  // namespace quillpack
