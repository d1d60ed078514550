// Finding the bytes that end lines (LF, CR and Ctrl-Z) a block of bytes at a time, not
// one byte per call: the text files' hot path.

#ifndef QUILLPACK_TEXT_LINE_SCAN_H_
#define QUILLPACK_TEXT_LINE_SCAN_H_

#include <cstddef>

namespace quillpack {

inline constexpr char kLineFeed = '\n';
inline constexpr char kCarriageReturn = '\r';
inline constexpr char kCtrlZ = 26;

// The instruction sets the scan may use, from none (byte loops alone) to the widest.
enum class ScanLevel { kPlain, kSse2, kAvx2, kAvx512 };

// The widest level this processor and this build have; the scan uses it unless told
// otherwise.
ScanLevel BestScanLevel();

// For tests: the scan uses `level` from now on, so that each path can be held against the
// byte loops. REQUIRES: `level` is at most BestScanLevel(), and no scan runs meanwhile.
void UseScanLevel(ScanLevel level);
ScanLevel CurrentScanLevel();

// The first LF, CR or Ctrl-Z in [p, end), or end.
const char* FindLineByte(const char* p, const char* end);

// The number of LF bytes in [p, end).
std::size_t CountLineFeeds(const char* p, const char* end);

// From `line`, the start of a line, skips the lines that end in CR LF and need no other
// care, without a branch per line. Returns the first LF that no CR precedes, or else the
// start of the first line that begins with `stopA` or `stopB`, holds a Ctrl-Z or a CR
// that no LF follows, or does not end before `end`; `end` when every line ends before it.
// Neither stop byte may be LF or CR.
const char* SkipCrLfLines(const char* line, const char* end, char stopA, char stopB);

// As SkipCrLfLines, stopping at lines that begin with `stopC` too: a little slower, as it
// compares every byte once more.
const char* SkipCrLfLines(const char* line, const char* end, char stopA, char stopB, char stopC);

}  // namespace quillpack

#endif  // QUILLPACK_TEXT_LINE_SCAN_H_
