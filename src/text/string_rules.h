// Text rules. Texts are counted byte strings in the 8-bit code page; positions are
// 1-based. The byte rules touch only the ASCII letters when they fold case and give the
// same result on every machine; the locale rules hand the comparison to the platform.

#ifndef QUILLPACK_TEXT_STRING_RULES_H_
#define QUILLPACK_TEXT_STRING_RULES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace quillpack {

// "a" to "z" become "A" to "Z"; every other byte, 0x80 to 0xFF included, stays.
std::string UpperCaseAscii(std::string_view text);

// Whether `text` holds a control byte: one below 32, or 127.
bool HoldsControlByte(std::string_view text);

// `text` with every control byte replaced by "?", so that a name shown on the console
// cannot steer the terminal or break the line it stands in.
std::string PrintableText(std::string_view text);

// Compares byte by byte after folding ASCII letters to upper case: the first differing
// pair gives folded a minus folded b; otherwise the difference of the lengths. So "_"
// against "a" is 30, and -merg against -merge is -1.
int32_t CompareIgnoringCase(std::string_view a, std::string_view b);

// Whether both texts hold exactly the same bytes.
bool TextEquals(std::string_view a, std::string_view b);

// The 1-based position of the first occurrence of `pattern` in `text`, exact and
// case-sensitive; 0 when there is none or either text is empty. Pattern first.
int32_t PositionOf(std::string_view pattern, std::string_view text);

// Up to `count` bytes from position `index`: an index below 1 counts as 1; an index past
// the end, a negative count or an empty text give the empty text.
std::string CopyOf(std::string_view text, int32_t index, int32_t count);

// The user's locale order, ignoring case: -1, 0 or +1, and -2 when the platform fails.
// Texts that differ only in letter case are equal.
int32_t LocaleCompareIgnoringCase(std::string_view a, std::string_view b);

// The user's locale order with case: -1, 0 or +1, and -2 when the platform fails.
int32_t LocaleCompare(std::string_view a, std::string_view b);

}  // namespace quillpack

#endif  // QUILLPACK_TEXT_STRING_RULES_H_
