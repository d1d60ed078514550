#include "files/file_warmer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "failures/failure_codes.h"
#include "platform/platform.h"
#include "support/helper_gate.h"
#include "support/temporary_directory.h"

namespace quillpack {
namespace {

using quillpack::test_support::TemporaryDirectory;

// A stand-in for the platform's warming: records what it is asked for and, while its
// gate is closed, holds each helper inside the call.
class Recorder : public test_support::HelperGate {
 public:
  explicit Recorder(uint64_t fileBytes = 1000, bool gateOpen = true)
      : HelperGate(gateOpen), fileBytes_(fileBytes) {}

  // Files that need no warming, as in the cache already: nothing is asked for them.
  void SetCached(std::set<int32_t> cached) { cached_ = std::move(cached); }

  FileWarmer::WarmOne Warm() {
    return [this](const std::string& name, uint64_t maxBytes) {
      return PassThrough([&] {
        warmed_.insert(std::stoi(name));
        asked_.insert(maxBytes);
        return cached_.count(std::stoi(name)) ? 0 : std::min(fileBytes_, maxBytes);
      });
    };
  }

  std::set<int32_t> Warmed() {
    return Locked([this] { return warmed_; });
  }

  std::set<uint64_t> Asked() {
    return Locked([this] { return asked_; });
  }

 private:
  const uint64_t fileBytes_;
  std::set<int32_t> cached_;
  std::set<int32_t> warmed_;
  std::set<uint64_t> asked_;
};

const std::string& NameOfIndex(int32_t index) {
  static const std::vector<std::string> kNames = [] {
    std::vector<std::string> names;
    for (int32_t i = 0; i < 1000; ++i)
      names.push_back(std::to_string(i));
    return names;
  }();
  return kNames.at(static_cast<std::size_t>(index));
}

std::set<int32_t> Range(int32_t first, int32_t last) {
  std::set<int32_t> range;
  for (int32_t i = first; i <= last; ++i)
    range.insert(i);
  return range;
}

constexpr uint64_t kPlenty = 1ULL << 40;

TEST(FileWarmer, KeepsToTheWindowOfFiles) {
  Recorder recorder;
  FileWarmer warmer(100, NameOfIndex, {3, 8, kPlenty, 2}, recorder.Warm());
  EXPECT_EQ(warmer.ThreadCount(), 3);
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed(), Range(1, 8)) << "the caller is at file 0";
  warmer.Reached(4);
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed(), Range(1, 12)) << "the caller is at file 4";
  warmer.Reached(99);
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed(), Range(1, 12)) << "nothing is left past the caller";
}

// Files of 1000 bytes, 8000 bytes ahead, two threads: each file is asked for its share of
// 2000 bytes, and started only while that still fits, so seven files are warmed ahead.
TEST(FileWarmer, KeepsToTheWindowOfBytes) {
  Recorder recorder(1000);
  FileWarmer warmer(100, NameOfIndex, {2, 64, 8000, 2}, recorder.Warm());
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed(), Range(1, 7));
  EXPECT_EQ(recorder.Asked(), std::set<uint64_t>{2000});
  warmer.Reached(2);
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed(), Range(1, 9));
}

// The caller may pass files a slow helper has not reached: those are never warmed, and
// the file the helper was on no longer counts against the window.
TEST(FileWarmer, CallerOvertakesTheHelpers) {
  Recorder recorder(1000, false);
  FileWarmer warmer(100, NameOfIndex, {1, 4, kPlenty, 2}, recorder.Warm());
  recorder.WaitUntilInside(1);
  warmer.Reached(50);
  recorder.OpenGate();
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed(), std::set<int32_t>({1, 51, 52, 53, 54}));
}

TEST(FileWarmer, StopsEarly) {
  Recorder recorder(1000, false);
  {
    FileWarmer warmer(1000, NameOfIndex, {2, 64, kPlenty, 2}, recorder.Warm());
    recorder.WaitUntilInside(2);
    warmer.Stop();
    recorder.OpenGate();
  }
  EXPECT_EQ(recorder.Warmed().size(), 2U) << "the files being warmed are finished, no other";
}

// Files 1 and 2 and from 4 on need nothing: the run of five that ends the warming starts
// again after file 3, which did.
TEST(FileWarmer, EndsOnATreeInTheCache) {
  Recorder recorder;
  std::set<int32_t> cached = Range(1, 99);
  cached.erase(3);
  recorder.SetCached(cached);
  FileWarmer warmer(100, NameOfIndex, {1, 64, kPlenty, 2, 5}, recorder.Warm());
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed(), Range(1, 8));
  warmer.Reached(50);
  warmer.WaitUntilIdle();
  EXPECT_EQ(recorder.Warmed(), Range(1, 8)) << "ended, whatever the caller does";
}

TEST(FileWarmer, NoThreadForAShortList) {
  Recorder recorder;
  {
    FileWarmer warmer(15, NameOfIndex, {4, 64, kPlenty, 16}, recorder.Warm());
    EXPECT_EQ(warmer.ThreadCount(), 0);
    for (int32_t i = 0; i < 15; ++i)
      warmer.Reached(i);
  }
  EXPECT_TRUE(recorder.Warmed().empty());
  FileWarmer twoFiles(2, NameOfIndex, {4, 64, kPlenty, 2}, recorder.Warm());
  EXPECT_EQ(twoFiles.ThreadCount(), 1) << "no more threads than files to warm";
}

// The platform's own warming, over names that do not open: each is passed over in
// silence, and nothing stays open or locked for the caller that comes after.
TEST(FileWarmer, PassesOverNamesThatFail) {
  TemporaryDirectory dir;
  std::filesystem::create_directory(dir.Path("sub"));
  std::vector<std::string> names = {
      dir.Write("a.txt", "aaa"),          dir.Path("missing.txt"),     dir.Path("sub"),
      dir.Path("missing-dir") + "/x.txt", std::string("nul\0name", 8), dir.Write("b.txt", "bbbbb")};
  std::mutex mutex;
  std::vector<int32_t> asked(names.size(), 0);
  auto warm = [&](const std::string& name, uint64_t maxBytes) {
    uint64_t bytes = platform::WarmFile(name, maxBytes);
    std::lock_guard<std::mutex> lock(mutex);
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) ++asked[i];
    return bytes;
  };
  {
    FileWarmer warmer(
        static_cast<int32_t>(names.size()),
        [&](int32_t i) -> const std::string& { return names[static_cast<std::size_t>(i)]; },
        {2, 64, kPlenty, 2, 32}, warm);
    warmer.WaitUntilIdle();
  }
  EXPECT_EQ(asked, (std::vector<int32_t>{0, 1, 1, 1, 1, 1})) << "file 0 is the caller's";
  EXPECT_EQ(TakeFailureCode(), 0);
  for (const std::string& file : {names[0], names[5]}) {
    platform::OwnedHandle handle;
    EXPECT_EQ(platform::CreateForWriting(file, &handle), 0) << file;
  }
}

}  // namespace
}  // namespace quillpack
