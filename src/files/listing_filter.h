// What a listing of sources leaves out at the user's request: the names that match an
// exclude pattern, and (git's rules asked for) the .git folder and what the tree's
// .gitignore files exclude; and whether it takes hidden names.

#ifndef QUILLPACK_FILES_LISTING_FILTER_H_
#define QUILLPACK_FILES_LISTING_FILTER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/ignore_rules.h"
#include "platform/platform.h"

namespace quillpack {

struct ListingChoices {
  // Masks by the rules of the tool's masks (case ignored). One without a separator ("/"
  // or "\\") matches a file or folder name at any level; one with a separator matches the
  // whole path below the top, part by part, a leading separator or "./" changing nothing.
  // A trailing separator limits a pattern to folders and is no separator otherwise.
  std::vector<std::string> excludePatterns;
  // Leave out the .git folder (a .git file too) at every level, and every name the
  // .gitignore files of the tree exclude by git's rules.
  bool gitignore = false;
  // Take hidden names. Without it a hidden name is passed over; so is a .gitignore file
  // when `gitignore` is set, whatever its attributes say.
  bool hidden = false;
};

class ListingFilter {
 public:
  // Paths handed in join their parts with `delimiter`, the host's.
  ListingFilter(const ListingChoices& choices, char delimiter);

  // Takes in the folder held as `folder`, before any of its entries is judged: its own
  // path below the top takes the first `pathLength` bytes of the paths judged from now on
  // (0 for the top, else its path and the delimiter). When git's rules are asked for, its
  // .gitignore, if that is a regular file and no link, is read through the folder held.
  // Returns 0, or the platform's code when that file is there but cannot be read. Each
  // folder taken in is left with LeaveFolder once its entries are judged, deepest first;
  // a caller with paths of its own (a list given by the user) enters each folder on the
  // way as a walk does, judging it first.
  int32_t EnterFolder(const platform::Directory& folder, std::size_t pathLength);
  void LeaveFolder();

  enum class Verdict { kTaken, kLeftOut, kHidden };

  // What becomes of the entry `path` (below the top, its own name from `nameStart`) of the
  // folder entered last: kLeftOut when an exclude pattern or git's rules leave it out, as
  // the user asked, so that nothing needs saying; kHidden when it is hidden (`hidden`
  // tells the platform's view) and hidden names are not taken; kTaken otherwise.
  Verdict Judge(std::string_view path, std::size_t nameStart, bool isFolder, bool hidden) const;

 private:
  struct ExcludePattern {
    std::vector<std::string> parts;
    bool wholePath = false;
    bool foldersOnly = false;
  };

  bool Excludes(std::string_view path, std::size_t nameStart, bool isFolder) const;
  bool IsNamed(std::string_view name, std::string_view wanted) const;

  ListingChoices choices_;
  char delimiter_;
  std::vector<ExcludePattern> excludes_;
  IgnoreRules ignoreRules_;
  // For each folder entered, whether it added a .gitignore file to the rules.
  std::vector<bool> addedFile_;
};

}  // namespace quillpack

#endif  // QUILLPACK_FILES_LISTING_FILTER_H_
