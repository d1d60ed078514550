// The files a merge takes in, held to what a member header can carry and an extract can
// give back: each name is checked as the listing yields it, and the whole list is put in
// the merge's order, before the output is touched.

#ifndef QUILLPACK_MERGED_SOURCE_NAMES_H_
#define QUILLPACK_MERGED_SOURCE_NAMES_H_

#include <string>
#include <vector>

#include "runtime/directory_search.h"
#include "runtime/name_list.h"

namespace quillpack {

// One file to merge: what the listing found, named by its path below the directory
// listed, and its member name: that path with "\\" between its parts, in the listed case.
struct Source {
  ListedFile listed;
  std::string member;
};

class SourceNames {
 public:
  // `order` compares member names as the merge orders them: the sorted name list's
  // comparison. `delimiter` joins the parts of a listed name: the host's path delimiter.
  SourceNames(const TStrings& order, char delimiter) : order_(order), delimiter_(delimiter) {}

  // Takes a listed file, or raises myException for a name whose member could not be given
  // back as it is:
  // - "File name N holds a control character, which a member header cannot carry." for a
  //   byte below 32 or 127 (LF, CR and Ctrl-Z would end the header or the merged file),
  //   shown as "?";
  // - "File name N holds a \\, which an extract takes for a folder separator." where
  //   "\\" is no delimiter of the host;
  // - "File name N ends in a dot or a space, which an extract would drop." for a part that
  //   does (the file systems of Windows drop them);
  // - "File name N is longer than the 120 bytes a member header keeps." for a member name
  //   that is.
  void Add(ListedFile file);

  // Puts the files taken in the order of their member names and hands them over. Raises
  // myException "Files A and B differ only in case; one of them would be lost." for two
  // names whose headers would be equal (equal member names after UpperCaseAscii), whatever
  // the order says, and for two names the order cannot tell apart; A is the one listed
  // first. Time O(n log n), with no memory per name but a pointer.
  std::vector<Source> TakeSorted();

 private:
  const TStrings& order_;
  char delimiter_;
  std::vector<Source> files_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_SOURCE_NAMES_H_
