// The few reused frame buffers a streamed run decodes into: a buffer is
// taken for the next file and given back once its frame has been used, so
// a series of any length needs only these.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "gif/gif_image.h"

namespace gifjoin {

class FramePool {
 public:
  explicit FramePool(std::size_t size) : busy_(size, false) {
    for (std::size_t i = 0; i < size; ++i) frames_.push_back(std::make_unique<Frame8>());
  }

  // A cleared free buffer, or null when every buffer is taken.
  Frame8* tryTake() {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < frames_.size(); ++i) {
      if (!busy_[i]) {
        busy_[i] = true;
        frames_[i]->clear();
        return frames_[i].get();
      }
    }
    return nullptr;
  }

  // Wait a little for a buffer to come back (the caller then tries again).
  void waitForReturn() {
    std::unique_lock lock(mutex_);
    returned_.wait_for(lock, std::chrono::milliseconds(2), [&] {
      for (const bool busy : busy_) {
        if (!busy) return true;
      }
      return false;
    });
  }

  void giveBack(const Frame8* frame) {
    {
      std::lock_guard lock(mutex_);
      for (std::size_t i = 0; i < frames_.size(); ++i) {
        if (frames_[i].get() == frame) busy_[i] = false;
      }
    }
    returned_.notify_all();
  }

  void giveBackAll() {
    std::lock_guard lock(mutex_);
    busy_.assign(busy_.size(), false);
  }

 private:
  std::vector<std::unique_ptr<Frame8>> frames_;
  std::vector<bool> busy_;
  std::mutex mutex_;
  std::condition_variable returned_;
};

}  // namespace gifjoin
