#include "merged/merged_output.h"

#include "runtime/checked_steps.h"
#include "runtime/path_names.h"

namespace quillpack {

MergedOutput::MergedOutput(const std::string& name) {
  file_.AssignName(name);
  if (!BeginReplacement(name)) CheckedOpenForWriting(file_);
  // A pipe or a redirected standard output takes the merged text in blocks too.
  file_.MoveInBlocks();
}

bool MergedOutput::BeginReplacement(const std::string& name) {
  std::string directory = DirectoryPartOf(name);
  std::string last = name.substr(directory.size());
  // A last part that the file system still splits (Win32 takes "/" too) is left to it.
  bool splitAgain =
      platform::kHostSystem == platform::HostSystem::kWindows && last.find('/') != last.npos;
  if (last.empty() || splitAgain) return false;
  if (directory.empty()) directory = CurrentDirectory();
  if (platform::OpenDirectory(WithTrailingDelimiter(directory), &directory_) != 0) return false;
  platform::EntryKind kind = platform::LookUpEntry(directory_, last);
  if (kind != platform::EntryKind::kFile && kind != platform::EntryKind::kMissing) return false;
  int32_t code = replacement_.Begin(directory_, last, &file_);
  // What only looked like a file (a device, on Win32) is written as it is.
  if (code == platform::kNotRegularFile) return false;
  CheckedPlatformStep(code);
  return true;
}

void MergedOutput::Finish() {
  CheckedClose(file_);
  if (replacement_.IsPending()) CheckedPlatformStep(replacement_.Finish());
}

}  // namespace quillpack
