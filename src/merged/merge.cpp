#include "merged/merge.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/console_question.h"
#include "console/run_options.h"
#include "failures/error_objects.h"
#include "files/file_replacement.h"
#include "files/file_warmer.h"
#include "files/identified_file.h"
#include "files/path_names.h"
#include "merged/merged_format.h"
#include "merged/merged_output.h"
#include "merged/operation_failures.h"
#include "merged/replacement_notes.h"
#include "merged/source_files.h"
#include "merged/source_list.h"
#include "merged/source_names.h"
#include "platform/platform.h"
#include "text/checked_steps.h"
#include "text/line_files.h"
#include "text/string_rules.h"

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

// Writes the bytes of a line into the merged file as they come.
class OutputWriter final : public LineSink {
 public:
  explicit OutputWriter(TextLineFile* output) : output_(output) {}
  void Take(std::string_view piece) override { CheckedWriteText(*output_, piece); }

 private:
  TextLineFile* output_;
};

// Copies one line left to the caller by the bulk copy piece by piece: under the escape
// with a bar in front where it needs one, else keeping its first bytes to tell whether an
// extract would read it as a header.
class LineCopy final : public LineSink {
 public:
  LineCopy(TextLineFile* output, HeaderRule rule, LineEscape escape)
      : output_(output), writer_(output), start_(rule) {
    if (escape == LineEscape::kBars) escape_.emplace(BarEscape::Direction::kAdd, &writer_);
  }

  void Take(std::string_view piece) override {
    if (escape_) {
      escape_->Take(piece);
      return;
    }
    start_.Take(piece);
    writer_.Take(piece);
  }

  // Ends the line in the output; returns whether an extract would take it for a header.
  bool Finish() {
    if (escape_) escape_->Finish();
    CheckedWriteTextLine(*output_, "");
    return !escape_ && start_.Kind() != LineKind::kMemberLine;
  }

 private:
  TextLineFile* output_;
  OutputWriter writer_;
  LineStart start_;
  std::optional<BarEscape> escape_;
};

// Copies the next line of `source`; returns whether an extract would take it for a header.
// A console takes each line in one operation, as it shows it, so it gets the line whole.
bool CopyLine(TextLineFile& source, TextLineFile& output, HeaderRule rule, LineEscape escape) {
  if (output.IsConsole()) {
    std::string scratch;
    std::string_view line = CheckedReadTextLineView(source, &scratch);
    if (escape == LineEscape::kBars) {
      std::string escaped;
      if (NeedsEscape(line)) {
        escaped = kEscapeBar + std::string(line);
        line = escaped;
      }
      CheckedWriteTextLine(output, line);
      return false;
    }
    CheckedWriteTextLine(output, line);
    LineStart start(rule);
    start.Take(line);
    return start.Kind() != LineKind::kMemberLine;
  }
  LineCopy copy(&output, rule, escape);
  CheckedReadTextLineInto(source, copy);
  return copy.Finish();
}

