#include "files/file_warmer.h"

#include <algorithm>
#include <utility>

#include "platform/platform.h"

namespace quillpack {

FileWarmer::FileWarmer(int32_t count, NameOf nameOf, const WarmingLimits& limits)
    : FileWarmer(count, std::move(nameOf), limits, platform::WarmFile) {}

FileWarmer::FileWarmer(int32_t count, NameOf nameOf, const WarmingLimits& limits, WarmOne warmOne)
    : count_(count),
      nameOf_(std::move(nameOf)),
      limits_(limits),
      bytesPerFile_(limits.bytesAhead / (2 * static_cast<uint64_t>(std::max(limits.threads, 1)))),
      warmOne_(std::move(warmOne)) {
  if (count < limits.fewestFiles || limits.filesAhead <= 0 || bytesPerFile_ == 0) return;
  int32_t wanted = std::min(limits.threads, count - 1);
  // A thread that cannot start costs only its share of the warming: the merge must not
  // fail for a hint.
  try {
    charges_.resize(static_cast<std::size_t>(limits.filesAhead));
    threads_.reserve(static_cast<std::size_t>(std::max(wanted, 0)));
    for (int32_t i = 0; i < wanted; ++i)
      threads_.emplace_back([this] { Work(); });
  } catch (...) {
  }
}

FileWarmer::~FileWarmer() {
  Stop();
  for (std::thread& thread : threads_)
    thread.join();
}

void FileWarmer::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  StopLocked();
}

void FileWarmer::StopLocked() {
  stopping_ = true;
  helpersWaiting_ = 0;
  windowMoved_.notify_all();
}

void FileWarmer::Reached(int32_t index) {
  if (threads_.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  // The files passed leave the window, warmed or not.
  int32_t lastHandedOut = std::min(index, next_ - 1);
  for (int32_t passed = reached_ + 1; passed <= lastHandedOut; ++passed) {
    charged_ -= ChargeOf(passed);
  }
  reached_ = index;
  next_ = std::max(next_, index + 1);
  // Waking sleepers for each file would cost the caller a system call per file on a
  // cached tree, where the helpers always wait on it: they wake for a batch instead.
  if (helpersWaiting_ > 0 && HasRoomToWake()) {
    helpersWaiting_ = 0;
    ++wakeups_;
    windowMoved_.notify_all();
  }
}

void FileWarmer::WaitUntilIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  helperIdle_.wait(lock, [this] {
    return helpersWaiting_ + helpersEnded_ == static_cast<int32_t>(threads_.size());
  });
}

void FileWarmer::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    while (!stopping_ && next_ < count_ && !MayStart()) {
      ++helpersWaiting_;
      helperIdle_.notify_all();
      uint64_t wakeup = wakeups_;
      windowMoved_.wait(lock, [&] { return stopping_ || wakeups_ != wakeup; });
    }
    if (stopping_ || next_ >= count_) break;
    int32_t index = next_++;
    ChargeOf(index) = bytesPerFile_;
    charged_ += bytesPerFile_;
    lock.unlock();
    uint64_t bytes = WarmQuietly(index);
    lock.lock();
    Settle(index, bytes);
  }
  ++helpersEnded_;
  helperIdle_.notify_all();
}

uint64_t FileWarmer::WarmQuietly(int32_t index) const {
  // A warming that throws after all must not end the process: the file is passed over
  // like one that does not open.
  try {
    return std::min(warmOne_(nameOf_(index), bytesPerFile_), bytesPerFile_);
  } catch (...) {
    return 0;
  }
}

bool FileWarmer::MayStart() const {
  return next_ - reached_ <= limits_.filesAhead && charged_ + bytesPerFile_ <= limits_.bytesAhead;
}

bool FileWarmer::HasRoomToWake() const {
  int32_t batch = std::max(limits_.filesAhead / 4, 1);
  return next_ + batch - 1 - reached_ <= limits_.filesAhead &&
         charged_ + bytesPerFile_ <= limits_.bytesAhead;
}

// A file the caller has passed meanwhile was already taken out of the window.
void FileWarmer::Settle(int32_t index, uint64_t bytes) {
  needlessRun_ = bytes == 0 ? needlessRun_ + 1 : 0;
  if (limits_.needlessRunToStop > 0 && needlessRun_ >= limits_.needlessRunToStop) StopLocked();
  if (index <= reached_) return;
  uint64_t& charge = ChargeOf(index);
  charged_ = charged_ - charge + bytes;
  charge = bytes;
}

}  // namespace quillpack
