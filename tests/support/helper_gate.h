// A gate for the helper threads of a test's stand-in call: while it is closed, each helper
// that passes through waits inside, so that a test sees how many are busy at once and
// decides when they may go on.

#ifndef QUILLPACK_SUPPORT_HELPER_GATE_H_
#define QUILLPACK_SUPPORT_HELPER_GATE_H_

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace quillpack::test_support {

class HelperGate {
 public:
  explicit HelperGate(bool open) : open_(open) {}

  // Runs `note` under the gate's lock, then holds the caller inside until the gate is
  // open; returns what `note` returned.
  template <typename Note>
  auto PassThrough(Note note) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto result = note();
    ++inside_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
    --inside_;
    return result;
  }

  // What `read` returns, read under the gate's lock.
  template <typename Read>
  auto Locked(Read read) {
    std::lock_guard<std::mutex> lock(mutex_);
    return read();
  }

  void WaitUntilInside(int32_t helpers) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return inside_ == helpers; });
  }

  void OpenGate() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_;
  int32_t inside_ = 0;
};

}  // namespace quillpack::test_support

#endif  // QUILLPACK_SUPPORT_HELPER_GATE_H_
