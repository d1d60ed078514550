#include "frontend/console_question.h"

#include <string>

#include "runtime/error_objects.h"
#include "runtime/failure_codes.h"
#include "runtime/line_files.h"
#include "runtime/string_rules.h"

namespace quillpack {

// Names come from other people's files and merged files: no byte of theirs may reach the
// terminal raw.
void WriteConsoleLine(std::string_view text) {
  if (HoldsControlByte(text)) {
    StandardOutput().WriteTextLine(PrintableText(text));
  } else {
    StandardOutput().WriteTextLine(text);
  }
  CheckFileFailure();
}

int32_t Ask(std::string_view question, std::string_view letters) {
  std::string answer;
  for (;;) {
    StandardOutput().WriteText(PrintableText(question));
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
