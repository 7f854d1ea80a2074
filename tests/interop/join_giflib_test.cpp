// Whole runs of the real binary on series written by giflib, with the
// animation decoded again by giflib: frame count, every pixel, the delay on
// every frame and the looping block.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/run_tool.h"

namespace gifjoin {
namespace {

using testing::runTool;
using testing::ScratchDir;

struct Image {
  int width;
  int height;
  std::vector<GifByteType> pixels;
  bool interlaced = false;
};

std::vector<GifColorType> paletteOf(int entries, int salt) {
  std::vector<GifColorType> colors(static_cast<std::size_t>(entries));
  for (int i = 0; i < entries; ++i) {
    colors[static_cast<std::size_t>(i)] = {static_cast<GifByteType>(i * 3 + salt),
                                           static_cast<GifByteType>(255 - i),
                                           static_cast<GifByteType>(i * 11)};
  }
  return colors;
}

// Writes a GIF with giflib: screen = first image's size, one global table.
// `salt` shifts the palette's colours; `transparent` (when not negative)
// goes into a graphic control extension before every image.
void writeWithGiflib(const std::string& path, int entries, const std::vector<Image>& images,
                     int salt = 0, int transparent = -1) {
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  ASSERT_NE(gif, nullptr) << GifErrorString(error);
  EGifSetGifVersion(gif, true);
  std::vector<GifColorType> colors = paletteOf(entries, salt);
  ColorMapObject* map = GifMakeMapObject(entries, colors.data());
  ASSERT_EQ(EGifPutScreenDesc(gif, images[0].width, images[0].height, 8, 0, map), GIF_OK);
  for (const Image& image : images) {
    if (transparent >= 0) {
      GraphicsControlBlock gcb{};
      gcb.TransparentColor = transparent;
      GifByteType bytes[4];
      const size_t n = EGifGCBToExtension(&gcb, bytes);
      ASSERT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), bytes), GIF_OK);
    }
    ASSERT_EQ(EGifPutImageDesc(gif, 0, 0, image.width, image.height, image.interlaced, nullptr),
              GIF_OK);
    std::vector<int> rows;
    if (image.interlaced) {
      for (int pass = 0; pass < 4; ++pass) {
        static const int first[] = {0, 4, 2, 1};
        static const int step[] = {8, 8, 4, 2};
        for (int y = first[pass]; y < image.height; y += step[pass]) rows.push_back(y);
      }
    } else {
      for (int y = 0; y < image.height; ++y) rows.push_back(y);
    }
    for (int y : rows) {
      auto* line =
          const_cast<GifByteType*>(&image.pixels[static_cast<std::size_t>(y * image.width)]);
      ASSERT_EQ(EGifPutLine(gif, line, image.width), GIF_OK);
    }
  }
  GifFreeMapObject(map);
  ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK);
}

Image randomImage(int width, int height, int entries, std::mt19937& random,
                  bool interlaced = false) {
  Image image{width, height, std::vector<GifByteType>(static_cast<std::size_t>(width * height)),
              interlaced};
  std::uniform_int_distribution<int> colour(0, entries - 1);
  std::uniform_int_distribution<int> run(1, 12);
  std::size_t i = 0;
  while (i < image.pixels.size()) {
    const auto value = static_cast<GifByteType>(colour(random));
    for (int n = run(random); n > 0 && i < image.pixels.size(); --n) image.pixels[i++] = value;
  }
  return image;
}

struct Decoded {
  GifFileType* gif = nullptr;
  ~Decoded() {
    int error = 0;
    if (gif != nullptr) DGifCloseFile(gif, &error);
  }
};

void expectAnimation(const std::string& path, const std::vector<Image>& frames, int entries,
                     int delay, bool looping) {
  int error = 0;
  Decoded decoded;
  decoded.gif = DGifOpenFileName(path.c_str(), &error);
  ASSERT_NE(decoded.gif, nullptr) << GifErrorString(error);
  GifFileType* gif = decoded.gif;
  ASSERT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
  ASSERT_EQ(gif->ImageCount, static_cast<int>(frames.size()));
  EXPECT_EQ(gif->SWidth, frames[0].width);
  EXPECT_EQ(gif->SHeight, frames[0].height);
  ASSERT_NE(gif->SColorMap, nullptr);
  const std::vector<GifColorType> colors = paletteOf(entries, 0);
  for (int i = 0; i < entries; ++i) {
    EXPECT_EQ(gif->SColorMap->Colors[i].Red, colors[static_cast<std::size_t>(i)].Red);
    EXPECT_EQ(gif->SColorMap->Colors[i].Blue, colors[static_cast<std::size_t>(i)].Blue);
  }
  bool sawLoop = false;
  for (int k = 0; k < gif->ImageCount; ++k) {
    const SavedImage& image = gif->SavedImages[k];
    ASSERT_EQ(image.ImageDesc.Width, frames[0].width);
    ASSERT_EQ(image.ImageDesc.Height, frames[0].height);
    const auto& want = frames[static_cast<std::size_t>(k)].pixels;
    ASSERT_EQ(0, std::memcmp(image.RasterBits, want.data(), want.size())) << "frame " << k + 1;
    GraphicsControlBlock gcb;
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, k, &gcb), GIF_OK);
    EXPECT_EQ(gcb.DelayTime, delay);
    for (int e = 0; e < image.ExtensionBlockCount; ++e) {
      const ExtensionBlock& block = image.ExtensionBlocks[e];
      if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
          std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0) {
        sawLoop = true;
        const ExtensionBlock& data = image.ExtensionBlocks[e + 1];
        ASSERT_EQ(data.ByteCount, 3);
        EXPECT_EQ(data.Bytes[0], 1);
        EXPECT_EQ(data.Bytes[1], 0xFF);
        EXPECT_EQ(data.Bytes[2], 0xFF);
      }
    }
  }
  EXPECT_EQ(sawLoop, looping);
}

