// The command-line splitter: never a crash, and the count always matches the arguments
// that ArgumentOf hands out, with and without a double-byte code page.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/platform.h"
#include "process/arguments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  quillpack::platform::LeadByteSet leadBytes;
  if (data[0] & 1) {
    for (std::size_t byte = 0x81; byte <= 0x9F; ++byte)
      leadBytes.set(byte);
    for (std::size_t byte = 0xE0; byte <= 0xFC; ++byte)
      leadBytes.set(byte);
  }
  std::string_view line(reinterpret_cast<const char*>(data + 1), size - 1);
  int32_t count = quillpack::CountArguments(line, leadBytes);
  if (count < 0) std::abort();
  for (int32_t i = 1; i <= count; ++i) {
    if (quillpack::ArgumentOf(line, i, leadBytes).empty()) std::abort();
  }
  if (!quillpack::ArgumentOf(line, count + 1, leadBytes).empty()) std::abort();
  if (!quillpack::ArgumentOf(line, -1, leadBytes).empty()) std::abort();
  // Every argument is a run of the line's own bytes less the quotes: never longer.
  for (int32_t i = 0; i <= count; ++i) {
    if (quillpack::ArgumentOf(line, i, leadBytes).size() > line.size()) std::abort();
  }
  return 0;
}
