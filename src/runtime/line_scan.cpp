#include "runtime/line_scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillpack {
namespace {

bool IsLineByte(char c) {
  return c == kLineFeed || c == kCarriageReturn || c == kCtrlZ;
}

#if defined(__SSE2__)
// Bit i set when byte i of the sixteen at `p` ends a line.
unsigned MaskOf16(const char* p) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(kLineFeed)),
                                           _mm_cmpeq_epi8(bytes, _mm_set1_epi8(kCarriageReturn))),
                              _mm_cmpeq_epi8(bytes, _mm_set1_epi8(kCtrlZ)));
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

const char* SkipOrdinaryBytes(const char* p, const char* end) {
  for (; end - p >= 16; p += 16) {
    if (unsigned mask = MaskOf16(p)) return p + __builtin_ctz(mask);
  }
  return p;
}
#else
// Elsewhere the byte-by-byte search does all the work.
const char* SkipOrdinaryBytes(const char* p, const char*) {
  return p;
}
#endif

}  // namespace

const char* FindLineByte(const char* p, const char* end) {
  p = SkipOrdinaryBytes(p, end);
  while (p < end && !IsLineByte(*p))
    ++p;
  return p;
}

}  // namespace quillpack
