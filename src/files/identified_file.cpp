#include "files/identified_file.h"

#include "files/path_names.h"
#include "text/string_rules.h"

namespace quillpack {

IdentifiedFile::IdentifiedFile(std::string_view name) {
  platform::FileIdentity identity;
  int32_t code;
  if (name.empty()) {
    platform::Handle output = platform::kNoHandle;
    code = platform::GetStandardHandle(platform::StandardStream::kOutput, &output);
    if (code == 0) code = platform::IdentifyHandle(output, &identity, &ownName_);
  } else {
    code = platform::IdentifyFile(std::string(name), &identity, &ownName_);
    if (ownName_.empty()) ownName_ = name.substr(DirectoryPartOf(name).size());
  }
  if (code == 0) identity_ = identity;
}

bool IdentifiedFile::IsListedAs(std::string_view directory, const ListedFile& file) const {
  if (!identity_) return false;
  if (file.identity) return *file.identity == *identity_;
  std::string_view leaf = std::string_view(file.name).substr(DirectoryPartOf(file.name).size());
  if (ownName_.empty() || CompareIgnoringCase(leaf, ownName_) != 0) return false;
  platform::FileIdentity identity;
  std::string path = std::string(directory) + file.name;
  return platform::IdentifyFile(path, &identity) == 0 && identity == *identity_;
}

}  // namespace quillpack
