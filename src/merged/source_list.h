// A list of the files to merge, as a user or another tool writes it (`git ls-files -z`,
// `find`): its bytes split into names, and each name made a path below the source
// directory, or refused when it may lead outside it.

#ifndef QUILLPACK_MERGED_SOURCE_LIST_H_
#define QUILLPACK_MERGED_SOURCE_LIST_H_

#include <string>
#include <string_view>
#include <vector>

#include "console/run_options.h"
#include "files/path_names.h"

namespace quillpack {

// The names `bytes` holds: split at NUL bytes when it holds any, else at line ends (LF,
// or CR LF); empty names are skipped. Every other byte stays part of its name, so that a
// name no file system holds is named as it was given, not taken for another.
std::vector<std::string> SplitNameList(std::string_view bytes);

// Reads all of the list `list` ("-": standard input) and splits it. Raises myException
// "File L does not exist." when it is not there, and EInOutError when it cannot be read.
std::vector<std::string> ReadNameList(const CommandPath& list);

// Makes `listed` the path below the source directory it names: split at "/" and at the
// path delimiter of `rules` (on Win32 both "\\" and "/"), empty and "." parts dropped, the
// rest joined by the path delimiter; "" for the directory itself. Returns false, leaving
// `*path` empty, for a name that may lead outside the directory: one that begins with a
// separator, holds a colon where colons cut paths (a drive or a stream on Win32), or has
// a ".." part (on Win32 also any part of dots and spaces alone, which it takes for one).
bool PathBelowDirectory(std::string_view listed, std::string* path,
                        const PathRules& rules = HostPathRules());

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_SOURCE_LIST_H_
