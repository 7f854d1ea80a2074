// Appending frames: the size check, the delay rule and frame storage.
#include "gif/add_image.h"

#include <gtest/gtest.h>

#include "support/console_capture.h"
#include "support/gif_io.h"

namespace gifjoin {
namespace {

using testing::ConsoleCapture;
using testing::padded;

Frame16 filled(std::int32_t w, std::int32_t h, std::int16_t value) {
  Frame16 f;
  f.width = w;
  f.height = h;
  f.values.assign(static_cast<std::size_t>(w * h), value);
  return f;
}

const std::string kRefused = "WARNING in subroutine GIFImageModule::addImage.\n" +
                             padded(
                                 "Dimensions of additional image differ from rest of "
                                 "animation, can not add this frame.") +
                             "\n  ---=== TRYING TO CONTINUE PROGRAM ===--- \n";

TEST(AddImage, ResetRecordRefusesFramesAndStillGetsTheDelayOfOneSecond) {
  GIFImage r;
  r.reset();
  ConsoleCapture out;
  testing::append(r, filled(2, 2, 1));
  EXPECT_EQ(out.text(), kRefused);
  EXPECT_EQ(r.delayTime, 100);
  EXPECT_EQ(r.numFrames, 0);
  EXPECT_FALSE(r.pixels.present());
}

TEST(AddImage, FramesOfTheScreenSizeAreAppendedInOrder) {
  GIFImage r;
  r.reset();
  r.screenWidth = 4;
  r.screenHeight = 3;
  r.setColormap({1, 2});
  r.transparentColorIndex = 1;
  r.disposalMethod = 3;
  ConsoleCapture out;
  testing::append(r, filled(4, 3, 1));
  testing::append(r, filled(4, 3, -1));
  Frame16 third = filled(4, 3, 7);
  third.values[11] = 300;
  testing::append(r, third);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(r.numFrames, 3);
  EXPECT_EQ(r.pixels.frames(), 3);
  EXPECT_EQ(r.pixels(4, 3, 1), 1);
  EXPECT_EQ(r.pixels(1, 1, 2), -1);
  EXPECT_EQ(r.pixels(4, 3, 3), 300);
  EXPECT_EQ(third.values[11], 300);  // caller's frame untouched
  EXPECT_EQ(r.numColors, 2);
  EXPECT_EQ(r.transparentColorIndex, 1);
  EXPECT_EQ(r.disposalMethod, 3);
}

TEST(AddImage, RefusesSwappedSizesAndKeepsANonZeroDelay) {
  GIFImage r;
  r.reset();
  r.setImage(filled(4, 3, 2));
  r.delayTime = 7;
  ConsoleCapture out;
  testing::append(r, filled(3, 4, 1));
  EXPECT_EQ(out.text(), kRefused);
  testing::append(r, filled(4, 3, 1));
  EXPECT_EQ(r.delayTime, 7);
  EXPECT_EQ(r.numFrames, 2);
  EXPECT_EQ(r.pixels(1, 1, 1), 2);
}

TEST(AddImage, ThirtyTwoBitFramesPassThroughSixteenBits) {
  GIFImage r;
  r.reset();
  r.screenWidth = 2;
  r.screenHeight = 1;
  const std::int32_t values[] = {65535 + 1 + 5, 0x18000};
  testing::append(r, values, 2, 1);
  EXPECT_EQ(r.pixels(1, 1, 1), 5);
  EXPECT_EQ(r.pixels(2, 1, 1), -32768);
}

TEST(AddImage, FirstImageOfAnotherSizeThanItsScreenIsFittedWhenFramesFollow) {
  for (const auto& [w, h] : {std::pair{2, 2}, std::pair{5, 4}}) {
    GIFImage r;
    r.reset();
    Frame16 first = filled(w, h, 9);
    r.setImage(first);
    r.screenWidth = 3;
    r.screenHeight = 3;
    testing::append(r, filled(3, 3, 4));
    ASSERT_EQ(r.numFrames, 2);
    EXPECT_EQ(r.pixels.width(), 3);
    EXPECT_EQ(r.pixels.height(), 3);
    for (int y = 1; y <= 3; ++y) {
      for (int x = 1; x <= 3; ++x) {
        EXPECT_EQ(r.pixels(x, y, 1), (x <= w && y <= h) ? 9 : 0) << x << "," << y;
        EXPECT_EQ(r.pixels(x, y, 2), 4);
      }
    }
  }
}

}  // namespace
}  // namespace gifjoin
