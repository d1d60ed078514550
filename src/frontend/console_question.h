// The console dialogue: lines to standard output and single-letter questions.

#ifndef QUILLPACK_FRONTEND_CONSOLE_QUESTION_H_
#define QUILLPACK_FRONTEND_CONSOLE_QUESTION_H_

#include <cstdint>
#include <string_view>

namespace quillpack {

// Writes `text` and CR LF to standard output, each control byte (below 32, or 127) shown
// as "?". Raises EInOutError when that fails.
void WriteConsoleLine(std::string_view text);

// Writes `question` (no line break; control bytes shown as "?") and reads one line of
// standard input, until the line's first character is one of `letters` (exact,
// case-sensitive); returns that letter's 1-based position. An unknown answer repeats the
// question. When standard input has ended, no answer can come: raises myException
// "Operation Cancelled.". Console failures raise EInOutError.
int32_t Ask(std::string_view question, std::string_view letters);

}  // namespace quillpack

#endif  // QUILLPACK_FRONTEND_CONSOLE_QUESTION_H_
