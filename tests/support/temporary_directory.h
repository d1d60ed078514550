// A fresh directory per test, removed when the test passes and kept when it fails, so
// that a failure can be looked at.

#ifndef QUILLPACK_SUPPORT_TEMPORARY_DIRECTORY_H_
#define QUILLPACK_SUPPORT_TEMPORARY_DIRECTORY_H_

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace quillpack::test_support {

class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    static std::atomic<int> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("quillpack-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TemporaryDirectory() {
    if (::testing::Test::HasFailure()) {
      std::cerr << "kept " << path_.string() << "\n";
      return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  // The full name of `name` inside the directory, in the host's own form.
  std::string Path(std::string_view name = {}) const {
    return name.empty() ? path_.string() : (path_ / std::string(name)).string();
  }

  // As Path, with the host's delimiter after it: a folder as the platform's directory
  // calls take it.
  std::string DirectoryPath(std::string_view name = {}) const {
    return Path(name) + static_cast<char>(std::filesystem::path::preferred_separator);
  }

  std::string Write(std::string_view name, std::string_view bytes) const {
    std::string path = Path(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

}  // namespace quillpack::test_support

#endif  // QUILLPACK_SUPPORT_TEMPORARY_DIRECTORY_H_
