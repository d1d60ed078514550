#include "merged/source_names.h"

#include <cstdint>

#include "runtime/error_objects.h"
#include "runtime/string_rules.h"

namespace quillpack {
namespace {

[[noreturn]] void RaiseCaseTwins(const std::string& earlier, const std::string& later) {
  RaiseError(myException("Files " + earlier + " and " + later +
                         " differ only in case; one of them would be lost."));
}

}  // namespace

void SourceNames::Add(const std::string& name) {
  if (HoldsControlByte(name)) {
    RaiseError(myException("File name " + PrintableText(name) +
                           " holds a control character, which a member header cannot carry."));
  }
  // Locales fold case their own way (a Turkish I is no i), and names that are no valid
  // text in the locale's encoding may order inconsistently: the header alone decides.
  auto [entry, added] = namesByHeader_.try_emplace(UpperCaseAscii(name), name);
  if (!added) RaiseCaseTwins(entry->second, name);
  int32_t index = list_->AddItem(name);
  if (list_->ItemAt(index) != name) RaiseCaseTwins(list_->ItemAt(index), name);
}

}  // namespace quillpack
