// Paths, code page and collation on POSIX.

#include <limits.h>
#include <locale.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>
#include <wctype.h>

#include <algorithm>

#include "platform/lexical_path.h"
#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace quillpack::platform {
namespace {

// Set once at start-up from the environment.
bool collationIsBytes = true;

// The collation can only be applied to wide text; a name that is not valid in the
// locale's encoding falls back to its bytes.
bool ToFoldedWide(std::string_view text, std::wstring* wide) {
  wide->clear();
  mbstate_t state = {};
  std::size_t i = 0;
  while (i < text.size()) {
    wchar_t character;
    std::size_t used = mbrtowc(&character, text.data() + i, text.size() - i, &state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
      return false;
    }
    if (used == 0) used = 1;  // an embedded NUL
    wide->push_back(static_cast<wchar_t>(towlower(static_cast<wint_t>(character))));
    i += used;
  }
  return true;
}

int32_t Sign(int value) {
  return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// Where two names first differ as bytes; sorting a listing compares long shared prefixes,
// which go eight bytes a step.
std::size_t FirstDifference(std::string_view a, std::string_view b, std::size_t from) {
  std::size_t n = std::min(a.size(), b.size());
  std::size_t i = from;
  for (; i + 8 <= n; i += 8) {
    uint64_t x;
    uint64_t y;
    memcpy(&x, a.data() + i, 8);
    memcpy(&y, b.data() + i, 8);
    if (x != y) break;
  }
  while (i < n && a[i] == b[i])
    ++i;
  return i;
}

int32_t CompareFoldedBytes(std::string_view a, std::string_view b, CaseRule rule) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = FirstDifference(a, b, 0); i < n; i = FirstDifference(a, b, i + 1)) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (rule == CaseRule::kIgnoreCase) {
      if (x >= 'A' && x <= 'Z') x += 32;
      if (y >= 'A' && y <= 'Z') y += 32;
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

void posix::UseCollationOfEnvironment() {
  setlocale(LC_COLLATE, "");
  setlocale(LC_CTYPE, "");
  const char* collation = setlocale(LC_COLLATE, nullptr);
  // These collate by code point, which is the order of the bytes.
  collationIsBytes = collation == nullptr || strcmp(collation, "C") == 0 ||
                     strcmp(collation, "POSIX") == 0 || strcmp(collation, "C.UTF-8") == 0 ||
                     strcmp(collation, "C.utf8") == 0;
}

std::string FullPathName(const std::string& name) {
  if (name.empty() || posix::HoldsNul(name)) return std::string();
  std::string current;
  if (name.front() != '/') {
    current = CurrentDirectoryName();
    if (current.empty() || current.front() != '/') return std::string();
  }
  std::string full = ResolveLexically(current, name);
  if (full.size() > kMaxPathBytes) return std::string();
  return full;
}

std::string CurrentDirectoryName() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr) return ".";
  return buffer;
}

LeadByteSet AnsiLeadBytes() {
  return LeadByteSet();
}

int32_t LocaleCompare(std::string_view a, std::string_view b, CaseRule rule) {
  if (collationIsBytes) return CompareFoldedBytes(a, b, rule);
  std::wstring wideA;
  std::wstring wideB;
  if (rule == CaseRule::kSensitive || !ToFoldedWide(a, &wideA) || !ToFoldedWide(b, &wideB)) {
    return CompareFoldedBytes(a, b, rule);
  }
  if (int32_t order = Sign(wcscoll(wideA.c_str(), wideB.c_str()))) return order;
  // Texts the collation cannot tell apart still need a total order.
  return Sign(wideA.compare(wideB));
}

}  // namespace quillpack::platform
