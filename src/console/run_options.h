// The parsed command line: one process-wide record that the entry point and the three
// operations (merge, extract, list) read, and the streams that carry the run's data,
// which the console dialogue is told.

#ifndef QUILLPACK_CONSOLE_RUN_OPTIONS_H_
#define QUILLPACK_CONSOLE_RUN_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/console_question.h"

namespace quillpack {

enum class Action : int32_t { kNone = 0, kMerge = 1, kExtract = 2, kList = 3 };

// Who answers the questions before a file is written over: the user, or the command line
// once for every question (-overwrite: yes, as all; -skip: no).
enum class Overwrites : int32_t { kAsk, kAll, kNone };

// The path that stands for standard input (the merged file of an extract or a list, a
// merge's list of sources) or standard output (the merge's output).
inline constexpr std::string_view kStandardStreamPath = "-";

// A path as the command line gave it, told apart once, when the options are parsed: "-"
// stands for a standard stream, any other text names a file or a folder. Which stream "-"
// is, and whether a place takes one at all, is the operation's: a merge's mask "-" is a
// file named "-".
class CommandPath {
 public:
  CommandPath() = default;
  explicit CommandPath(std::string typed)
      : typed_(std::move(typed)), standardStream_(typed_ == kStandardStreamPath) {}

  // As typed, for the messages that name the path.
  const std::string& typed() const { return typed_; }
  bool empty() const { return typed_.empty(); }
  bool IsStandardStream() const { return standardStream_; }

  // The name a text line file is given for it: the empty name, which is the file's
  // standard stream, for "-"; otherwise the path as typed.
  std::string FileName() const { return standardStream_ ? std::string() : typed_; }

  bool operator==(const CommandPath&) const = default;

 private:
  std::string typed_;
  bool standardStream_ = false;
};
// The style of the member headers a merge writes. Its values and what they write live with
// the merged format (merged/merged_format.h); the options only pick one by its number: 0,
// the plain style, unless -nice gives 1, the arrow style.
enum class HeaderStyle : int32_t;
inline constexpr HeaderStyle kDefaultHeaderStyle{0};
inline constexpr HeaderStyle kNiceHeaderStyle{1};

struct TRunOptions {
  Action action = Action::kNone;
  HeaderStyle headerStyle = kDefaultHeaderStyle;
  // The usage text was asked for; it wins over any action.
  bool help = false;
  // "--help": the usage text goes out without the pause that otherwise follows it.
  bool helpWithoutPause = false;
  // "--version": the version line alone; the usage text wins over it, it over any action.
  bool version = false;
  // Show the underlying message of a failure before the tool's own.
  bool debug = false;
  // Merge: the mask's directory and every directory below it.
  bool recurse = false;
  // Merge: member names keep the case the listing gives them.
  bool keepCase = false;
  // Merge: names that match one of these masks are left out (listing_filter.h).
  std::vector<std::string> excludePatterns;
  // Merge: the .git folder and what the tree's .gitignore files exclude are left out.
  bool gitignore = false;
  // Merge: hidden files and folders are merged too.
  bool hidden = false;
  // Extract: targets are written with LF line ends.
  bool lineFeedsOnly = false;
  // Merge: member lines escaped, behind the escape marker (merged/merged_format.h).
  bool escape = false;
  // Merge: the sources are the names this file lists ("-": standard input), not those a
  // listing finds; from "-files-from=FILE".
  std::optional<CommandPath> filesFrom;
  // No progress lines; questions, warnings, refusals and the closing lines stay.
  bool quiet = false;
  // Merge and extract: the overwrite questions, answered here or asked.
  Overwrites overwrites = Overwrites::kAsk;
  // The source mask for merge, the merged file for extract and list ("-": standard input).
  CommandPath firstPath;
  // The output file for merge ("-" or none: standard output), the output directory for
  // extract.
  CommandPath secondPath;
};

extern TRunOptions RunOptions;

// How the host tells option words from paths.
struct OptionRules {
  // Win32: every argument that begins with "/" is an option word. POSIX: only the "/"
  // forms of the known words are (/?, /merge, /extract, /list, /nice, /debug, /recurse,
  // /r, /keepcase, /lf, /gitignore, /hidden, /overwrite, /skip, /quiet, /q, /escape, and
  // /files-from= and /exclude= with their values), since absolute paths begin with "/" there.
  bool everySlashWordIsAnOption;
  // POSIX: a shell expands an unquoted mask into many paths, so a third path is refused
  // rather than silently ignored.
  bool refuseSurplusPaths;
};

OptionRules WindowsOptionRules();
OptionRules PosixOptionRules();
const OptionRules& HostOptionRules();

// What the arguments 1..count say, before any question: the option words (compared
// whole, ignoring ASCII case, "-" or "/" form; "--help" and "--version" have no "/" form;
// a word that takes a value, "-files-from=FILE", "-exclude=PATTERN" (taken as often as
// given; without a PATTERN it is an unknown word) or their "--" forms, is compared up to
// its "=", and the rest, as given, is the value),
// the first two paths, whether more paths followed, and the option words that are none of
// the tool's. No arguments, or the single argument "?", ask for the usage text.
struct OptionWords {
  TRunOptions options;
  bool surplusPaths = false;
  // Option words that match no known word, in the order given; they change nothing. A
  // lone "-" is not among them.
  std::vector<std::string> unknownWords;
};
OptionWords ReadOptionWords(const std::vector<std::string>& arguments,
                            const OptionRules& rules = HostOptionRules());

// The standard streams that carry the data of the run the options describe, by its
// operation: standard output a list's names, or the text of a merge whose output is "-" or
// not given; standard input the merged file of an extract or a list, or a merge's list of
// sources, when its path is "-" or a name for the file standard input is on. Before the
// action is known, a run that may become a merge counts as one; the usage text and the
// version line carry none.
DataStreams DataStreamsOf(const TRunOptions& options);

// Fills RunOptions from the process's arguments, and tells the console dialogue which
// streams carry data (DataStreamsOf) before it can ask or refuse anything, again once the
// action is answered. First it names each unknown option word on the error output
// ("Ignoring unknown option -x."). When the arguments name no action,
// and ask for neither the usage text nor the version, it asks for one on the console.
// Raises myException, before any file is read or written:
// - a message that tells the user to quote the mask, when more than two paths are given
//   and the host's rules refuse surplus paths (before any question);
// - "Operation Cancelled." when the answer to the question is cancel, or standard input
//   has ended;
// - "Path P is too long or cannot be resolved." for a path P that has no full path the
//   platform takes.
// A console failure (naming a word, or asking) raises EInOutError.
void ParseOptions();

}  // namespace quillpack

#endif  // QUILLPACK_CONSOLE_RUN_OPTIONS_H_
