#include "files/ignore_rules.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace quillpack {
namespace {

unsigned char LowerAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

unsigned char UpperAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

// The classes of POSIX, by the ASCII rules: the tool's own locale must not move them.
bool InNamedClass(std::string_view name, unsigned char c, bool* known) {
  bool lower = c >= 'a' && c <= 'z';
  bool upper = c >= 'A' && c <= 'Z';
  bool digit = c >= '0' && c <= '9';
  bool graph = c > 32 && c < 127;
  const std::pair<std::string_view, bool> classes[] = {
      {"alnum", lower || upper || digit},
      {"alpha", lower || upper},
      {"blank", c == ' ' || c == '\t'},
      {"cntrl", c < 32 || c == 127},
      {"digit", digit},
      {"graph", graph},
      {"lower", lower},
      {"print", graph || c == ' '},
      {"punct", graph && !lower && !upper && !digit},
      {"space", c == ' ' || (c >= '\t' && c <= '\r')},
      {"upper", upper},
      {"xdigit", digit || (LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f')},
  };
  for (const auto& [className, member] : classes) {
    if (className == name) {
      *known = true;
      return member;
    }
  }
  *known = false;
  return false;
}

// Reads one byte of a set at `*i`, escaped or not; false at the end of the text.
bool ReadSetByte(std::string_view text, std::size_t* i, unsigned char* byte) {
  if (*i < text.size() && text[*i] == '\\') ++*i;
  if (*i >= text.size()) return false;
  *byte = static_cast<unsigned char>(text[(*i)++]);
  return true;
}

// Adds the class "[:name:]" that starts at `*i`; false for an unknown name.
bool ReadNamedClass(std::string_view text, std::size_t* i, std::size_t close,
                    std::bitset<256>* set) {
  std::string_view name = text.substr(*i + 2, close - *i - 2);
  for (int c = 0; c < 256; ++c) {
    bool known = false;
    if (InNamedClass(name, static_cast<unsigned char>(c), &known))
      set->set(static_cast<std::size_t>(c));
    if (!known) return false;
  }
  *i = close + 2;
  return true;
}

// Reads the set whose "[" is at `*i`, leaving `*i` past its "]"; false when malformed.
bool ReadSet(std::string_view text, std::size_t* i, std::bitset<256>* set) {
  ++*i;
  bool negated = *i < text.size() && (text[*i] == '!' || text[*i] == '^');
  if (negated) ++*i;
  for (bool first = true;; first = false) {
    if (*i >= text.size()) return false;
    if (text[*i] == ']' && !first) break;
    if (text.substr(*i, 2) == "[:") {
      std::size_t close = text.find(":]", *i + 2);
      if (close != std::string_view::npos) {
        if (!ReadNamedClass(text, i, close, set)) return false;
        continue;
      }
    }
    unsigned char low = 0;
    unsigned char high = 0;
    if (!ReadSetByte(text, i, &low)) return false;
    high = low;
    if (*i + 1 < text.size() && text[*i] == '-' && text[*i + 1] != ']') {
      ++*i;
      if (!ReadSetByte(text, i, &high)) return false;
    }
    for (int c = low; c <= high; ++c)
      set->set(static_cast<std::size_t>(c));
  }
  ++*i;
  if (negated) set->flip();
  return true;
}

void FoldSet(std::bitset<256>* set) {
  for (int c = 0; c < 256; ++c) {
    if (!set->test(static_cast<std::size_t>(c))) continue;
    set->set(LowerAscii(static_cast<unsigned char>(c)));
    set->set(UpperAscii(static_cast<unsigned char>(c)));
  }
}

// Spaces at the end go, unless a backslash escapes the first of them.
std::string_view WithoutTrailingSpaces(std::string_view line) {
  std::size_t end = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      end = ++i + 1;
    } else if (line[i] != ' ') {
      end = i + 1;
    }
  }
  return line.substr(0, end);
}

// Files saved by some editors begin with the byte order mark of UTF-8; git skips it.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::optional<Wildcards> Wildcards::Compile(std::string_view text, platform::CaseRule caseRule) {
  Wildcards compiled;
  compiled.ignoreCase_ = caseRule == platform::CaseRule::kIgnoreCase;
  auto add = [&](Kind kind, unsigned char byte = 0) {
    compiled.steps_.push_back({kind, byte, static_cast<uint32_t>(compiled.sets_.size())});
  };
  for (std::size_t i = 0; i < text.size();) {
    char c = text[i];
    if (c == '*') {
      std::size_t end = text.find_first_not_of('*', i);
      if (end == std::string_view::npos) end = text.size();
      bool partStart = i == 0 || text[i - 1] == '/';
      bool partEnd = end == text.size() || text[end] == '/';
      if (end - i < 2 || !partStart || !partEnd) {
        add(Kind::kStar);
      } else if (end == text.size()) {
        add(Kind::kAnything);
      } else {
        add(Kind::kParts);
        ++end;  // The "/" belongs to the parts.
      }
      i = end;
    } else if (c == '[') {
      std::bitset<256> set;
      if (!ReadSet(text, &i, &set)) return std::nullopt;
      if (compiled.ignoreCase_) FoldSet(&set);
      add(Kind::kSet);
      compiled.sets_.push_back(set);
    } else if (c == '\\') {
      if (i + 1 == text.size()) return std::nullopt;
      unsigned char byte = static_cast<unsigned char>(text[i + 1]);
      add(Kind::kByte, compiled.ignoreCase_ ? LowerAscii(byte) : byte);
      i += 2;
    } else {
      unsigned char byte = static_cast<unsigned char>(c);
      if (c == '/') {
        add(Kind::kSeparator);
      } else if (c == '?') {
        add(Kind::kAnyByte);
      } else {
        add(Kind::kByte, compiled.ignoreCase_ ? LowerAscii(byte) : byte);
      }
      ++i;
    }
  }
  return compiled;
}

