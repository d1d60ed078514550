#include "console/run_options.h"

#include <string_view>

#include "console/console_question.h"
#include "platform/platform.h"
#include "runtime/arguments.h"
#include "runtime/error_objects.h"
#include "runtime/path_names.h"
#include "runtime/string_rules.h"

namespace quillpack {

TRunOptions RunOptions;

namespace {

constexpr std::string_view kSlashOptionWords[] = {"/?", "/merge", "/extract", "/nice", "/debug"};

bool IsOptionWord(const std::string& argument, const OptionRules& rules) {
  std::string first = CopyOf(argument, 0, 1);
  if (TextEquals(first, "-")) return true;
  if (!TextEquals(first, "/")) return false;
  if (rules.everySlashWordIsAnOption) return true;
  for (std::string_view word : kSlashOptionWords) {
    if (CompareIgnoringCase(argument, word) == 0) return true;
  }
  return false;
}

// Applies every row whose word matches; an unknown word changes nothing.
void ApplyOptionWord(const std::string& word, TRunOptions* options) {
  auto is = [&word](std::string_view dash, std::string_view slash) {
    return CompareIgnoringCase(word, dash) == 0 || CompareIgnoringCase(word, slash) == 0;
  };
  if (is("-?", "/?")) options->help = true;
  if (is("-merge", "/merge")) options->action = Action::kMerge;
  if (is("-extract", "/extract")) options->action = Action::kExtract;
  if (is("-nice", "/nice")) options->headerStyle = kNiceHeaderStyle;
  if (is("-debug", "/debug")) options->debug = true;
  // The words other console tools answer. No "/" form: on POSIX it would hide a path.
  if (CompareIgnoringCase(word, "--help") == 0) options->help = options->helpWithoutPause = true;
  if (CompareIgnoringCase(word, "--version") == 0) options->version = true;
}

// A path past the platform's limit is refused before anything is read or written.
void RefuseUnresolvablePath(const std::string& path) {
  if (!path.empty() && FullPathOf(path).empty()) {
    RaiseError(myException("Path " + path + " is too long or cannot be resolved."));
  }
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
      ApplyOptionWord(argument, &options);
    } else if (++paths == 1) {
      options.firstPath = argument;
    } else if (paths == 2) {
      options.secondPath = argument;
    } else {
      read.surplusPaths = true;
    }
  }
  return read;
}

void ParseOptions() {
  RunOptions = TRunOptions();
  OptionWords read = ReadOptionWords(ProcessArguments());
  RunOptions = read.options;
  if (RunOptions.help || RunOptions.version) return;
  if (read.surplusPaths && HostOptionRules().refuseSurplusPaths) {
    RaiseError(myException(
        "More than two paths given; quote a mask such as \"*.txt\" so that the shell does not "
        "expand it."));
  }
  if (RunOptions.action == Action::kNone) RunOptions.action = AskForAction();
  RefuseUnresolvablePath(RunOptions.firstPath);
  RefuseUnresolvablePath(RunOptions.secondPath);
}

}  // namespace quillpack
