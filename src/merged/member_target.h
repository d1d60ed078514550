// Where an extract writes its members: below a target directory that other programs may
// change while the extract runs. Each member's file is reached from the target directory
// held open, one directory part inside the other, and no symbolic link is ever followed;
// whether something is there already is asked by a literal lookup, never by a pattern.

#ifndef QUILLPACK_MERGED_MEMBER_TARGET_H_
#define QUILLPACK_MERGED_MEMBER_TARGET_H_

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "files/file_replacement.h"
#include "platform/platform.h"

namespace quillpack {

class TextLineFile;

// The target directory, held open for the whole extract, with the folders below it that
// the last member was reached through: members of one folder mostly follow each other, and
// the next one through the same folders finds them open.
class TargetDirectory {
 public:
  // Opens `path`, which ends in the host's delimiter, following links: the user named it.
  // A failure is kept, and every member then fails with its code.
  explicit TargetDirectory(const std::string& path);

  TargetDirectory(const TargetDirectory&) = delete;
  TargetDirectory& operator=(const TargetDirectory&) = delete;

  // Reaches the folder `folders` (names of directory parts, outermost first) leads to below
  // the target, making those that are missing, and points `*reached` at it. A folder still
  // open from the member before is taken again only while its name in the folder above
  // still holds that very folder: one moved away or swapped for a link meanwhile is looked
  // up again, as a new one is. Returns 0, platform::kStoppedOnLink when one of the parts is
  // a link, or the platform's code (3 when one is a file). What `*reached` points at stays
  // until the next call.
  int32_t Reach(const std::vector<std::string>& folders, const platform::Directory** reached);

  // Whether the lookup of `name` inside the folder the last Reach reached may be spared,
  // as nothing can be there but what other programs put there meanwhile (which the new
  // file's no-replace naming meets in its turn): the folder is one this extract made at
  // that Reach, and no member by that name (ASCII case aside) was started in it since.
  // Notes `name` as met. Names beyond ASCII, which file systems that ignore case may fold
  // in ways of their own, are always looked up, and end the sparing in that folder.
  bool SparesLookUpOf(const std::string& name);

  // How new members are made: without a name at first (where the system can), under a
  // hidden name beside their own, or under their own name where nothing is, once a file
  // system here turned out to give a new file its name only by replacing what is there
  // (writing beside would then cost a claim and a rename per member).
  enum class NewFiles { kUnnamed, kHidden, kInPlace };
  NewFiles HowNewFilesAreMade() const { return newFiles_; }
  // Learns from a member's replacement what the system here refused it.
  void LearnFrom(const FileReplacement& replacement);

 private:
  // A folder below the target, open, with the name it was opened by inside the one above
  // it and what it is.
  struct HeldFolder {
    std::string name;
    platform::Directory directory;
    platform::FileIdentity identity;
    bool made;  // by this extract
  };

  const platform::Directory& Innermost() const;
  std::size_t StillHeld(const std::vector<std::string>& folders) const;
  int32_t OpenFolder(const std::string& name);

  platform::Directory directory_;
  int32_t openCode_;
  std::vector<HeldFolder> folders_;
  // The innermost folder was made empty by this extract, and holds at most the names met.
  bool sparing_ = false;
  std::unordered_set<std::string> metNames_;
  NewFiles newFiles_ = NewFiles::kUnnamed;
};

// One member's file: the directory that holds it, held open, and its name there. Stays
// where it was made (it may point into itself).
class MemberTarget {
 public:
  MemberTarget() = default;
  MemberTarget(const MemberTarget&) = delete;
  MemberTarget& operator=(const MemberTarget&) = delete;

  // Reaches the directory that holds the last of `parts` (a member name's written parts)
  // from `target` through the parts before it (TargetDirectory::Reach). Returns 0,
  // platform::kStoppedOnLink when one of them is a link, or the platform's code (3 when one
  // is a file). REQUIRES: no earlier member of `target` is still pending.
  int32_t Reach(TargetDirectory& target, std::vector<std::string> parts);

  // When something is at the name, sets `*taken` to what it is and starts nothing. When
  // nothing is, sets `*taken` to kMissing and starts the member's file, `file` taking it
  // over for writing: a new file without a name or beside the name, which takes the name
  // only once it is whole (Finish); where the target makes new files in place, the file
  // itself, created only where nothing is (a name found gone again on the look after a
  // failed create is created again, so that nothing is ever taken for there that is not).
  // Returns 0, or the platform's code (32 when the name keeps changing). REQUIRES: Reach
  // returned 0.
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
  std::string name_;
  FileReplacement replacement_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MEMBER_TARGET_H_
