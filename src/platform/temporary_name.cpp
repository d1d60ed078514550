#include "platform/temporary_name.h"

namespace quillpack::platform {

std::string TemporaryFileName(uint64_t seed) {
  // One round of a 64-bit mix spreads every bit of the seed over the digits kept.
  seed ^= seed >> 31;
  seed *= 0x9e3779b97f4a7c15u;
  seed ^= seed >> 29;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name = ".quillpack-";
  for (int shift = 60; shift >= 32; shift -= 4)
    name += kDigits[(seed >> shift) & 0xf];
  return name;
}

uint64_t TemporaryNameSeed(uint64_t process, uint64_t moment, int attempt) {
  return process << 32 ^ moment ^ static_cast<uint64_t>(attempt) << 48;
}

}  // namespace quillpack::platform
