// A queue of jobs worked off by a helper thread beside the caller, with
// the results handed back in the order the jobs were given. It knows
// nothing of what the jobs do: the caller says how to run one, and may run
// the oldest waiting job on its own thread when it has nothing else to do.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

namespace gifjoin {

template <typename Job>
class OrderedWorker {
 public:
  // Runs one job; `lane` is 0 on the caller's thread and 1 on the helper.
  // A job may be run again after it threw std::bad_alloc on the helper, so
  // it must start over cleanly.
  using Run = std::function<void(Job&, int lane)>;

  explicit OrderedWorker(Run run) : run_(std::move(run)) {}
  ~OrderedWorker() { stop(); }
  OrderedWorker(const OrderedWorker&) = delete;
  OrderedWorker& operator=(const OrderedWorker&) = delete;

  // Queue a job. With `help` the helper thread is started (once) and woken;
  // without it the job waits for the caller (runOneHere, drain).
  void submit(Job job, bool help) {
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      slots_.push_back(Slot{std::move(job), State::Queued});
      wake = help && helperUsable_;
    }
    if (wake) {
      if (!helper_.joinable()) helper_ = std::thread([this] { helperLoop(); });
      changed_.notify_all();
    }
  }

  // Jobs given and not yet started.
  std::size_t waiting() {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const Slot& slot : slots_) n += slot.state == State::Queued ? 1 : 0;
    return n;
  }

  // Run the oldest queued job here. False when no job is queued.
  bool runOneHere() {
    Slot* slot = takeQueued();
    if (slot == nullptr) return false;
    run_(slot->job, 0);
    finished(*slot);
    return true;
  }

  // Hand every finished job at the front of the queue, in order, to `take`
  // (outside the lock), and drop it.
  template <typename Take>
  void takeDone(Take take) {
    for (;;) {
      Job job;
      {
        std::lock_guard lock(mutex_);
        if (slots_.empty() || slots_.front().state != State::Done) return;
        job = std::move(slots_.front().job);
        slots_.pop_front();
      }
      take(job);
    }
  }

  // Run or wait for every job, handing the results in order to `take`.
  template <typename Take>
  void drain(Take take) {
    for (;;) {
      while (runOneHere()) takeDone(take);
      takeDone(take);
      std::unique_lock lock(mutex_);
      if (slots_.empty()) return;
      changed_.wait(lock, [&] { return frontDone() || anyQueued(); });
    }
  }

  // End the helper (after the job it is running) and drop every job.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (helper_.joinable()) helper_.join();
    std::lock_guard lock(mutex_);
    slots_.clear();
    stopping_ = false;
  }

 private:
  enum class State { Queued, Running, Done };
  struct Slot {
    Job job;
    State state;
  };

  bool frontDone() const { return !slots_.empty() && slots_.front().state == State::Done; }
  bool anyQueued() const {
    for (const Slot& slot : slots_) {
      if (slot.state == State::Queued) return true;
    }
    return false;
  }

  // The oldest queued slot, marked running. std::deque keeps references to
  // its elements while elements are only added at the back and taken from
  // the front, and a slot is taken from the front only when done.
  Slot* takeQueued() {
    std::lock_guard lock(mutex_);
    for (Slot& slot : slots_) {
      if (slot.state == State::Queued) {
        slot.state = State::Running;
        return &slot;
      }
    }
    return nullptr;
  }

  void finished(Slot& slot) {
    {
      std::lock_guard lock(mutex_);
      slot.state = State::Done;
    }
    changed_.notify_all();
  }

  void helperLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      Slot* slot = nullptr;
      changed_.wait(lock, [&] {
        if (stopping_) return true;
        for (Slot& candidate : slots_) {
          if (candidate.state == State::Queued) {
            slot = &candidate;
            return true;
          }
        }
        return false;
      });
      if (stopping_) return;
      slot->state = State::Running;
      lock.unlock();
      bool ran = true;
      try {
        run_(slot->job, 1);
      } catch (const std::bad_alloc&) {
        ran = false;
      }
      lock.lock();
      if (!ran) {
        // No memory on the helper: the job goes back to the queue for the
        // caller's thread, and the helper ends.
        slot->state = State::Queued;
        helperUsable_ = false;
        changed_.notify_all();
        return;
      }
      slot->state = State::Done;
      changed_.notify_all();
    }
  }

  Run run_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Slot> slots_;
  bool stopping_ = false;
  bool helperUsable_ = true;
  std::thread helper_;
};

}  // namespace gifjoin
