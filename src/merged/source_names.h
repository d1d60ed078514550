// The files a merge takes in, held to what a member header can carry and an extract can
// give back: each name is checked as the listing yields it, and the whole list is put in
// the merge's order, before the output is touched.

#ifndef QUILLPACK_MERGED_SOURCE_NAMES_H_
#define QUILLPACK_MERGED_SOURCE_NAMES_H_

#include <string>
#include <vector>

#include "files/directory_search.h"
#include "text/name_list.h"

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

  // Takes a listed file, or refuses it when its member could not be given back as it is,
  // with one of these sentences (N the name, control bytes shown as "?"):
  // - "File name N holds a control character, which a member header cannot carry." for a
  //   byte below 32 or 127 (LF, CR and Ctrl-Z would end the header or the merged file);
  // - "File name N holds a \\, which an extract takes for a folder separator." where
  //   "\\" is no delimiter of the host;
  // - "File name N ends in a dot or a space, which an extract would drop." for a part that
  //   does (the file systems of Windows drop them);
  // - "File name N is longer than the 120 bytes a member header keeps." for a member name
  //   that is.
  void Add(ListedFile file);

  // Refuses the folder `path` (below the directory listed), below which no member name
  // fits: "Folder P is too deep: no name below it fits the 120 bytes a member header
  // keeps."
  void RefuseFolder(const std::string& path);

  // Puts the files taken in the order of their member names and hands them over. Refuses,
  // with "Files A and B differ only in case; one of them would be lost.", every two
  // neighbours whose headers would be equal (equal member names after UpperCaseAscii),
  // whatever the order says, and every two that the order cannot tell apart; A is the one
  // listed first. Time O(n log n), with no memory per name but a pointer.
  std::vector<Source> TakeSorted();

  // Once TakeSorted has run: every refusal, one sentence each, in the order of the member
  // names they are about (ASCII case ignored), whatever order the listing gave. The
  // sources handed over mean nothing when there is any.
  std::vector<std::string> Refusals() const;

 private:
  struct Refusal {
    std::string member;
    std::string sentence;
  };

  void Refuse(const std::string& name, std::string sentence);
  template <typename Compare>
  void RefuseNeighbours(const std::vector<Source*>& sorted, const Compare& compare);

  const TStrings& order_;
  char delimiter_;
  std::vector<Source> files_;
  std::vector<Refusal> refusals_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_SOURCE_NAMES_H_
