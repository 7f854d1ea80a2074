// Files written by gifjoin's writer, decoded again by giflib: screen size,
// colour table, frame count, every pixel (taken modulo the code size), the
// delay and transparency of every frame and the looping block.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gif/lzw_encoder.h"
#include "gif/write.h"
#include "support/gif_io.h"
#include "support/writer_files.h"
#include "support/writer_reference.h"

namespace gifjoin {
namespace {

using testing::ScratchDir;

struct Shape {
  std::int32_t width, height, frames, colours;
  bool transparent;
  bool noise;  // uniform noise, else runs of one value
};

GIFImage makeImage(const Shape& s, std::mt19937& rng) {
  // Values a little outside the colour map too: the writer reduces them.
  GIFImage image =
      testing::randomImage(rng, s.width, s.height, s.frames, s.colours, -2, s.colours + 5);
  if (!s.noise) {
    std::uniform_int_distribution<std::int32_t> run(1, 40);
    for (std::int32_t k = 1; k <= s.frames; ++k) {
      std::int32_t* p = image.pixels.frame(k);
      const std::size_t n = image.pixels.framePixels();
      for (std::size_t i = 0; i < n;) {
        const std::int32_t v = p[i];
        for (std::int32_t r = run(rng); r > 0 && i < n; --r) p[i++] = v;
      }
    }
  }
  image.transparentColorIndex =
      s.transparent ? static_cast<std::int32_t>(rng() % static_cast<unsigned>(s.colours)) : -1;
  image.delayTime = static_cast<std::int32_t>(rng() % 1000);
  return image;
}

std::int32_t tableBits(std::int32_t colours) {
  std::int32_t bits = 1;
  while (bits < 8 && (1 << bits) < colours) ++bits;
  return bits;
}

// Decode `name` with giflib and compare everything with the record.
void expectRoundTrip(const GIFImage& image, const std::string& name, std::int32_t loopCount) {
  const std::string what =
      std::to_string(image.pixels.width()) + "x" + std::to_string(image.pixels.height()) + " x" +
      std::to_string(image.numFrames) + ", " + std::to_string(image.colormapEntries()) + " colours";
  SCOPED_TRACE(what);
  int error = 0;
  GifFileType* gif = DGifOpenFileName(name.c_str(), &error);
  ASSERT_NE(gif, nullptr) << GifErrorString(error);
  struct Closer {
    GifFileType* gif;
    ~Closer() { DGifCloseFile(gif, nullptr); }
  } closer{gif};
  ASSERT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);

  const std::int32_t bits = tableBits(image.colormapEntries());
  EXPECT_EQ(gif->SWidth, image.pixels.width());
  EXPECT_EQ(gif->SHeight, image.pixels.height());
  ASSERT_NE(gif->SColorMap, nullptr);
  ASSERT_EQ(gif->SColorMap->ColorCount, 1 << bits);
  for (std::int32_t i = 0; i < (1 << bits); ++i) {
    const std::int32_t j = std::min(i, image.colormapEntries() - 1);
    const GifColorType c = gif->SColorMap->Colors[i];
    ASSERT_EQ(c.Red, image.colormap(1, j) & 0xFF) << "colour " << i;
    ASSERT_EQ(c.Green, image.colormap(2, j) & 0xFF) << "colour " << i;
    ASSERT_EQ(c.Blue, image.colormap(3, j) & 0xFF) << "colour " << i;
  }

