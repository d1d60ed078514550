// The merge operation: every ordinary file that matches a mask, in the order of their
// names ignoring case, written into one merged file behind a header with its name in
// upper case.

#ifndef QUILLPACK_MERGED_MERGE_H_
#define QUILLPACK_MERGED_MERGE_H_

namespace quillpack {

// Reads RunOptions: firstPath (the mask; empty for every file of the current directory),
// secondPath (the output; empty for standard output), headerStyle and debug. Writes
// progress lines to standard output and asks before it overwrites an existing output.
// Raises myException on every failure: "No files matched.", "Operation Cancelled.", or
// "Error creating " and the output name for any file failure once the output is
// being written.
void MergeFiles();

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MERGE_H_
