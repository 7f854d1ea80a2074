// The progress line: the time left is the time so far for the files read,
// spread over the files still to read.
#include "app/progress.h"

namespace gifjoin {

namespace {

// At most four drawings a second.
constexpr std::chrono::milliseconds kRedrawEvery{250};

std::string twoDigits(std::int64_t n) {
  std::string text(n < 10 ? 1 : 0, '0');
  text += std::to_string(n);
  return text;
}

std::string clockTime(std::int64_t seconds) {
  const std::int64_t hours = seconds / 3600;
  const std::int64_t minutes = seconds / 60 % 60;
  const std::string rest = twoDigits(seconds % 60);
  if (hours > 0) return std::to_string(hours) + ":" + twoDigits(minutes) + ":" + rest;
  return std::to_string(minutes) + ":" + rest;
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& out, std::int64_t total, bool shown)
    : out_(out), total_(total), shown_(shown && total > 0) {}

std::string ProgressLine::text(std::int64_t done, std::int64_t total,
                               std::chrono::steady_clock::duration elapsed) {
  std::string line = "gifjoin: " + std::to_string(done) + "/" + std::to_string(total) + " frames";
  if (done > 0 && done <= total) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    // Rounded up: a run that has anything left has at least a second left.
    const std::int64_t leftMs = static_cast<std::int64_t>(
        static_cast<double>(ms) / static_cast<double>(done) * static_cast<double>(total - done));
    line += ", " + clockTime((leftMs + 999) / 1000) + " left";
  }
  return line;
}

void ProgressLine::update(std::int64_t done) {
  if (!shown_) return;
  const Clock::time_point now = Clock::now();
  if (drawn_ && now - lastDrawn_ < kRedrawEvery) return;
  const std::string line = text(done, total_, now - start_);
  out_ << '\r' << line;
  if (line.size() < width_) out_ << std::string(width_ - line.size(), ' ') << '\r' << line;
  out_.flush();
  width_ = line.size();
  lastDrawn_ = now;
  drawn_ = true;
}

void ProgressLine::clear() {
  if (width_ == 0) return;
  out_ << '\r' << std::string(width_, ' ') << '\r';
  out_.flush();
  width_ = 0;
  drawn_ = false;
}

}  // namespace gifjoin
