// Command-line arguments. On Win32 the tool splits the raw command line itself: white
// space (bytes 1 to 32) separates arguments, a double quote groups up to the next one
// and disappears, there is no escape character, and a double-byte character is stepped
// over whole. POSIX hands the arguments over already split; they are used as delivered.

#ifndef QUILLPACK_PROCESS_ARGUMENTS_H_
#define QUILLPACK_PROCESS_ARGUMENTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quillpack {

struct TakenArgument {
  // Empty only at the end of the command line.
  std::string argument;
  // Where collecting stopped: at a separator, at the end, or behind a closing quote.
  std::size_t next;
};

// Reads one argument of `commandLine` starting at `position`. A NUL byte ends the line.
TakenArgument TakeArgument(std::string_view commandLine, std::size_t position,
                           const platform::LeadByteSet& leadBytes = {});

// The number of arguments after the program name in a raw command line.
int32_t CountArguments(std::string_view commandLine, const platform::LeadByteSet& leadBytes = {});

// Argument `index` of a raw command line: 0 is the program-name element, 1 the one after
// it; empty for a negative index and one above the count.
std::string ArgumentOf(std::string_view commandLine, int32_t index,
                       const platform::LeadByteSet& leadBytes = {});

// The number of arguments the process received after argument 0.
int32_t ArgumentCount();

// Argument `index` of the process: 0 is the path of the running executable; an index
// below 0 or above ArgumentCount() gives the empty text.
std::string ArgumentAt(int32_t index);

}  // namespace quillpack

#endif  // QUILLPACK_PROCESS_ARGUMENTS_H_
