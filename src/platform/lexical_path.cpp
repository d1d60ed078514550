#include "platform/lexical_path.h"

#include <vector>

namespace quillpack::platform {

std::string ResolveLexically(std::string_view current, std::string_view name) {
  if (name.empty()) return std::string();
  std::string joined;
  if (name.front() != '/') {
    joined.assign(current);
    joined += '/';
  }
  joined += name;

  std::vector<std::string_view> steps;
  std::string_view rest = joined;
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string_view step = rest.substr(0, slash);
    rest = slash == rest.npos ? std::string_view() : rest.substr(slash + 1);
    if (step.empty() || step == ".") continue;
    if (step == "..") {
      if (!steps.empty()) steps.pop_back();
      continue;
    }
    steps.push_back(step);
  }

  std::string full;
  for (std::string_view step : steps) {
    full += '/';
    full += step;
  }
  if (full.empty() || name.back() == '/') full += '/';
  return full;
}

}  // namespace quillpack::platform
