// Extract of an arbitrary merged file into a fresh directory, answering "all" to every
// question: no crash, no hang, and nothing created outside the target directory.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

#include "frontend/run_options.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const fs::path& workspace = Workspace();
  fs::path root = workspace / "root";
  fs::remove_all(root);
  fs::create_directories(root / "target");
  WriteFile(root / "merged", std::string(reinterpret_cast<const char*>(data), size));
  WriteFile(workspace / "answers", std::string(64, 'a') + "\n");

  // A fresh standard input of answers for every run.
  if (!std::freopen((workspace / "answers").c_str(), "rb", stdin)) std::abort();
  quillpack::StandardInput().AssignName("");
  quillpack::RunOptions = quillpack::TRunOptions();
  quillpack::RunOptions.action = quillpack::Action::kExtract;
  quillpack::RunOptions.firstPath = (root / "merged").string();
  quillpack::RunOptions.secondPath = (root / "target").string();
  try {
    quillpack::ExtractFiles();
  } catch (const quillpack::Exception&) {
    // Refusals and file failures are the tool's orderly answers.
  }
  quillpack::TakeFailureCode();

  if (EntriesOf(root) != std::set<std::string>{"merged", "target"}) std::abort();
  if (EntriesOf(workspace) != std::set<std::string>{"answers", "root"}) std::abort();
  return 0;
}
