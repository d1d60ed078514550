#include "console/console_question.h"

#include <memory>
#include <string>
#include <utility>

#include "console/run_options.h"
#include "failures/error_objects.h"
#include "failures/failure_codes.h"
#include "platform/platform.h"
#include "text/line_files.h"
#include "text/string_rules.h"

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

// What the run said its data takes; one record for the process, as the console is one.
DataStreams dataStreams;

// Someone can press Enter only at a terminal; a script's input holds no keystroke for the
// pause.
bool StandardInputIsTerminal() {
  platform::Handle input = platform::kNoHandle;
  return platform::GetStandardHandle(platform::StandardStream::kInput, &input) == 0 &&
         platform::KindOf(input) == platform::DeviceKind::kTerminal;
}

// The line end of the data on standard output is this system's own, not the console's.
constexpr std::string_view kHostLineEnd =
    platform::kHostSystem == platform::HostSystem::kWindows ? kLineEnd : kLineFeedOnly;

struct Terminal {
  TextLineFile input;
  TextLineFile output;
};

// The terminal, opened on the first question that needs it and kept for the rest of the
// run; null when the process has none.
Terminal* OpenedTerminal() {
  static const std::unique_ptr<Terminal> terminal = [] {
    auto opened = std::make_unique<Terminal>();
    platform::OwnedHandle input;
    platform::OwnedHandle output;
    if (platform::OpenTerminal(platform::StandardStream::kInput, &input) != 0 ||
        platform::OpenTerminal(platform::StandardStream::kOutput, &output) != 0) {
      return std::unique_ptr<Terminal>();
    }
    opened->input.AdoptForReading(std::move(input), platform::DeviceKind::kTerminal);
    opened->output.AdoptForWriting(std::move(output), platform::DeviceKind::kTerminal);
    return opened;
  }();
  return terminal.get();
}

// Where a question goes and its answer comes from: the console, or the terminal while
// standard input carries the merged file. No one answers when there is no terminal then.
struct Answerer {
  TextLineFile* questions;
  TextLineFile* answers;
};

Answerer CurrentAnswerer() {
  if (!dataStreams.input) return {&ConsoleLines(), &StandardInput()};
  if (Terminal* terminal = OpenedTerminal()) return {&terminal->output, &terminal->input};
  return {&ConsoleLines(), nullptr};
}

}  // namespace

void CarryDataOn(DataStreams streams) {
  dataStreams = streams;
}

// A standard output that cannot be opened keeps its lines, and fails with them as ever.
TextLineFile& ConsoleLines() {
  if (dataStreams.output && !StandardOutput().IsConsole() &&
      StandardOutput().Mode() == TextFileMode::kWriting) {
    return StandardError();
  }
  return StandardOutput();
}

void WriteConsoleLine(std::string_view text) {
  WritePrintableLine(ConsoleLines(), text);
}

void WriteProgressLine(std::string_view text) {
  if (!RunOptions.quiet) WriteConsoleLine(text);
}

void WriteErrorLine(std::string_view text) {
  WritePrintableLine(StandardError(), text);
}

// One write per line, line end included, as a console shows it.
void WriteOutputLine(std::string_view text) {
  std::string line = HoldsControlByte(text) ? PrintableText(text) : std::string(text);
  line += kHostLineEnd;
  StandardOutput().WriteText(line);
  CheckFileFailure();
}

int32_t Ask(std::string_view question, std::string_view letters) {
  Answerer answerer = CurrentAnswerer();
  std::string answer;
  for (;;) {
    answerer.questions->WriteText(PrintableText(question));
    CheckFileFailure();
    // A question waiting in a pipe's buffer would be answered unseen.
    answerer.questions->FlushOutput();
    CheckFileFailure();
    // No one to answer is as the end of the input.
    if (!answerer.answers) RaiseError(myException("Operation Cancelled."));
    answerer.answers->ReadTextLine(&answer);
    CheckFileFailure();
    answer = CopyOf(answer, 1, 1);
    for (std::size_t i = 0; i < letters.size(); ++i) {
      if (PositionOf(letters.substr(i, 1), answer) > 0) return static_cast<int32_t>(i) + 1;
    }
    // Reading on would only yield empty lines: stop rather than ask for ever.
    if (answerer.answers->InputEnded()) RaiseError(myException("Operation Cancelled."));
  }
}

void WaitForEnter() {
  Answerer answerer = CurrentAnswerer();
  // The lines that ask for the Enter key go out first, as a question does.
  answerer.questions->FlushOutput();
  CheckFileFailure();
  if (!answerer.answers || !StandardInputIsTerminal()) return;
  answerer.answers->ReadTextLine();
  CheckFileFailure();
}

bool EndsQuietly(const Exception& error) {
  const auto* failure = dynamic_cast<const EInOutError*>(&error);
  return failure && failure->FailureCode() == platform::kStandardOutputGone;
}

}  // namespace quillpack
