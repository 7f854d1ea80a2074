// The progress line of a quiet run on a terminal: one line on standard
// error that rewrites itself ("gifjoin: 340/1000 frames, 0:02 left") at
// most a few times per second and is erased at the end.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace gifjoin {

class ProgressLine {
 public:
  // Nothing is shown unless `shown`.
  ProgressLine(std::ostream& out, std::int64_t total, bool shown);
  ~ProgressLine() { clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `done` of the total files have been read.
  void update(std::int64_t done);
  // Erase the line, before another line goes to the same stream or at the
  // end; the next update draws it again.
  void clear();

  // The text for `done` of `total` after `elapsed`, without a line end.
  static std::string text(std::int64_t done, std::int64_t total,
                          std::chrono::steady_clock::duration elapsed);

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& out_;
  const std::int64_t total_;
  const bool shown_;
  const Clock::time_point start_ = Clock::now();
  Clock::time_point lastDrawn_;
  std::size_t width_ = 0;  // of the line on the screen; 0: none
  bool drawn_ = false;     // drawn at least once since the last clear
};

}  // namespace gifjoin
