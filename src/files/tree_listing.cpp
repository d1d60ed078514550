#include "files/tree_listing.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/folder_warmer.h"
#include "platform/mask_match.h"

namespace quillpack {
namespace {

constexpr std::string_view kIgnoreFile = ".gitignore";

bool Has(uint32_t attributes, uint32_t bit) {
  return (attributes & bit) != 0;
}

bool EndsTheList(int32_t code) {
  return code == platform::kNoMoreFiles || code == platform::kFileNotFound;
}

// What one entry comes to.
enum class Outcome { kNothing, kCounted, kFile, kFolder };

// Which entries of one enumeration the walk takes.
enum class Take {
  // Folders, and the files whose names match the mask.
  kAll,
  // Folders only: a search for the mask finds the files.
  kFolders,
  // The files the platform's search for the mask found, and no folder.
  kMatchedFiles,
};

bool MatchesEveryName(std::string_view mask) {
  return mask == "*" || mask == "*.*";
}

class TreeWalk {
 public:
  TreeWalk(const platform::Directory& top, const ListingRules& rules, ListingFilter& filter,
           TreeListing* listing, FolderWarmer* warmer = nullptr)
      : top_(top), rules_(rules), filter_(filter), listing_(listing), warmer_(warmer) {}

  int32_t ListFlat();
  // Lists `folder`, whose path below the top, with the delimiter after it, is in path_.
  int32_t ListFolder(const platform::Directory& folder);

 private:
  Outcome Consider(const platform::FoundEntry& entry, std::size_t nameStart, Take take);
  Outcome Count(int64_t PassedOver::*kind);
  int32_t ListEntries(const platform::Directory& folder, std::vector<std::string>* subfolders);
  int32_t ListPass(const platform::Directory& folder, const std::string& mask, Take take,
                   std::vector<std::string>* subfolders, bool* refused);
  int32_t ListSubfolders(const platform::Directory& folder,
                         const std::vector<std::string>& subfolders);
  void TakeFile(const platform::Directory& folder, const platform::FoundEntry& entry);
  int32_t Fail(int32_t code, bool unreadableFile = false);

