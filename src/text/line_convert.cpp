#include "text/line_convert.h"

#include <algorithm>
#include <bit>
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
#define QUILLPACK_AVX2 __attribute__((target("avx2,bmi")))
#define QUILLPACK_AVX512 __attribute__((target("avx512f,avx512bw,bmi")))

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

// The bits below the lowest set bit of `bits`; all 64 when none is set.
uint64_t BitsBelowLowest(uint64_t bits) {
  return (bits - 1) & ~bits;
}

// The hot loops below avoid branches that depend on the text: with lines of tens of bytes,
// whether a block holds a line end, or one that needs a CR, is a coin toss for the
// processor's predictor, and a wrong guess costs more than the block's copy.

// Copies one block whose lines need no care, with a CR put before each LF of `inserts`;
// each insertion copies the rest of the block one byte on, which is cheaper than a step
// per byte when lines are tens of bytes long. The first two insertions are made whether
// the block has them or not: one missing lands in the scratch bytes past the block.
// Returns the number of CRs put in.
template <typename Steps>
unsigned CopyInserting(char* out, const char* p, uint64_t inserts) {
  unsigned count = static_cast<unsigned>(std::popcount(inserts));
  Steps::Copy64(out, p);
  unsigned first = static_cast<unsigned>(std::countr_zero(inserts));
  out[first] = kCarriageReturn;
  Steps::Copy64(out + first + 1, p + first);
  inserts &= inserts - 1;
  unsigned second = static_cast<unsigned>(std::countr_zero(inserts));
  out[second + 1] = kCarriageReturn;
  Steps::Copy64(out + second + 2, p + second);
  inserts &= inserts - 1;
  for (unsigned added = 2; inserts != 0; inserts &= inserts - 1) {
    unsigned i = static_cast<unsigned>(std::countr_zero(inserts));
    out[i + added] = kCarriageReturn;
    ++added;
    Steps::Copy64(out + i + added, p + i);
  }
  return count;
}

// As CopyInserting, leaving out the bytes of `drops` (the CRs of CR LF line ends). A
// missing drop copies the next block's bytes into the scratch room past this block's
// output, reading from p + 64 at most, so that no read reaches p + 128.
template <typename Steps>
unsigned CopyDropping(char* out, const char* p, uint64_t drops) {
  unsigned count = static_cast<unsigned>(std::popcount(drops));
  Steps::Copy64(out, p);
  unsigned first = static_cast<unsigned>(std::countr_zero(drops));
  Steps::Copy64(out + first, p + std::min(first + 1, 64u));
  drops &= drops - 1;
  unsigned second = static_cast<unsigned>(std::countr_zero(drops)) + unsigned{drops == 0};
  Steps::Copy64(out + second - 1, p + std::min(second + 1, 64u));
  drops &= drops - 1;
  for (unsigned dropped = 2; drops != 0; drops &= drops - 1) {
    unsigned i = static_cast<unsigned>(std::countr_zero(drops));
    Steps::Copy64(out + i - dropped, p + i + 1);
    ++dropped;
  }
  return count;
}

template <typename Steps>
ConvertedLines ConvertBlocks(const char* line, const char* end, char* out, char* outEnd,
                             ConvertTo to, StopBytes stops) {
  // How far the copied lines reach, in the input and in the output.
  std::size_t doneIn = 0;
  std::size_t doneOut = 0;
  char* const outStart = out;
  // The byte before `line` ended a line; after that, the last byte of the block before.
  uint64_t lineFeedBefore = 1;
  uint64_t carriageReturnBefore = 0;
  // Bit i tells whether the block i blocks back held a line end.
  uint32_t lineEndHistory = ~uint32_t{0};
  for (const char* p = line;
       end - p >= 128 && outEnd - out >= static_cast<std::ptrdiff_t>(kConvertRoom); p += 64) {
    // Where lines are long, the blocks before the next line byte are copied as they are;
    // that there are such blocks is a sure guess only after several, so only then is the
    // scan made.
    if ((lineEndHistory & 0xff) == 0) {
      std::size_t inputBlocks = (static_cast<std::size_t>(end - p) - 128) / 64 + 1;
      std::size_t roomBlocks = (static_cast<std::size_t>(outEnd - out) - kConvertRoom) / 64 + 1;
      const char* scanEnd = p + 64 * std::min(inputBlocks, roomBlocks);
      std::size_t plain = static_cast<std::size_t>(FindLineByte(p, scanEnd) - p) / 64 * 64;
      if (plain > 0) {
        std::memcpy(out, p, plain);
        out += plain;
        p += plain;
        lineFeedBefore = carriageReturnBefore = 0;
        if (end - p < 128 || outEnd - out < static_cast<std::ptrdiff_t>(kConvertRoom)) break;
      }
    }
    BlockMasks m = Steps::MasksOf(p, stops);
    uint64_t lineFeedFollows = m.lineFeed >> 1 | uint64_t{p[64] == kLineFeed} << 63;
    uint64_t care = (m.carriageReturn & ~lineFeedFollows) | m.ctrlZ |
                    (m.stop & (m.lineFeed << 1 | lineFeedBefore));
    // Only the lines that end before the first byte that needs care are copied.
    uint64_t lineEnds = m.lineFeed & BitsBelowLowest(care);
    // One past the block's last line end, 0 when it has none (counted without a branch).
    unsigned lineEndsTo = (64 - static_cast<unsigned>(std::countl_zero(lineEnds | 1))) &
                          -static_cast<unsigned>(lineEnds != 0);
    unsigned written;
    char* lineEndsOut;
    if (to == ConvertTo::kCrLf) {
      uint64_t inserts = lineEnds & ~(m.carriageReturn << 1 | carriageReturnBefore);
      unsigned added = CopyInserting<Steps>(out, p, inserts);
      written = 64 + added;
      lineEndsOut = out + lineEndsTo + added;
    } else {
      uint64_t drops = m.carriageReturn & lineFeedFollows & BitsBelowLowest(care);
      unsigned dropped = CopyDropping<Steps>(out, p, drops);
      written = 64 - dropped;
      // A CR in the last byte is dropped with the LF of the next block's first line.
      lineEndsOut = out + lineEndsTo - (dropped - static_cast<unsigned>(drops >> 63));
    }
    bool endsLines = lineEnds != 0;
    // A select written out in bits, which the compiler keeps free of a branch.
    std::size_t keep = std::size_t{endsLines} - 1;
    doneIn = (doneIn & keep) | (static_cast<std::size_t>(p + lineEndsTo - line) & ~keep);
    doneOut = (doneOut & keep) | (static_cast<std::size_t>(lineEndsOut - outStart) & ~keep);
    if (care) break;
    lineEndHistory = lineEndHistory << 1 | uint32_t{endsLines};
    out += written;
    lineFeedBefore = m.lineFeed >> 63;
    carriageReturnBefore = m.carriageReturn >> 63;
  }
  return {line + doneIn, outStart + doneOut};
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
