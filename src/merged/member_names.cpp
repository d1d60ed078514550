#include "merged/member_names.h"

#include "platform/platform.h"

namespace quillpack {

MemberNameRules WindowsMemberNameRules() {
  return {"\\/", true};
}
MemberNameRules PosixMemberNameRules() {
  return {"/", false};
}

const MemberNameRules& HostMemberNameRules() {
  static const MemberNameRules rules = platform::kHostSystem == platform::HostSystem::kWindows
                                           ? WindowsMemberNameRules()
                                           : PosixMemberNameRules();
  return rules;
}

bool IsSafeMemberName(std::string_view name, const MemberNameRules& rules) {
  if (name.empty()) return true;
  if (rules.separators.find(name.front()) != std::string_view::npos) return false;
  if (rules.refuseColon && name.find(':') != std::string_view::npos) return false;
  while (!name.empty()) {
    std::size_t cut = name.find_first_of(rules.separators);
    if (name.substr(0, cut) == "..") return false;
    name = cut == std::string_view::npos ? std::string_view() : name.substr(cut + 1);
  }
  return true;
}

}  // namespace quillpack
