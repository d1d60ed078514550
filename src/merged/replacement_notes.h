// What a merge or an extract says on the error output about a file it did not replace as
// it meant to: written in place instead of beside it, or kept for lack of space.

#ifndef QUILLPACK_MERGED_REPLACEMENT_NOTES_H_
#define QUILLPACK_MERGED_REPLACEMENT_NOTES_H_

#include <string>

#include "files/file_replacement.h"

namespace quillpack {

// The line that names `name` and says why it is written in place, or "" for kNo.
std::string InPlaceNote(const std::string& name, FileReplacement::InPlace why);

// The line that names `name`, whose replacement failed for lack of space, and says that the
// old file is kept.
std::string NoSpaceNote(const std::string& name);

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_REPLACEMENT_NOTES_H_
