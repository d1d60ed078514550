#include "merged/source_files.h"

#include "console/console_question.h"
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
