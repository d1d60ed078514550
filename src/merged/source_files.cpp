#include "merged/source_files.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "console/console_question.h"
#include "failures/error_objects.h"
#include "files/directory_search.h"
#include "files/identified_file.h"
#include "files/path_names.h"
#include "merged/merged_format.h"
#include "merged/source_list.h"
#include "platform/mask_match.h"
#include "text/checked_steps.h"
#include "text/line_files.h"
#include "text/name_list.h"
#include "text/string_rules.h"

namespace quillpack {
namespace {

// The position of the first delimiter of `path` at or after `from`, or npos: a trail byte
// of a double-byte character that looks like one is none.
std::size_t NextDelimiter(std::string_view path, std::size_t from) {
  for (std::size_t i = from; i < path.size(); ++i) {
    if (IsPathDelimiterAt(path, static_cast<int32_t>(i) + 1)) return i;
  }
  return std::string_view::npos;
}

// Every name that cannot come back is named, one line each, before the merge stops: one
// run tells the user all there is to leave out.
// Whether an exclude pattern leaves out `path` (parts joined by `delimiter`), or a folder
// on its way, which a walk would not have entered.
bool Excluded(const ListingFilter& filter, std::string_view path, char delimiter) {
  for (std::size_t end = path.find(delimiter); end != std::string_view::npos;
       end = path.find(delimiter, end + 1)) {
    std::string_view folder = path.substr(0, end);
    std::size_t nameStart = folder.rfind(delimiter) + 1;
    if (filter.Judge(folder, nameStart, true, false) == ListingFilter::Verdict::kLeftOut) {
      return true;
    }
  }
  std::size_t nameStart = path.rfind(delimiter) + 1;
  return filter.Judge(path, nameStart, false, false) == ListingFilter::Verdict::kLeftOut;
}

void RaiseRefusals(const std::vector<std::string>& refusals) {
  if (refusals.empty()) return;
  for (const std::string& sentence : refusals)
    WriteErrorLine(sentence);
  std::size_t count = refusals.size();
  RaiseError(myException(std::to_string(count) + (count == 1 ? " name cannot" : " names cannot") +
                         " come back; nothing was merged."));
}

// One count of a kind, as "1 hidden name" or "2 hidden names".
void AddCount(int64_t count, std::string_view one, std::string_view many, std::string* line) {
  if (count == 0) return;
  *line += line->empty() ? "Passed over: " : ", ";
  *line += std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

}  // namespace

std::string PassedOverLine(const PassedOver& passedOver, platform::HostSystem host) {
  bool windows = host == platform::HostSystem::kWindows;
  std::string line;
  AddCount(passedOver.hiddenNames, "hidden name", "hidden names", &line);
  AddCount(passedOver.linksToFolders, "link to a folder", "links to folders", &line);
  AddCount(passedOver.linksLeadingNowhere, "link that leads nowhere", "links that lead nowhere",
           &line);
  AddCount(passedOver.notRegularFiles, windows ? "system file" : "file that is not regular",
           windows ? "system files" : "files that are not regular", &line);
  return line.empty() ? line : line + ".";
}

SourceDirectory::SourceDirectory(std::string path) : path_(std::move(path)) {
  platform::OpenDirectory(path_, &held_);
}

void SourceDirectory::Admit(ListedFile file, const IdentifiedFile& output, SourceNames* names) {
  // Where the listing tells no identity (Win32), the file is asked for it now, so that
  // one swapped later is told apart all the same.
  if (!file.identity) {
    platform::FileIdentity identity;
    if (platform::IdentifyFile(path_ + file.name, &identity) == 0) file.identity = identity;
  }
  if (output.IsListedAs(path_, file)) {
    WriteErrorLine("Leaving out " + file.name + ": it is the merge's own output.");
  } else {
    names->Add(std::move(file));
  }
}

SourceListing SourceDirectory::List(const ListingRequest& request, const IdentifiedFile& output) {
  SourceListing listing;
  if (!held_.IsOpen()) return listing;
  char delimiter = HostPathRules().pathDelimiter;
  ListingFilter filter(request.choices, delimiter);
  TreeListing tree;
  ListingRules rules{request.mask, request.recurse, delimiter,
                     static_cast<std::size_t>(kMaxMemberNameBytes)};
  if (ListSources(held_, rules, filter, &tree) != 0) {
    RaiseError(myException((tree.unreadableFile ? "File " : "Directory ") + path_ +
                           tree.failedPath +
                           (tree.unreadableFile ? " cannot be read." : " cannot be listed.")));
  }
  listing.passedOver = tree.passedOver;
  for (const std::string& link : tree.linksLeavingTree) {
    WriteErrorLine("Leaving out " + PrintableText(link) +
                   ": it is a link that leads out of the tree.");
    listing.leftOut = true;
  }
  TStringList order;
  SourceNames names(order, delimiter);
  for (const std::string& folder : tree.foldersTooDeep)
    names.RefuseFolder(folder);
  for (ListedFile& file : tree.files)
    Admit(std::move(file), output, &names);
  std::vector<ListedFile>().swap(tree.files);
  listing.sources = names.TakeSorted();
  RaiseRefusals(names.Refusals());
  return listing;
}

SourceListing SourceDirectory::ListNamed(const std::vector<std::string>& names,
                                         const ListingRequest& request,
                                         const IdentifiedFile& output) {
  SourceListing listing;
  if (!held_.IsOpen()) return listing;
  char delimiter = HostPathRules().pathDelimiter;
  // The list chose its names, hidden ones too; only the user's exclude patterns still
  // leave names out, as they would in a walk.
  ListingChoices exclusions;
  exclusions.excludePatterns = request.choices.excludePatterns;
  ListingFilter filter(exclusions, delimiter);
  TStringList order;
  SourceNames sources(order, delimiter);
  std::set<std::string> taken;
  for (const std::string& listed : names) {
    ListedFile file;
    std::string_view why = "it leads outside the source directory.";
    if (PathBelowDirectory(listed, &file.name)) {
      std::string_view leaf = std::string_view(file.name).substr(DirectoryPartOf(file.name).size());
      if (!platform::MatchesMask(request.mask, leaf) || Excluded(filter, file.name, delimiter) ||
          !taken.insert(file.name).second) {
        continue;
      }
      why = WhyNotMergeable(file.name, &file);
    }
    if (!why.empty()) {
      WriteErrorLine("Leaving out " + listed + ": " + std::string(why));
      listing.leftOut = true;
    } else {
      Admit(std::move(file), output, &sources);
    }
  }
  listing.sources = sources.TakeSorted();
  RaiseRefusals(sources.Refusals());
  return listing;
}

// What is there is looked up by its very name, through the folders held, none of them a
// link; a link to a file counts as the file, as in a listing.
std::string_view SourceDirectory::WhyNotMergeable(const std::string& path, ListedFile* file) {
  const platform::Directory* directory = nullptr;
  std::size_t leafStart = 0;
  int32_t code = Reach(path, &directory, &leafStart);
  if (code == platform::kStoppedOnLink) return "a folder on its way is a symbolic link.";
  if (code == platform::kFileNotFound || code == platform::kPathNotFound) {
    return "it is not there.";
  }
  if (code != 0) return "its folder cannot be opened.";
  platform::EntryKind kind = platform::LookUpEntry(*directory, path.substr(leafStart));
  if (kind == platform::EntryKind::kMissing) return "it is not there.";
  if (kind == platform::EntryKind::kDirectory) return "it is a folder.";
  if (kind == platform::EntryKind::kOther) return "it is not a regular file.";
  platform::FileIdentity identity;
  code = platform::IdentifyFile(path_ + path, &identity);
  if (code == 0) {
    file->identity = identity;
  } else if (kind == platform::EntryKind::kLink) {
    return code == platform::kFileNotFound || code == platform::kPathNotFound
               ? "it is not there."
               : "it is not a regular file.";
  }
  return "";
}

int32_t SourceDirectory::Open(const Source& source, TextLineFile* file,
                              platform::FileStamp* stamp) {
  const ListedFile& listed = source.listed;
  file->AssignName(path_ + listed.name);
  const platform::Directory* directory = nullptr;
  std::size_t leafStart = 0;
  if (int32_t code = Reach(listed.name, &directory, &leafStart)) {
    return code == platform::kStoppedOnLink ? platform::kNotRegularFile : code;
  }
  std::string leaf = listed.name.substr(leafStart);
  platform::OpenedFile opened;
  int32_t code = TryOpenForReadingIn(*file, *directory, leaf, &opened);
  if (code == 0 && listed.identity && opened.identity != *listed.identity) {
    file->AssignName("");
    return platform::kNotRegularFile;
  }
  *stamp = opened.stamp;
  return code;
}

// Sources come in the order of their names, so those of one folder mostly follow one
// another: the folders in common with the last source stay as they are.
int32_t SourceDirectory::Reach(std::string_view path, const platform::Directory** directory,
                               std::size_t* leafStart) {
  std::size_t depth = 0;
  std::size_t start = 0;
  for (std::size_t end; (end = NextDelimiter(path, start)) != std::string_view::npos;
       start = end + 1, ++depth) {
    std::string_view part = path.substr(start, end - start);
    if (depth < reached_.size() && reached_[depth].first == part) continue;
    reached_.resize(depth);
    const platform::Directory& parent = depth == 0 ? held_ : reached_[depth - 1].second;
    platform::Directory inner;
    if (int32_t code = platform::OpenSubdirectory(parent, std::string(part), &inner)) return code;
    reached_.emplace_back(std::string(part), std::move(inner));
  }
  reached_.resize(depth);
  *directory = depth == 0 ? &held_ : &reached_[depth - 1].second;
  *leafStart = start;
  return 0;
}

}  // namespace quillpack
