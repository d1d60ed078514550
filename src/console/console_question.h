// The console dialogue: lines and single-letter questions, and the words about the run
// that go to the error output.

#ifndef QUILLPACK_CONSOLE_CONSOLE_QUESTION_H_
#define QUILLPACK_CONSOLE_CONSOLE_QUESTION_H_

#include <cstdint>
#include <string_view>

namespace quillpack {

class Exception;
class TextLineFile;

// Which standard streams carry the run's data rather than its dialogue.
struct DataStreams {
  // Standard input carries the merged file or a list of sources: none of its lines may
  // answer a question.
  bool input = false;
  // Standard output carries data, or may (a list's names, a merged file): unless it is a
  // console, the run's own lines go elsewhere.
  bool output = false;
  bool operator==(const DataStreams&) const = default;
};

// Tells the dialogue which streams carry data from now on; until told, neither does. The
// run tells it before its first question or console line (ParseOptions does).
void CarryDataOn(DataStreams streams);

// Where console lines and questions go: standard output, except while standard output
// carries data and is not a console. That output then holds the data alone, and the run's
// own lines go to the error output. Standard output opens itself to tell.
TextLineFile& ConsoleLines();

// Writes `text` and CR LF to ConsoleLines(), each control byte (below 32, or 127) shown
// as "?". Raises EInOutError when that fails.
void WriteConsoleLine(std::string_view text);

// As WriteConsoleLine, for a progress line (the source and the target named, "Adding",
// "Extracting", "Skipping"): nothing is written under -quiet.
void WriteProgressLine(std::string_view text);

// Writes `text` and CR LF to the error output, control bytes shown as "?": a word about
// the run that a merged file on standard output must not take in. Raises EInOutError
// when that fails.
void WriteErrorLine(std::string_view text);

// Writes `text` to standard output, control bytes shown as "?", ended by this system's
// line end (LF on POSIX, CR LF on Win32): the data a run gives there (a list's paths), as
// a shell's read and xargs take lines. Raises EInOutError when that fails.
void WriteOutputLine(std::string_view text);

// Writes `question` to ConsoleLines() (no line break; control bytes shown as "?"), writes
// out what waits there, and reads one line of standard input, until the line's first
// character is one of `letters` (exact, case-sensitive); returns that letter's 1-based
// position. An unknown answer repeats the question. When standard input has ended, no
// answer can come: raises myException "Operation Cancelled.". Console failures raise
// EInOutError.
//
// While standard input carries data (CarryDataOn), its lines must not answer: the
// question goes to the terminal and is answered there, and with no terminal it is
// cancelled as at the end of the input.
int32_t Ask(std::string_view question, std::string_view letters);

// Writes out what waits on the console, then, when standard input is a terminal (a
// console on Win32), reads one line from where Ask reads its answers and throws it away:
// the pause for the Enter key. Returns at once when no one can press Enter: a script's
// input is never taken by the pause, nor waited on. Console failures raise EInOutError.
void WaitForEnter();

// Whether `error` is a write to standard output that failed because its reader has gone
// (`| head -1`): the run then ends at once with status 1, quietly, since nobody reads what
// it would say, and a closing block and a pause would only make noise.
bool EndsQuietly(const Exception& error);

// As Ask, for a question whose answers are an enum numbered from 1 in the order of its
// letters, declared beside them.
template <typename Answer>
Answer AskFor(std::string_view question, std::string_view letters) {
  return static_cast<Answer>(Ask(question, letters));
}

}  // namespace quillpack

#endif  // QUILLPACK_CONSOLE_CONSOLE_QUESTION_H_
