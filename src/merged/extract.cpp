#include "merged/extract.h"

#include <string>
#include <string_view>

#include "frontend/console_question.h"
#include "frontend/run_options.h"
#include "merged/member_names.h"
#include "merged/merged_format.h"
#include "merged/operation_failures.h"
#include "runtime/directory_search.h"
#include "runtime/error_objects.h"
#include "runtime/failure_codes.h"
#include "runtime/line_files.h"
#include "runtime/path_names.h"

namespace quillpack {
namespace {

enum class Answer { kYes = 1, kNo = 2, kAll = 3, kCancel = 4 };

// The target directory, always ending in the path delimiter. It is neither made absolute
// nor tested: a missing directory makes the first target fail to open.
std::string TargetDirectory() {
  const std::string& given = RunOptions.secondPath;
  if (given.empty()) return WithTrailingDelimiter(CurrentDirectory());
  std::string target = given;
  char delimiter = HostPathRules().pathDelimiter;
  if (target.back() != delimiter) target += delimiter;
  return WithTrailingDelimiter(DirectoryOf(target));
}

class Extraction {
 public:
  explicit Extraction(std::string target) : target_(std::move(target)) {
    std::string full = FullPathOf(target_);
    targetFullLength_ = full.empty() ? kMaxFullPathBytes + 1 : full.size();
  }

  void Run() {
    input_.AssignName(RunOptions.firstPath);
    input_.OpenForReading();
    CheckFileFailure();
    bool pending = false;  // a header met by the read-ahead waits in line_
    while (pending || !AtEndOfInput()) {
      if (!pending) ReadLine();
      pending = false;
      LineKind kind = ClassifyLine(line_);
      if (kind == LineKind::kMemberLine) {
        WriteLine();
      } else if (StartMember(MemberNameOf(line_, kind))) {
        // The line after a header that opens a target is its first line, whatever it
        // holds, unless it is a header exactly as the merge writes one: then the member
        // is empty and that header starts the next.
        if (AtEndOfInput()) break;
        ReadLine();
        if (IsWrittenHeader(line_)) {
          pending = true;
          continue;
        }
        WriteLine();
      }
      // The member's further lines, up to the next line that may be a header.
      input_.CopyLinesTo(targetOpen_ ? &targetFile_ : nullptr, kHeaderMarks);
      CheckFileFailure();
    }
    CloseTarget();
    input_.CloseFile();
    CheckFileFailure();
  }

 private:
  void WriteLine() {
    if (!targetOpen_) return;
    targetFile_.WriteTextLine(line_);
    CheckFileFailure();
  }

  bool AtEndOfInput() {
    bool atEnd = input_.AtEnd();
    CheckFileFailure();
    return atEnd;
  }

  // The line may point into the input's buffer: it is only used before the next
  // operation on the input.
  void ReadLine() {
    line_ = input_.ReadTextLineView(&scratch_);
    CheckFileFailure();
  }

  void CloseTarget() {
    if (!targetOpen_) return;
    targetOpen_ = false;
    targetFile_.CloseFile();
    CheckFileFailure();
  }

  // T + NAME, once nothing stands against writing there: a name that leaves the target,
  // names a device or cannot be a file name, a directory part that is a symbolic link, a
  // path the platform cannot take. Each refusal names the member.
  std::string SafeTargetPath(const std::string& name) {
    NameProblem problem = CheckMemberName(name);
    if (problem != NameProblem::kNone) {
      RaiseError(myException("Member name " + name + std::string(ProblemText(problem))));
    }
    ForEachDirectoryPart(name, HostMemberNameRules().separators, [&](std::string_view part) {
      if (IsSymbolicLink(target_ + std::string(part))) {
        RaiseError(myException("Member name " + name + " passes through a symbolic link."));
      }
    });
    // The full path of T + NAME is T's own with NAME behind it: no need to ask the
    // platform again for every member.
    if (!name.empty() && targetFullLength_ + name.size() > kMaxFullPathBytes) {
      RaiseError(myException("Member name " + name + " makes the path too long."));
    }
    return target_ + name;
  }

  // Returns whether a target was opened for the member.
  bool StartMember(const std::string& name) {
    CloseTarget();
    std::string path = SafeTargetPath(name);
    targetFile_.AssignName(path);
    // Most targets are new: creating one outright spares looking for it first.
    if (!overwriteAll_ && targetFile_.OpenNewForWriting()) {
      targetOpen_ = true;
      WriteConsoleLine("Extracting " + name);
      return true;
    }
    bool writeThis = true;
    bool existing = !overwriteAll_ && IsExistingFile(path);
    if (existing) {
      switch (static_cast<Answer>(Ask("Overwrite  [" + path + "] (Yes/No/All/Cancel)?", "ynac"))) {
        case Answer::kYes:
          break;
        case Answer::kNo:
          writeThis = false;
          break;
        case Answer::kAll:
          overwriteAll_ = true;
          break;
        case Answer::kCancel:
          RaiseError(myException("Operation Cancelled."));
      }
    }
    if (!writeThis) {
      WriteConsoleLine("Skipping " + name);
      return false;
    }
    WriteConsoleLine("Extracting " + name);
    // Never write through a link: the link goes, a regular file takes its place. (A link
    // counts as an existing file, so where nothing exists there is none.)
    if ((existing || overwriteAll_) && IsSymbolicLink(path)) {
      RemoveSymbolicLink(path);
      CheckFileFailure();
    }
    targetFile_.OpenForWriting();
    CheckFileFailure();
    targetOpen_ = true;
    return true;
  }

  std::string target_;
  std::size_t targetFullLength_;
  TextLineFile input_;
  TextLineFile targetFile_;
  std::string_view line_;
  std::string scratch_;
  bool targetOpen_ = false;
  bool overwriteAll_ = false;
};

}  // namespace

void ExtractFiles() {
  if (!IsExistingFile(RunOptions.firstPath)) {
    RaiseError(myException("File " + RunOptions.firstPath + " does not exist."));
  }
  std::string target = TargetDirectory();
  WriteConsoleLine("Extracting files from " + FullPathOf(RunOptions.firstPath));
  WriteConsoleLine(".................. to " + target);
  WithOperationMessage("Error while processing " + RunOptions.firstPath,
                       [&] { Extraction(target).Run(); });
}

}  // namespace quillpack
