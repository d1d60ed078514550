// The extract operation: a merged file read line by line, each member written into a
// file of its own in a target directory, asking before an existing file is overwritten.

#ifndef QUILLPACK_MERGED_EXTRACT_H_
#define QUILLPACK_MERGED_EXTRACT_H_

namespace quillpack {

// Reads RunOptions: firstPath (the merged file), secondPath (the target directory; empty
// for the current one) and debug. Both header styles are recognised, even mixed. Writes
// progress lines to standard output. Raises myException on every failure: "File ...
// does not exist.", "Operation Cancelled.", a refused member name, or "Error while
// processing " and the merged file's name for any file failure.
void ExtractFiles();

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_EXTRACT_H_
