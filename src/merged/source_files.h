// Where a merge takes its sources from: the directory of the mask, held open from before
// the listing to the last source, so that every source is listed, warmed and opened
// through it (and through the folders below it, each reached without following a link),
// never by a path made again.

#ifndef QUILLPACK_MERGED_SOURCE_FILES_H_
#define QUILLPACK_MERGED_SOURCE_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "merged/source_names.h"
#include "platform/platform.h"

namespace quillpack {

class IdentifiedFile;
class TextLineFile;

class SourceDirectory {
 public:
  // Holds the directory `path`, which ends in the host's delimiter; nothing is held, and
  // nothing listed, when it cannot be opened.
  explicit SourceDirectory(std::string path);

  const std::string& path() const { return path_; }
  const platform::Directory& held() const { return held_; }

  // The files to merge, in the merge's order: those whose names match `mask`, in the
  // directory alone or, with `recurse`, at every level below it. The file that is
  // `output` is left out, with a line on the error output, before the output is touched.
  // Raises myException for a name SourceNames refuses, and "Directory D cannot be
  // listed." for a folder below that cannot.
  std::vector<Source> List(std::string_view mask, bool recurse, const IdentifiedFile& output);

  // As List, for the files a list names (source_list.h), below this directory at any
  // level, whose file names match `mask`; a name listed twice is taken once. A name that
  // may lead outside the directory, that is not there, that is a folder or no regular
  // file, or that lies behind a link to a folder (never followed) is left out with a line
  // on the error output naming it as listed, and `*allTaken` is set to false.
  std::vector<Source> ListNamed(const std::vector<std::string>& names, std::string_view mask,
                                const IdentifiedFile& output, bool* allTaken);

  // Opens `source` for reading into `file`, as the listing saw it, with its stamp at
  // opening in `*stamp`. Returns 0; the platform's code (2 or 3 when it or a folder on
  // its way is gone); or platform::kNotRegularFile when something else is there now (a
  // FIFO, a device, another file, a link in place of a folder).
  int32_t Open(const Source& source, TextLineFile* file, platform::FileStamp* stamp);

 private:
  // Reaches the held directory that holds the file `path` names, and where its own name
  // starts in `path`; returns 0 or the platform's code.
  int32_t Reach(std::string_view path, const platform::Directory** directory,
                std::size_t* leafStart);

  // Why the file `path` below the directory cannot be merged, or "" when it can, with
  // its identity in `*file` where the platform tells it.
  std::string_view WhyNotMergeable(const std::string& path, ListedFile* file);

  std::string path_;
  platform::Directory held_;
  // The folders below reached for the last source, each held, by name: the next source
  // in the same folders needs no step of its own.
  std::vector<std::pair<std::string, platform::Directory>> reached_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_SOURCE_FILES_H_
