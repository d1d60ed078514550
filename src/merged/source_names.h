// The names a merge takes in, held to what a member header can carry: each name is
// checked as the listing yields it, before the output is touched.

#ifndef QUILLPACK_MERGED_SOURCE_NAMES_H_
#define QUILLPACK_MERGED_SOURCE_NAMES_H_

#include <string>
#include <string_view>
#include <unordered_map>

#include "runtime/name_list.h"

namespace quillpack {

class SourceNames {
 public:
  // Fills `list`, the merge's sorted name list, which keeps its own order and comparison.
  explicit SourceNames(TStringList* list) : list_(list) {}

  // Adds a listed name to the list, or raises myException for a name whose member could
  // not be given back as it is:
  // - "File name N holds a control character, which a member header cannot carry." for a
  //   byte below 32 or 127 (LF, CR and Ctrl-Z would end the header or the merged file),
  //   shown as "?";
  // - "Files A and B differ only in case; one of them would be lost." when the header of
  //   B would equal that of an earlier name A (equal after UpperCaseAscii), whatever the
  //   list's comparison says, or when the list drops B as equal to its item A.
  void Add(const std::string& name);

 private:
  TStringList* list_;
  // Every name added so far, by its upper-cased form.
  std::unordered_map<std::string, std::string> namesByHeader_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_SOURCE_NAMES_H_
