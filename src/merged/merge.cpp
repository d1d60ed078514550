#include "merged/merge.h"

#include <string>

#include "frontend/console_question.h"
#include "frontend/run_options.h"
#include "merged/merged_format.h"
#include "merged/operation_failures.h"
#include "merged/source_names.h"
#include "runtime/directory_search.h"
#include "runtime/error_objects.h"
#include "runtime/failure_codes.h"
#include "runtime/identified_file.h"
#include "runtime/line_files.h"
#include "runtime/name_list.h"
#include "runtime/path_names.h"
#include "runtime/string_rules.h"

namespace quillpack {
namespace {

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

void CopyLines(TextLineFile& source, TextLineFile& output) {
  std::string scratch;
  for (;;) {
    source.CopyLinesTo(&output);
    CheckFileFailure();
    bool atEnd = source.AtEnd();
    CheckFileFailure();
    if (atEnd) return;
    std::string_view line = source.ReadTextLineView(&scratch);
    CheckFileFailure();
    output.WriteTextLine(line);
    CheckFileFailure();
  }
}

void WriteMergedFile(const TStringList& names, const std::string& sourceDirectory) {
  TextLineFile output;
  output.AssignName(RunOptions.secondPath);
  output.OpenForWriting();
  CheckFileFailure();
  TextLineFile source;
  for (int32_t i = 0; i < names.ItemCount(); ++i) {
    std::string upper = UpperCaseAscii(names.ItemAt(i));
    WriteConsoleLine("Adding " + upper);
    output.WriteTextLine(MemberHeader(RunOptions.headerStyle, upper));
    CheckFileFailure();
    source.AssignName(sourceDirectory + names.ItemAt(i));
    source.OpenForReading();
    CheckFileFailure();
    CopyLines(source, output);
    source.CloseFile();
    CheckFileFailure();
  }
  output.CloseFile();
  CheckFileFailure();
}

}  // namespace

void MergeFiles() {
  TStringList names;
  names.SetSortedMode(true);
  std::string searchPath = SearchPathOf(RunOptions.firstPath);
  std::string sourceDirectory = WithTrailingDelimiter(DirectoryPartOf(searchPath));
  WriteConsoleLine("Adding files from " + searchPath);
  WriteConsoleLine("...............to " + FullPathOf(RunOptions.secondPath));
  AddMatchingNames(searchPath, sourceDirectory, &names);
  if (names.ItemCount() == 0) RaiseError(myException("No files matched."));
  if (IsExistingFile(RunOptions.secondPath) &&
      Ask("Overwrite " + RunOptions.secondPath + "(Yes/No)?", "yn") == 2) {
    RaiseError(myException("Operation Cancelled."));
  }
  WithOperationMessage("Error creating " + RunOptions.secondPath,
                       [&] { WriteMergedFile(names, sourceDirectory); });
}

}  // namespace quillpack
