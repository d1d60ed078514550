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
#include "merged/member_target.h"
#include "merged/merged_format.h"
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

// POSIX removes a link at the target and makes a file in its place, with no window for a
// racing program; plain Win32 calls cannot, so there such a link is refused.
constexpr bool kReplacesLinkTargets = platform::kHostSystem == platform::HostSystem::kPosix;

// The target directory, always ending in the path delimiter. It is neither made absolute
// nor tested: a missing directory makes the first target fail to open.
std::string TargetDirectoryOf(const std::string& given) {
  if (given.empty()) return WithTrailingDelimiter(CurrentDirectory());
  std::string target = given;
  char delimiter = HostPathRules().pathDelimiter;
  if (target.back() != delimiter) target += delimiter;
  return WithTrailingDelimiter(DirectoryOf(target));
}

// The empty name leaves no gap of two spaces in the sentence.
[[noreturn]] void RefuseMember(const std::string& name, std::string_view problem) {
  std::string message = "Member name";
  if (!name.empty()) message.append(" ").append(PrintableText(name));
  RaiseError(myException(message.append(problem)));
}

// Writes the bytes of a member line into the open target, or nowhere.
class TargetWriter final : public LineSink {
 public:
  explicit TargetWriter(TextLineFile* target) : target_(target) {}
  void Take(std::string_view piece) override {
    if (target_ && !piece.empty()) CheckedWriteText(*target_, piece);
  }

 private:
  TextLineFile* target_;
};

// One line of the merged file as it streams in. Its first bytes tell whether it is a
// header, of which only the name is kept, or a member line, which goes on to the open
// target or nowhere, under the escape without the bar it was given: no line is ever held
// whole, however long.
class MergedLine final : public LineSink {
 public:
  MergedLine(HeaderRule rule, TextLineFile* target, LineEscape escape)
      : start_(rule), target_(target), writer_(target), escape_(escape) {}

  void Take(std::string_view piece) override {
    if (!decided_) {
      piece = start_.Take(piece);
      if (!start_.IsComplete()) return;
      Decide();
    }
    if (header_) {
      header_->Take(piece);
    } else if (unescape_) {
      unescape_->Take(piece);
    } else {
      writer_.Take(piece);
    }
  }

  // Ends the line once the input has handed over all of it; returns whether it was a
  // header. A member line gets its line end in the target.
  bool Finish() {
    if (!decided_) Decide();
    if (header_) return true;
    if (unescape_) unescape_->Finish();
    if (target_) CheckedWriteTextLine(*target_, "");
    return false;
  }

  const std::string& Name() const { return header_->Name(); }

 private:
  void Decide() {
    decided_ = true;
    LineKind kind = start_.Kind();
    std::string_view bytes = start_.Bytes();
    if (kind != LineKind::kMemberLine) {
      header_.emplace(kind);
      header_->Take(bytes);
    } else if (escape_ == LineEscape::kBars && bytes.starts_with(kEscapeBar)) {
      unescape_.emplace(BarEscape::Direction::kRemove, &writer_);
      unescape_->Take(bytes);
    } else {
      writer_.Take(bytes);
    }
  }

  LineStart start_;
  TextLineFile* target_;
  TargetWriter writer_;
  LineEscape escape_;
  bool decided_ = false;
  std::optional<HeaderNameReader> header_;
  std::optional<BarEscape> unescape_;
};

// The first line of the input, read on to `line` while it is compared with the escape
// marker.
class FirstLine final : public LineSink {
 public:
  explicit FirstLine(MergedLine* line) : line_(line) {}

  void Take(std::string_view piece) override {
    marker_.Take(piece);
    line_->Take(piece);
  }

  bool IsEscapeMarker() const { return marker_.Matched(); }

 private:
  MergedLine* line_;
  EscapeMarkerMatch marker_;
};

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

  // A name that leaves the target, names a device, holds a byte no file name may hold, ends
  // without a file name or makes a path the platform cannot take is refused, naming the
  // member. Nothing is made for it before: no folder of its directory parts.
  void RefuseUnsafeName(const std::string& name) const {
    NameProblem problem = CheckMemberName(name);
    if (problem != NameProblem::kNone) RefuseMember(name, ProblemText(problem));
    // The full path of T + NAME is T's own with NAME behind it: no need to ask the
    // platform again for every member.
    if (targetFullLength_ + name.size() > kMaxFullPathBytes) {
      RefuseMember(name, " makes the path too long.");
    }
  }

  // What is there already and cannot be written over: nothing ever waits on a FIFO or a
  // device, and a link is never written through.
  static void RefuseUnwritable(const std::string& name, platform::EntryKind kind) {
    if (kind == platform::EntryKind::kOther) {
      RefuseMember(name, " is a pipe, socket or device, not a file.");
    }
    if (kind == platform::EntryKind::kLink && !kReplacesLinkTargets) {
      RefuseMember(name, " is a symbolic link.");
    }
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
    RefuseUnsafeName(name);
    targetFile_.AssignName(target_ + name);
    int32_t reached = place->Reach(directory_, WrittenParts(name));
    if (reached == platform::kStoppedOnLink) RefuseMember(name, " passes through a symbolic link.");
    if (reached != 0) Extracting(name, reached);
  }

  // Asks before a file or a link there is written over, unless the user said all; returns
  // whether the member is to be written.
  bool MayOverwrite(const std::string& name, platform::EntryKind kind) {
    RefuseUnwritable(name, kind);
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
      RefuseUnsafeName(name);
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
