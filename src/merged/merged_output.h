// Where a merge writes its merged file. A regular file, or a name where nothing is yet,
// gets a new file beside it that takes the name only once the merge is complete: a merge
// that fails leaves an old merged file as it was, and no file where there was none.
// Standard output and anything else a name leads to (a device, a pipe, a link) are
// written as they are.

#ifndef QUILLPACK_MERGED_MERGED_OUTPUT_H_
#define QUILLPACK_MERGED_MERGED_OUTPUT_H_

#include <string>

#include "platform/platform.h"
#include "runtime/file_replacement.h"
#include "runtime/line_files.h"

namespace quillpack {

class MergedOutput {
 public:
  // Opens the output `name` for writing; the empty name is standard output. Raises
  // EInOutError when it cannot: 32 when another program holds an existing output open.
  explicit MergedOutput(const std::string& name);

  TextLineFile& file() { return file_; }

  // Closes the output, and a new file then takes its name. Raises EInOutError.
  void Finish();

 private:
  // Whether `name` is written as a new file beside it, begun here.
  bool BeginReplacement(const std::string& name);

  platform::Directory directory_;
  FileReplacement replacement_;
  // Declared after the replacement, so that it closes before an unfinished one goes.
  TextLineFile file_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MERGED_OUTPUT_H_
