// Where a merge takes its sources from: the directory of the mask, held open from before
// the listing to the last source, so that every source is listed, warmed and opened
// through it (and through the folders below it, each reached without following a link),
// never by a path made again.

#ifndef QUILLPACK_MERGED_SOURCE_FILES_H_
#define QUILLPACK_MERGED_SOURCE_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/listing_filter.h"
#include "files/tree_listing.h"
#include "merged/source_names.h"
#include "platform/platform.h"

namespace quillpack {

class IdentifiedFile;
class TextLineFile;

// What a merge asks its listing for.
struct ListingRequest {
  // The mask the names of files must match (a last component).
  std::string_view mask;
  // The folders below the directory too.
  bool recurse = false;
  // What the user leaves out and whether hidden names come too.
  ListingChoices choices;
};

// What the listing gives a merge.
struct SourceListing {
  // The files to merge, in the merge's order.
  std::vector<Source> sources;
  // What was passed over without a word (PassedOverLine).
  PassedOver passedOver;
  // A source was left out with a line on the error output: the run is no full success.
  bool leftOut = false;
};

// The line that says what a merge passed over without naming it, or "" when nothing was:
// "Passed over: " and one count per kind, in this order, joined by ", ", ending in ".":
// "N hidden names", "N links to folders", "N links that lead nowhere", and on POSIX "N
// files that are not regular", on Win32 "N system files"; each in the singular for 1 ("1
// hidden name", "1 link to a folder", "1 link that leads nowhere", "1 file that is not
// regular", "1 system file").
std::string PassedOverLine(const PassedOver& passedOver, platform::HostSystem host);

class SourceDirectory {
 public:
  // Holds the directory `path`, which ends in the host's delimiter; nothing is held, and
  // nothing listed, when it cannot be opened.
  explicit SourceDirectory(std::string path);

  const std::string& path() const { return path_; }
  const platform::Directory& held() const { return held_; }

  // The files to merge: those whose names match the mask, in the directory alone or at
  // every level below it, as the request's choices let them through (tree_listing.h).
  // Before the output is touched, each of these goes to the error output with a line and
  // sets `leftOut`: within a tree, a link to a file that does not lead to a file within
  // the directory ("Leaving out N: it is a link that leads out of the tree."). The file
  // that is `output` is left out with a line too, the status unchanged. Every name that
  // SourceNames refuses, and every folder too deep for a member name below it, goes to
  // the error output with its sentence, one line each; then the merge is stopped with
  // "N names cannot come back; nothing was merged." ("1 name ..."). Raises myException
  // "Directory D cannot be listed." for a folder that cannot, and "File F cannot be
  // read." for a .gitignore file that cannot.
  SourceListing List(const ListingRequest& request, const IdentifiedFile& output);

  // As List, for the files a list names (source_list.h), below this directory at any
  // level, whose file names match the request's mask and that no exclude pattern of its
  // choices leaves out (the list chose its hidden names; git's rules are not asked); a
  // name listed twice is taken once. A name that may lead outside the directory, that is
  // not there, that is a folder or no regular file, or that lies behind a link to a folder
  // (never followed) is left out with a line on the error output naming it as listed, and
  // sets `leftOut`. Refusals and the merge's own output as for List.
  SourceListing ListNamed(const std::vector<std::string>& names, const ListingRequest& request,
                          const IdentifiedFile& output);

  // Opens `source` for reading into `file`, as the listing saw it, with its stamp at
  // opening in `*stamp`. Returns 0; the platform's code (2 or 3 when it or a folder on
  // its way is gone); or platform::kNotRegularFile when something else is there now (a
  // FIFO, a device, another file, a link in place of a folder).
  int32_t Open(const Source& source, TextLineFile* file, platform::FileStamp* stamp);

 private:
  // Takes a listed file into `names`, unless it is `output`. Every file that comes from
  // the listing, or from names given otherwise, passes here.
  void Admit(ListedFile file, const IdentifiedFile& output, SourceNames* names);

  // Reaches the held directory that holds the file `path` names, and where its own name
  // starts in `path`; returns 0 or the platform's code.
  int32_t Reach(std::string_view path, const platform::Directory** directory,
                std::size_t* leafStart);

  // Why the file `path` below the directory cannot be merged, or "" when it can, with
  // its identity in `*file` where the platform tells it.
  std::string_view WhyNotMergeable(const std::string& path, ListedFile* file);

  std::string path_;
  platform::Directory held_;
  // The folders below reached for the last source, each held, by name: the next source
  // in the same folders needs no step of its own.
  std::vector<std::pair<std::string, platform::Directory>> reached_;
};

}  // namespace quillpack

#endif  // QUILLPACK_MERGED_SOURCE_FILES_H_
