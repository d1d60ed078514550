#include "text/line_scan.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// The build targets every x86-64 processor; one that has AVX2 takes 32 bytes a step, one
// that has AVX-512 64 for the bulk copy's scan, chosen once when the process starts.
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUILLPACK_AVX2_SCAN 1
#endif

namespace quillpack {
namespace {

ScanLevel DetectScanLevel() {
#if defined(QUILLPACK_AVX2_SCAN)
  // Needed where this runs before the runtime's own constructors.
  __builtin_cpu_init();
  // The wide levels count trailing zero bits with an instruction that came with AVX2.
  bool bitScans = __builtin_cpu_supports("bmi");
  if (bitScans && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) {
    return ScanLevel::kAvx512;
  }
  if (bitScans && __builtin_cpu_supports("avx2")) return ScanLevel::kAvx2;
#endif
#if defined(__SSE2__)
  return ScanLevel::kSse2;
#else
  return ScanLevel::kPlain;
#endif
}

const ScanLevel kBestLevel = DetectScanLevel();
// Read on every scan: a scan that ran before this was set would use the byte loops, which
// kPlain, the zero value, stands for.
ScanLevel activeLevel = kBestLevel;

bool IsLineByte(char c) {
  return c == kLineFeed || c == kCarriageReturn || c == kCtrlZ;
}

// The bytes that stop the skipping at a line's start. The third is looked at only where
// kThree says so: it costs a compare per block, which the scans that need two are spared.
struct StopBytes {
  char a, b, c;
};

template <bool kThree>
bool IsStopByte(char c, StopBytes stops) {
  return c == stops.a || c == stops.b || (kThree && c == stops.c);
}

// Whether the byte at `q`, which follows the start of its line, ends the skipping: an LF
// that no CR precedes, a CR that no LF follows (seen at the byte after it), a Ctrl-Z, or
// a stop byte that begins a line.
template <bool kThree>
bool NeedsCare(const char* q, StopBytes stops) {
  char before = q[-1];
  return (*q == kLineFeed) != (before == kCarriageReturn) || *q == kCtrlZ ||
         (before == kLineFeed && IsStopByte<kThree>(*q, stops));
}

#if defined(__SSE2__)
__m128i Load16(const char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__m128i Equal16(__m128i bytes, char c) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}

// Bit i set when byte i of the sixteen at `p` ends a line.
unsigned MaskOf16(const char* p) {
  __m128i bytes = Load16(p);
  __m128i hits =
      _mm_or_si128(_mm_or_si128(Equal16(bytes, kLineFeed), Equal16(bytes, kCarriageReturn)),
                   Equal16(bytes, kCtrlZ));
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

// Bit i set when byte i of the sixteen at `p` needs the care NeedsCare describes. Reads
// p[-1] as well.
template <bool kThree>
unsigned CareMaskOf16(const char* p, __m128i stopA, __m128i stopB, __m128i stopC) {
  __m128i bytes = Load16(p);
  __m128i before = Load16(p - 1);
  __m128i stop = _mm_or_si128(_mm_cmpeq_epi8(bytes, stopA), _mm_cmpeq_epi8(bytes, stopB));
  if constexpr (kThree) stop = _mm_or_si128(stop, _mm_cmpeq_epi8(bytes, stopC));
  __m128i care = _mm_or_si128(
      _mm_xor_si128(Equal16(bytes, kLineFeed), Equal16(before, kCarriageReturn)),
      _mm_or_si128(_mm_and_si128(Equal16(before, kLineFeed), stop), Equal16(bytes, kCtrlZ)));
  return static_cast<unsigned>(_mm_movemask_epi8(care));
}

#if defined(QUILLPACK_AVX2_SCAN)
#define QUILLPACK_AVX2 __attribute__((target("avx2")))

QUILLPACK_AVX2 __m256i Load32(const char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

QUILLPACK_AVX2 __m256i Equal32(__m256i bytes, char c) {
  return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(c));
}

QUILLPACK_AVX2 unsigned MaskOf32(const char* p) {
  __m256i bytes = Load32(p);
  __m256i hits =
      _mm256_or_si256(_mm256_or_si256(Equal32(bytes, kLineFeed), Equal32(bytes, kCarriageReturn)),
                      Equal32(bytes, kCtrlZ));
  return static_cast<unsigned>(_mm256_movemask_epi8(hits));
}

template <bool kThree>
QUILLPACK_AVX2 unsigned CareMaskOf32(const char* p, __m256i stopA, __m256i stopB, __m256i stopC) {
  __m256i bytes = Load32(p);
  __m256i before = Load32(p - 1);
  __m256i stop = _mm256_or_si256(_mm256_cmpeq_epi8(bytes, stopA), _mm256_cmpeq_epi8(bytes, stopB));
  if constexpr (kThree) stop = _mm256_or_si256(stop, _mm256_cmpeq_epi8(bytes, stopC));
  __m256i care = _mm256_or_si256(
      _mm256_xor_si256(Equal32(bytes, kLineFeed), Equal32(before, kCarriageReturn)),
      _mm256_or_si256(_mm256_and_si256(Equal32(before, kLineFeed), stop), Equal32(bytes, kCtrlZ)));
  return static_cast<unsigned>(_mm256_movemask_epi8(care));
}

// Both stop where fewer than 64 bytes are left, or at the byte that the mask marks.
QUILLPACK_AVX2 const char* SkipOrdinaryBytesAvx2(const char* p, const char* end) {
  for (; end - p >= 64; p += 64) {
    uint64_t mask = MaskOf32(p) | uint64_t{MaskOf32(p + 32)} << 32;
    if (mask) return p + __builtin_ctzll(mask);
  }
  return p;
}

template <bool kThree>
QUILLPACK_AVX2 const char* SkipCarefreeBytesAvx2(const char* p, const char* end, StopBytes stops) {
  __m256i a = _mm256_set1_epi8(stops.a);
  __m256i b = _mm256_set1_epi8(stops.b);
  __m256i c = _mm256_set1_epi8(stops.c);
  for (; end - p >= 64; p += 64) {
    uint64_t mask =
        CareMaskOf32<kThree>(p, a, b, c) | uint64_t{CareMaskOf32<kThree>(p + 32, a, b, c)} << 32;
    if (mask) return p + __builtin_ctzll(mask);
  }
  return p;
}

// Each byte lane counts its matches (a match compares as -1) for up to 255 blocks, then the
// lanes are summed: two instructions per 32 bytes.
QUILLPACK_AVX2 std::size_t CountLineFeedsAvx2(const char* p, const char* end, std::size_t* count) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i lineFeed = _mm256_set1_epi8(kLineFeed);
  __m256i sums = zero;
  for (std::size_t blocks = static_cast<std::size_t>(end - p) / 32; blocks > 0;) {
    std::size_t batch = blocks < 255 ? blocks : 255;
    blocks -= batch;
    __m256i lanes = zero;
    for (; batch > 0; --batch, p += 32)
      lanes = _mm256_sub_epi8(lanes, _mm256_cmpeq_epi8(Load32(p), lineFeed));
    sums = _mm256_add_epi64(sums, _mm256_sad_epu8(lanes, zero));
  }
  *count += static_cast<std::size_t>(_mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                                     _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3));
  return static_cast<std::size_t>(end - p);
}

// Where the processor has AVX-512, the care mask of 64 bytes comes in a few instructions.
#define QUILLPACK_AVX512 __attribute__((target("avx512f,avx512bw")))

template <bool kThree>
QUILLPACK_AVX512 const char* SkipCarefreeBytesAvx512(const char* p, const char* end,
                                                     StopBytes stops) {
  const __m512i lineFeed = _mm512_set1_epi8(kLineFeed);
  const __m512i carriageReturn = _mm512_set1_epi8(kCarriageReturn);
  const __m512i ctrlZ = _mm512_set1_epi8(kCtrlZ);
  const __m512i a = _mm512_set1_epi8(stops.a);
  const __m512i b = _mm512_set1_epi8(stops.b);
  const __m512i c = _mm512_set1_epi8(stops.c);
  for (; end - p >= 64; p += 64) {
    __m512i bytes = _mm512_loadu_si512(p);
    __m512i before = _mm512_loadu_si512(p - 1);
    __mmask64 stop = _mm512_cmpeq_epi8_mask(bytes, a) | _mm512_cmpeq_epi8_mask(bytes, b);
    if constexpr (kThree) stop |= _mm512_cmpeq_epi8_mask(bytes, c);
    __mmask64 care =
        (_mm512_cmpeq_epi8_mask(bytes, lineFeed) ^ _mm512_cmpeq_epi8_mask(before, carriageReturn)) |
        _mm512_cmpeq_epi8_mask(bytes, ctrlZ) | (_mm512_cmpeq_epi8_mask(before, lineFeed) & stop);
    if (care) return p + __builtin_ctzll(care);
  }
  return p;
}

#endif

const char* SkipOrdinaryBytes(const char* p, const char* end) {
  if (activeLevel < ScanLevel::kSse2) return p;
#if defined(QUILLPACK_AVX2_SCAN)
  if (activeLevel >= ScanLevel::kAvx2) {
    p = SkipOrdinaryBytesAvx2(p, end);
    if (end - p >= 64) return p;
  }
#endif
  for (; end - p >= 16; p += 16) {
    if (unsigned mask = MaskOf16(p)) return p + __builtin_ctz(mask);
  }
  return p;
}

// Reads p[-1] as well.
template <bool kThree>
const char* SkipCarefreeBytes(const char* p, const char* end, StopBytes stops) {
  if (activeLevel < ScanLevel::kSse2) return p;
#if defined(QUILLPACK_AVX2_SCAN)
  if (activeLevel == ScanLevel::kAvx512) {
    p = SkipCarefreeBytesAvx512<kThree>(p, end, stops);
    if (end - p >= 64) return p;
  } else if (activeLevel == ScanLevel::kAvx2) {
    p = SkipCarefreeBytesAvx2<kThree>(p, end, stops);
    if (end - p >= 64) return p;
  }
#endif
  __m128i a = _mm_set1_epi8(stops.a);
  __m128i b = _mm_set1_epi8(stops.b);
  __m128i c = _mm_set1_epi8(stops.c);
  // Two at a time, so that a stretch of ordinary bytes costs one branch per 32.
  for (; end - p >= 32; p += 32) {
    unsigned mask = CareMaskOf16<kThree>(p, a, b, c) | CareMaskOf16<kThree>(p + 16, a, b, c) << 16;
    if (mask) return p + __builtin_ctz(mask);
  }
  for (; end - p >= 16; p += 16) {
    if (unsigned mask = CareMaskOf16<kThree>(p, a, b, c)) return p + __builtin_ctz(mask);
  }
  return p;
}

// Counts a block at a time and returns where the bytes left for one at a time begin.
const char* CountLineFeedBlocks(const char* p, const char* end, std::size_t* count) {
  if (activeLevel < ScanLevel::kSse2) return p;
#if defined(QUILLPACK_AVX2_SCAN)
  if (activeLevel >= ScanLevel::kAvx2) {
    std::size_t left = CountLineFeedsAvx2(p, end, count);
    return end - left;
  }
#endif
  for (; end - p >= 16; p += 16) {
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(Equal16(Load16(p), kLineFeed)));
    *count += static_cast<std::size_t>(__builtin_popcount(mask));
  }
  return p;
}

