// Extract of an arbitrary merged file into a fresh directory in which the input has
// planted links that lead outside it, a dangling link and a FIFO, answering every question
// as the input chooses: no crash, no hang, nothing outside the target directory created or
// changed, and no hidden new file left behind, however the run ended. Then the same
// extract again, answering No to everything: a member skipped must write nothing, so the
// target stays exactly as the first run left it. The input may begin with the escape
// marker, so that escaped reading meets the same checks. Last, the input as a source
// file: an escaped merge of its lines reads back line for line, and no member line of it
// is a header by the format's rules.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "console/run_options.h"
#include "failures/error_objects.h"
#include "failures/failure_codes.h"
#include "merged/extract.h"
#include "merged/merge.h"
#include "merged/merged_format.h"
#include "support/line_model.h"
#include "text/line_files.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Workspace() {
  static const fs::path path = [] {
    fs::path made = fs::temp_directory_path() /
                    ("quillpack-fuzz-extract-" + std::to_string(std::random_device()()));
    fs::create_directories(made);
    // The progress lines have nowhere to go.
    if (!std::freopen("/dev/null", "wb", stdout)) std::abort();
    return made;
  }();
  return path;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::set<std::string> EntriesOf(const fs::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Names a merged file can easily hit, each planted when its bit of `selector` is set.
void Plant(const fs::path& target, const fs::path& outside, uint8_t selector) {
  if (selector & 1) fs::create_symlink(outside / "v", target / "A");
  if (selector & 2) fs::create_directory_symlink(outside, target / "S");
  if (selector & 4) fs::create_symlink(outside / "new", target / "B");
  if (selector & 8) mkfifo((target / "F").c_str(), 0666);
  if (selector & 16) {
    fs::create_directory(target / "D");
    fs::create_directory_symlink(outside, target / "D" / "L");
  }
}

std::string Answers(uint8_t selector) {
  static const char* const kAnswers[] = {"a\n", "y\n", "n\n", "y\nn\na\n"};
  std::string answers;
  for (int i = 0; i < 32; ++i)
    answers += kAnswers[selector >> 6];
  return answers;
}

// Every entry below `directory` with what it holds: a file's bytes, a link's target, or
// what else it is. Links are never followed.
std::map<std::string, std::string> TreeOf(const fs::path& directory) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    std::string& held = tree[fs::relative(entry.path(), directory).string()];
    fs::file_status status = entry.symlink_status();
    if (fs::is_symlink(status)) {
      held = "link to " + fs::read_symlink(entry.path()).string();
    } else if (fs::is_regular_file(status)) {
      std::ifstream in(entry.path(), std::ios::binary);
      held.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      held = fs::is_directory(status) ? "directory" : "other";
    }
  }
  return tree;
}

