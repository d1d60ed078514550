#include "process/arguments.h"

#include <utility>
#include <vector>

namespace quillpack {
namespace {

constexpr char kQuote = '"';

// The line as far as its first NUL byte.
std::string_view UpToNul(std::string_view line) {
  return line.substr(0, line.find('\0'));
}

bool IsSeparator(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

// Bytes in the character at `position`: a lead byte takes the byte after it along unless
// the line ends there, so a trail byte is never seen as a quote or a separator.
std::size_t CharacterLength(std::string_view line, std::size_t position,
                            const platform::LeadByteSet& leadBytes) {
  unsigned char byte = static_cast<unsigned char>(line[position]);
  return leadBytes[byte] && position + 1 < line.size() ? 2 : 1;
}

bool StartsEmptyPair(std::string_view line, std::size_t position) {
  return position + 1 < line.size() && line[position] == kQuote && line[position + 1] == kQuote;
}

// Steps over white space and "" pairs, so that neither can yield an empty argument.
std::size_t SkipLeading(std::string_view line, std::size_t position,
                        const platform::LeadByteSet& leadBytes) {
  for (;;) {
    while (position < line.size() && IsSeparator(line[position])) {
      position += CharacterLength(line, position, leadBytes);
    }
    if (!StartsEmptyPair(line, position)) return position;
    position += 2;
  }
}

// Appends the character at `position` to `argument` and returns the position behind it.
std::size_t TakeCharacter(std::string_view line, std::size_t position,
                          const platform::LeadByteSet& leadBytes, std::string* argument) {
  std::size_t length = CharacterLength(line, position, leadBytes);
  argument->append(line.substr(position, length));
  return position + length;
}

// Takes a quoted run whose opening quote is at `position`; returns the position behind the
// closing quote, or the end of the line when there is none.
std::size_t TakeQuotedRun(std::string_view line, std::size_t position,
                          const platform::LeadByteSet& leadBytes, std::string* argument) {
  ++position;
  while (position < line.size() && line[position] != kQuote) {
    position = TakeCharacter(line, position, leadBytes, argument);
  }
  return position < line.size() ? position + 1 : position;
}

}  // namespace

TakenArgument TakeArgument(std::string_view commandLine, std::size_t position,
                           const platform::LeadByteSet& leadBytes) {
  std::string_view line = UpToNul(commandLine);
  if (position >= line.size()) return {std::string(), position};
  position = SkipLeading(line, position, leadBytes);
  std::string argument;
  while (position < line.size() && !IsSeparator(line[position])) {
    position = line[position] == kQuote ? TakeQuotedRun(line, position, leadBytes, &argument)
                                        : TakeCharacter(line, position, leadBytes, &argument);
  }
  return {std::move(argument), position};
}

int32_t CountArguments(std::string_view commandLine, const platform::LeadByteSet& leadBytes) {
  TakenArgument taken = TakeArgument(commandLine, 0, leadBytes);
  int32_t count = 0;
  for (;;) {
    taken = TakeArgument(commandLine, taken.next, leadBytes);
    if (taken.argument.empty()) return count;
    ++count;
  }
}

std::string ArgumentOf(std::string_view commandLine, int32_t index,
                       const platform::LeadByteSet& leadBytes) {
  // Walking a negative index to the end of the line would give the empty text as well.
  if (index < 0) return std::string();
  TakenArgument taken = TakeArgument(commandLine, 0, leadBytes);
  for (; index > 0 && !taken.argument.empty(); --index) {
    taken = TakeArgument(commandLine, taken.next, leadBytes);
  }
  return std::move(taken.argument);
}

int32_t ArgumentCount() {
  std::string line;
  if (platform::RawCommandLine(&line)) return CountArguments(line, platform::AnsiLeadBytes());
  // Without a start-up vector (a test process) there is not even a program name.
  const std::vector<std::string>& delivered = platform::DeliveredArguments();
  return delivered.empty() ? 0 : static_cast<int32_t>(delivered.size() - 1);
}

std::string ArgumentAt(int32_t index) {
  if (index < 0) return std::string();
  if (index == 0) return platform::ModuleFileName();
  std::string line;
  if (platform::RawCommandLine(&line)) return ArgumentOf(line, index, platform::AnsiLeadBytes());
  const std::vector<std::string>& delivered = platform::DeliveredArguments();
  std::size_t at = static_cast<std::size_t>(index);
  return at < delivered.size() ? delivered[at] : std::string();
}

}  // namespace quillpack
