// The rules by which git leaves names out of a repository, as its .gitignore files state
// them. A pure matcher: the caller reads the files and walks the tree; nothing here asks
// the system anything.

#ifndef QUILLPACK_FILES_IGNORE_RULES_H_
#define QUILLPACK_FILES_IGNORE_RULES_H_

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace quillpack {

// The wildcards of one pattern, compiled once so that each name asked about costs one
// pass over it per step.
//   "*"     any run of bytes within one part of a path;
//   "?"     one byte, "[...]" one byte of a set ("!" or "^" first: of none of it; ranges
//           "a-z"; classes "[:digit:]" and the other eleven of POSIX; "]" first is itself);
//   "**"    whole parts: "**/" at the start or after "/" stands for no part or any run of
//           parts, "/**" at the end (or "**" alone) for everything; elsewhere it is "*";
//   "/"     the separator between parts; no other step matches the separator;
//   "\\x"   the byte x itself.
class Wildcards {
 public:
  // The compiled `text`, or nothing when it is malformed (a set that is never closed, an
  // unknown class, a "\\" at the end): such a pattern matches nothing.
  static std::optional<Wildcards> Compile(std::string_view text, platform::CaseRule caseRule);

  // Whether the whole of `text`, whose parts are joined by `separator`, matches. Time
  // O(steps * length of text), no recursion, whatever the pattern holds.
  bool Matches(std::string_view text, char separator) const;

 private:
  enum class Kind : uint8_t { kByte, kSeparator, kAnyByte, kSet, kStar, kAnything, kParts };
  struct Step {
    Kind kind;
    unsigned char byte;
    uint32_t set;
  };

  bool MatchesOne(const Step& step, unsigned char byte) const;

  std::vector<Step> steps_;
  std::vector<std::bitset<256>> sets_;
  bool ignoreCase_ = false;
};

// One line of a .gitignore file, ready to match.
struct IgnorePattern {
  Wildcards wildcards;
  // "!" before it: a name it matches is taken back in.
  bool negated = false;
  // "/" after it: it matches folders only.
  bool foldersOnly = false;
  // A "/" at its start or in its middle: it is matched against the whole path below the
  // folder of its file; otherwise against the last part of a path alone, at any level.
  bool anchored = false;
};

// The pattern a line of a .gitignore file holds, or nothing for a blank line, a comment
// ("#" first; "\\#" is a pattern), a line of nothing but "!" and "/", and a malformed
// pattern. A CR at the end of the line goes, as do spaces at its end unless escaped
// ("\\ ").
std::optional<IgnorePattern> ParseIgnoreLine(std::string_view line, platform::CaseRule caseRule);

// The patterns of the .gitignore files of a folder and of the folders above it, as a
// walk down a tree gathers them: the file of the deepest folder is added last.
class IgnoreRules {
 public:
  // Paths asked about join their parts with `separator`; `caseRule` is git's: sensitive
  // on POSIX, ignoring case on Win32.
  IgnoreRules(char separator, platform::CaseRule caseRule)
      : separator_(separator), caseRule_(caseRule) {}

  // Adds the patterns of the .gitignore file `text` (lines ended by LF or CR LF) of the
  // folder whose own path takes the first `baseLength` bytes of every path asked about
  // from now on: 0 for the top of the tree, else that path and its separator.
  void AddFile(std::string_view text, std::size_t baseLength);

  // Removes the patterns of the file added last; nothing when there is none.
  void RemoveLastFile();

  // Whether the entry `path` (its parts joined by the separator, its own name starting at
  // `nameStart`) is ignored: of the patterns that match it, the one of the deepest file,
  // and of that file the last, decides; none matching leaves it in. `path` lies below the
  // folder of every file added. Says nothing of the folders above it: a walk does not
  // enter a folder that is ignored.
  bool Ignores(std::string_view path, std::size_t nameStart, bool isFolder) const;

 private:
  struct File {
    std::size_t baseLength;
    std::vector<IgnorePattern> patterns;
  };

  char separator_;
  platform::CaseRule caseRule_;
  std::vector<File> files_;
};

}  // namespace quillpack

#endif  // QUILLPACK_FILES_IGNORE_RULES_H_
