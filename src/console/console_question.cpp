#include "console/console_question.h"

#include <string>

#include "console/run_options.h"
#include "runtime/error_objects.h"
#include "runtime/failure_codes.h"
#include "runtime/line_files.h"
#include "runtime/string_rules.h"

namespace quillpack {

namespace {

// Names come from other people's files and merged files: no byte of theirs may reach the
// terminal raw.
void WritePrintableLine(TextLineFile& file, std::string_view text) {
  if (HoldsControlByte(text)) {
    file.WriteTextLine(PrintableText(text));
  } else {
    file.WriteTextLine(text);
  }
  CheckFileFailure();
}

bool MayMergeToStandardOutput() {
  return !RunOptions.help && !RunOptions.version && RunOptions.action != Action::kExtract &&
         RunOptions.secondPath.empty();
}

}  // namespace

// A standard output that cannot be opened keeps its lines, and fails with them as ever.
TextLineFile& ConsoleLines() {
  if (MayMergeToStandardOutput() && !StandardOutput().IsConsole() &&
      StandardOutput().Mode() == TextFileMode::kWriting) {
    return StandardError();
  }
  return StandardOutput();
}

void WriteConsoleLine(std::string_view text) {
  WritePrintableLine(ConsoleLines(), text);
}

void WriteErrorLine(std::string_view text) {
  WritePrintableLine(StandardError(), text);
}

int32_t Ask(std::string_view question, std::string_view letters) {
  std::string answer;
  for (;;) {
    ConsoleLines().WriteText(PrintableText(question));
    CheckFileFailure();
    // A question waiting in a pipe's buffer would be answered unseen.
    ConsoleLines().FlushOutput();
    CheckFileFailure();
    StandardInput().ReadTextLine(&answer);
    CheckFileFailure();
    answer = CopyOf(answer, 1, 1);
    for (std::size_t i = 0; i < letters.size(); ++i) {
      if (PositionOf(letters.substr(i, 1), answer) > 0) return static_cast<int32_t>(i) + 1;
    }
    // Reading on would only yield empty lines: stop rather than ask for ever.
    if (StandardInput().InputEnded()) RaiseError(myException("Operation Cancelled."));
  }
}

}  // namespace quillpack
