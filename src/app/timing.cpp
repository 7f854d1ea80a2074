// Frame rates read from the command line and the delays they give. The
// arithmetic is exact: the end of frame k is (k * 200 * 10^scale + digits)
// / (2 * digits) hundredths, carried from frame to frame as a whole part
// and a remainder.
#include "app/timing.h"

#include <algorithm>

namespace gifjoin {

namespace {

constexpr std::uint32_t kMostDecimals = 6;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::uint64_t powerOfTen(std::uint32_t n) {
  std::uint64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

}  // namespace

bool isDecimalNumber(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return false;
  for (const char c : whole) {
    if (!isDigit(c)) return false;
  }
  for (const char c : fraction) {
    if (!isDigit(c)) return false;
  }
  return true;
}

std::optional<FrameRate> parseFrameRate(std::string_view text) {
  if (!isDecimalNumber(text)) return std::nullopt;
  FrameRate rate;
  bool afterPoint = false;
  for (const char c : text) {
    if (c == '.') {
      afterPoint = true;
      continue;
    }
    // Trailing zeros after the point change nothing.
    if (afterPoint && rate.scale == kMostDecimals) {
      if (c != '0') return std::nullopt;
      continue;
    }
    if (rate.digits > 10'000'000'000ULL) return std::nullopt;  // far beyond the range
    rate.digits = rate.digits * 10 + static_cast<std::uint64_t>(c - '0');
    if (afterPoint) ++rate.scale;
  }
  // 0.01 <= digits / 10^scale <= 1000
  const std::uint64_t unit = powerOfTen(rate.scale);
  if (rate.digits * 100 < unit || rate.digits > 1000 * unit) return std::nullopt;
  return rate;
}

FrameClock::FrameClock(FrameRate rate)
    : divisor_(2 * std::max<std::uint64_t>(rate.digits, 1)),
      stepWhole_(200 * powerOfTen(rate.scale) / divisor_),
      stepRest_(200 * powerOfTen(rate.scale) % divisor_),
      whole_(0),
      rest_(divisor_ / 2) {}  // frame 0 ends at (0 + digits) / (2 * digits): 0, rest digits

std::int32_t FrameClock::next() {
  const std::uint64_t before = whole_;
  whole_ += stepWhole_;
  rest_ += stepRest_;
  if (rest_ >= divisor_) {
    rest_ -= divisor_;
    ++whole_;
  }
  return static_cast<std::int32_t>(whole_ - before);
}

HeadDelay firstImageDelay(std::span<const std::uint8_t> head, std::int32_t& delay) {
  constexpr std::size_t kScreenEnd = 13;
  if (head.size() < kScreenEnd) return HeadDelay::NeedMore;
  if (head[0] != 'G' || head[1] != 'I' || head[2] != 'F') return HeadDelay::NoDelay;
  std::size_t at = kScreenEnd;
  if ((head[10] & 0x80) != 0) at += 3 * (std::size_t{2} << (head[10] & 7));
  bool found = false;
  for (;;) {
    if (at >= head.size()) return HeadDelay::NeedMore;
    if (head[at] != 0x21) break;  // an image, the trailer or something unreadable
    if (at + 1 >= head.size()) return HeadDelay::NeedMore;
    const bool control = head[at + 1] == 0xF9;
    at += 2;
    // Sub-blocks up to the terminator; the first holds the control's fields.
    for (bool firstBlock = true;; firstBlock = false) {
      if (at >= head.size()) return HeadDelay::NeedMore;
      const std::size_t count = head[at];
      if (count == 0) break;
      if (at + 1 + count > head.size()) return HeadDelay::NeedMore;
      if (control && firstBlock && count >= 3) {
        delay = head[at + 2] + 256 * head[at + 3];
        found = true;
      }
      at += 1 + count;
    }
    ++at;
  }
  return found ? HeadDelay::Found : HeadDelay::NoDelay;
}

}  // namespace gifjoin
