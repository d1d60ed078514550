// Where a merge writes its merged file. A regular file, or a name where nothing is yet,
// gets a new file beside it that takes the name only once the merge is complete and on
// the disk: a merge that fails leaves an old merged file as it was, and no file where
// there was none. Standard output and anything else the name is (a device, a FIFO, a
// link) are written as they are, but only as they were when the merge decided to write
// them: nothing is followed that came there after that decision.

#ifndef QUILLPACK_MERGED_MERGED_OUTPUT_H_
#define QUILLPACK_MERGED_MERGED_OUTPUT_H_

#include <optional>
#include <string>

#include "files/file_replacement.h"
#include "platform/platform.h"
#include "text/line_files.h"

namespace quillpack {

class MergedOutput {
 public:
  // Looks at the output `name` as it is now, so that an overwrite question asked next is
  // answered for what it saw. The empty name is standard output.
  explicit MergedOutput(const std::string& name);

  // How the name changed since the look, as far as the decision to write it goes: a file
  // is there and no answer was given for one (kNameTaken); a regular file or nothing became
  // something else (a link, a folder, a device), or a link is there that no answer was
  // given for, or that leads elsewhere now (kNoLongerAsDecided); what was seen, no file,
  // is gone (kGone: nothing to ask, but LookAgain).
  enum class Change { kNone, kNameTaken, kNoLongerAsDecided, kGone };
  Change ChangeSinceLook() const;

  // Looks again: the decision is made anew for what is there now, and an answer given
  // before no longer counts.
  void LookAgain();

  // An overwrite was decided (answered, or said on the command line) for what was seen.
  void Accept() { accepted_ = true; }

  // Opens the output for writing as the look saw it: a free name or a file gets a new file
  // beside it, whatever came there since; anything else is opened as it is. Raises EInOutError when
  // it cannot: 32 when another program holds an existing output. REQUIRES: ChangeSinceLook() gave
  // kNone.
  void Open();

  TextLineFile& file() { return file_; }

  // Closes the output, and a new file then takes its name. Returns false, with the new
  // file kept, when something took the name of a new output meanwhile: ReplaceTaken then
  // puts it there, or the new file goes with this object. Raises EInOutError.
  bool Finish();

  // After Finish found the name taken: the new file takes its place. Raises EInOutError.
  void ReplaceTaken();

  // What the name is now.
  platform::EntryKind KindNow() const;

  bool KeepsOldFile() const { return replacement_.KeepsOldFile(); }
  FileReplacement::InPlace WrittenInPlace() const { return replacement_.WrittenInPlace(); }

 private:
  std::optional<platform::FileIdentity> IdentityOfLinked() const;
  // Whether the output is written as a new file beside the name, begun here.
  bool BeginBeside();
  void WriteAsItIs();

  std::string name_;
  std::string last_;
  // Standard output, or a name whose last part the file system still splits (Win32 takes
  // "/" too): opened by the name, as ever.
  bool byName_ = false;
  platform::Directory directory_;
  int32_t directoryCode_ = 0;
  platform::EntryKind kind_ = platform::EntryKind::kMissing;
  // What a link at the name led to, when that was a regular file.
  std::optional<platform::FileIdentity> linked_;
  bool accepted_ = false;
  FileReplacement replacement_;
  // Declared after the replacement, so that it closes before an unfinished one goes.
  TextLineFile file_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MERGED_OUTPUT_H_
