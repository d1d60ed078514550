#include "files/folder_warmer.h"

#include <utility>

namespace quillpack {

FolderWarmer::FolderWarmer(const FolderWarmingLimits& limits, WarmOne warmOne)
    : limits_(limits), warmOne_(std::move(warmOne)) {}

FolderWarmer::~FolderWarmer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    moreFound_.notify_all();
  }
  for (std::thread& thread : threads_)
    thread.join();
}

void FolderWarmer::Found(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return;
  waiting_.insert(waiting_.begin(), paths.begin(), paths.end());
  if (!started_) Start();
  if (helpersWaiting_ > 0) moreFound_.notify_all();
}

void FolderWarmer::Entered(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!waiting_.empty() && waiting_.front() == path) waiting_.pop_front();
}

void FolderWarmer::WaitUntilIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  helperIdle_.wait(lock, [this] {
    return helpersWaiting_ + helpersEnded_ == static_cast<int32_t>(threads_.size());
  });
}

// A thread that cannot start costs only its share of the warming: the walk must not fail
// for a hint.
void FolderWarmer::Start() {
  started_ = true;
  try {
    threads_.reserve(static_cast<std::size_t>(limits_.threads > 0 ? limits_.threads : 0));
    for (int32_t i = 0; i < limits_.threads; ++i)
      threads_.emplace_back([this] { Work(); });
  } catch (...) {
  }
}

void FolderWarmer::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    while (!stopping_ && waiting_.empty()) {
      ++helpersWaiting_;
      helperIdle_.notify_all();
      moreFound_.wait(lock);
      --helpersWaiting_;
    }
    if (stopping_) break;
    std::string path = std::move(waiting_.front());
    waiting_.pop_front();
    lock.unlock();
    bool needed = WarmQuietly(path);
    lock.lock();
    needlessRun_ = needed ? 0 : needlessRun_ + 1;
    if (limits_.needlessRunToStop > 0 && needlessRun_ >= limits_.needlessRunToStop) {
      stopping_ = true;
      moreFound_.notify_all();
    }
  }
  ++helpersEnded_;
  helperIdle_.notify_all();
}

// A warming that throws after all must not end the process: the folder counts as one that
// needed nothing.
bool FolderWarmer::WarmQuietly(const std::string& path) const {
  try {
    return warmOne_(path);
  } catch (...) {
    return false;
  }
}

}  // namespace quillpack