TEST(JoinInterop, SeriesOfGiflibFilesDecodesToTheSameFrames) {
  ScratchDir dir("join");
  std::mt19937 random(7);
  struct Setup {
    int width, height, entries, files;
  };
  for (const Setup& s :
       {Setup{37, 23, 256, 5}, Setup{1, 1, 2, 2}, Setup{160, 120, 16, 4}, Setup{5, 300, 64, 3}}) {
    std::vector<Image> frames;
    for (int i = 1; i <= s.files; ++i) {
      frames.push_back(randomImage(s.width, s.height, s.entries, random, i % 2 == 0));
      writeWithGiflib(dir.file("s_" + std::to_string(i) + ".gif"), s.entries, {frames.back()});
    }
    const auto run = runTool(dir, "s\n1\n" + std::to_string(s.files) + "\n");
    ASSERT_EQ(run.status, 0) << run.out;
    expectAnimation(dir.file("s_Animated.gif"), frames, s.entries, 30, s.files > 1);
  }
}

// Colours of every pixel of image k as giflib shows them, and the image's
// transparent colour index.
struct Shown {
  std::vector<GifColorType> rgb;
  int transparent = NO_TRANSPARENT_COLOR;
};

Shown shown(const std::string& path, int k) {
  int error = 0;
  Decoded decoded;
  decoded.gif = DGifOpenFileName(path.c_str(), &error);
  Shown out;
  if (decoded.gif == nullptr || DGifSlurp(decoded.gif) != GIF_OK || k >= decoded.gif->ImageCount) {
    return out;
  }
  const SavedImage& image = decoded.gif->SavedImages[k];
  const ColorMapObject* map =
      image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : decoded.gif->SColorMap;
  const auto count = static_cast<std::size_t>(image.ImageDesc.Width * image.ImageDesc.Height);
  for (std::size_t i = 0; i < count; ++i) out.rgb.push_back(map->Colors[image.RasterBits[i]]);
  GraphicsControlBlock gcb{};
  if (DGifSavedExtensionToGCB(decoded.gif, k, &gcb) == GIF_OK)
    out.transparent = gcb.TransparentColor;
  return out;
}

TEST(JoinInterop, EveryFrameShowsTheColoursAndTransparencyOfItsOwnFile) {
  ScratchDir dir("colours");
  std::mt19937 random(21);
  const struct {
    int entries, salt, transparent;
  } files[] = {{16, 0, -1}, {16, 90, 5}, {4, 0, -1}, {256, 7, 200}, {16, 0, -1}};
  for (std::size_t i = 0; i < std::size(files); ++i) {
    const Image image = randomImage(48, 20, files[i].entries, random, i == 3);
    writeWithGiflib(dir.file("c_" + std::to_string(i + 1) + ".gif"), files[i].entries, {image},
                    files[i].salt, files[i].transparent);
  }
  const auto run = runTool(dir, "c\n1\n" + std::to_string(std::size(files)) + "\n");
  ASSERT_EQ(run.status, 0) << run.out;
  for (std::size_t i = 0; i < std::size(files); ++i) {
    const Shown want = shown(dir.file("c_" + std::to_string(i + 1) + ".gif"), 0);
    const Shown have = shown(dir.file("c_Animated.gif"), static_cast<int>(i));
    ASSERT_EQ(have.rgb.size(), want.rgb.size()) << "frame " << i + 1;
    for (std::size_t p = 0; p < want.rgb.size(); ++p) {
      ASSERT_EQ(std::memcmp(&have.rgb[p], &want.rgb[p], sizeof(GifColorType)), 0)
          << "frame " << i + 1 << " pixel " << p;
    }
    EXPECT_EQ(have.transparent, want.transparent) << "frame " << i + 1;
  }
}

TEST(JoinInterop, LongSeriesOfFilesWithSeveralImagesLosesNoFrame) {
  // 150 files of three images each: every file must release its unit, or the
  // run would run out of units long before the end.
  ScratchDir dir("long");
  std::mt19937 random(11);
  std::vector<Image> frames;
  for (int i = 1; i <= 150; ++i) {
    std::vector<Image> images{randomImage(24, 16, 32, random), randomImage(24, 16, 32, random),
                              randomImage(24, 16, 32, random)};
    frames.push_back(images[0]);
    writeWithGiflib(dir.file("m_" + std::to_string(i) + ".gif"), 32, images);
  }
  const auto run = runTool(dir, "m\n1\n150\n");
  ASSERT_EQ(run.status, 0);
  expectAnimation(dir.file("m_Animated.gif"), frames, 32, 30, true);
}

}  // namespace
}  // namespace gifjoin
