#include "merged/merged_output.h"

#include <utility>

#include "files/path_names.h"
#include "text/checked_steps.h"

namespace quillpack {

MergedOutput::MergedOutput(const std::string& name) : name_(name) {
  file_.AssignName(name);
  std::string directory = DirectoryPartOf(name);
  last_ = name.substr(directory.size());
  bool splitAgain = last_.find_first_of(HostPathRules().separators) != last_.npos;
  byName_ = last_.empty() || splitAgain;
  if (byName_) return;
  if (directory.empty()) directory = CurrentDirectory();
  directoryCode_ = platform::OpenDirectory(WithTrailingDelimiter(directory), &directory_);
  LookAgain();
}

void MergedOutput::LookAgain() {
  // An answer covers only what was there when it was given.
  accepted_ = false;
  kind_ = KindNow();
  linked_ = IdentityOfLinked();
}

platform::EntryKind MergedOutput::KindNow() const {
  if (byName_ || directoryCode_ != 0) return platform::EntryKind::kMissing;
  return platform::LookUpEntry(directory_, last_);
}

std::optional<platform::FileIdentity> MergedOutput::IdentityOfLinked() const {
  platform::FileIdentity identity;
  if (kind_ != platform::EntryKind::kLink || platform::IdentifyFile(name_, &identity) != 0) {
    return std::nullopt;
  }
  return identity;
}

MergedOutput::Change MergedOutput::ChangeSinceLook() const {
  platform::EntryKind now = KindNow();
  switch (now) {
    case platform::EntryKind::kMissing:
      // A link or a device that went away is decided again: it must not count when it
      // comes back, as a free name does not.
      return kind_ == platform::EntryKind::kMissing || kind_ == platform::EntryKind::kFile
                 ? Change::kNone
                 : Change::kGone;
    case platform::EntryKind::kFile:
      return accepted_ ? Change::kNone : Change::kNameTaken;
    case platform::EntryKind::kLink:
      // Followed only where an answer was given for this very link, leading where it led.
      if (!accepted_ || kind_ != now || IdentityOfLinked() != linked_) {
        return Change::kNoLongerAsDecided;
      }
      return Change::kNone;
    case platform::EntryKind::kDirectory:
    case platform::EntryKind::kOther:
      break;
  }
  return now == kind_ ? Change::kNone : Change::kNoLongerAsDecided;
}

void MergedOutput::Open() {
  if (byName_) {
    CheckedOpenForWriting(file_);
  } else if (!BeginBeside()) {
    WriteAsItIs();
  }
  // A pipe or a redirected standard output takes the merged text in blocks too.
  file_.MoveInBlocks();
}

bool MergedOutput::BeginBeside() {
  CheckedPlatformStep(directoryCode_);
  // Chosen by what the decision saw, not by what is there now: a link that came since
  // into a free name or over a file is replaced or met by the no-replace naming, never
  // followed.
  if (kind_ != platform::EntryKind::kFile && kind_ != platform::EntryKind::kMissing) return false;
  constexpr auto kFlush = FileReplacement::Flush::kToDisk;
  int32_t code = kind_ == platform::EntryKind::kMissing
                     ? replacement_.BeginNew(directory_, last_, kFlush, &file_)
                     : replacement_.Begin(directory_, last_, kFlush, &file_);
  // What only looked like a file (a device, on Win32) is written as it is.
  if (code == platform::kNotRegularFile) return false;
  CheckedPlatformStep(code);
  return true;
}

// Through the directory held, never creating anything: what a link leads to must exist.
void MergedOutput::WriteAsItIs() {
  platform::OwnedHandle handle;
  platform::DeviceKind kind = platform::DeviceKind::kUnknown;
  CheckedPlatformStep(platform::OpenExistingForWritingIn(directory_, last_, &handle, &kind));
  file_.AdoptForWriting(std::move(handle), kind);
}

bool MergedOutput::Finish() {
  CheckedClose(file_);
  if (!replacement_.IsPending()) return true;
  int32_t code = replacement_.Finish();
  if (code == platform::kFileExists) return false;
  CheckedPlatformStep(code);
  return true;
}

void MergedOutput::ReplaceTaken() {
  CheckedPlatformStep(replacement_.ReplaceTaken());
}

}  // namespace quillpack
