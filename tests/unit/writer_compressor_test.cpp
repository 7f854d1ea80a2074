// Frames compressed by a helper while the series is still read must give
// the very file a single-threaded writer of the whole record gives.
#include <gtest/gtest.h>

#include <random>

#include "gif/add_image.h"
#include "gif/frame_stream.h"
#include "gif/write.h"
#include "support/console_capture.h"
#include "support/gif_io.h"
#include "support/run_tool.h"

namespace gifjoin {
namespace {

using testing::ConsoleCapture;
using testing::readFile;
using testing::ScratchDir;

// Blocks of noise and flat runs, different in every frame.
std::vector<std::int32_t> frameValues(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::int32_t> values(static_cast<std::size_t>(width * height));
  for (std::size_t i = 0; i < values.size();) {
    const std::int32_t value = static_cast<std::int32_t>(random() % 256);
    const std::size_t run = random() % 3 == 0 ? 1 + random() % 300 : 1;
    for (std::size_t n = 0; n < run && i < values.size(); ++n) values[i++] = value;
  }
  return values;
}

GIFImage firstFrame(int width, int height) {
  GIFImage animation;
  animation.reset();
  std::vector<std::int32_t> colors(256);
  for (std::size_t i = 0; i < colors.size(); ++i)
    colors[i] = static_cast<std::int32_t>(i * 0x010203);
  animation.setColormap(colors);
  Frame16 first;
  first.width = width;
  first.height = height;
  for (std::int32_t v : frameValues(width, height, 1))
    first.values.push_back(static_cast<std::int16_t>(v));
  animation.setImage(first);
  return animation;
}

TEST(PipelineStream, RingSmallerThanTheSeriesGivesTheSingleThreadedFile) {
  // Frames whose data end early hold only their written part; the rest is
  // zeros in the record and must be zeros in the file.
  ScratchDir dir("stream");
  constexpr int kWidth = 160;
  constexpr int kHeight = 120;  // above the size a helper thread is used for
  GIFImage animation = firstFrame(kWidth, kHeight);
  std::vector<std::vector<std::int32_t>> frames{std::vector<std::int32_t>(
      animation.pixels.frame(1), animation.pixels.frame(1) + kWidth * kHeight)};
  for (unsigned k = 2; k <= 13; ++k) {
    std::vector<std::int32_t> values = frameValues(kWidth, kHeight, k);
    if (k % 4 == 0) std::fill(values.begin() + k * 997, values.end(), 0);
    testing::append(animation, values.data(), kWidth, kHeight);
    frames.push_back(std::move(values));
  }
  animation.setDelayTime(30);
  WriteOptions single;
  single.encodeThreads = 1;
  ConsoleCapture quiet;
  ASSERT_TRUE(testing::writeGif(animation, dir.file("single.gif"), single));
  const std::vector<std::uint8_t> expected = readFile(dir.file("single.gif"));

  for (const std::size_t ring : {3, 4, 16}) {
    StreamOptions options;
    options.ringSize = ring;
    UnitSink sink;
    FrameStream stream(sink, dir.file("stream.gif"), console(), options);
    stream.open();
    stream.setAnimation(animation);
    for (std::size_t k = 0; k < frames.size(); ++k) {
      Frame8& frame = stream.freeFrame();
      frame.present = true;
      frame.width = kWidth;
      frame.height = kHeight;
      std::size_t held = frames[k].size();
      if ((k + 1) % 4 == 0) held = (k + 1) * 997;
      ASSERT_TRUE(frame.reserve(held));
      for (std::size_t i = 0; i < held; ++i)
        frame.data()[i] = static_cast<std::uint8_t>(frames[k][i]);
      frame.written = held;
      stream.addFrame(frame, nullptr);
    }
    ASSERT_TRUE(stream.finish());
    EXPECT_EQ(readFile(dir.file("stream.gif")), expected) << "ring " << ring;
  }
}

TEST(PipelineStream, WriterAndHelperSharingTheFramesGiveTheSingleThreadedFile) {
  // Whichever thread compresses a frame, and in whatever order they
  // finish, the frames reach the file in order.
  ScratchDir dir("shared");
  GIFImage animation = firstFrame(160, 120);
  for (unsigned k = 2; k <= 40; ++k) {
    const std::vector<std::int32_t> values = frameValues(160, 120, k * 7);
    testing::append(animation, values.data(), 160, 120);
  }
  WriteOptions single;
  single.encodeThreads = 1;
  ConsoleCapture quiet;
  ASSERT_TRUE(testing::writeGif(animation, dir.file("single.gif"), single));
  const std::vector<std::uint8_t> expected = readFile(dir.file("single.gif"));
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(testing::writeGif(animation, dir.file("shared.gif"), WriteOptions{}));
    ASSERT_EQ(readFile(dir.file("shared.gif")), expected) << "round " << round;
  }
}

TEST(PipelineStream, OptimisedFileIsTheSameWhicheverThreadEncodes) {
  // Decisions are made in frame order on the reading thread; encoding on
  // either thread must not change a byte. Frames change in blocks, some
  // frames hold only their first part, and one repeats the frame before.
  ScratchDir dir("optimised");
  constexpr int kWidth = 160;
  constexpr int kHeight = 120;
  GIFImage animation = firstFrame(kWidth, kHeight);
  std::vector<std::uint8_t> values(animation.pixels.frame(1),
                                   animation.pixels.frame(1) + kWidth * kHeight);
  auto write = [&](int threads, std::size_t ring) {
    StreamOptions options;
    options.optimize = true;
    options.threads = threads;
    options.ringSize = ring;
    UnitSink sink;
    FrameStream stream(sink, dir.file("optimised.gif"), console(), options);
    stream.open();
    stream.setAnimation(animation);
    std::vector<std::uint8_t> shown = values;
    std::mt19937 random(5);
    for (int k = 0; k < 24; ++k) {
      const std::size_t at = random() % shown.size();
      const std::size_t length = k == 7 ? 0 : 1 + random() % 4000;
      for (std::size_t i = at; i < std::min(shown.size(), at + length); ++i)
        shown[i] = random() % 256;
      Frame8& frame = stream.freeFrame();
      frame.present = true;
      frame.width = kWidth;
      frame.height = kHeight;
      const std::size_t held = k % 5 == 4 ? shown.size() / 3 : shown.size();
      EXPECT_TRUE(frame.reserve(held));
      std::copy_n(shown.begin(), held, frame.data());
      frame.written = held;
      stream.addFrame(frame, nullptr);
    }
    EXPECT_TRUE(stream.finish());
    return readFile(dir.file("optimised.gif"));
  };
  ConsoleCapture quiet;
  const std::vector<std::uint8_t> expected = write(1, 3);
  for (const std::size_t ring : {3, 16}) EXPECT_EQ(write(2, ring), expected) << "ring " << ring;
}

}  // namespace
}  // namespace gifjoin
