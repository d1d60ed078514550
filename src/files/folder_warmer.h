// Warming the folders a walk is about to list. While the walk lists one folder, a few
// helper threads ask the platform to read the entries of the folders it has found and is
// to enter next (platform::WarmFolderIn), so that on a tree that comes from disk the disk
// serves several folders at once, where the walk alone would wait for each in turn; the
// file warmer does the same for the files read afterwards.
//
// The warming is a hint and nothing more: it takes no lock, records no failure code and
// changes nothing, so a folder that does not open is passed over in silence, and the
// walk's own listing of each folder decides as before.

#ifndef QUILLPACK_FILES_FOLDER_WARMER_H_
#define QUILLPACK_FILES_FOLDER_WARMER_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillpack {

struct FolderWarmingLimits {
  // Helper threads, started at the first folder found.
  int32_t threads;
  // The helpers end after this many folders in a row that needed no warming (that came
  // from the cache), as on a tree in the cache, where they would only cost; 0 never ends
  // them.
  int32_t needlessRunToStop;
};

// As many helpers as the file warmer has; the count that a disk rewards most for folders
// has not been measured apart.
inline constexpr FolderWarmingLimits kDefaultFolderWarmingLimits = {4, 32};

class FolderWarmer {
 public:
  // Warms the folder at `path` and returns whether it needed it: false when its entries
  // were in the cache already (or it did not open). Called on the helper threads; must
  // not throw.
  using WarmOne = std::function<bool(const std::string& path)>;

  FolderWarmer(const FolderWarmingLimits& limits, WarmOne warmOne);

  // Stops and waits for the helpers: a walk that ends, or fails, ends the warming.
  ~FolderWarmer();

  FolderWarmer(const FolderWarmer&) = delete;
  FolderWarmer& operator=(const FolderWarmer&) = delete;

  // The walk has found `paths`, folders it is to enter in this order before any it found
  // earlier and has not entered yet: they are warmed first. The first folders found start
  // the helpers; should a thread not start, the others (or none) carry on.
  void Found(const std::vector<std::string>& paths);

  // The walk enters `path` now, the next folder in the order above: a helper that has not
  // taken it yet leaves it alone, as the walk reads it itself.
  void Entered(const std::string& path);

  // The number of helper threads started.
  int32_t ThreadCount() const { return static_cast<int32_t>(threads_.size()); }

  // For tests: waits until every helper has ended or waits for folders to warm.
  void WaitUntilIdle();

 private:
  void Start();
  void Work();
  bool WarmQuietly(const std::string& path) const;

  const FolderWarmingLimits limits_;
  const WarmOne warmOne_;

  std::mutex mutex_;
  std::condition_variable moreFound_;
  std::condition_variable helperIdle_;
  // The folders found and neither entered nor taken by a helper, in the walk's order.
  std::deque<std::string> waiting_;
  bool stopping_ = false;
  bool started_ = false;
  // Folders in a row, as they were warmed, that needed no warming.
  int32_t needlessRun_ = 0;
  int32_t helpersWaiting_ = 0;
  int32_t helpersEnded_ = 0;
  std::vector<std::thread> threads_;
};

}  // namespace quillpack

#endif  // QUILLPACK_FILES_FOLDER_WARMER_H_
