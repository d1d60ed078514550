// File names in tests as the host writes them, in lists that compare whatever order a
// listing gave them in.

#ifndef QUILLPACK_SUPPORT_HOST_NAMES_H_
#define QUILLPACK_SUPPORT_HOST_NAMES_H_

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillpack::test_support {

using Names = std::vector<std::string>;

inline constexpr bool kOnWindows = platform::kHostSystem == platform::HostSystem::kWindows;
// The host's path delimiter.
inline constexpr char kDelimiter = kOnWindows ? '\\' : '/';

inline Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

// Paths written with "/", in the host's form, sorted.
inline Names HostNames(Names names) {
  for (std::string& name : names)
    std::replace(name.begin(), name.end(), '/', kDelimiter);
  return Sorted(std::move(names));
}

}  // namespace quillpack::test_support

#endif  // QUILLPACK_SUPPORT_HOST_NAMES_H_
