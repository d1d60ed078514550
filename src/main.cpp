// The tool's entry point: parse the command line, then show the usage text or the version
// line, or merge, extract or list. Every failure ends in one closing message and a pause
// for the Enter key, except one that finds standard output's reader gone, which ends the
// run quietly.

#include <string>
#include <string_view>

#include "console/console_question.h"
#include "console/run_options.h"
#include "failures/error_objects.h"
#include "merged/extract.h"
#include "merged/merge.h"
#include "process/process_end.h"

namespace quillpack {
namespace {

constexpr std::string_view kVersionLine = "Quillpack Freeware Edition v1.02";

constexpr std::string_view kUsageLines[] = {
    "  1. Merge files in a directory to a single file.",
    "     quillpack -merge indir outfile",
    "     where indir is the source directory (with optional file masking),",
    "       and outfile is the target output file.",
    "  2. Restore files.",
    "     quillpack -extract infile outdir",
    "     where infile is a input file previously created by Quillpack,",
    "       and outdir is the directory for the target destination.",
    "  Notes: Use on text files only - otherwise results are unpredictable.",
    "  Use -nice to write member headers as \">>>>>>>>>> NAME\" when merging,",
    "  and -debug to show the underlying message when something fails.",
};

// The words the usage text has no room for; "--help" adds them, where no pause follows.
constexpr std::string_view kMoreWordLines[] = {
    "  3. List the files a restore would write, one path per line.",
    "     quillpack -list infile",
    "  More words:",
    "     -recurse (or -r)  merge the directories below indir too; names keep their folders",
    "     -keepcase         merge the names in the case they have, not in upper case",
    "     -hidden           merge hidden files and folders too",
    "     -gitignore        leave out .git and what the tree's .gitignore files exclude",
    "     -exclude=PATTERN  leave out the names that match PATTERN (again for more)",
    "     -escape           keep lines that begin like a header: merge them with one | more",
    "     -files-from=FILE  merge the files FILE names below indir; - for standard input",
    "     -lf               restore files with LF line ends, not CR LF",
    "     -overwrite        answer every overwrite question yes (all), asking nothing",
    "     -skip             answer every overwrite question no, asking nothing",
    "     -quiet (or -q)    no progress lines; questions, warnings and errors stay",
    "     -                 as infile: standard input; as outfile: standard output",
};

std::string Banner() {
  return std::string(kVersionLine) + " - ";
}

// Asks for the Enter key, then, at a terminal, reads one line and throws it away: on a
// console only the Enter key ends it, and a script goes on at once.
void Pause() {
  WriteConsoleLine("");
  WriteConsoleLine("Press ENTER to continue...");
  WaitForEnter();
}

// "--help" leaves out the pause with its prompt: a script or a pager reads the text.
enum class AfterUsage { kPause, kEnd };

void ShowUsage(AfterUsage after) {
  WriteConsoleLine(Banner() + "usage is:");
  for (std::string_view line : kUsageLines)
    WriteConsoleLine(line);
  if (after == AfterUsage::kPause) {
    Pause();
    return;
  }
  for (std::string_view line : kMoreWordLines)
    WriteConsoleLine(line);
}

// A failure in here is not caught: it reaches the outermost handler of the process, unless
// it is the one that ends a run quietly.
void ShowClosingBlock(const Exception& error) {
  try {
    WriteConsoleLine(Banner() + error.Message());
    Pause();
  } catch (Exception& failure) {
    if (!EndsQuietly(failure)) ReRaise();
  }
}

// A run that ends through the closing block ends with status 1, so that a failure never
// looks like success to a script.
int32_t RunTool() {
  try {
    ParseOptions();
    if (RunOptions.help) {
      ShowUsage(RunOptions.helpWithoutPause ? AfterUsage::kEnd : AfterUsage::kPause);
    } else if (RunOptions.version) {
      WriteConsoleLine(kVersionLine);
    } else if (RunOptions.action == Action::kMerge) {
      // A merged file that will not give every file back as it was is no full success.
      if (!MergeFiles()) return 1;
    } else if (RunOptions.action == Action::kList) {
      if (!ListMembers()) return 1;
    } else if (!ExtractFiles()) {
      return 1;
    }
  } catch (Exception& error) {
    if (!EndsQuietly(error)) ShowClosingBlock(error);
    return 1;
  }
  return 0;
}

void ClearToolGlobals() {
  RunOptions = TRunOptions();
  CarryDataOn({});
}

}  // namespace
}  // namespace quillpack

int main(int argc, char** argv) {
  quillpack::RunProcess(argc, argv, {&quillpack::RunTool, &quillpack::ClearToolGlobals});
}
