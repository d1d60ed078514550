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

// One member's file: the directory that holds it, held open, and its name there.
class MemberTarget {
 public:
  // Reaches the directory that holds the last of `parts` (a member name's written parts)
  // from `target` through the parts before it. Returns 0, platform::kStoppedOnLink when
  // one of them is a link, or the platform's code (3 when one is missing).
  int32_t Reach(const TargetDirectory& target, std::vector<std::string> parts);

  // What is at the file's name now. REQUIRES: Reach returned 0.
  platform::EntryKind Kind() const;

  // Creates the file when nothing is there, `file` taking it over for writing. Returns 0,
  // 80 when something is there (a link included), or the platform's code.
  int32_t CreateNew(TextLineFile* file);

  // Makes the file ready for writing whatever is there now, `file` taking it over: a
  // regular file is emptied, a link removed and a new file made in its place, a missing
  // file created; each step looks again, so that nothing a racing program puts there is
  // ever followed. Returns 0 or the platform's code (5 for a directory or anything that is
  // not a regular file; 32 when the name keeps changing under it).
  int32_t Replace(TextLineFile* file);

 private:
  int32_t ReplaceOnce(TextLineFile* file);

  const platform::Directory* directory_ = nullptr;
  platform::Directory reached_;
  std::string name_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MEMBER_TARGET_H_
