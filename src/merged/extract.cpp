#include "merged/extract.h"

#include <optional>
#include <string>
#include <string_view>

#include "console/console_question.h"
#include "console/run_options.h"
#include "failures/error_objects.h"
#include "files/directory_search.h"
#include "files/file_replacement.h"
#include "files/path_names.h"
#include "merged/member_names.h"
#include "merged/member_refusals.h"
#include "merged/member_target.h"
#include "merged/merged_format.h"
#include "merged/merged_lines.h"
#include "merged/operation_failures.h"
#include "merged/replacement_notes.h"
#include "platform/platform.h"
#include "text/checked_steps.h"
#include "text/line_files.h"
#include "text/string_rules.h"

namespace quillpack {
namespace {

// The question before a file is written over: each letter gives the answer in its place.
enum class Overwrite { kYes = 1, kNo = 2, kAll = 3, kCancel = 4 };
constexpr std::string_view kOverwriteLetters = "ynac";

// The target directory, always ending in the path delimiter. It is neither made absolute
// nor tested: a missing directory makes the first target fail to open.
std::string TargetDirectoryOf(const std::string& given) {
  if (given.empty()) return WithTrailingDelimiter(CurrentDirectory());
  std::string target = given;
  char delimiter = HostPathRules().pathDelimiter;
  if (target.back() != delimiter) target += delimiter;
  return WithTrailingDelimiter(DirectoryOf(target));
}

// What an extraction does with each member: write it, or name it on standard output.
enum class Purpose { kWrite, kList };

class Extraction {
 public:
  Extraction(std::string target, Purpose purpose)
      : purpose_(purpose), target_(std::move(target)), directory_(target_) {
    std::string full = FullPathOf(target_);
    targetFullLength_ = full.empty() ? kMaxFullPathBytes + 1 : full.size();
    if (RunOptions.lineFeedsOnly) targetFile_.SetLineEnd(LineEnd::kLf);
  }

  // Returns false, with a line on the error output, when the input held no member header:
  // it is no merged file.
  bool Run() {
    try {
      return ExtractMembers();
    } catch (EInOutError& failure) {
      // A replacement that ran out of space left the old file whole: the user is told so.
      if (failure.FailureCode() == platform::kDiskFull && place_ &&
          place_->replacement().KeepsOldFile()) {
        WriteErrorLine(NoSpaceNote(memberName_));
      }
      ReRaise();
    }
  }

 private:
  bool ExtractMembers() {
    input_.AssignName(RunOptions.firstPath.FileName());
    CheckedOpenForReading(input_);
    std::optional<std::string> waitingHeader;  // met by the read-ahead after a header
    if (!AtEndOfInput()) ReadFirstLine(&waitingHeader);
    while (waitingHeader || !AtEndOfInput()) {
      std::string name;
      if (waitingHeader) {
        name = std::move(*waitingHeader);
        waitingHeader.reset();
      } else if (!ReadLine(HeaderRule::kAnyHeader, &name)) {
        CopyMemberLines();
        continue;
      }
      // The line after a header is the member's first line, whatever it holds, unless it is
      // a header exactly as the merge writes one: then the member is empty and that header
      // starts the next. A skipped member reads it alike, so that a No makes no file.
      ++members_;
      StartMember(name);
      if (!AtEndOfInput()) {
        std::string next;
        if (ReadLine(HeaderRule::kWrittenHeaderOnly, &next)) {
          waitingHeader = std::move(next);
          continue;
        }
      }
      CopyMemberLines();
    }
    CloseTarget();
    CheckedClose(input_);
    if (members_ > 0) return true;
    WriteErrorLine("No member header found in " + RunOptions.firstPath.typed() +
                   "; it is no merged file.");
    return false;
  }

  bool AtEndOfInput() { return CheckedAtEnd(input_); }

  // Reads one line, writing it to the open target unless it is a header; returns whether
  // it was one, with its name in `name`.
  bool ReadLine(HeaderRule rule, std::string* name) {
    MergedLine line(rule, targetOpen_ ? &targetFile_ : nullptr, escape_);
    CheckedReadTextLineInto(input_, line);
    if (!line.Finish()) return false;
    *name = line.Name();
    return true;
  }

  // The first line says whether member lines are escaped: only the marker turns the
  // escape on. Any other first line is read as any line before a header.
  void ReadFirstLine(std::optional<std::string>* waitingHeader) {
    MergedLine line(HeaderRule::kAnyHeader, nullptr, LineEscape::kNone);
    FirstLine first(&line);
    CheckedReadTextLineInto(input_, first);
    if (line.Finish()) {
      *waitingHeader = line.Name();
    } else if (first.IsEscapeMarker()) {
      escape_ = LineEscape::kBars;
    }
  }

  // The member's further lines, up to the next line that may be a header or, under the
  // escape, carry a bar to take away.
  void CopyMemberLines() {
    CheckedCopyLines(input_, targetOpen_ ? &targetFile_ : nullptr, StopPrefixesOf(escape_));
  }

  // A member's file takes its name only now, once it is whole.
  void CloseTarget() {
    if (!targetOpen_) return;
    targetOpen_ = false;
    CheckedClose(targetFile_);
    bool inPlace = place_->replacement().WrittenInPlace() != FileReplacement::InPlace::kNo;
    int32_t code = place_->Finish();
    if (code == platform::kFileExists) code = ReplaceTakenName();
    if (!inPlace) SayIfWrittenInPlace();
    CheckedPlatformStep(code);
  }

