#include "text/string_rules.h"

#include <algorithm>

#include "platform/platform.h"

namespace quillpack {
namespace {

unsigned char FoldAscii(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return (byte >= 'a' && byte <= 'z') ? byte - 32 : byte;
}

bool IsControlByte(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return byte < 32 || byte == 127;
}

}  // namespace

bool HoldsControlByte(std::string_view text) {
  return std::any_of(text.begin(), text.end(), IsControlByte);
}

std::string PrintableText(std::string_view text) {
  std::string shown(text);
  std::replace_if(shown.begin(), shown.end(), IsControlByte, '?');
  return shown;
}

std::string UpperCaseAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    c = static_cast<char>(FoldAscii(c));
  return upper;
}

int32_t CompareIgnoringCase(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    int32_t x = FoldAscii(a[i]);
    int32_t y = FoldAscii(b[i]);
    if (x != y) return x - y;
  }
  return static_cast<int32_t>(a.size()) - static_cast<int32_t>(b.size());
}

bool TextEquals(std::string_view a, std::string_view b) {
  return a == b;
}

int32_t PositionOf(std::string_view pattern, std::string_view text) {
  if (pattern.empty() || text.empty()) return 0;
  std::size_t found = text.find(pattern);
  return found == text.npos ? 0 : static_cast<int32_t>(found) + 1;
}

std::string CopyOf(std::string_view text, int32_t index, int32_t count) {
  if (text.empty()) return std::string();
  if (index < 1) index = 1;
  int32_t length = static_cast<int32_t>(text.size());
  if (index > length || count < 0) return std::string();
  int32_t available = length - index + 1;
  return std::string(text.substr(static_cast<std::size_t>(index - 1),
                                 static_cast<std::size_t>(std::min(count, available))));
}

int32_t LocaleCompareIgnoringCase(std::string_view a, std::string_view b) {
  return platform::LocaleCompare(a, b, platform::CaseRule::kIgnoreCase);
}

int32_t LocaleCompare(std::string_view a, std::string_view b) {
  return platform::LocaleCompare(a, b, platform::CaseRule::kSensitive);
}

}  // namespace quillpack