  const platform::Directory& top_;
  const ListingRules& rules_;
  ListingFilter& filter_;
  TreeListing* listing_;
  // Reads ahead the folders to be entered next, or nothing.
  FolderWarmer* warmer_;
  // The path below the top of the entry or folder at hand: the one path of the walk.
  std::string path_;
};

Outcome TreeWalk::Count(int64_t PassedOver::*kind) {
  ++(listing_->passedOver.*kind);
  return Outcome::kCounted;
}

// The entry's path is in path_, its own name from `nameStart`. Files are matched against
// the mask here unless the platform did it; folders, whatever their names.
Outcome TreeWalk::Consider(const platform::FoundEntry& entry, std::size_t nameStart, Take take) {
  uint32_t attributes = entry.attributes;
  bool isFolder = Has(attributes, platform::kAttributeDirectory);
  if (entry.name == "." || entry.name == "..") return Outcome::kNothing;
  if (isFolder ? take == Take::kMatchedFiles : take == Take::kFolders) return Outcome::kNothing;
  if (!isFolder && take == Take::kAll && !platform::MatchesMask(rules_.mask, entry.name)) {
    return Outcome::kNothing;
  }
  if (Has(attributes, platform::kAttributeVolumeLabel)) return Outcome::kNothing;
  switch (filter_.Judge(path_, nameStart, isFolder, Has(attributes, platform::kAttributeHidden))) {
    case ListingFilter::Verdict::kLeftOut:
      return Outcome::kNothing;
    case ListingFilter::Verdict::kHidden:
      return Count(&PassedOver::hiddenNames);
    case ListingFilter::Verdict::kTaken:
      break;
  }
  bool link = Has(attributes, platform::kAttributeReparsePoint);
  if (isFolder && link) return Count(&PassedOver::linksToFolders);
  if (Has(attributes, platform::kAttributeSystem)) {
    // Only a listing that tells identities tells a link that leads nowhere, by giving it
    // none.
    bool nowhere = platform::kListingTellsIdentity && link && !entry.identity;
    return Count(nowhere ? &PassedOver::linksLeadingNowhere : &PassedOver::notRegularFiles);
  }
  return isFolder ? Outcome::kFolder : Outcome::kFile;
}

// Within the tree a link to a file is taken only as the file it leads to within the top,
// so that whoever may write in the tree cannot choose a file from elsewhere for it.
void TreeWalk::TakeFile(const platform::Directory& folder, const platform::FoundEntry& entry) {
  std::optional<platform::FileIdentity> identity = entry.identity;
  if (Has(entry.attributes, platform::kAttributeReparsePoint)) {
    bool within = false;
    platform::FileIdentity found;
    int32_t code = platform::FollowLinkIn(top_, folder, entry.name, &within, &found);
    // A listing's identity that differs from the file found means the link changed.
    if (code != 0 || !within || (identity && *identity != found)) {
      listing_->linksLeavingTree.push_back(path_);
      return;
    }
    identity = found;
  }
  listing_->files.push_back({path_, identity});
}

int32_t TreeWalk::Fail(int32_t code, bool unreadableFile) {
  listing_->failedPath = path_;
  listing_->unreadableFile = unreadableFile;
  return code;
}

int32_t TreeWalk::ListFlat() {
  if (int32_t code = filter_.EnterFolder(top_, 0)) {
    path_ = kIgnoreFile;
    return Fail(code, true);
  }
  platform::Search search;
  platform::FoundEntry entry;
  // Every code ends the list alike: the normal end, no match, a missing directory.
  for (int32_t code = platform::FindFirstIn(top_, std::string(rules_.mask), &search, &entry,
                                            platform::EntryDetail::kNamesAndKinds);
       code == 0; code = platform::FindNext(search, &entry)) {
    path_ = entry.name;
    if (Consider(entry, 0, Take::kMatchedFiles) == Outcome::kFile)
      listing_->files.push_back({path_, entry.identity});
  }
  filter_.LeaveFolder();
  return 0;
}

int32_t TreeWalk::ListFolder(const platform::Directory& folder) {
  std::size_t base = path_.size();
  if (int32_t code = filter_.EnterFolder(folder, base)) {
    path_ += kIgnoreFile;
    return Fail(code, true);
  }
  std::vector<std::string> subfolders;
  int32_t code = ListEntries(folder, &subfolders);
  path_.resize(base);
  if (code == 0) code = ListSubfolders(folder, subfolders);
  filter_.LeaveFolder();
  if (code == 0) path_.resize(base);
  return code;
}

// The entries of `folder`; its folders are kept for later, so that no enumeration stays
// open while the walk goes down. Where a mask takes entries by more than their names, the
// platform's own search for it finds the files, as it does for a flat listing, and a
// listing of every name the folders.
int32_t TreeWalk::ListEntries(const platform::Directory& folder,
                              std::vector<std::string>* subfolders) {
  bool searchForFiles = platform::kMasksMatchShortNames && !MatchesEveryName(rules_.mask);
  bool refused = false;
  int32_t code =
      ListPass(folder, "*", searchForFiles ? Take::kFolders : Take::kAll, subfolders, &refused);
  if (code != 0 || refused || !searchForFiles) return code;
  return ListPass(folder, std::string(rules_.mask), Take::kMatchedFiles, subfolders, &refused);
}

// One enumeration of `folder` for `mask`: the files taken go to the listing, the folders
// to `subfolders`. In a folder whose path leaves no room for a name, the first entry taken
// refuses the folder instead and ends its listing (`*refused`).
int32_t TreeWalk::ListPass(const platform::Directory& folder, const std::string& mask, Take take,
                           std::vector<std::string>* subfolders, bool* refused) {
  std::size_t base = path_.size();
  bool room = base + 1 <= rules_.longestPath;
  platform::Search search;
  platform::FoundEntry entry;
  int32_t code =
      platform::FindFirstIn(folder, mask, &search, &entry, platform::EntryDetail::kNamesAndKinds);
  for (; code == 0; code = platform::FindNext(search, &entry)) {
    path_.resize(base);
    path_ += entry.name;
    Outcome outcome = Consider(entry, base, take);
    if (outcome != Outcome::kFile && outcome != Outcome::kFolder) continue;
    if (!room) {
      listing_->foldersTooDeep.push_back(path_.substr(0, base > 0 ? base - 1 : 0));
      subfolders->clear();
      *refused = true;
      return 0;
    }
    if (outcome == Outcome::kFolder) {
      subfolders->push_back(std::move(entry.name));
    } else {
      TakeFile(folder, entry);
    }
  }
  path_.resize(base);
  return EndsTheList(code) ? 0 : Fail(code);
}

int32_t TreeWalk::ListSubfolders(const platform::Directory& folder,
                                 const std::vector<std::string>& subfolders) {
  std::size_t base = path_.size();
  if (warmer_ && !subfolders.empty()) {
    std::vector<std::string> paths;
    paths.reserve(subfolders.size());
    for (const std::string& name : subfolders)
      paths.push_back(path_ + name);
    warmer_->Found(paths);
  }
  for (const std::string& name : subfolders) {
    path_.resize(base);
    path_ += name;
    if (warmer_) warmer_->Entered(path_);
    platform::Directory inner;
    int32_t opened = platform::OpenSubdirectory(folder, name, &inner);
    // A folder swapped for a link since it was listed is not entered, as a link is not.
    if (opened == platform::kStoppedOnLink) continue;
    if (opened != 0) return Fail(opened);
    path_ += rules_.delimiter;
    if (int32_t failed = ListFolder(inner)) return failed;
  }
  return 0;
}

}  // namespace

int32_t ListSources(const platform::Directory& top, const ListingRules& rules,
                    ListingFilter& filter, TreeListing* listing) {
  if (!rules.recurse) return TreeWalk(top, rules, filter, listing).ListFlat();
  // On a tree that comes from disk, the folders found are on their way while the walk
  // lists the one before them.
  FolderWarmer warmer(kDefaultFolderWarmingLimits, [&top](const std::string& path) {
    return platform::WarmFolderIn(top, path);
  });
  return TreeWalk(top, rules, filter, listing, &warmer).ListFolder(top);
}

}  // namespace quillpack