// Back from `p` over the bytes that are not LF, sixteen at a time while at least sixteen
// lie after `line`.
const char* SkipBackOverLine(const char* line, const char* p) {
  if (activeLevel < ScanLevel::kSse2) return p;
  for (; p - line >= 16; p -= 16) {
    if (unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(Equal16(Load16(p - 16), kLineFeed)))) {
      return p - __builtin_clz(mask) + 16;
    }
  }
  return p;
}
#else
// Elsewhere the byte-by-byte loops do all the work.
const char* SkipOrdinaryBytes(const char* p, const char*) {
  return p;
}

template <bool kThree>
const char* SkipCarefreeBytes(const char* p, const char*, StopBytes) {
  return p;
}

const char* SkipBackOverLine(const char*, const char* p) {
  return p;
}

const char* CountLineFeedBlocks(const char* p, const char*, std::size_t*) {
  return p;
}
#endif

// The start of the line that holds `p`, or `p` when a line starts there.
const char* StartOfLineAt(const char* line, const char* p) {
  p = SkipBackOverLine(line, p);
  while (p > line && p[-1] != kLineFeed)
    --p;
  return p;
}

template <bool kThree>
const char* SkipCrLfLinesOf(const char* line, const char* end, StopBytes stops) {
  if (line == end || *line == kLineFeed) return line;
  if (*line == kCtrlZ || IsStopByte<kThree>(*line, stops)) return line;
  const char* p = SkipCarefreeBytes<kThree>(line + 1, end, stops);
  while (p < end && !NeedsCare<kThree>(p, stops))
    ++p;
  if (p < end && *p == kLineFeed) return p;
  return StartOfLineAt(line, p);
}

}  // namespace

ScanLevel BestScanLevel() {
  return kBestLevel;
}

void UseScanLevel(ScanLevel level) {
  activeLevel = level;
}

ScanLevel CurrentScanLevel() {
  return activeLevel;
}

const char* FindLineByte(const char* p, const char* end) {
  p = SkipOrdinaryBytes(p, end);
  while (p < end && !IsLineByte(*p))
    ++p;
  return p;
}

std::size_t CountLineFeeds(const char* p, const char* end) {
  std::size_t count = 0;
  for (p = CountLineFeedBlocks(p, end, &count); p < end; ++p)
    count += *p == kLineFeed;
  return count;
}

const char* SkipCrLfLines(const char* line, const char* end, char stopA, char stopB) {
  return SkipCrLfLinesOf<false>(line, end, {stopA, stopB, stopB});
}

const char* SkipCrLfLines(const char* line, const char* end, char stopA, char stopB, char stopC) {
  return SkipCrLfLinesOf<true>(line, end, {stopA, stopB, stopC});
}

}  // namespace quillpack
