// The whole run in-process: frames decoded in place into the animation must
// equal the files read one by one, whatever happens to the files between.
#include "app/driver.h"

#include <gtest/gtest.h>

#include <fstream>

#include "general/text_field.h"
#include "general/units.h"
#include "gif/read.h"
#include "support/console_capture.h"
#include "support/gif_bytes.h"
#include "support/gif_io.h"
#include "support/run_tool.h"
#include "support/units_probe.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using testing::ConsoleCapture;
using testing::GifBytes;
using testing::ScratchDir;

std::vector<int> pattern(int width, int height, int seed) {
  std::vector<int> values(static_cast<std::size_t>(width * height));
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int>((i / 3 + seed) % 16);
  return values;
}

Bytes gifFile(int width, int height, int seed) {
  return GifBytes()
      .header()
      .screen(width, height, 0xF3)
      .colorTable(16)
      .image(width, height, pattern(width, height, seed), 4)
      .trailer()
      .bytes();
}

void save(const ScratchDir& dir, const std::string& name, const Bytes& bytes) {
  std::ofstream(dir.file(name), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

TEST(WholeRun, FramesDecodedInPlaceEqualTheFilesReadOneByOne) {
  ScratchDir dir("driver");
  const Bytes good = gifFile(40, 30, 1);
  // Cut inside the image data: the rest of that frame stays 0.
  const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() * 3 / 4));
  save(dir, "s_1.gif", good);
  save(dir, "s_2.gif", cut);
  save(dir, "s_3.gif", gifFile(30, 40, 3));  // refused: other size
  save(dir, "s_4.gif", gifFile(40, 30, 4));
  // s_5.gif is missing
  save(dir, "s_6.gif", gifFile(40, 30, 6));
  save(dir, "s_7.gif", cut);

  std::vector<std::vector<std::int32_t>> expected;
  GifReader reader{testing::followingConsole()};
  for (int i : {1, 2, 4, 6, 7}) {
    ConsoleCapture quiet;
    GIFImage image;
    std::int32_t status = 0;
    testing::readGif(image, reader, dir.file("s_" + std::to_string(i) + ".gif"), 1, status);
    ASSERT_TRUE(image.pixels.present());
    expected.emplace_back(image.pixels.frame(1),
                          image.pixels.frame(1) + image.pixels.framePixels());
  }

  JoinRequest request;
  request.baseName = makeField(dir.file("s"));
  request.lowerIndex = 1;
  request.higherIndex = 7;
  {
    ConsoleCapture quiet;
    EXPECT_EQ(runJoin(request), kExitWritten);
  }
  EXPECT_EQ(testing::openUnitCount(), 0);

  for (std::size_t k = 0; k < expected.size(); ++k) {
    ConsoleCapture quiet;
    GIFImage frame;
    std::int32_t status = 0;
    testing::readGif(frame, reader, dir.file("s_Animated.gif"), static_cast<std::int32_t>(k + 1),
                     status);
    ASSERT_TRUE(frame.pixels.present()) << "frame " << k + 1;
    const std::vector<std::int32_t> have(frame.pixels.frame(1),
                                         frame.pixels.frame(1) + frame.pixels.framePixels());
    EXPECT_EQ(have, expected[k]) << "frame " << k + 1;
  }
}

}  // namespace
}  // namespace gifjoin
