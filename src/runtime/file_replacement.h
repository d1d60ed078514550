// A file written whole under a hidden name beside the one it is for, and put in that
// name's place only once it is complete: a failure or an interruption half way leaves
// whatever the name held before as it was, and other names of that old file (hard links)
// keep their content.

#ifndef QUILLPACK_RUNTIME_FILE_REPLACEMENT_H_
#define QUILLPACK_RUNTIME_FILE_REPLACEMENT_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace quillpack {

class TextLineFile;

class FileReplacement {
 public:
  FileReplacement() = default;
  // Removes the new file unless it was put in place. REQUIRES: the file that wrote it is
  // closed or gone, which a TextLineFile declared after this object ensures.
  ~FileReplacement();

  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Starts a replacement of `name` inside `directory`, which must stay open until Finish:
  // a regular file there is held against other writers (32 when someone holds it open),
  // and a new file beside it, with its permission bits, is handed to `file` for writing.
  // Nothing there, or a link (never followed), is left to Finish to replace; a directory
  // fails with 5, and anything else that is no regular file with kNotRegularFile. Returns
  // 0 or the platform's code, with nothing left behind.
  int32_t Begin(const platform::Directory& directory, const std::string& name, TextLineFile* file);

  // Puts the new file in the name's place, whatever the name holds now. REQUIRES: Begin
  // returned 0 and `file` was closed. Returns 0, or the platform's code with the new file
  // removed.
  int32_t Finish();

  // Whether a new file waits to be put in place.
  bool IsPending() const { return !temporaryName_.empty(); }

 private:
  void RemoveNewFile();

  const platform::Directory* directory_ = nullptr;
  std::string name_;
  std::string temporaryName_;
  platform::OwnedHandle held_;
};

}  // namespace quillpack

#endif  // QUILLPACK_RUNTIME_FILE_REPLACEMENT_H_
