// The listing of a merge's sources: the files of one held directory, or of it and every
// folder below it, as a filter lets them through, with a count of what was passed over
// without a word.

#ifndef QUILLPACK_FILES_TREE_LISTING_H_
#define QUILLPACK_FILES_TREE_LISTING_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/directory_search.h"
#include "files/listing_filter.h"
#include "platform/platform.h"

namespace quillpack {

// What a listing passed over without naming it, by kind. Names left out by the filter's
// patterns are not counted: the user asked for that.
struct PassedOver {
  // Hidden files and folders (nothing below a hidden folder is counted).
  int64_t hiddenNames = 0;
  // Links to folders, which a walk never enters.
  int64_t linksToFolders = 0;
  // Links that lead nowhere.
  int64_t linksLeadingNowhere = 0;
  // Anything neither a regular file nor a folder: FIFOs, sockets, devices; on Win32 the
  // entries with the system attribute.
  int64_t notRegularFiles = 0;

  bool operator==(const PassedOver&) const = default;
};

struct ListingRules {
  // The mask the names of files must match (a last component, the listing's rules).
  std::string_view mask;
  // The folders below are walked too.
  bool recurse = false;
  // Joins the parts of a path below the top: the host's delimiter.
  char delimiter = '/';
  // The longest path below the top that the caller takes. A folder whose path leaves no
  // room below it for a name of one byte is not entered: its entries are looked at, and
  // when one would be taken the folder is refused instead (TreeListing::foldersTooDeep).
  // That bounds the depth of a walk, and so the folders held and the memory it takes.
  std::size_t longestPath = SIZE_MAX;
};

struct TreeListing {
  // The files taken, named by their path below the top, parts joined by the delimiter.
  std::vector<ListedFile> files;
  PassedOver passedOver;
  // Folders refused as above, by their path below the top.
  std::vector<std::string> foldersTooDeep;
  // Links to files that do not lead to a file within the top (or whose way can no longer
  // be followed), left out, by their path below the top. A flat listing follows links
  // wherever they lead, as the platform's listing does.
  std::vector<std::string> linksLeavingTree;
  // After a failure: the path below the top of the folder that could not be listed, or
  // of the .gitignore file that could not be read (`unreadableFile` set).
  std::string failedPath;
  bool unreadableFile = false;
};

// Lists the files of the held directory `top` that match the mask, taken in by `filter`
// (which is left as it was found), in each folder in the platform's order. A flat listing
// asks the platform for the mask and takes what it finds that is no folder. A walk takes
// the files of each folder that match the mask as the flat listing does: where the
// platform matches masks by more than names (kMasksMatchShortNames), by its search for
// the mask, elsewhere by their names. It enters every folder the filter takes that is no
// link, one after another, each held only while it and the folders below it are listed;
// it keeps one path for the whole walk, none per level. Returns 0, or the platform's code for a
// folder that could not be listed or a .gitignore that could not be read (`listing->failedPath`);
// what was found until then stays in `*listing`.
int32_t ListSources(const platform::Directory& top, const ListingRules& rules,
                    ListingFilter& filter, TreeListing* listing);

}  // namespace quillpack

#endif  // QUILLPACK_FILES_TREE_LISTING_H_
