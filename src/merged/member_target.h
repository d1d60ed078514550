// Where an extract writes its members: below a target directory that other programs may
// change while the extract runs. Each member's file is reached from the target directory
// held open, one directory part inside the other, and no symbolic link is ever followed;
// whether something is there already is asked by a literal lookup, never by a pattern.

#ifndef QUILLPACK_MERGED_MEMBER_TARGET_H_
#define QUILLPACK_MERGED_MEMBER_TARGET_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "runtime/file_replacement.h"

namespace quillpack {

class TextLineFile;

// The target directory, held open for the whole extract.
class TargetDirectory {
 public:
  // Opens `path`, which ends in the host's delimiter, following links: the user named it.
  // A failure is kept, and every member then fails with its code.
  explicit TargetDirectory(const std::string& path);

  // The directory, and 0; or the code its opening failed with.
  const platform::Directory& directory() const { return directory_; }
  int32_t openCode() const { return openCode_; }

 private:
  platform::Directory directory_;
  int32_t openCode_;
};

// One member's file: the directory that holds it, held open, and its name there. Stays
// where it was made (it may point into itself).
class MemberTarget {
 public:
  MemberTarget() = default;
  MemberTarget(const MemberTarget&) = delete;
  MemberTarget& operator=(const MemberTarget&) = delete;

  // Reaches the directory that holds the last of `parts` (a member name's written parts)
  // from `target` through the parts before it, making those that are missing. Returns 0,
  // platform::kStoppedOnLink when one of them is a link, or the platform's code (3 when one
  // is a file).
  int32_t Reach(const TargetDirectory& target, std::vector<std::string> parts);

  // Creates the file when nothing is there, `file` taking it over for writing, and sets
  // `*taken` to kMissing; when something is there, sets `*taken` to what it is and
  // creates nothing. A name found gone on the look after a failed create is created
  // again, so that nothing is ever taken for there that is not. Returns 0, or the
  // platform's code (32 when the name keeps changing). REQUIRES: Reach returned 0.
  int32_t CreateUnlessTaken(TextLineFile* file, platform::EntryKind* taken);

  // Starts writing the file anew, to take the place of whatever is at the name when the
  // file is finished (FileReplacement::Begin). Returns 0 or the platform's code.
  int32_t BeginReplacement(TextLineFile* file);

  // Once `file` is closed: a replacement takes the name. Returns 0 or the platform's code.
  int32_t Finish() { return replacement_.IsPending() ? replacement_.Finish() : 0; }

 private:
  const platform::Directory* directory_ = nullptr;
  platform::Directory reached_;
  std::string name_;
  FileReplacement replacement_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MEMBER_TARGET_H_
