// The console dialogue: lines and single-letter questions, and the words about the run
// that go to the error output.

#ifndef QUILLPACK_CONSOLE_CONSOLE_QUESTION_H_
#define QUILLPACK_CONSOLE_CONSOLE_QUESTION_H_

#include <cstdint>
#include <string_view>

namespace quillpack {

class TextLineFile;

// Where console lines and questions go: standard output, except while the run may be a
// merge whose text goes to a standard output that is not a console (RunOptions: no
// output path, an action other than extract, no usage text). That output then holds the
// merged file alone, and the run's own lines go to the error output. Standard output
// opens itself to tell.
TextLineFile& ConsoleLines();

// Writes `text` and CR LF to ConsoleLines(), each control byte (below 32, or 127) shown
// as "?". Raises EInOutError when that fails.
void WriteConsoleLine(std::string_view text);

// Writes `text` and CR LF to the error output, control bytes shown as "?": a word about
// the run that a merged file on standard output must not take in. Raises EInOutError
// when that fails.
void WriteErrorLine(std::string_view text);

// Writes `question` to ConsoleLines() (no line break; control bytes shown as "?") and
// reads one line of standard input, until the line's first character is one of `letters`
// (exact, case-sensitive); returns that letter's 1-based position. An unknown answer
// repeats the question. When standard input has ended, no answer can come: raises
// myException "Operation Cancelled.". Console failures raise EInOutError.
int32_t Ask(std::string_view question, std::string_view letters);

// As Ask, for a question whose answers are an enum numbered from 1 in the order of its
// letters, declared beside them.
template <typename Answer>
Answer AskFor(std::string_view question, std::string_view letters) {
  return static_cast<Answer>(Ask(question, letters));
}

}  // namespace quillpack

#endif  // QUILLPACK_CONSOLE_CONSOLE_QUESTION_H_
