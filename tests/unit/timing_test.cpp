// Frame delays from a frame rate, and the delay of a file's first image.
#include "app/timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace gifjoin {
namespace {

TEST(Timing, RunningTotalStaysWithinHalfAHundredth) {
  for (const char* text : {"25", "30", "29.97", "23.976", "7", "0.3", "60", "144", "0.01"}) {
    const auto rate = parseFrameRate(text);
    ASSERT_TRUE(rate.has_value()) << text;
    const double exact = 100.0 / std::stod(text);
    FrameClock clock(*rate);
    std::int64_t total = 0;
    for (int frame = 1; frame <= 5000; ++frame) {
      total += clock.next();
      EXPECT_LE(std::abs(static_cast<double>(total) - frame * exact), 0.5 + 1e-9)
          << text << " frame " << frame;
    }
  }
  FrameClock thirty(*parseFrameRate("30"));
  std::vector<std::int32_t> delays;
  for (int i = 0; i < 6; ++i) delays.push_back(thirty.next());
  EXPECT_EQ(delays, (std::vector<std::int32_t>{3, 4, 3, 3, 4, 3}));
}

TEST(Timing, FrameRatesOutsideTheRangeOrNotNumbersAreRefused) {
  for (const char* bad :
       {"", ".", "0", "0.009", "1000.5", "1e3", "-5", "+5", "2,5", "25fps", "0.0000001"}) {
    EXPECT_FALSE(parseFrameRate(bad).has_value()) << bad;
  }
  for (const char* good : {"0.01", "1000", ".5", "5.", "12.500000000", "0029.97"}) {
    EXPECT_TRUE(parseFrameRate(good).has_value()) << good;
  }
}

TEST(Timing, FirstImageDelayReadsTheControlBeforeTheFirstImage) {
  // A screen with a two-entry table, a comment, a control with delay 0x0102,
  // then the image; a control after it must not count.
  std::vector<std::uint8_t> file = {'G', 'I',  'F',  '8', '9', 'a', 1, 0,    1,    0,   0x80, 0,
                                    0,   0,    0,    0,   9,   9,   9, 0x21, 0xFE, 2,   'h',  'i',
                                    0,   0x21, 0xF9, 4,   0,   2,   1, 0,    0,    0x2C};
  std::int32_t delay = -1;
  EXPECT_EQ(firstImageDelay(file, delay), HeadDelay::Found);
  EXPECT_EQ(delay, 0x0102);
  for (std::size_t cut = 0; cut < file.size(); ++cut) {
    const std::vector<std::uint8_t> head(file.begin(), file.begin() + cut);
    EXPECT_EQ(firstImageDelay(head, delay), HeadDelay::NeedMore) << cut;
  }
  const std::vector<std::uint8_t> bare = {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0, 0, 0, 0x2C};
  EXPECT_EQ(firstImageDelay(bare, delay), HeadDelay::NoDelay);
}

}  // namespace
}  // namespace gifjoin
