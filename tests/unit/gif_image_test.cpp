// The image record: reset state, copies, colour-map packing, setImage and
// the growth of its frame store.
#include "gif/gif_image.h"

#include <gtest/gtest.h>

#include "general/text_field.h"

namespace gifjoin {
namespace {

Frame16 frameOf(std::int32_t w, std::int32_t h, std::int16_t first = 0) {
  Frame16 f;
  f.width = w;
  f.height = h;
  f.values.resize(static_cast<std::size_t>(std::max(w, 0) * std::max(h, 0)));
  for (std::size_t i = 0; i < f.values.size(); ++i)
    f.values[i] = static_cast<std::int16_t>(first + i);
  return f;
}

void expectResetState(const GIFImage& r) {
  EXPECT_EQ(r.fileName, makeField("gifimage.gif"));
  EXPECT_EQ(r.transparentColorIndex, -1);
  EXPECT_EQ(r.delayTime, 0);
  EXPECT_EQ(r.userInputFlag, -1);
  EXPECT_EQ(r.disposalMethod, 0);
  EXPECT_EQ(r.pixelAspectRatio, 0);
  EXPECT_EQ(r.backgroundColorIndex, 0);
  EXPECT_EQ(r.colorTableSize, 0);
  EXPECT_EQ(r.colorResolution, 0);
  EXPECT_EQ(r.screenHeight, 0);
  EXPECT_EQ(r.screenWidth, 0);
  EXPECT_EQ(r.numColors, 0);
  EXPECT_EQ(r.useLocalColormap, 0);
  EXPECT_EQ(r.numFrames, 0);
  EXPECT_FALSE(r.hasColormap());
  EXPECT_FALSE(r.pixels.present());
}

TEST(ImageRecord, NewRecordIsAllZeroAndResetGivesTheSameStateFromAnyState) {
  GIFImage fresh;
  EXPECT_TRUE(fresh.fileName.empty());
  EXPECT_EQ(fresh.transparentColorIndex, 0);
  EXPECT_FALSE(fresh.pixels.present());
  fresh.reset();
  expectResetState(fresh);

  GIFImage loaded;
  loaded.setColormap({1, 2, 3});
  loaded.setImage(frameOf(4, 3));
  loaded.delayTime = 9;
  loaded.transparentColorIndex = 4;
  loaded.reset();
  expectResetState(loaded);
  loaded.reset();
  expectResetState(loaded);
  EXPECT_EQ(loaded.getDelayTime(), 0);
  EXPECT_EQ(loaded.getNumFrames(), 0);
}

TEST(ImageRecord, SetImageReplacesAllFramesAndWidensWithSign) {
  GIFImage r;
  r.reset();
  r.setColormap({7});
  r.setImage(frameOf(5, 5));
  Frame16 f = frameOf(3, 2, -2);
  r.setImage(f);
  EXPECT_EQ(r.screenWidth, 3);
  EXPECT_EQ(r.screenHeight, 2);
  EXPECT_EQ(r.numFrames, 1);
  EXPECT_EQ(r.pixels.width(), 3);
  EXPECT_EQ(r.pixels.height(), 2);
  EXPECT_EQ(r.pixels.frames(), 1);
  EXPECT_EQ(r.pixels(1, 1, 1), -2);
  EXPECT_EQ(r.pixels(2, 1, 1), -1);
  EXPECT_EQ(r.pixels(1, 2, 1), 1);
  EXPECT_EQ(r.pixels(3, 2, 1), 3);
  EXPECT_EQ(r.numColors, 1);  // colour map untouched

  r.setImage(frameOf(0, 4));
  EXPECT_EQ(r.screenWidth, 0);
  EXPECT_EQ(r.screenHeight, 4);
  EXPECT_EQ(r.numFrames, 1);
  EXPECT_TRUE(r.pixels.present());
  EXPECT_EQ(r.pixels.framePixels(), 0U);
}

TEST(ImageRecord, ColormapPacksAndUnpacksIgnoringTheTopByte) {
  GIFImage r;
  r.reset();
  r.setColormap({16711680, 258, static_cast<std::int32_t>(0xAB010203)});
  EXPECT_EQ(r.numColors, 3);
  EXPECT_EQ(r.colorTableSize, 3);
  EXPECT_EQ(r.colormap(1, 0), 255);
  EXPECT_EQ(r.colormap(2, 0), 0);
  EXPECT_EQ(r.colormap(3, 0), 0);
  EXPECT_EQ(r.colormap(1, 1), 0);
  EXPECT_EQ(r.colormap(2, 1), 1);
  EXPECT_EQ(r.colormap(3, 1), 2);
  EXPECT_EQ(r.colormap(1, 2), 1);
  std::vector<std::int32_t> packed{99, 98, 97, 96, 95};
  ASSERT_TRUE(getColormap(packed, r));
  EXPECT_EQ(packed, (std::vector<std::int32_t>{16711680, 258, 0x010203}));

  r.setColormap({});
  EXPECT_EQ(r.numColors, 0);
  EXPECT_TRUE(r.hasColormap());
  ASSERT_TRUE(getColormap(packed, r));
  EXPECT_TRUE(packed.empty());

  EXPECT_EQ(packRGB(0x1FF, 0x101, -1), 0xFF01FF);
  r.numColors = 5;  // more colours claimed than the map holds
  EXPECT_FALSE(getColormap(packed, r));
}

TEST(ImageRecord, CopiesOwnTheirArraysAndSelfAssignmentIsHarmless) {
  GIFImage a;
  a.reset();
  a.setColormap({1, 2});
  a.setImage(frameOf(2, 2, 10));
  GIFImage b = a;
  b.pixels(1, 1, 1) = 77;
  b.colormap(3, 0) = 5;
  EXPECT_EQ(a.pixels(1, 1, 1), 10);
  EXPECT_EQ(a.colormap(3, 0), 1);
  GIFImage& alias = a;
  a = alias;
  EXPECT_EQ(a.pixels(2, 2, 1), 13);
  EXPECT_EQ(a.numColors, 2);
  GIFImage empty;
  empty.reset();
  b = empty;
  EXPECT_FALSE(b.pixels.present());
  EXPECT_FALSE(b.hasColormap());

  GIFImage released = a;
  released.release();
  EXPECT_FALSE(released.pixels.present());
  EXPECT_FALSE(released.hasColormap());
  EXPECT_EQ(released.numColors, 2);  // scalars untouched by release
}

TEST(PixelStore, AppendedFramesKeepEarlierFramesAcrossManyGrowths) {
  PixelArray p;
  ASSERT_TRUE(p.allocate(700, 500, 1));  // large enough for the mapped store
  p(700, 500, 1) = 1;
  for (int k = 2; k <= 9; ++k) {
    ASSERT_TRUE(p.appendFrame());
    EXPECT_EQ(p.frames(), k);
    EXPECT_EQ(p(1, 1, k), 0);
    EXPECT_EQ(p(700, 500, k), 0);
    p(700, 500, k) = k;
  }
  for (int k = 1; k <= 9; ++k) EXPECT_EQ(p(700, 500, k), k);
  PixelArray small;
  ASSERT_TRUE(small.allocate(3, 2, 1));
  for (int k = 2; k <= 20; ++k) ASSERT_TRUE(small.appendFrame());
  small(3, 2, 20) = 5;
  PixelArray copy = small;
  EXPECT_EQ(copy.frames(), 20);
  EXPECT_EQ(copy(3, 2, 20), 5);
}

}  // namespace
}  // namespace gifjoin
