// A file written whole under a hidden name beside the one it is for, and given that name
// only once it is complete: a failure or an interruption half way leaves whatever the name
// held before as it was, other names of that old file (hard links) keep their content,
// and a new name never holds half a file. The hidden file goes when this object goes
// unfinished, and an interrupt that ends the process removes it first. A new file for a
// free name is made without any name where the system can, which nothing at all can leave
// behind.

#ifndef QUILLPACK_FILES_FILE_REPLACEMENT_H_
#define QUILLPACK_FILES_FILE_REPLACEMENT_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace quillpack {

class TextLineFile;

class FileReplacement {
 public:
  // Whether the new file's data goes through to the disk before it takes the name, so that
  // a power cut leaves the old file or the new one whole (a merged file), or not (extracted
  // members, as with other archivers).
  enum class Flush { kNo, kToDisk };

  // Why the file was written in place, into the old file held against other writers and
  // emptied, rather than beside it: the folder refused the new file (access denied, a
  // read-only folder), or refused it the name; something is mounted at the name (a file
  // bound there) or the system holds it; the name lies on another mount than its folder.
  enum class InPlace { kNo, kNoNewFileBeside, kNameRefused, kMountedOrBusy, kOtherMount };

  // How a new file for a free name is made until it takes that name: without any name
  // (where the system makes such files and can name them later), or under a hidden one.
  enum class NewFile { kUnnamed, kHidden };

  FileReplacement() = default;
  // Removes the new file unless it took the name. REQUIRES: the file that wrote it is
  // closed or gone, which a TextLineFile declared after this object ensures.
  ~FileReplacement();

  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Starts a replacement of `name` inside `directory`, which must stay open until Finish:
  // a regular file there is held against other writers (32 when someone holds it open),
  // and a new file beside it, readable by this process's user alone until Finish gives it
  // the old file's access, is handed to `file` for writing. Nothing there, or a link
  // (never followed), gets a new file with the access any new file gets, for Finish to put
  // in the name's place. A directory fails with 5, anything else that is no regular file
  // with kNotRegularFile. Where the folder refuses a new file beside a regular file (5),
  // that file is written in place (WrittenInPlace). Returns 0 or the platform's code, with
  // nothing left behind.
  int32_t Begin(const platform::Directory& directory, const std::string& name, Flush flush,
                TextLineFile* file);

  // Starts a new file for `name` inside `directory`, where nothing was found: made as `how`
  // says (a hidden one where the system makes no unnamed file), it takes the name only
  // while the name stays free (Finish).
  int32_t BeginNew(const platform::Directory& directory, const std::string& name, Flush flush,
                   TextLineFile* file, NewFile how = NewFile::kUnnamed);

  // Once `file` is closed: Begin's new file takes the old file's owner, group, ACL and
  // permission bits, and then its place, whatever the name holds then. Where the folder or
  // the mount keeps the name from it (5, kBusy, kNotSameDevice), the old file is written in
  // place with the new content instead (WrittenInPlace). BeginNew's file takes the name
  // only while it is free: kFileExists when something took it meanwhile, the new file
  // kept for ReplaceTaken. An unnamed file that the system cannot name after all is copied
  // to a hidden one first. Returns 0 or the platform's code, with the new file removed.
  int32_t Finish();

  // After Finish found the name taken: puts the new file in its place as Begin's would
  // have been put, taking the access of a regular file found there. Returns 0 or the
  // platform's code, with the new file removed.
  int32_t ReplaceTaken();

  // Whether a new file waits to take its name.
  bool IsPending() const { return unnamed_ || !temporaryName_.empty(); }

  // Whether a regular file was found and held to be replaced, and is still as it was: the
  // new file has not yet taken its place, and it was not written in place.
  bool KeepsOldFile() const { return replacesFile_ && !placed_ && inPlace_ == InPlace::kNo; }

  InPlace WrittenInPlace() const { return inPlace_; }

  // Whether the file system could give a new file its name only by replacing (neither
  // renames without replacing nor hard links): the name was claimed with an empty file
  // first. Later new files there had better be made in place.
  bool NamedOnlyByReplacing() const { return namedOnlyByReplacing_; }

  // Whether the system made no unnamed new file here, or could not name one: later new
  // files here had better be hidden ones from the start.
  bool UnnamedRefused() const { return unnamedRefused_; }

 private:
  void Reset(const platform::Directory& directory, const std::string& name, Flush flush);
  int32_t Start(platform::Handle like, TextLineFile* file);
  int32_t StartUnnamed(TextLineFile* file);
  int32_t NameUnnamed();
  int32_t CopyUnnamedToHidden();
  int32_t NameUnnamedAsHidden();
  int32_t WriteHeldInPlace(TextLineFile* file);
  int32_t Seal();
  int32_t Replace();
  int32_t Name();
  int32_t ClaimAndRename();
  void Placed();
  void RemoveNewFile();

  const platform::Directory* directory_ = nullptr;
  std::string name_;
  Flush flush_ = Flush::kNo;
  bool isNew_ = false;
  bool replacesFile_ = false;
  bool placed_ = false;
  bool namedOnlyByReplacing_ = false;
  // The new file has no name yet: `written_` holds it, and it goes with that handle.
  bool unnamed_ = false;
  bool unnamedRefused_ = false;
  InPlace inPlace_ = InPlace::kNo;
  std::string temporaryName_;
  // The old file, held against other writers from Begin until the new one has its place.
  platform::OwnedHandle held_;
  // The new file, kept open past its writer where its access or its flush come after it.
  platform::OwnedHandle written_;
};

}  // namespace quillpack

#endif  // QUILLPACK_FILES_FILE_REPLACEMENT_H_