  ASSERT_EQ(gif->ImageCount, image.numFrames);
  const std::uint32_t mask = (1u << raisedCodeSize(bits)) - 1;
  for (std::int32_t k = 0; k < gif->ImageCount; ++k) {
    const SavedImage& saved = gif->SavedImages[k];
    EXPECT_EQ(saved.ImageDesc.Left, 0);
    EXPECT_EQ(saved.ImageDesc.Top, 0);
    ASSERT_EQ(saved.ImageDesc.Width, image.pixels.width());
    ASSERT_EQ(saved.ImageDesc.Height, image.pixels.height());
    EXPECT_FALSE(saved.ImageDesc.Interlace);
    EXPECT_EQ(saved.ImageDesc.ColorMap, nullptr);
    const std::int32_t* p = image.pixels.frame(k + 1);
    for (std::size_t i = 0; i < image.pixels.framePixels(); ++i) {
      ASSERT_EQ(saved.RasterBits[i], static_cast<std::uint32_t>(p[i]) & mask)
          << "frame " << k + 1 << " pixel " << i;
    }
    GraphicsControlBlock gcb{};
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, k, &gcb), GIF_OK);
    EXPECT_EQ(gcb.DelayTime, image.delayTime);
    if (image.transparentColorIndex >= 0) {
      EXPECT_EQ(gcb.TransparentColor, image.transparentColorIndex & 0xFF);
      // Nothing of the frame before shows through the transparent pixels.
      EXPECT_EQ(gcb.DisposalMode, DISPOSE_BACKGROUND);
    } else {
      EXPECT_EQ(gcb.TransparentColor, NO_TRANSPARENT_COLOR);
      EXPECT_EQ(gcb.DisposalMode, DISPOSE_BACKGROUND);
    }
  }

  // The looping block comes before the first image, so giflib files it with
  // the first image's extensions.
  bool looping = false;
  if (gif->ImageCount > 0) {
    const SavedImage& first = gif->SavedImages[0];
    for (int e = 0; e + 1 < first.ExtensionBlockCount; ++e) {
      const ExtensionBlock& app = first.ExtensionBlocks[e];
      const ExtensionBlock& data = first.ExtensionBlocks[e + 1];
      if (app.Function == APPLICATION_EXT_FUNC_CODE && app.ByteCount == 11 &&
          std::memcmp(app.Bytes, "NETSCAPE2.0", 11) == 0) {
        looping = true;
        ASSERT_EQ(data.Function, CONTINUE_EXT_FUNC_CODE);
        ASSERT_EQ(data.ByteCount, 3);
        EXPECT_EQ(data.Bytes[0], 1);
        EXPECT_EQ(data.Bytes[1] | (data.Bytes[2] << 8), loopCount);
      }
    }
  }
  EXPECT_EQ(looping, image.numFrames > 1);
}

