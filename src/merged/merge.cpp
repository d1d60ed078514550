#include "merged/merge.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "console/console_question.h"
#include "console/run_options.h"
#include "merged/merged_format.h"
#include "merged/operation_failures.h"
#include "merged/source_names.h"
#include "platform/platform.h"
#include "runtime/checked_steps.h"
#include "runtime/directory_search.h"
#include "runtime/error_objects.h"
#include "runtime/file_warmer.h"
#include "runtime/identified_file.h"
#include "runtime/line_files.h"
#include "runtime/name_list.h"
#include "runtime/path_names.h"
#include "runtime/string_rules.h"

namespace quillpack {
namespace {

// The question before the output is written over: each letter gives the answer in its place.
enum class Overwrite { kYes = 1, kNo = 2 };
constexpr std::string_view kOverwriteLetters = "yn";

// A directory means its files, as the usage text's "source directory" promises; a path
// that ends in a delimiter can only mean a directory.
std::string SearchPathOf(const std::string& firstPath) {
  if (firstPath.empty()) return WithTrailingDelimiter(CurrentDirectory()) + "*.*";
  std::string full = FullPathOf(firstPath);
  bool endsInDelimiter = IsPathDelimiterAt(full, static_cast<int32_t>(full.size()));
  if (endsInDelimiter || IsExistingDirectory(full)) return WithTrailingDelimiter(full) + "*.*";
  return full;
}

// Emptying the output and then reading it back could only lose the old bundle or grow
// without end, so the output is told apart by what it is before it is touched.
void AddMatchingNames(const std::string& searchPath, const std::string& sourceDirectory,
                      TStringList* names) {
  IdentifiedFile output(RunOptions.secondPath);
  SourceNames sources(names);
  for (const ListedFile& file : ListMatchingFiles(searchPath)) {
    if (output.IsListedAs(sourceDirectory, file)) {
      WriteErrorLine("Leaving out " + file.name + ": it is the merge's own output.");
    } else {
      sources.Add(file.name);
    }
  }
}

// Copies one line left to the caller by the bulk copy piece by piece, keeping its first
// bytes to tell whether an extract would read it as a header.
class LineCopy final : public LineSink {
 public:
  LineCopy(TextLineFile* output, HeaderRule rule) : output_(output), start_(rule) {}

  void Take(std::string_view piece) override {
    start_.Take(piece);
    CheckedWriteText(*output_, piece);
  }

  // Ends the line in the output; returns whether an extract would take it for a header.
  bool Finish() {
    CheckedWriteTextLine(*output_, "");
    return start_.Kind() != LineKind::kMemberLine;
  }

