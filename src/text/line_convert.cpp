#include "text/line_convert.h"

#include <cstdint>
#include <cstring>

#include "text/line_scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUILLPACK_WIDE_CONVERT 1
#endif

namespace quillpack {
namespace {

struct StopBytes {
  char a, b, c;
};

// Bit i of each mask tells about byte i of a 64-byte block.
struct BlockMasks {
  uint64_t lineFeed, carriageReturn, ctrlZ, stop;
};

// The byte loops, for a processor without the vector steps, and the model of the others.
struct PlainSteps {
  static BlockMasks MasksOf(const char* p, StopBytes stops) {
    BlockMasks masks{0, 0, 0, 0};
    for (unsigned i = 0; i < 64; ++i) {
      uint64_t bit = uint64_t{1} << i;
      char c = p[i];
      if (c == kLineFeed) masks.lineFeed |= bit;
      if (c == kCarriageReturn) masks.carriageReturn |= bit;
      if (c == kCtrlZ) masks.ctrlZ |= bit;
      if (c == stops.a || c == stops.b || c == stops.c) masks.stop |= bit;
    }
    return masks;
  }
  static void Copy64(char* out, const char* in) { std::memcpy(out, in, 64); }
};

#if defined(__SSE2__)
struct Sse2Steps {
  static uint64_t MaskOf(const char* p, char c) {
    __m128i wanted = _mm_set1_epi8(c);
    uint64_t mask = 0;
    for (unsigned i = 0; i < 4; ++i) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      mask |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)))}
              << (16 * i);
    }
    return mask;
  }
  static BlockMasks MasksOf(const char* p, StopBytes stops) {
    return {MaskOf(p, kLineFeed), MaskOf(p, kCarriageReturn), MaskOf(p, kCtrlZ),
            MaskOf(p, stops.a) | MaskOf(p, stops.b) | MaskOf(p, stops.c)};
  }
  static void Copy64(char* out, const char* in) {
    for (unsigned i = 0; i < 4; ++i) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * i)));
    }
  }
};
#endif

#if defined(QUILLPACK_WIDE_CONVERT)
#define QUILLPACK_AVX2 __attribute__((target("avx2")))
#define QUILLPACK_AVX512 __attribute__((target("avx512f,avx512bw")))

struct Avx2Steps {
  QUILLPACK_AVX2 static uint64_t MaskOf(__m256i low, __m256i high, char c) {
    __m256i wanted = _mm256_set1_epi8(c);
    uint64_t lowMask = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, wanted)));
    uint64_t highMask =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, wanted)));
    return lowMask | highMask << 32;
  }
  QUILLPACK_AVX2 static BlockMasks MasksOf(const char* p, StopBytes stops) {
    __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    return {MaskOf(low, high, kLineFeed), MaskOf(low, high, kCarriageReturn),
            MaskOf(low, high, kCtrlZ),
            MaskOf(low, high, stops.a) | MaskOf(low, high, stops.b) | MaskOf(low, high, stops.c)};
  }
  QUILLPACK_AVX2 static void Copy64(char* out, const char* in) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32)));
  }
};

struct Avx512Steps {
  QUILLPACK_AVX512 static uint64_t MaskOf(__m512i bytes, char c) {
    return static_cast<uint64_t>(_mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(c)));
  }
  QUILLPACK_AVX512 static BlockMasks MasksOf(const char* p, StopBytes stops) {
    __m512i bytes = _mm512_loadu_si512(p);
    return {MaskOf(bytes, kLineFeed), MaskOf(bytes, kCarriageReturn), MaskOf(bytes, kCtrlZ),
            MaskOf(bytes, stops.a) | MaskOf(bytes, stops.b) | MaskOf(bytes, stops.c)};
  }
  QUILLPACK_AVX512 static void Copy64(char* out, const char* in) {
    _mm512_storeu_si512(out, _mm512_loadu_si512(in));
  }
};
#endif

uint64_t BitsBelow(unsigned i) {
  return i >= 64 ? ~uint64_t{0} : (uint64_t{1} << i) - 1;
}

// Copies one block whose lines need no care up to the bit `keep` leaves, with a CR put
// before each LF of `inserts`; each insertion copies the rest of the block one byte on,
// which is cheaper than a step per byte when lines are tens of bytes long. Returns the
// number of CRs put in.
template <typename Steps>
unsigned CopyInserting(char* out, const char* p, uint64_t inserts) {
  Steps::Copy64(out, p);
  unsigned added = 0;
  for (; inserts != 0; inserts &= inserts - 1) {
    unsigned i = static_cast<unsigned>(__builtin_ctzll(inserts));
    out[i + added] = kCarriageReturn;
    ++added;
    Steps::Copy64(out + i + added, p + i);
  }
  return added;
}

