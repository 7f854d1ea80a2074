// Frames compressed by a helper while the animation still grows must give
// the very file a single-threaded writer gives.
#include <gtest/gtest.h>

#include <random>

#include "gif/add_image.h"
#include "gif/write.h"
#include "support/console_capture.h"
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

TEST(FrameCompressor, FramesCompressedWhileTheStoreGrowsGiveTheSingleThreadedFile) {
  ScratchDir dir("compressor");
  constexpr int kWidth = 160;
  constexpr int kHeight = 120;  // above the size a helper thread is used for
  for (const std::size_t budget : {std::size_t{1} << 12, std::size_t{16} << 20}) {
    GIFImage animation = firstFrame(kWidth, kHeight);
    FrameCompressor compressor(budget);
    for (unsigned k = 2; k <= 13; ++k) {
      const std::vector<std::int32_t> values = frameValues(kWidth, kHeight, k);
      {
        // No room was reserved: appending moves the store now and then.
        std::unique_lock<std::mutex> hold;
        if (!animation.pixels.hasRoomForNextFrame()) hold = compressor.holdStore();
        addImage(animation, values.data(), kWidth, kHeight);
      }
      compressor.framesReady(animation, animation.numFrames);
    }
    ASSERT_EQ(animation.numFrames, 13);
    animation.setDelayTime(30);

    WriteOptions pipelined;
    pipelined.compressor = &compressor;
    WriteOptions single;
    single.encodeThreads = 1;
    ConsoleCapture quiet;
    ASSERT_TRUE(writeGIFImage(animation, dir.file("pipelined.gif"), pipelined));
    ASSERT_TRUE(writeGIFImage(animation, dir.file("single.gif"), single));
    EXPECT_EQ(readFile(dir.file("pipelined.gif")), readFile(dir.file("single.gif")))
        << "budget " << budget;
  }
}

TEST(FrameCompressor, StoppedHelperLeavesTheRestToTheWriter) {
  ScratchDir dir("stopped");
  GIFImage animation = firstFrame(200, 100);
  FrameCompressor compressor;
  for (unsigned k = 2; k <= 6; ++k) {
    const std::vector<std::int32_t> values = frameValues(200, 100, k);
    addImage(animation, values.data(), 200, 100);
  }
  compressor.framesReady(animation, 3);
  compressor.stop();
  WriteOptions stopped;
  stopped.compressor = &compressor;
  WriteOptions single;
  single.encodeThreads = 1;
  ConsoleCapture quiet;
  ASSERT_TRUE(writeGIFImage(animation, dir.file("stopped.gif"), stopped));
  ASSERT_TRUE(writeGIFImage(animation, dir.file("single.gif"), single));
  EXPECT_EQ(readFile(dir.file("stopped.gif")), readFile(dir.file("single.gif")));
}

TEST(FrameCompressor, WriterAndHelperSharingTheFramesGiveTheSingleThreadedFile) {
  // The writer's own helper: whichever thread compresses a frame, and in
  // whatever order they finish, the frames reach the file in order.
  ScratchDir dir("shared");
  GIFImage animation = firstFrame(160, 120);
  for (unsigned k = 2; k <= 40; ++k) {
    const std::vector<std::int32_t> values = frameValues(160, 120, k * 7);
    addImage(animation, values.data(), 160, 120);
  }
  WriteOptions single;
  single.encodeThreads = 1;
  ConsoleCapture quiet;
  ASSERT_TRUE(writeGIFImage(animation, dir.file("single.gif"), single));
  const std::vector<std::uint8_t> expected = readFile(dir.file("single.gif"));
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(writeGIFImage(animation, dir.file("shared.gif"), WriteOptions{}));
    ASSERT_EQ(readFile(dir.file("shared.gif")), expected) << "round " << round;
  }
}

}  // namespace
}  // namespace gifjoin
