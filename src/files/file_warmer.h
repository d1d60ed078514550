// Warming the files a loop is about to read. While the caller works on file i of a list,
// a few helper threads ask the platform to start reading the next files into its file
// cache (platform::WarmFile), within a window of files and bytes ahead of the caller. On
// a tree that comes from disk the disk then serves several files at once, where one
// reader after another would wait for each in turn; on a cached tree it costs the caller
// next to nothing.
//
// The warming is a hint and nothing more: it records no failure code, takes no sharing
// lock and changes no file, so a name that does not open is passed over in silence and
// the caller's own open, read and lock of each file, in order, decide as before.

#ifndef QUILLPACK_FILES_FILE_WARMER_H_
#define QUILLPACK_FILES_FILE_WARMER_H_

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillpack {

struct WarmingLimits {
  // Helper threads.
  int32_t threads;
  // At most this many files past the caller's current one are warmed or being warmed.
  int32_t filesAhead;
  // At most this many bytes are asked for in the files past the caller's current one.
  // Each file is asked for at most bytesAhead / (2 * threads), so that the files being
  // warmed take at most half the window and the files warmed the rest.
  uint64_t bytesAhead;
  // A list shorter than this starts no thread: even from disk it reads in a millisecond
  // or two, about what starting and joining the threads would cost.
  int32_t fewestFiles;
  // The helpers end after this many files in a row that needed no warming (nothing asked
  // for: in the cache already, empty, or not opening), as on a tree in the cache, where
  // their opens would only cost; 0 never ends them.
  int32_t needlessRunToStop = 0;
};

// Measured on a 2-core virtual machine with an ext4 disk, where two to eight threads did
// alike: a hint only queues reads, so it is the window that keeps the disk busy (512
// files ahead did better than 64). 16 MB ahead keep large files from crowding the cache.
inline constexpr WarmingLimits kDefaultWarmingLimits = {4, 512, 16 * 1024 * 1024, 16, 32};

class FileWarmer {
 public:
  // The name of file `index` of the list; called on the helper threads, so it must be
  // safe to call from several threads at once while the caller runs, and must not throw:
  // a name that stays where it is for the warmer's life, as in a list that does not change.
  using NameOf = std::function<const std::string&(int32_t index)>;
  // Warms one file, at most `maxBytes` of it, and returns the bytes asked for;
  // platform::WarmFile, or a stand-in in tests. Must not throw.
  using WarmOne = std::function<uint64_t(const std::string& name, uint64_t maxBytes)>;

  // Starts warming files 1 to count - 1 of a list of `count` files for a caller that
  // begins at file 0; starts no thread when count < limits.fewestFiles. Should a thread
  // not start, the others (or none) carry on: the caller is never told.
  explicit FileWarmer(int32_t count, NameOf nameOf,
                      const WarmingLimits& limits = kDefaultWarmingLimits);
  FileWarmer(int32_t count, NameOf nameOf, const WarmingLimits& limits, WarmOne warmOne);

  // Stops (as Stop) and waits for the helpers: an error that unwinds the caller's loop
  // ends the warming with it.
  ~FileWarmer();

  FileWarmer(const FileWarmer&) = delete;
  FileWarmer& operator=(const FileWarmer&) = delete;

  // The caller now works on file `index`; the window moves on with it. REQUIRES: indexes
  // rise from call to call.
  void Reached(int32_t index);

  // Starts no more files; a file being warmed is finished. Returns at once.
  void Stop();

  // The number of helper threads started.
  int32_t ThreadCount() const { return static_cast<int32_t>(threads_.size()); }

  // For tests: waits until every helper has ended or waits for the caller to move on.
  void WaitUntilIdle();

 private:
  void Work();
  uint64_t WarmQuietly(int32_t index) const;
  bool MayStart() const;
  bool HasRoomToWake() const;
  void Settle(int32_t index, uint64_t bytes);
  void StopLocked();

  const int32_t count_;
  const NameOf nameOf_;
  const WarmingLimits limits_;
  const uint64_t bytesPerFile_;
  const WarmOne warmOne_;

  std::mutex mutex_;
  std::condition_variable windowMoved_;
  std::condition_variable helperIdle_;
  bool stopping_ = false;
  int32_t reached_ = 0;
  int32_t next_ = 1;
  // Bytes charged to the files past reached_ that have been handed out: the share of a
  // file being warmed, the bytes asked for once it is warmed. One slot per file of the
  // window, by index modulo filesAhead.
  uint64_t charged_ = 0;
  std::vector<uint64_t> charges_;
  // The charge of file `index`, in the place it takes while within the window.
  uint64_t& ChargeOf(int32_t index) {
    return charges_[static_cast<std::size_t>(index % limits_.filesAhead)];
  }
  // Files in a row, as they were settled, that needed no warming.
  int32_t needlessRun_ = 0;
  // Helpers asleep until the window moves (a wakeup counts them out at once).
  int32_t helpersWaiting_ = 0;
  uint64_t wakeups_ = 0;
  int32_t helpersEnded_ = 0;
  std::vector<std::thread> threads_;
};

}  // namespace quillpack

#endif  // QUILLPACK_FILES_FILE_WARMER_H_