  // A new member's name that another program took while the member was written is a name
  // that exists: asked about as any.
  int32_t ReplaceTakenName() {
    if (MayOverwrite(memberName_, place_->LookUp())) return place_->ReplaceTaken();
    place_.reset();
    return 0;
  }

  // Where the folder or the mount kept the member from being written beside its file, the
  // error output says why it was written in place.
  void SayIfWrittenInPlace() {
    if (!place_) return;
    FileReplacement::InPlace why = place_->replacement().WrittenInPlace();
    if (why != FileReplacement::InPlace::kNo) WriteErrorLine(InPlaceNote(memberName_, why));
  }

  // The member's file is open for writing, or failed to open with `code`: either way the
  // console says so first.
  void Extracting(const std::string& name, int32_t code) {
    WriteProgressLine("Extracting " + name);
    CheckedPlatformStep(code);
    targetOpen_ = true;
  }

  // Reaches the directory of the member's file, refusing a name or a directory part that
  // leads elsewhere; a directory that is missing fails once the console has named it.
  void Reach(const std::string& name, MemberTarget* place) {
    memberName_ = name;
    // Nothing is made for a refused name before: no folder of its directory parts.
    RefuseUnsafeName(name, targetFullLength_);
    targetFile_.AssignName(target_ + name);
    int32_t reached = place->Reach(directory_, WrittenParts(name));
    if (reached == platform::kStoppedOnLink) RefuseMember(name, " passes through a symbolic link.");
    if (reached != 0) Extracting(name, reached);
  }

  // Asks before a file or a link there is written over, unless the user said all; returns
  // whether the member is to be written.
  bool MayOverwrite(const std::string& name, platform::EntryKind kind) {
    std::string_view refusal = WhyNotWrittenOver(kind);
    if (!refusal.empty()) RefuseMember(name, refusal);
    bool existing = kind == platform::EntryKind::kFile || kind == platform::EntryKind::kLink;
    if (!existing || overwriteAll_) return true;
    if (RunOptions.overwrites == Overwrites::kNone) {
      WriteProgressLine("Skipping " + name);
      return false;
    }
    switch (AskFor<Overwrite>("Overwrite  [" + target_ + name + "] (Yes/No/All/Cancel)?",
                              kOverwriteLetters)) {
      case Overwrite::kYes:
        return true;
      case Overwrite::kNo:
        WriteProgressLine("Skipping " + name);
        return false;
      case Overwrite::kAll:
        overwriteAll_ = true;
        return true;
      case Overwrite::kCancel:
        break;
    }
    RaiseError(myException("Operation Cancelled."));
  }

  // Opens the member's file, or decides that it is skipped. Most targets are new and are
  // created outright; what is there already is replaced only after the question, by a
  // new file that takes its name once it is whole. A list only names the member's file.
  void StartMember(const std::string& name) {
    CloseTarget();
    if (purpose_ == Purpose::kList) {
      RefuseUnsafeName(name, targetFullLength_);
      WriteOutputLine(WrittenPath(name, HostPathRules().pathDelimiter));
      return;
    }
    MemberTarget& place = place_.emplace();
    Reach(name, &place);
    platform::EntryKind taken = platform::EntryKind::kMissing;
    int32_t created = place.StartUnlessTaken(&targetFile_, &taken);
    if (created != 0 || taken == platform::EntryKind::kMissing) {
      Extracting(name, created);
    } else if (MayOverwrite(name, taken)) {
      Extracting(name, place.BeginReplacement(&targetFile_));
      SayIfWrittenInPlace();
    }
  }

  Purpose purpose_;
  std::string target_;
  TargetDirectory directory_;
  std::size_t targetFullLength_;
  // The member's place lives while its file is written, and goes after the file, so that
  // an unfinished replacement is removed once its file is closed.
  std::optional<MemberTarget> place_;
  // The member being written, as its header names it.
  std::string memberName_;
  TextLineFile input_;
  TextLineFile targetFile_;
  bool targetOpen_ = false;
  LineEscape escape_ = LineEscape::kNone;
  bool overwriteAll_ = RunOptions.overwrites == Overwrites::kAll;
  int64_t members_ = 0;
};

// The merged file must be there, unless it comes on standard input.
void RefuseMissingInput() {
  const CommandPath& input = RunOptions.firstPath;
  if (!input.IsStandardStream() && !IsExistingFile(input.typed())) {
    RaiseError(myException("File " + input.typed() + " does not exist."));
  }
}

}  // namespace

bool ExtractFiles() {
  RefuseMissingInput();
  std::string target = TargetDirectoryOf(RunOptions.secondPath.typed());
  const CommandPath& input = RunOptions.firstPath;
  std::string shownInput = input.IsStandardStream() ? input.typed() : FullPathOf(input.typed());
  WriteProgressLine("Extracting files from " + shownInput);
  WriteProgressLine(".................. to " + target);
  bool merged = true;
  WithOperationMessage("Error while processing " + input.typed(),
                       [&] { merged = Extraction(target, Purpose::kWrite).Run(); });
  return merged;
}

bool ListMembers() {
  RefuseMissingInput();
  bool listed = true;
  // The names are checked as an extract into the current directory would check them.
  WithOperationMessage("Error while processing " + RunOptions.firstPath.typed(), [&] {
    try {
      listed = Extraction(TargetDirectoryOf(""), Purpose::kList).Run();
    } catch (myException& refusal) {
      WriteErrorLine(refusal.Message());
      listed = false;
    }
  });
  return listed;
}

}  // namespace quillpack
