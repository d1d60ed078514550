#include "platform/mask_match.h"

namespace quillpack::platform {
namespace {

unsigned char FoldAscii(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return (byte >= 'a' && byte <= 'z') ? byte - 32 : byte;
}

// Iterative match with one backtrack point for the last "*": linear in practice, and no
// recursion however many stars a hostile mask holds.
bool MatchesPlainMask(std::string_view mask, std::string_view name) {
  std::size_t m = 0;
  std::size_t n = 0;
  std::size_t starMask = std::string_view::npos;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || FoldAscii(mask[m]) == FoldAscii(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*')
    ++m;
  return m == mask.size();
}

}  // namespace

bool HasWildcard(std::string_view mask) {
  return mask.find_first_of("*?") != mask.npos;
}

// Both rules only add names, so a mask always matches the name spelled as the mask itself:
// a file literally named "a*." is among the names "a*." lists.
bool MatchesMask(std::string_view mask, std::string_view name) {
  if (MatchesPlainMask(mask, name)) return true;
  if (mask.ends_with(".*")) return MatchesPlainMask(mask.substr(0, mask.size() - 2), name);
  if (mask.ends_with('.')) {
    return name.find('.') == name.npos && MatchesPlainMask(mask.substr(0, mask.size() - 1), name);
  }
  return false;
}

}  // namespace quillpack::platform
