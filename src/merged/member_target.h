// Where an extract writes its members: below a target directory that other programs may
// change while the extract runs. Each member's file is reached from the target directory
// held open, one directory part inside the other, and no symbolic link is ever followed;
// whether something is there already is asked by a literal lookup, never by a pattern.

#ifndef QUILLPACK_MERGED_MEMBER_TARGET_H_
#define QUILLPACK_MERGED_MEMBER_TARGET_H_

#include <cstdint>
#include <string>
#include <vector>

#include "files/file_replacement.h"
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

  // Whether new members are made under their own names, where nothing is, rather than
  // beside them: once a file system here turned out to give a new file its name only by
  // replacing what is there, writing beside would cost a claim and a rename per member.
  bool MakesNewFilesInPlace() const { return newFilesInPlace_; }
  void MakeNewFilesInPlace() { newFilesInPlace_ = true; }

 private:
  platform::Directory directory_;
  int32_t openCode_;
  bool newFilesInPlace_ = false;
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
  int32_t Reach(TargetDirectory& target, std::vector<std::string> parts);

  // When something is at the name, sets `*taken` to what it is and starts nothing. When
  // nothing is, sets `*taken` to kMissing and starts the member's file, `file` taking it
  // over for writing: a new file beside the name, which takes the name only once it is
  // whole (Finish); where the target makes new files in place, the file itself, created
  // only where nothing is (a name found gone again on the look after a failed create is
  // created again, so that nothing is ever taken for there that is not). Returns 0, or the
  // platform's code (32 when the name keeps changing). REQUIRES: Reach returned 0.
  int32_t StartUnlessTaken(TextLineFile* file, platform::EntryKind* taken);

  // Starts writing the file anew, to take the place of whatever is at the name when the
  // file is finished (FileReplacement::Begin). Returns 0 or the platform's code.
  int32_t BeginReplacement(TextLineFile* file);

  // Once `file` is closed: a new file takes the name (FileReplacement::Finish). Returns 0,
  // platform::kFileExists when a new member's name was taken while it was written (the new
  // file waits for ReplaceTaken, or goes with this object), or the platform's code.
  int32_t Finish();

  // After Finish found the name taken: the new file takes its place.
  int32_t ReplaceTaken() { return replacement_.ReplaceTaken(); }

  // What is at the name now.
  platform::EntryKind LookUp() const { return platform::LookUpEntry(*directory_, name_); }

  const FileReplacement& replacement() const { return replacement_; }

 private:
  int32_t CreateInPlace(TextLineFile* file, platform::EntryKind* taken);

  TargetDirectory* target_ = nullptr;
  const platform::Directory* directory_ = nullptr;
  platform::Directory reached_;
  std::string name_;
  FileReplacement replacement_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MEMBER_TARGET_H_