bool Wildcards::MatchesOne(const Step& step, unsigned char byte) const {
  switch (step.kind) {
    case Kind::kByte:
      return (ignoreCase_ ? LowerAscii(byte) : byte) == step.byte;
    case Kind::kAnyByte:
      return true;
    case Kind::kSet:
      return sets_[step.set].test(byte);
    default:
      return false;
  }
}

// The set of positions in `text` that the steps so far can end at, one step at a time:
// no backtracking, so no pattern can make a match slow.
bool Wildcards::Matches(std::string_view text, char separator) const {
  constexpr std::size_t kOnStack = 512;
  std::size_t size = text.size() + 1;
  std::array<char, 2 * kOnStack> onStack;
  std::vector<char> onHeap(size > kOnStack ? 2 * size : 0);
  char* reach = size > kOnStack ? onHeap.data() : onStack.data();
  char* next = reach + size;
  std::fill(reach, reach + size, 0);
  reach[0] = 1;
  for (const Step& step : steps_) {
    bool any = false;
    bool seen = false;
    for (std::size_t j = 0; j < size; ++j) {
      bool afterSeparator = j > 0 && text[j - 1] == separator;
      bool previous = j > 0 && reach[j - 1];
      switch (step.kind) {
        case Kind::kStar:
          next[j] = reach[j] || (j > 0 && next[j - 1] && !afterSeparator);
          break;
        case Kind::kAnything:
          next[j] = reach[j] || (j > 0 && next[j - 1]);
          break;
        case Kind::kParts:
          next[j] = reach[j] || (seen && afterSeparator);
          seen = seen || reach[j];
          break;
        case Kind::kSeparator:
          next[j] = previous && afterSeparator;
          break;
        default:
          next[j] = previous && !afterSeparator &&
                    MatchesOne(step, static_cast<unsigned char>(text[j - 1]));
      }
      any = any || next[j];
    }
    if (!any) return false;
    std::swap(reach, next);
  }
  return reach[size - 1] != 0;
}

std::optional<IgnorePattern> ParseIgnoreLine(std::string_view line, platform::CaseRule caseRule) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (line.empty() || line.front() == '#') return std::nullopt;
  line = WithoutTrailingSpaces(line);
  IgnorePattern pattern;
  pattern.negated = line.starts_with('!');
  if (pattern.negated) line.remove_prefix(1);
  pattern.foldersOnly = line.ends_with('/');
  if (pattern.foldersOnly) line.remove_suffix(1);
  pattern.anchored = line.find('/') != std::string_view::npos;
  if (line.starts_with('/')) line.remove_prefix(1);
  if (line.empty()) return std::nullopt;
  std::optional<Wildcards> wildcards = Wildcards::Compile(line, caseRule);
  if (!wildcards) return std::nullopt;
  pattern.wildcards = std::move(*wildcards);
  return pattern;
}

void IgnoreRules::AddFile(std::string_view text, std::size_t baseLength) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  File& file = files_.emplace_back();
  file.baseLength = baseLength;
  while (!text.empty()) {
    std::size_t end = std::min(text.find('\n'), text.size());
    if (std::optional<IgnorePattern> pattern = ParseIgnoreLine(text.substr(0, end), caseRule_)) {
      file.patterns.push_back(std::move(*pattern));
    }
    text.remove_prefix(std::min(end + 1, text.size()));
  }
}

void IgnoreRules::RemoveLastFile() {
  if (!files_.empty()) files_.pop_back();
}

bool IgnoreRules::Ignores(std::string_view path, std::size_t nameStart, bool isFolder) const {
  std::string_view name = path.substr(std::min(nameStart, path.size()));
  for (auto file = files_.rbegin(); file != files_.rend(); ++file) {
    std::string_view below = path.substr(std::min(file->baseLength, path.size()));
    for (auto pattern = file->patterns.rbegin(); pattern != file->patterns.rend(); ++pattern) {
      if (pattern->foldersOnly && !isFolder) continue;
      if (pattern->wildcards.Matches(pattern->anchored ? below : name, separator_)) {
        return !pattern->negated;
      }
    }
  }
  return false;
}

}  // namespace quillpack
