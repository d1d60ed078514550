// A file known by what it is rather than by its name, to be told among the files a
// listing finds whatever name leads to each: the merge's output among its sources.

#ifndef QUILLPACK_FILES_IDENTIFIED_FILE_H_
#define QUILLPACK_FILES_IDENTIFIED_FILE_H_

#include <optional>
#include <string>
#include <string_view>

#include "files/directory_search.h"
#include "platform/platform.h"

namespace quillpack {

class IdentifiedFile {
 public:
  // The regular file that `name` leads to now (links followed), or the one standard
  // output is on for an empty name. When nothing is there, or it is no regular file (a
  // pipe, a console, a device), nothing is identified and no listed file is this one.
  // Records no failure.
  explicit IdentifiedFile(std::string_view name);

  bool IsIdentified() const { return identity_.has_value(); }

  // Whether `file`, found by a listing of `directory` (a path ending in a delimiter) and
  // named by its path below it, is this file. Where the listing did not tell the file's identity
  // (Win32), only a file whose name could be this file's own (equal ignoring ASCII case) is asked
  // about, so that a long listing costs at most a platform call or two.
  bool IsListedAs(std::string_view directory, const ListedFile& file) const;

 private:
  std::optional<platform::FileIdentity> identity_;
  // The file's own name in its directory: as the platform tells it, or else the last
  // part of the name that led to it; empty when neither is known.
  std::string ownName_;
};

}  // namespace quillpack

#endif  // QUILLPACK_FILES_IDENTIFIED_FILE_H_
