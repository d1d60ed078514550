#include "merged/member_refusals.h"

#include "failures/error_objects.h"
#include "files/path_names.h"
#include "merged/member_names.h"
#include "text/string_rules.h"

namespace quillpack {

void RefuseMember(const std::string& name, std::string_view problem) {
  std::string message = "Member name";
  if (!name.empty()) message.append(" ").append(PrintableText(name));
  RaiseError(myException(message.append(problem)));
}

void RefuseUnsafeName(const std::string& name, std::size_t targetFullLength) {
  NameProblem problem = CheckMemberName(name);
  if (problem != NameProblem::kNone) RefuseMember(name, ProblemText(problem));
  // The full path of T + NAME is T's own with NAME behind it: no need to ask the platform
  // again for every member.
  if (targetFullLength + name.size() > kMaxFullPathBytes) {
    RefuseMember(name, " makes the path too long.");
  }
}

std::string_view WhyNotWrittenOver(platform::EntryKind kind, bool replacesLinksSafely) {
  if (kind == platform::EntryKind::kOther) return " is a pipe, socket or device, not a file.";
  if (kind == platform::EntryKind::kLink && !replacesLinksSafely) return " is a symbolic link.";
  return "";
}

}  // namespace quillpack