// As CopyInserting, leaving out the bytes of `drops` (the CRs of CR LF line ends).
template <typename Steps>
unsigned CopyDropping(char* out, const char* p, uint64_t drops) {
  Steps::Copy64(out, p);
  unsigned dropped = 0;
  for (; drops != 0; drops &= drops - 1) {
    unsigned i = static_cast<unsigned>(__builtin_ctzll(drops));
    Steps::Copy64(out + i - dropped, p + i + 1);
    ++dropped;
  }
  return dropped;
}

template <typename Steps>
ConvertedLines ConvertBlocks(const char* line, const char* end, char* out, char* outEnd,
                             ConvertTo to, StopBytes stops) {
  ConvertedLines done{line, out};
  // The byte before `line` ended a line; after that, the last byte of the block before.
  uint64_t lineFeedBefore = 1;
  uint64_t carriageReturnBefore = 0;
  for (const char* p = line;
       end - p >= 128 && outEnd - out >= static_cast<std::ptrdiff_t>(kConvertRoom); p += 64) {
    BlockMasks m = Steps::MasksOf(p, stops);
    uint64_t lineFeedFollows = m.lineFeed >> 1 | uint64_t{p[64] == kLineFeed} << 63;
    uint64_t care = (m.carriageReturn & ~lineFeedFollows) | m.ctrlZ |
                    (m.stop & (m.lineFeed << 1 | lineFeedBefore));
    // Only the lines that end before the first byte that needs care are copied.
    unsigned firstCare = care ? static_cast<unsigned>(__builtin_ctzll(care)) : 64;
    uint64_t lineEnds = m.lineFeed & BitsBelow(firstCare);
    unsigned written = 64;
    unsigned lastEnd = lineEnds ? 63u - static_cast<unsigned>(__builtin_clzll(lineEnds)) : 0;
    unsigned beforeLastEnd = 0;  // bytes added or left out up to the last line end
    if (to == ConvertTo::kCrLf) {
      uint64_t inserts = lineEnds & ~(m.carriageReturn << 1 | carriageReturnBefore);
      written += CopyInserting<Steps>(out, p, inserts);
      beforeLastEnd = written - 64;
      lastEnd += beforeLastEnd;
    } else {
      uint64_t drops = m.carriageReturn & lineFeedFollows & BitsBelow(firstCare);
      unsigned dropped = CopyDropping<Steps>(out, p, drops);
      written -= dropped;
      lastEnd -= static_cast<unsigned>(__builtin_popcountll(drops & BitsBelow(lastEnd)));
    }
    if (lineEnds) done = {p + 63 - __builtin_clzll(lineEnds) + 1, out + lastEnd + 1};
    if (care) break;
    out += written;
    lineFeedBefore = m.lineFeed >> 63;
    carriageReturnBefore = m.carriageReturn >> 63;
  }
  return done;
}

#if defined(QUILLPACK_WIDE_CONVERT)
// Each level's steps are inlined into one function compiled for that level.
__attribute__((flatten)) QUILLPACK_AVX512 ConvertedLines ConvertAvx512(const char* line,
                                                                       const char* end, char* out,
                                                                       char* outEnd, ConvertTo to,
                                                                       StopBytes stops) {
  return ConvertBlocks<Avx512Steps>(line, end, out, outEnd, to, stops);
}

__attribute__((flatten)) QUILLPACK_AVX2 ConvertedLines ConvertAvx2(const char* line,
                                                                   const char* end, char* out,
                                                                   char* outEnd, ConvertTo to,
                                                                   StopBytes stops) {
  return ConvertBlocks<Avx2Steps>(line, end, out, outEnd, to, stops);
}
#endif

}  // namespace

ConvertedLines ConvertLines(const char* line, const char* end, char* out, char* outEnd,
                            ConvertTo to, char stopA, char stopB, char stopC) {
  StopBytes stops{stopA, stopB, stopC};
  switch (CurrentScanLevel()) {
#if defined(QUILLPACK_WIDE_CONVERT)
    case ScanLevel::kAvx512:
      return ConvertAvx512(line, end, out, outEnd, to, stops);
    case ScanLevel::kAvx2:
      return ConvertAvx2(line, end, out, outEnd, to, stops);
#endif
#if defined(__SSE2__)
    case ScanLevel::kSse2:
      return ConvertBlocks<Sse2Steps>(line, end, out, outEnd, to, stops);
#endif
    default:
      return ConvertBlocks<PlainSteps>(line, end, out, outEnd, to, stops);
  }
}

}  // namespace quillpack