 private:
  TextLineFile* output_;
  LineStart start_;
};

// Copies the next line of `source`; returns whether an extract would take it for a header.
// A console takes each line in one operation, as it shows it, so it gets the line whole.
bool CopyLine(TextLineFile& source, TextLineFile& output, HeaderRule rule) {
  if (output.IsConsole()) {
    std::string scratch;
    std::string_view line = CheckedReadTextLineView(source, &scratch);
    CheckedWriteTextLine(output, line);
    LineStart start(rule);
    start.Take(line);
    return start.Kind() != LineKind::kMemberLine;
  }
  LineCopy copy(&output, rule);
  CheckedReadTextLineInto(source, copy);
  return copy.Finish();
}

// Copies a source into the output and returns the line, from 1, of the first line an
// extract would read back as a member header (0 for none). The first line follows a
// header that opens a target, so the extract's rule for that line applies to it.
uint64_t CopySource(TextLineFile& source, TextLineFile& output) {
  uint64_t headerLine = 0;
  HeaderRule rule = HeaderRule::kWrittenHeaderOnly;
  for (;;) {
    if (rule == HeaderRule::kAnyHeader) CheckedCopyLines(source, &output, kHeaderMarks);
    if (CheckedAtEnd(source)) return headerLine;
    uint64_t line = source.LineNumber();
    if (CopyLine(source, output, rule) && headerLine == 0) headerLine = line;
    rule = HeaderRule::kAnyHeader;
  }
}

// One line on the error output for each kind of content that will not come back; returns
// whether there was any.
bool WarnAboutLosses(const std::string& member, uint64_t headerLine,
                     const TextLineFile::Losses& losses) {
  auto warn = [&](uint64_t line, std::string_view what) {
    if (line != 0) {
      WriteErrorLine("Warning: " + member + " line " + std::to_string(line) + std::string(what));
    }
  };
  warn(headerLine, " will read back as a member header.");
  warn(losses.ctrlZLine, " holds a Ctrl-Z; the bytes after it are not merged.");
  warn(losses.loneCarriageReturnLine, " holds a CR that no LF follows, which is dropped.");
  return headerLine != 0 || losses.ctrlZLine != 0 || losses.loneCarriageReturnLine != 0;
}

// Where the sources are: the directory's name, and the directory itself held open where
// it can be, so that each source is looked up from there rather than from the root.
struct SourceDirectory {
  explicit SourceDirectory(std::string path) : path(std::move(path)) {
    platform::OpenDirectory(this->path, &held);
  }
  std::string path;
  platform::Directory held;
};

// Writes one member: its header, then the lines of its source. `source` is lent, so that
// one buffer serves every member. Returns false when a warning was given.
bool AddMember(const std::string& name, const SourceDirectory& directory, TextLineFile& source,
               TextLineFile& output) {
  std::string upper = UpperCaseAscii(name);
  WriteConsoleLine("Adding " + upper);
  CheckedWriteTextLine(output, MemberHeader(RunOptions.headerStyle, upper));
  source.AssignName(directory.path + name);
  if (directory.held.IsOpen()) {
    CheckedOpenForReadingIn(source, directory.held, name);
  } else {
    CheckedOpenForReading(source);
  }
  source.WatchLosses();
  uint64_t headerLine = CopySource(source, output);
  TextLineFile::Losses losses = source.ReadLosses();
  CheckedClose(source);
  return !WarnAboutLosses(upper, headerLine, losses);
}

// Returns false when a warning was given.
bool WriteMergedFile(const TStringList& names, const std::string& sourceDirectory) {
  TextLineFile output;
  output.AssignName(RunOptions.secondPath);
  CheckedOpenForWriting(output);
  output.MoveInBlocks();  // a pipe or a redirected standard output takes the text in blocks
  SourceDirectory directory(sourceDirectory);
  TextLineFile source;
  bool exact = true;
  // On a tree that comes from disk, the next files are on their way while this one is read.
  FileWarmer warmer(names.ItemCount(),
                    [&](int32_t index) { return sourceDirectory + names.ItemAt(index); });
  for (int32_t i = 0; i < names.ItemCount(); ++i) {
    warmer.Reached(i);
    if (!AddMember(names.ItemAt(i), directory, source, output)) exact = false;
  }
  CheckedClose(output);
  return exact;
}

}  // namespace

bool MergeFiles() {
  TStringList names;
  names.SetSortedMode(true);
  std::string searchPath = SearchPathOf(RunOptions.firstPath);
  std::string sourceDirectory = WithTrailingDelimiter(DirectoryPartOf(searchPath));
  WriteConsoleLine("Adding files from " + searchPath);
  WriteConsoleLine("...............to " + FullPathOf(RunOptions.secondPath));
  AddMatchingNames(searchPath, sourceDirectory, &names);
  if (names.ItemCount() == 0) RaiseError(myException("No files matched."));
  if (IsExistingFile(RunOptions.secondPath) &&
      AskFor<Overwrite>("Overwrite " + RunOptions.secondPath + "(Yes/No)?", kOverwriteLetters) ==
          Overwrite::kNo) {
    RaiseError(myException("Operation Cancelled."));
  }
  bool exact = true;
  WithOperationMessage("Error creating " + RunOptions.secondPath,
                       [&] { exact = WriteMergedFile(names, sourceDirectory); });
  return exact;
}

}  // namespace quillpack
