// Extract of an arbitrary merged file into a fresh directory in which the input has
// planted links that lead outside it, a dangling link and a FIFO, answering every question
// as the input chooses: no crash, no hang, nothing outside the target directory created or
// changed, and no hidden new file left behind, however the run ended. Then the same
// extract again, answering No to everything: a member skipped must write nothing, so the
// target stays exactly as the first run left it.

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

#include "console/run_options.h"
#include "merged/extract.h"
#include "runtime/error_objects.h"
#include "runtime/failure_codes.h"
#include "runtime/line_files.h"

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
  quillpack::RunOptions.firstPath = merged.string();
  quillpack::RunOptions.secondPath = target.string();
  try {
    quillpack::ExtractFiles();
  } catch (const quillpack::Exception&) {
    // Refusals and file failures are the tool's orderly answers.
  }
  quillpack::TakeFailureCode();
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
  std::string merged(reinterpret_cast<const char*>(data + 1), size - 1);
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
  return 0;
}
