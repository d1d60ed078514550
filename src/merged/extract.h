// The extract operation: a merged file read line by line, each member written into a
// file of its own in a target directory, asking before an existing file is overwritten.

#ifndef QUILLPACK_MERGED_EXTRACT_H_
#define QUILLPACK_MERGED_EXTRACT_H_

namespace quillpack {

// Reads RunOptions: firstPath (the merged file; "-" for standard input), secondPath (the
// target directory; empty for the current one), lineFeedsOnly, overwrites and debug.
// Both header styles are recognised, even mixed. Writes progress lines to standard output,
// none under -quiet.
// Raises myException on every failure: "File ... does not exist.", "Operation
// Cancelled.", a refused member name, or "Error while processing " and the merged file's
// name for any file failure. Returns false, after a line on the error output, when the
// input held no member header at all.
bool ExtractFiles();

// Writes on standard output, one per line ended by this system's line end, the relative
// path of every file an extract into an empty directory would write, in order, as this
// system writes it (its path delimiter between the parts, the trailing dots and spaces of
// each part dropped), and writes nothing to disk. Reads RunOptions as ExtractFiles does.
// A member an extract would refuse is named on the error output with the extract's
// refusal, and ends the list; returns false then, and when the input held no member
// header. Raises myException "File ... does not exist." and "Error while processing " and
// the file's name for a file failure.
bool ListMembers();

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_EXTRACT_H_
