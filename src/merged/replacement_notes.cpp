#include "merged/replacement_notes.h"

namespace quillpack {

std::string InPlaceNote(const std::string& name, FileReplacement::InPlace why) {
  using InPlace = FileReplacement::InPlace;
  const char* reason = nullptr;
  switch (why) {
    case InPlace::kNo:
      return std::string();
    case InPlace::kNoNewFileBeside:
      reason = "its folder does not let a new file be made beside it.";
      break;
    case InPlace::kNameRefused:
      reason = "its folder does not let a new file take its name.";
      break;
    case InPlace::kMountedOrBusy:
      reason = "something is mounted on it, or the system holds it.";
      break;
    case InPlace::kOtherMount:
      reason = "it lies on another mount than its folder.";
      break;
  }
  return name + " is written in place: " + reason;
}

std::string NoSpaceNote(const std::string& name) {
  return "No space left to replace " + name + "; the old file is kept.";
}

}  // namespace quillpack