// Copies a source into the output and returns the line, from 1, of the first line an
// extract would read back as a member header (0 for none; always 0 under the escape). The
// first line follows a header that opens a target, so the extract's rule for that line
// applies to it. The bulk copy leaves to CopyLine only the lines that may need its care.
uint64_t CopySource(TextLineFile& source, TextLineFile& output, LineEscape escape) {
  std::span<const std::string_view> stopPrefixes = StopPrefixesOf(escape);
  uint64_t headerLine = 0;
  HeaderRule rule = HeaderRule::kWrittenHeaderOnly;
  for (;;) {
    if (rule == HeaderRule::kAnyHeader) CheckedCopyLines(source, &output, stopPrefixes);
    if (CheckedAtEnd(source)) return headerLine;
    uint64_t line = source.LineNumber();
    if (CopyLine(source, output, rule, escape) && headerLine == 0) headerLine = line;
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
  warn(headerLine, " will read back as a member header; -escape keeps it a line.");
  warn(losses.ctrlZLine, " holds a Ctrl-Z; the bytes after it are not merged.");
  warn(losses.loneCarriageReturnLine, " holds a CR that no LF follows, which is dropped.");
  return headerLine != 0 || losses.ctrlZLine != 0 || losses.loneCarriageReturnLine != 0;
}

// Why a source the listing saw is not merged after all, or "" when it is not left out: a
// source gone since, or swapped for something else (a FIFO, a device, a link to another
// file), is never read.
std::string_view WhyLeftOut(int32_t openCode) {
  switch (openCode) {
    case platform::kFileNotFound:
    case platform::kPathNotFound:
      return "it is no longer there.";
    case platform::kNotRegularFile:
      return "it was replaced after it was listed.";
    default:
      return "";
  }
}

LineEscape EscapeOfRun() {
  return RunOptions.escape ? LineEscape::kBars : LineEscape::kNone;
}

// The member name as its header carries it: upper case unless the case is to be kept.
std::string HeaderNameOf(const Source& source) {
  return RunOptions.keepCase ? source.member : UpperCaseAscii(source.member);
}

// Writes one member: its header, then the lines of its source. `file` is lent, so that
// one buffer serves every member. Returns false when the source was left out or a warning
// was given.
bool AddMember(const Source& source, SourceDirectory& directory, TextLineFile& file,
               TextLineFile& output) {
  platform::FileStamp opened;
  int32_t code = directory.Open(source, &file, &opened);
  std::string_view why = WhyLeftOut(code);
  // A text format cannot keep binary data: a NUL byte in the first block tells it, as it
  // tells UTF-16 text.
  if (code == 0 && CheckedFirstBlockHoldsNul(file)) {
    CheckedClose(file);
    why = "it holds a NUL byte, so it is no text file.";
  }
  if (!why.empty()) {
    WriteErrorLine("Leaving out " + source.listed.name + ": " + std::string(why));
    return false;
  }
  std::string name = HeaderNameOf(source);
  WriteProgressLine("Adding " + name);
  // A source that cannot be read stops the merge, named by the line above.
  CheckedPlatformStep(code);
  CheckedWriteTextLine(output, MemberHeader(RunOptions.headerStyle, name));
  file.WatchLosses();
  uint64_t headerLine = CopySource(file, output, EscapeOfRun());
  TextLineFile::Losses losses = file.ReadLosses();
  bool changed = CheckedCurrentStamp(file) != opened;
  CheckedClose(file);
  bool exact = !WarnAboutLosses(name, headerLine, losses);
  // Another program wrote it meanwhile: what was merged may be neither its old content nor
  // its new one.
  if (changed) WriteErrorLine("Warning: " + name + " changed while it was read.");
  return exact && !changed;
}

// Whether an existing output may be written over: asked, unless the command line answered.
bool MayOverwriteOutput() {
  switch (RunOptions.overwrites) {
    case Overwrites::kAll:
      return true;
    case Overwrites::kNone:
      return false;
    case Overwrites::kAsk:
      break;
  }
  return AskFor<Overwrite>("Overwrite " + RunOptions.secondPath.typed() + "(Yes/No)?",
                           kOverwriteLetters) == Overwrite::kYes;
}

[[noreturn]] void RefuseChangedOutput() {
  RaiseError(myException("Not writing " + RunOptions.secondPath.typed() +
                         ": it changed to a link, a folder or a device after the decision to "
                         "write it."));
}

// Opens the output as the decision to write it saw it. A file that came where nothing was
// is asked about as any existing output; anything else that came (a link, a folder, a
// device) is asked about where a question can be asked, and is otherwise not written.
void OpenOutput(MergedOutput& output) {
  for (;;) {
    MergedOutput::Change change = output.ChangeSinceLook();
    if (change == MergedOutput::Change::kNone) break;
    output.LookAgain();
    if (change == MergedOutput::Change::kGone) continue;
    bool mayAsk = RunOptions.overwrites == Overwrites::kAsk;
    if (change == MergedOutput::Change::kNoLongerAsDecided && !mayAsk) RefuseChangedOutput();
    if (!MayOverwriteOutput()) RaiseError(myException("Operation Cancelled."));
    output.Accept();
  }
  output.Open();
}

// A new output takes its name; one that something took meanwhile is asked about when it
// is a file, and otherwise not written through.
void FinishOutput(MergedOutput& output) {
  if (output.Finish()) return;
  if (output.KindNow() != platform::EntryKind::kFile) RefuseChangedOutput();
  if (!MayOverwriteOutput()) RaiseError(myException("Operation Cancelled."));
  output.ReplaceTaken();
}

void SayIfWrittenInPlace(const MergedOutput& output) {
  FileReplacement::InPlace why = output.WrittenInPlace();
  if (why != FileReplacement::InPlace::kNo) {
    WriteErrorLine(InPlaceNote(RunOptions.secondPath.typed(), why));
  }
}

// Returns false when a source was left out or a warning was given.
bool WriteSources(const std::vector<Source>& sources, SourceDirectory& directory,
                  MergedOutput& output) {
  OpenOutput(output);
  SayIfWrittenInPlace(output);
  if (EscapeOfRun() == LineEscape::kBars) CheckedWriteTextLine(output.file(), kEscapeMarker);
  TextLineFile file;
  bool exact = true;
  // On a tree that comes from disk, the next files are on their way while this one is
  // read, whatever their folder: each is named by its path below the directory held.
  FileWarmer warmer(
      static_cast<int32_t>(sources.size()),
      [&](int32_t index) -> const std::string& {
        return sources[static_cast<std::size_t>(index)].listed.name;
      },
      kDefaultWarmingLimits,
      [&](const std::string& name, uint64_t maxBytes) {
        return platform::WarmFileIn(directory.held(), name, maxBytes);
      });
  for (std::size_t i = 0; i < sources.size(); ++i) {
    warmer.Reached(static_cast<int32_t>(i));
    if (!AddMember(sources[i], directory, file, output.file())) exact = false;
  }
  bool inPlace = output.WrittenInPlace() != FileReplacement::InPlace::kNo;
  FinishOutput(output);
  if (!inPlace) SayIfWrittenInPlace(output);
  return exact;
}

// As WriteSources; a replacement that runs out of space says that the old bundle is kept.
bool WriteMergedFile(const std::vector<Source>& sources, SourceDirectory& directory,
                     MergedOutput& output) {
  try {
    return WriteSources(sources, directory, output);
  } catch (EInOutError& failure) {
    if (failure.FailureCode() == platform::kDiskFull && output.KeepsOldFile()) {
      WriteErrorLine(NoSpaceNote(RunOptions.secondPath.typed()));
    }
    ReRaise();
  }
}

ListingRequest ListingRequestOf(std::string_view mask) {
  ListingRequest request;
  request.mask = mask;
  request.recurse = RunOptions.recurse;
  request.choices.excludePatterns = RunOptions.excludePatterns;
  request.choices.gitignore = RunOptions.gitignore;
  request.choices.hidden = RunOptions.hidden;
  return request;
}

// A name passed over without a word is counted at the end, so that nothing vanishes
// unseen; the status stays as it is.
void SayWhatWasPassedOver(const PassedOver& passedOver) {
  std::string line = PassedOverLine(passedOver, platform::kHostSystem);
  if (!line.empty()) WriteErrorLine(line);
}

}  // namespace