TEST(WriterGiflib, EveryColourTableSize) {
  std::mt19937 rng(1);
  ScratchDir dir("writer_giflib");
  testing::ConsoleCapture console;
  std::uniform_int_distribution<std::int32_t> side(1, 48);
  std::uniform_int_distribution<std::int32_t> frames(1, 3);
  for (std::int32_t colours = 1; colours <= 257; ++colours) {
    const std::int32_t n = colours == 257 ? 300 : colours;
    const Shape shape{side(rng), side(rng), frames(rng), n, colours % 2 == 0, colours % 3 == 0};
    GIFImage image = makeImage(shape, rng);
    const std::string name = dir.file("colours.gif");
    ASSERT_TRUE(testing::writeGif(image, name));
    expectRoundTrip(image, name, 65535);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(WriterGiflib, LargeFramesAndAnimations) {
  std::mt19937 rng(2);
  ScratchDir dir("writer_giflib");
  testing::ConsoleCapture console;
  for (const Shape& shape :
       {Shape{1000, 1000, 1, 256, false, true}, Shape{997, 1003, 2, 16, true, false},
        Shape{1, 1000, 3, 5, false, true}, Shape{1000, 1, 2, 300, true, true},
        Shape{640, 480, 4, 2, false, true}, Shape{800, 600, 3, 64, true, false},
        Shape{1, 1, 5, 1, false, false}}) {
    GIFImage image = makeImage(shape, rng);
    const std::string name = dir.file("large.gif");
    const std::int32_t loopCount = shape.frames % 2 == 0 ? 0 : 65535;
    ASSERT_TRUE(testing::writeGif(image, name, WriteOptions{loopCount}));
    expectRoundTrip(image, name, loopCount);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// One image of `data` (code size byte and sub-blocks) on a grey table of
// 2^bits entries, decoded by giflib.
std::vector<std::uint8_t> decodeImageData(const std::vector<std::uint8_t>& data, std::int32_t width,
                                          std::int32_t height, std::int32_t bits) {
  std::vector<std::uint8_t> file = {'G', 'I', 'F', '8', '9', 'a'};
  auto word = [&](std::int32_t v) {
    file.push_back(static_cast<std::uint8_t>(v & 0xFF));
    file.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  word(width);
  word(height);
  file.insert(file.end(), {static_cast<std::uint8_t>(0x80 | (bits - 1)), 0, 0});
  for (std::int32_t i = 0; i < (1 << bits); ++i) file.insert(file.end(), 3, std::uint8_t(i));
  file.push_back(0x2C);
  word(0);
  word(0);
  word(width);
  word(height);
  file.push_back(0);
  file.insert(file.end(), data.begin(), data.end());
  file.insert(file.end(), {0x00, 0x3B});
  struct Source {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at = 0;
  } source{&file};
  int error = 0;
  GifFileType* gif = DGifOpen(
      &source,
      [](GifFileType* g, GifByteType* to, int n) {
        auto* src = static_cast<Source*>(g->UserData);
        const std::size_t k = std::min(static_cast<std::size_t>(n), src->bytes->size() - src->at);
        std::memcpy(to, src->bytes->data() + src->at, k);
        src->at += k;
        return static_cast<int>(k);
      },
      &error);
  std::vector<std::uint8_t> pixels;
  if (gif == nullptr) return pixels;
  if (DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1) {
    const GifByteType* raster = gif->SavedImages[0].RasterBits;
    pixels.assign(raster, raster + static_cast<std::size_t>(width) * height);
  }
  DGifCloseFile(gif, nullptr);
  return pixels;
}

// The optimiser's encodings: tables kept full to the end or while they do
// well, and strings that pick one of two values per pixel, over frames
// that fill the table many times.
TEST(WriterGiflib, KeptTablesAndChosenValuesDecode) {
  std::mt19937 rng(7);
  constexpr std::int32_t kWidth = 320;
  constexpr std::int32_t kHeight = 240;
  constexpr std::size_t kCount = std::size_t{kWidth} * kHeight;
  LZWEncoder encoder;
  for (const std::int32_t bits : {1, 4, 8}) {
    for (const bool noise : {false, true}) {
      std::vector<std::uint16_t> codes(kCount);
      std::vector<std::uint8_t> first(kCount);
      std::vector<std::uint8_t> second(kCount);
      const auto values = static_cast<std::uint32_t>(1 << bits);
      for (std::size_t i = 0; i < kCount;) {
        const auto v = static_cast<std::uint16_t>(rng() % values);
        for (std::size_t r = noise ? 1 : 1 + rng() % 30; r > 0 && i < kCount; --r, ++i) {
          codes[i] = v;
          first[i] = static_cast<std::uint8_t>(v);
          second[i] = rng() % 3 == 0 ? static_cast<std::uint8_t>(rng() % values) : first[i];
        }
      }
      std::vector<std::uint8_t> lookup(65536);
      for (std::size_t c = 0; c < lookup.size(); ++c) lookup[c] = static_cast<std::uint8_t>(c);
      for (const Clearing clearing : {Clearing::WhenFull, Clearing::WhenWorse, Clearing::Never}) {
        SCOPED_TRACE("bits " + std::to_string(bits) + (noise ? " noise" : " runs") + " clearing " +
                     std::to_string(static_cast<int>(clearing)));
        std::vector<std::uint8_t> data;
        std::int32_t codeSize = bits;
        encoder.encode(codes.data(), lookup.data(), kCount, codeSize, data, clearing);
        EXPECT_EQ(decodeImageData(data, kWidth, kHeight, bits), first);
        data.clear();
        codeSize = bits;
        encoder.encodeChoosing(first.data(), second.data(), kCount, codeSize, data, clearing);
        const std::vector<std::uint8_t> chosen = decodeImageData(data, kWidth, kHeight, bits);
        ASSERT_EQ(chosen.size(), kCount);
        for (std::size_t i = 0; i < kCount; ++i) {
          ASSERT_TRUE(chosen[i] == first[i] || chosen[i] == second[i]) << "pixel " << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace gifjoin
