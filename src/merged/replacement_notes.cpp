#include "merged/replacement_notes.h"

#include <string_view>

namespace quillpack {

namespace {

std::string_view ReasonWrittenInPlace(FileReplacement::InPlace why) {
  using InPlace = FileReplacement::InPlace;
  switch (why) {
    case InPlace::kNo:
      break;
    case InPlace::kNoNewFileBeside:
      return "its folder does not let a new file be made beside it.";
    case InPlace::kNameRefused:
      return "its folder does not let a new file take its name.";
    case InPlace::kMountedOrBusy:
      return "something is mounted on it, or the system holds it.";
    case InPlace::kOtherMount:
      return "it lies on another mount than its folder.";
  }
  return "";
}

}  // namespace

std::string InPlaceNote(const std::string& name, FileReplacement::InPlace why) {
  std::string_view reason = ReasonWrittenInPlace(why);
  return reason.empty() ? std::string() : name + " is written in place: " + std::string(reason);
}

std::string NoSpaceNote(const std::string& name) {
  return "No space left to replace " + name + "; the old file is kept.";
}

}  // namespace quillpack
