#include "merged/source_files.h"

#include <set>

#include "console/console_question.h"
#include "merged/source_list.h"
#include "platform/mask_match.h"
#include "runtime/checked_steps.h"
#include "runtime/directory_search.h"
#include "runtime/error_objects.h"
#include "runtime/identified_file.h"
#include "runtime/line_files.h"
#include "runtime/name_list.h"
#include "runtime/path_names.h"

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

}  // namespace

SourceDirectory::SourceDirectory(std::string path) : path_(std::move(path)) {
  platform::OpenDirectory(path_, &held_);
}

std::vector<Source> SourceDirectory::List(std::string_view mask, bool recurse,
                                          const IdentifiedFile& output) {
  if (!held_.IsOpen()) return {};
  char delimiter = HostPathRules().pathDelimiter;
  std::vector<ListedFile> listed;
  if (!recurse) {
    listed = ListMatchingFilesIn(held_, mask);
  } else if (std::string unlisted;
             ListMatchingFilesBelow(held_, mask, delimiter, &listed, &unlisted) != 0) {
    RaiseError(myException("Directory " + path_ + unlisted + " cannot be listed."));
  }
  TStringList order;
  SourceNames sources(order, delimiter);
  for (ListedFile& file : listed) {
    // Where the listing tells no identity (Win32), the file is asked for it now, so that
    // one swapped later is told apart all the same.
    if (!file.identity) {
      platform::FileIdentity identity;
      if (platform::IdentifyFile(path_ + file.name, &identity) == 0) file.identity = identity;
    }
    if (output.IsListedAs(path_, file)) {
      WriteErrorLine("Leaving out " + file.name + ": it is the merge's own output.");
    } else {
      sources.Add(std::move(file));
    }
  }
  return sources.TakeSorted();
}

std::vector<Source> SourceDirectory::ListNamed(const std::vector<std::string>& names,
                                               std::string_view mask, const IdentifiedFile& output,
                                               bool* allTaken) {
  if (!held_.IsOpen()) return {};
  TStringList order;
  SourceNames sources(order, HostPathRules().pathDelimiter);
  std::set<std::string> taken;
  for (const std::string& listed : names) {
    ListedFile file;
    std::string_view why = "it leads outside the source directory.";
    if (PathBelowDirectory(listed, &file.name)) {
      std::string_view leaf = std::string_view(file.name).substr(DirectoryPartOf(file.name).size());
      if (!platform::MatchesMask(mask, leaf) || !taken.insert(file.name).second) continue;
      why = WhyNotMergeable(file.name, &file);
    }
    if (!why.empty()) {
      WriteErrorLine("Leaving out " + listed + ": " + std::string(why));
      *allTaken = false;
    } else if (output.IsListedAs(path_, file)) {
      WriteErrorLine("Leaving out " + listed + ": it is the merge's own output.");
    } else {
      sources.Add(std::move(file));
    }
  }
  return sources.TakeSorted();
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
