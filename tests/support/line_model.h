// The line rules one byte at a time, as plainly as they can be written, to hold the
// block-wise reader against: LF or CR LF ends a line, any other CR is dropped, Ctrl-Z ends
// the input, and a line is read whenever an unread byte other than Ctrl-Z remains.

#ifndef QUILLPACK_SUPPORT_LINE_MODEL_H_
#define QUILLPACK_SUPPORT_LINE_MODEL_H_

#include <string>
#include <string_view>
#include <vector>

namespace quillpack::test_support {

inline std::vector<std::string> ModelLines(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\x1a'));
  std::vector<std::string> lines;
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::string line;
    while (i < bytes.size()) {
      char c = bytes[i++];
      if (c == '\n') break;
      if (c != '\r') {
        line.push_back(c);
      } else if (i < bytes.size() && bytes[i] == '\n') {
        ++i;
        break;
      }
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace quillpack::test_support

#endif  // QUILLPACK_SUPPORT_LINE_MODEL_H_
