#include "files/listing_filter.h"

#include <algorithm>
#include <utility>

#include "files/path_names.h"
#include "platform/mask_match.h"
#include "text/string_rules.h"

namespace quillpack {
namespace {

constexpr std::string_view kGitFolder = ".git";
constexpr std::string_view kIgnoreFile = ".gitignore";

// git's own default follows the file system: names differ by case on POSIX, not on Win32.
platform::CaseRule GitCaseRule() {
  return HostPathRules().nameCase;
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// The parts of `pattern`, split at either separator; empty ones and "." name no part.
std::vector<std::string> PartsOf(std::string_view pattern) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= pattern.size(); ++i) {
    if (i < pattern.size() && !IsSeparator(pattern[i])) continue;
    std::string_view part = pattern.substr(start, i - start);
    if (!part.empty() && part != ".") parts.emplace_back(part);
    start = i + 1;
  }
  return parts;
}

int32_t ReadWhole(platform::Handle handle, std::string* text) {
  constexpr std::size_t kPiece = 64 * 1024;
  for (;;) {
    std::size_t size = text->size();
    text->resize(size + kPiece);
    std::size_t got = 0;
    int32_t code = platform::ReadSome(handle, text->data() + size, kPiece, &got);
    text->resize(size + (code == 0 ? got : 0));
    if (code != 0 || got == 0) return code;
  }
}

}  // namespace

ListingFilter::ListingFilter(const ListingChoices& choices, char delimiter)
    : choices_(choices), delimiter_(delimiter), ignoreRules_(delimiter, GitCaseRule()) {
  for (const std::string& text : choices.excludePatterns) {
    ExcludePattern pattern;
    std::string_view rest = text;
    pattern.foldersOnly = !rest.empty() && IsSeparator(rest.back());
    while (!rest.empty() && IsSeparator(rest.back()))
      rest.remove_suffix(1);
    pattern.wholePath = rest.find_first_of("/\\") != std::string_view::npos;
    pattern.parts = PartsOf(rest);
    if (!pattern.parts.empty()) excludes_.push_back(std::move(pattern));
  }
}

int32_t ListingFilter::EnterFolder(const platform::Directory& folder, std::size_t pathLength) {
  bool read = choices_.gitignore &&
              platform::LookUpEntry(folder, std::string(kIgnoreFile)) == platform::EntryKind::kFile;
  if (read) {
    platform::OwnedHandle handle;
    std::string text;
    int32_t code = platform::OpenExistingForReadingIn(folder, std::string(kIgnoreFile), &handle);
    if (code == 0) code = ReadWhole(handle.get(), &text);
    if (code != 0) return code;
    ignoreRules_.AddFile(text, pathLength);
  }
  addedFile_.push_back(read);
  return 0;
}

void ListingFilter::LeaveFolder() {
  if (addedFile_.empty()) return;
  if (addedFile_.back()) ignoreRules_.RemoveLastFile();
  addedFile_.pop_back();
}

bool ListingFilter::IsNamed(std::string_view name, std::string_view wanted) const {
  return GitCaseRule() == platform::CaseRule::kIgnoreCase ? CompareIgnoringCase(name, wanted) == 0
                                                          : name == wanted;
}

// A pattern of whole paths matches part for part; one of a name matches the last part.
bool ListingFilter::Excludes(std::string_view path, std::size_t nameStart, bool isFolder) const {
  std::string_view name = path.substr(nameStart);
  for (const ExcludePattern& pattern : excludes_) {
    if (pattern.foldersOnly && !isFolder) continue;
    if (!pattern.wholePath) {
      if (platform::MatchesMask(pattern.parts.front(), name)) return true;
      continue;
    }
    std::string_view rest = path;
    bool matches = true;
    for (std::size_t i = 0; matches && i < pattern.parts.size(); ++i) {
      std::size_t end = rest.find(delimiter_);
      bool last = i + 1 == pattern.parts.size();
      matches = (end == std::string_view::npos) == last &&
                platform::MatchesMask(pattern.parts[i], rest.substr(0, end));
      if (!last) rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    if (matches) return true;
  }
  return false;
}

ListingFilter::Verdict ListingFilter::Judge(std::string_view path, std::size_t nameStart,
                                            bool isFolder, bool hidden) const {
  std::string_view name = path.substr(nameStart);
  if (choices_.gitignore && IsNamed(name, kGitFolder)) return Verdict::kLeftOut;
  if (Excludes(path, nameStart, isFolder)) return Verdict::kLeftOut;
  if (choices_.gitignore && ignoreRules_.Ignores(path, nameStart, isFolder)) {
    return Verdict::kLeftOut;
  }
  if (choices_.gitignore && IsNamed(name, kIgnoreFile)) hidden = true;
  return hidden && !choices_.hidden ? Verdict::kHidden : Verdict::kTaken;
}

}  // namespace quillpack