// Runs the extract of `merged` into `target` with `answers` on standard input.
void Extract(const fs::path& merged, const fs::path& target, const fs::path& answers) {
  if (!std::freopen(answers.c_str(), "rb", stdin)) std::abort();
  quillpack::StandardInput().AssignName("");
  quillpack::RunOptions = quillpack::TRunOptions();
  quillpack::RunOptions.action = quillpack::Action::kExtract;
  quillpack::RunOptions.firstPath = quillpack::CommandPath(merged.string());
  quillpack::RunOptions.secondPath = quillpack::CommandPath(target.string());
  try {
    quillpack::ExtractFiles();
  } catch (const quillpack::Exception&) {
    // Refusals and file failures are the tool's orderly answers.
  }
  quillpack::TakeFailureCode();
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs a merge with -escape of the directory `source` into `merged`.
void MergeEscaped(const fs::path& source, const fs::path& merged, bool arrows) {
  quillpack::RunOptions = quillpack::TRunOptions();
  quillpack::RunOptions.action = quillpack::Action::kMerge;
  quillpack::RunOptions.firstPath = quillpack::CommandPath(source.string());
  quillpack::RunOptions.secondPath = quillpack::CommandPath(merged.string());
  quillpack::RunOptions.escape = true;
  if (arrows) quillpack::RunOptions.headerStyle = quillpack::kNiceHeaderStyle;
  if (!quillpack::MergeFiles()) std::abort();
  quillpack::TakeFailureCode();
}

// `text` as one source: the lines the line rules read from it come back, each ended by LF,
// and a reader by the format's rules alone finds one header and nothing else. What the
// line rules drop (a lone CR, the bytes from a Ctrl-Z on) is taken out first, since the
// merge would warn about it; a NUL would make it no text file.
void CheckEscapedRoundTrip(std::string text, const fs::path& trip) {
  for (char& c : text) {
    if (c == '\0' || c == '\x1a') c = ' ';
  }
  std::string clean;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || (i + 1 < text.size() && text[i + 1] == '\n')) clean += text[i];
  }
  fs::create_directories(trip / "src");
  fs::create_directories(trip / "out");
  WriteFile(trip / "src" / "t.txt", clean);
  MergeEscaped(trip / "src", trip / "merged", clean.size() % 2 == 1);
  std::vector<std::string> merged = quillpack::test_support::ModelLines(ReadFile(trip / "merged"));
  if (merged.size() < 2 || merged[0] != quillpack::kEscapeMarker) std::abort();
  if (quillpack::ClassifyLine(merged[1]) == quillpack::LineKind::kMemberLine) std::abort();
  for (std::size_t i = 2; i < merged.size(); ++i) {
    if (quillpack::ClassifyLine(merged[i]) != quillpack::LineKind::kMemberLine) std::abort();
  }
  quillpack::RunOptions = quillpack::TRunOptions();
  quillpack::RunOptions.action = quillpack::Action::kExtract;
  quillpack::RunOptions.firstPath = quillpack::CommandPath((trip / "merged").string());
  quillpack::RunOptions.secondPath = quillpack::CommandPath((trip / "out").string());
  quillpack::RunOptions.lineFeedsOnly = true;
  if (!quillpack::ExtractFiles()) std::abort();
  quillpack::TakeFailureCode();
  std::string expected;
  for (const std::string& line : quillpack::test_support::ModelLines(clean))
    expected += line + "\n";
  if (ReadFile(trip / "out" / "T.TXT") != expected) std::abort();
  fs::remove_all(trip);
}

// Whether a hidden new file of the tool's is left anywhere below `directory`: a name that
// begins with ".quillpack-" and that no member of `merged` gave it. A header's name is
// read without the CRs that no LF follows, so they are left out of the search.
bool LeavesHiddenFile(const fs::path& directory, std::string merged) {
  std::erase(merged, '\r');
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(".quillpack-", 0) == 0 && merged.find(name) == std::string::npos) return true;
  }
  return false;
}

bool OutsideUntouched(const fs::path& outside) {
  std::ifstream in(outside / "v", std::ios::binary);
  std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return kept == "orig" && EntriesOf(outside) == std::set<std::string>{"v"};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  uint8_t selector = data[0];
  const fs::path& workspace = Workspace();
  fs::path root = workspace / "root";
  fs::remove_all(root);
  fs::create_directories(root / "target");
  fs::create_directories(root / "outside");
  WriteFile(root / "outside" / "v", "orig");
  Plant(root / "target", root / "outside", selector);
  std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string marker = selector & 32 ? std::string(quillpack::kEscapeMarker) + "\r\n" : "";
  std::string merged = marker + input;
  WriteFile(root / "merged", merged);
  WriteFile(workspace / "answers", Answers(selector));
  std::string no;
  for (int i = 0; i < 64; ++i)
    no += "n\n";
  WriteFile(workspace / "no", no);

  Extract(root / "merged", root / "target", workspace / "answers");
  if (EntriesOf(root) != std::set<std::string>{"merged", "outside", "target"}) std::abort();
  if (!OutsideUntouched(root / "outside")) std::abort();
  if (LeavesHiddenFile(root / "target", merged)) std::abort();

  std::map<std::string, std::string> written = TreeOf(root / "target");
  Extract(root / "merged", root / "target", workspace / "no");
  if (LeavesHiddenFile(root / "target", merged)) std::abort();
  if (TreeOf(root / "target") != written) std::abort();
  if (!OutsideUntouched(root / "outside")) std::abort();
  if (EntriesOf(workspace) != std::set<std::string>{"answers", "no", "root"}) std::abort();
  CheckEscapedRoundTrip(input, workspace / "trip");
  return 0;
}
