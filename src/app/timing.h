// Frame delays from a frame rate: whole hundredths of a second chosen so
// that the running total stays within half a hundredth of the exact time.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace gifjoin {

// A frame rate as written, a decimal number: digits / 10^scale frames per
// second.
struct FrameRate {
  std::uint64_t digits = 0;
  std::uint32_t scale = 0;
};

// Frame rates that give delays of one 16-bit field: 0.01 to 1000 frames
// per second, with at most six decimals.
inline constexpr std::string_view kFrameRateRange = "0.01 to 1000";

// A positive decimal number ("25", "29.97", ".5"), within kFrameRateRange;
// nullopt when the text is not such a number or out of range.
std::optional<FrameRate> parseFrameRate(std::string_view text);

// True when the text is a decimal number at all (for the message).
bool isDecimalNumber(std::string_view text);

// Hands out the delays of consecutive frames at a frame rate. Frame k
// ends at k * 100 / rate hundredths, rounded to the nearest hundredth
// (halves up); its delay is the step from the end of the frame before.
class FrameClock {
 public:
  explicit FrameClock(FrameRate rate);
  std::int32_t next();

 private:
  std::uint64_t divisor_;    // 2 * digits
  std::uint64_t stepWhole_;  // (2 * 100 * 10^scale) / divisor_
  std::uint64_t stepRest_;   // (2 * 100 * 10^scale) % divisor_
  std::uint64_t whole_;      // rounded end of the last frame
  std::uint64_t rest_;
};

// The delay in the graphic control extension before the first image of a
// GIF file whose first bytes are `head`. Found: the delay; NoDelay: the
// first image has no graphic control extension, or the bytes are no GIF
// file; NeedMore: `head` ends before the first image.
enum class HeadDelay { Found, NoDelay, NeedMore };
HeadDelay firstImageDelay(std::span<const std::uint8_t> head, std::int32_t& delay);

}  // namespace gifjoin
