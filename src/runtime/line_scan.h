// Finding the bytes that end lines (LF, CR and Ctrl-Z) sixteen bytes at a time, not one
// byte per call: the text files' hot path.

#ifndef QUILLPACK_RUNTIME_LINE_SCAN_H_
#define QUILLPACK_RUNTIME_LINE_SCAN_H_

namespace quillpack {

inline constexpr char kLineFeed = '\n';
inline constexpr char kCarriageReturn = '\r';
inline constexpr char kCtrlZ = 26;

// The first LF, CR or Ctrl-Z in [p, end), or end.
const char* FindLineByte(const char* p, const char* end);

}  // namespace quillpack

#endif  // QUILLPACK_RUNTIME_LINE_SCAN_H_