bool MergeFiles() {
  // The output as the files take it: the empty name is standard output.
  std::string outputName = RunOptions.secondPath.FileName();
  std::string searchPath = SearchPathOf(RunOptions.firstPath.typed());
  std::string directoryPath = DirectoryPartOf(searchPath);
  SourceDirectory directory(WithTrailingDelimiter(directoryPath));
  WriteProgressLine("Adding files from " + searchPath);
  WriteProgressLine("...............to " +
                    (outputName.empty() ? RunOptions.secondPath.typed() : FullPathOf(outputName)));
  // Emptying the output and then reading it back could only lose the old bundle or grow
  // without end, so the output is told apart by what it is before it is touched.
  std::string_view mask = std::string_view(searchPath).substr(directoryPath.size());
  SourceListing listing;
  if (RunOptions.filesFrom) {
    std::vector<std::string> names;
    WithOperationMessage("Error while reading " + RunOptions.filesFrom->typed(),
                         [&] { names = ReadNameList(*RunOptions.filesFrom); });
    listing = directory.ListNamed(names, ListingRequestOf(mask), IdentifiedFile(outputName));
  } else {
    listing = directory.List(ListingRequestOf(mask), IdentifiedFile(outputName));
  }
  if (listing.sources.empty()) {
    SayWhatWasPassedOver(listing.passedOver);
    RaiseError(myException("No files matched."));
  }
  // The answer is given for what the output is now.
  MergedOutput output(outputName);
  if (!outputName.empty() && IsExistingFile(outputName)) {
    if (!MayOverwriteOutput()) RaiseError(myException("Operation Cancelled."));
    output.Accept();
  }
  bool exact = true;
  WithOperationMessage("Error creating " + RunOptions.secondPath.typed(),
                       [&] { exact = WriteMergedFile(listing.sources, directory, output); });
  SayWhatWasPassedOver(listing.passedOver);
  return exact && !listing.leftOut;
}

}  // namespace quillpack
