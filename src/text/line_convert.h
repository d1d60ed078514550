// Copying lines with their line ends rewritten, a 64-byte block at a time: every line end
// of a block is found at once, as a bit mask, and the block is copied with a CR put before
// each LF that lacks one (or the CR of each CR LF left out), without a step per line.

#ifndef QUILLPACK_TEXT_LINE_CONVERT_H_
#define QUILLPACK_TEXT_LINE_CONVERT_H_

#include <cstddef>

namespace quillpack {

// The bytes ConvertLines may write past the last byte it reports written: it needs this
// much room before `outEnd` to take a block at all.
inline constexpr std::size_t kConvertRoom = 192;

enum class ConvertTo { kCrLf, kLf };

struct ConvertedLines {
  const char* next;  // the start of the first line not copied
  char* out;         // the end of what was written for the lines copied
};

// From `line`, the start of a line, copies whole lines to `out`, each ended by CR LF or
// by LF as `to` says, whatever its own line end (LF or CR LF). Stops at the start of the
// first line that begins with `stopA`, `stopB` or `stopC`, holds a Ctrl-Z or a CR that no
// LF follows, or does not end at least 128 bytes before `end`, and where fewer than
// kConvertRoom bytes are left before `outEnd`: those are the caller's to handle. The
// stop bytes may not be LF or CR (Ctrl-Z fills a place not needed). May write scratch
// bytes up to `outEnd` past the reported end; never reads at or past `end`.
ConvertedLines ConvertLines(const char* line, const char* end, char* out, char* outEnd,
                            ConvertTo to, char stopA, char stopB, char stopC);

}  // namespace quillpack

#endif  // QUILLPACK_TEXT_LINE_CONVERT_H_
