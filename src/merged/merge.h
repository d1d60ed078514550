// The merge operation: every ordinary file that matches a mask, in the order of their
// names ignoring case, written into one merged file behind a header with its name in
// upper case.

#ifndef QUILLPACK_MERGED_MERGE_H_
#define QUILLPACK_MERGED_MERGE_H_

namespace quillpack {

// Reads RunOptions: firstPath (the mask; empty for every file of the current directory),
// secondPath (the output; "-" or empty for standard output), headerStyle, recurse,
// keepCase, the listing choices (excludePatterns, gitignore, hidden), filesFrom, escape,
// overwrites, quiet and debug. Writes progress lines as console lines (console_question.h: on the
// error output while the merged text goes to a standard output that is no console) and asks before
// it overwrites an existing output. A listed file that is the output itself (the same file,
// whatever name leads to it) is left out, with a line on the error output, before the
// output is touched. Raises myException on every failure: a listed name a member header
// cannot carry (source_names.h), "No files matched.", "Operation Cancelled.", "File L does
// not exist." for a list of names that is not there, or "Error creating " and the output
// name for any file failure once the output is being written.
//
// With filesFrom the sources are the names the list holds (source_list.h), below the
// mask's directory and matching its mask; a listed name that leads outside, is missing or
// is no regular file is left out with a line on the error output.
//
// Without escape some content cannot come back as it was: a line an extract would read as
// a member header, bytes after a Ctrl-Z, a CR that no LF follows. After each file that
// holds any, one warning line per kind goes to the error output, naming the member and the
// line. With escape the merged file begins with the escape marker and no member line reads
// as a header (merged_format.h). Returns false when any warning was given or a source was
// left out.
bool MergeFiles();

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_MERGE_H_
