#include "console/run_options.h"

#include <optional>
#include <string_view>

#include "console/console_question.h"
#include "failures/error_objects.h"
#include "files/path_names.h"
#include "platform/platform.h"
#include "process/arguments.h"
#include "text/string_rules.h"

namespace quillpack {

TRunOptions RunOptions;

namespace {

// The words the tool knows, one row per word. A row with a "/" form also answers to its word
// with "/" in place of the leading "-"; on POSIX those are the only "/" arguments that are
// option words, since any other is a path.
enum class SlashForm { kNone, kAlso };
enum class ValueRule { kMayBeEmpty, kNotEmpty };
struct KnownWord {
  std::string_view dashForm;
  SlashForm slashForm;
  void (*apply)(TRunOptions* options);
};

constexpr KnownWord kKnownWords[] = {
    {"-?", SlashForm::kAlso, [](TRunOptions* o) { o->help = true; }},
    {"-merge", SlashForm::kAlso, [](TRunOptions* o) { o->action = Action::kMerge; }},
    {"-extract", SlashForm::kAlso, [](TRunOptions* o) { o->action = Action::kExtract; }},
    {"-list", SlashForm::kAlso, [](TRunOptions* o) { o->action = Action::kList; }},
    {"-nice", SlashForm::kAlso, [](TRunOptions* o) { o->headerStyle = kNiceHeaderStyle; }},
    {"-debug", SlashForm::kAlso, [](TRunOptions* o) { o->debug = true; }},
    {"-recurse", SlashForm::kAlso, [](TRunOptions* o) { o->recurse = true; }},
    {"-r", SlashForm::kAlso, [](TRunOptions* o) { o->recurse = true; }},
    {"-keepcase", SlashForm::kAlso, [](TRunOptions* o) { o->keepCase = true; }},
    {"-lf", SlashForm::kAlso, [](TRunOptions* o) { o->lineFeedsOnly = true; }},
    {"-gitignore", SlashForm::kAlso, [](TRunOptions* o) { o->gitignore = true; }},
    {"-hidden", SlashForm::kAlso, [](TRunOptions* o) { o->hidden = true; }},
    {"-overwrite", SlashForm::kAlso, [](TRunOptions* o) { o->overwrites = Overwrites::kAll; }},
    {"-skip", SlashForm::kAlso, [](TRunOptions* o) { o->overwrites = Overwrites::kNone; }},
    {"-escape", SlashForm::kAlso, [](TRunOptions* o) { o->escape = true; }},
    {"-quiet", SlashForm::kAlso, [](TRunOptions* o) { o->quiet = true; }},
    {"-q", SlashForm::kAlso, [](TRunOptions* o) { o->quiet = true; }},
    // The words other console tools answer. No "/" form: on POSIX it would hide a path.
    {"--help", SlashForm::kNone, [](TRunOptions* o) { o->help = o->helpWithoutPause = true; }},
    {"--version", SlashForm::kNone, [](TRunOptions* o) { o->version = true; }},
};

// The words that carry a value: the word up to and including its "=", then the value as
// given. Their "/" forms join the short list on POSIX like the others.
struct ValuedWord {
  std::string_view dashForm;
  SlashForm slashForm;
  void (*apply)(TRunOptions* options, std::string_view value);
  ValueRule valueRule = ValueRule::kMayBeEmpty;
};

constexpr ValuedWord kValuedWords[] = {
    {"-files-from=", SlashForm::kAlso,
     [](TRunOptions* o, std::string_view file) { o->filesFrom = CommandPath(std::string(file)); }},
    {"--files-from=", SlashForm::kNone,
     [](TRunOptions* o, std::string_view file) { o->filesFrom = CommandPath(std::string(file)); }},
    // An empty pattern would match nothing: "-exclude=" alone is no word of the tool's.
    {"-exclude=", SlashForm::kAlso,
     [](TRunOptions* o, std::string_view pattern) { o->excludePatterns.emplace_back(pattern); },
     ValueRule::kNotEmpty},
    {"--exclude=", SlashForm::kNone,
     [](TRunOptions* o, std::string_view pattern) { o->excludePatterns.emplace_back(pattern); },
     ValueRule::kNotEmpty},
};

bool IsFormOf(std::string_view dashForm, SlashForm slashForm, std::string_view word) {
  if (CompareIgnoringCase(word, dashForm) == 0) return true;
  return slashForm == SlashForm::kAlso && TextEquals(CopyOf(word, 1, 1), "/") &&
         CompareIgnoringCase(word.substr(1), dashForm.substr(1)) == 0;
}

bool IsWordOf(const KnownWord& known, std::string_view word) {
  return IsFormOf(known.dashForm, known.slashForm, word);
}

// Whether `word` is `valued` with a value, which `*value` then receives.
bool IsWordOf(const ValuedWord& valued, std::string_view word, std::string_view* value) {
  std::size_t size = valued.dashForm.size();
  std::size_t least = valued.valueRule == ValueRule::kNotEmpty ? size + 1 : size;
  if (word.size() < least || !IsFormOf(valued.dashForm, valued.slashForm, word.substr(0, size))) {
    return false;
  }
  *value = word.substr(size);
  return true;
}

bool IsKnownWord(std::string_view word) {
  for (const KnownWord& known : kKnownWords) {
    if (IsWordOf(known, word)) return true;
  }
  std::string_view value;
  for (const ValuedWord& valued : kValuedWords) {
    if (IsWordOf(valued, word, &value)) return true;
  }
  return false;
}

// A lone "-" is a path: the standard stream.
bool IsOptionWord(const std::string& argument, const OptionRules& rules) {
  if (argument == kStandardStreamPath) return false;
  std::string first = CopyOf(argument, 0, 1);
  if (TextEquals(first, "-")) return true;
  if (!TextEquals(first, "/")) return false;
  return rules.everySlashWordIsAnOption || IsKnownWord(argument);
}

// Applies every row whose word matches; returns whether one did. An unknown word changes
// nothing.
bool ApplyOptionWord(const std::string& word, TRunOptions* options) {
  bool known = false;
  for (const KnownWord& row : kKnownWords) {
    if (!IsWordOf(row, word)) continue;
    row.apply(options);
    known = true;
  }
  std::string_view value;
  for (const ValuedWord& row : kValuedWords) {
    if (!IsWordOf(row, word, &value)) continue;
    row.apply(options, value);
    known = true;
  }
  return known;
}

// A path past the platform's limit is refused before anything is read or written.
void RefuseUnresolvablePath(const CommandPath& path) {
  if (!path.empty() && FullPathOf(path.typed()).empty()) {
    RaiseError(myException("Path " + path.typed() + " is too long or cannot be resolved."));
  }
}

// "-", or a name for the very file standard input is on.
bool NamesStandardInput(const CommandPath& path) {
  return path.IsStandardStream() || (!path.empty() && platform::IsStandardInput(path.typed()));
}

// The question for a missing action: each letter gives the answer in its place.
enum class ActionAnswer { kMerge = 1, kExtract = 2, kCancel = 3 };
constexpr std::string_view kActionLetters = "mec";

Action AskForAction() {
  switch (AskFor<ActionAnswer>("Action not specified.(Merge/Extract/Cancel)?", kActionLetters)) {
    case ActionAnswer::kMerge:
      return Action::kMerge;
    case ActionAnswer::kExtract:
      return Action::kExtract;
    case ActionAnswer::kCancel:
      break;
  }
  RaiseError(myException("Operation Cancelled."));
}

std::vector<std::string> ProcessArguments() {
  std::vector<std::string> arguments;
  int32_t count = ArgumentCount();
  for (int32_t i = 1; i <= count; ++i)
    arguments.push_back(ArgumentAt(i));
  return arguments;
}

}  // namespace

OptionRules WindowsOptionRules() {
  return {true, false};
}
OptionRules PosixOptionRules() {
  return {false, true};
}

const OptionRules& HostOptionRules() {
  static const OptionRules rules = platform::kHostSystem == platform::HostSystem::kWindows
                                       ? WindowsOptionRules()
                                       : PosixOptionRules();
  return rules;
}

OptionWords ReadOptionWords(const std::vector<std::string>& arguments, const OptionRules& rules) {
  OptionWords read;
  TRunOptions& options = read.options;
  if (arguments.empty() || (arguments.size() == 1 && CompareIgnoringCase(arguments[0], "?") == 0)) {
    options.help = true;
    return read;
  }
  int paths = 0;
  for (const std::string& argument : arguments) {
    if (IsOptionWord(argument, rules)) {
      if (!ApplyOptionWord(argument, &options)) read.unknownWords.push_back(argument);
    } else if (++paths == 1) {
      options.firstPath = CommandPath(argument);
    } else if (paths == 2) {
      options.secondPath = CommandPath(argument);
    } else {
      read.surplusPaths = true;
    }
  }
  return read;
}

DataStreams DataStreamsOf(const TRunOptions& options) {
  if (options.help || options.version) return {};
  switch (options.action) {
    case Action::kNone:
    case Action::kMerge:
      return {options.filesFrom && NamesStandardInput(*options.filesFrom),
              options.secondPath.FileName().empty()};
    case Action::kExtract:
      return {NamesStandardInput(options.firstPath), false};
    case Action::kList:
      return {NamesStandardInput(options.firstPath), true};
  }
  return {};
}

void ParseOptions() {
  RunOptions = TRunOptions();
  OptionWords read = ReadOptionWords(ProcessArguments());
  RunOptions = read.options;
  CarryDataOn(DataStreamsOf(RunOptions));
  // First, ahead of the usage text, a question or a closing block.
  for (const std::string& word : read.unknownWords)
    WriteErrorLine("Ignoring unknown option " + word + ".");
  if (RunOptions.help || RunOptions.version) return;
  if (read.surplusPaths && HostOptionRules().refuseSurplusPaths) {
    RaiseError(myException(
        "More than two paths given; quote a mask such as \"*.txt\" so that the shell does not "
        "expand it."));
  }
  if (RunOptions.action == Action::kNone) {
    RunOptions.action = AskForAction();
    CarryDataOn(DataStreamsOf(RunOptions));
  }
  RefuseUnresolvablePath(RunOptions.firstPath);
  RefuseUnresolvablePath(RunOptions.secondPath);
}

}  // namespace quillpack
