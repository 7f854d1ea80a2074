// Our reader against giflib: files written by giflib's encoder (every
// minimum code size from 2 to 8, sequential and interlaced images, local
// colour tables, several images per file, every kind of extension, sizes
// from 1x1 to 1000x1000) and files from our own test encoder that fill the
// table and keep it frozen; every pixel we store must equal DGifSlurp's.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "general/console.h"
#include "general/units.h"
#include "gif/read.h"
#include "support/console_capture.h"
#include "support/gif_bytes.h"
#include "support/gif_io.h"
#include "support/units_probe.h"

namespace gifjoin {
namespace {

using testing::ConsoleCapture;
using testing::TempFile;

struct ExtensionPlan {
  int code;
  std::vector<std::vector<GifByteType>> blocks;
};

struct ImagePlan {
  int width;
  int height;
  bool interlaced = false;
  int localBits = 0;  // 0: no local colour table
  std::vector<GifByteType> pixels;
  std::vector<ExtensionPlan> before;  // extension blocks ahead of the image
};

struct FilePlan {
  int width;
  int height;
  int globalBits = 8;  // 0: no global colour table
  std::vector<ImagePlan> images;
  std::vector<ExtensionPlan> trailing;  // extension blocks after the last image
};

std::vector<GifColorType> paletteOf(int bits, int salt) {
  std::vector<GifColorType> colors(static_cast<std::size_t>(1 << bits));
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const int v = static_cast<int>(i);
    colors[i] = {static_cast<GifByteType>(v * 5 + salt), static_cast<GifByteType>(255 - v),
                 static_cast<GifByteType>(v * 13 + salt * 3)};
  }
  return colors;
}

void putExtension(GifFileType* gif, const ExtensionPlan& extension) {
  ASSERT_EQ(EGifPutExtensionLeader(gif, extension.code), GIF_OK);
  for (const auto& block : extension.blocks) {
    ASSERT_EQ(EGifPutExtensionBlock(gif, static_cast<int>(block.size()), block.data()), GIF_OK);
  }
  ASSERT_EQ(EGifPutExtensionTrailer(gif), GIF_OK);
}

void writeWithGiflib(const std::string& path, const FilePlan& plan) {
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  ASSERT_NE(gif, nullptr) << GifErrorString(error);
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = nullptr;
  if (plan.globalBits > 0) {
    std::vector<GifColorType> colors = paletteOf(plan.globalBits, 0);
    global = GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
  }
  ASSERT_EQ(EGifPutScreenDesc(gif, plan.width, plan.height, 8, 0, global), GIF_OK);
  GifFreeMapObject(global);
  int salt = 1;
  for (const ImagePlan& image : plan.images) {
    for (const ExtensionPlan& extension : image.before) putExtension(gif, extension);
    ColorMapObject* local = nullptr;
    if (image.localBits > 0) {
      std::vector<GifColorType> colors = paletteOf(image.localBits, salt++);
      local = GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
    }
    // giflib drops the previous image's local table without freeing it
    // when the next image has none; free it here.
    if (local == nullptr && gif->Image.ColorMap != nullptr) {
      GifFreeMapObject(gif->Image.ColorMap);
      gif->Image.ColorMap = nullptr;
    }
    ASSERT_EQ(EGifPutImageDesc(gif, 0, 0, image.width, image.height, image.interlaced, local),
              GIF_OK);
    GifFreeMapObject(local);
    std::vector<int> rows;
    if (image.interlaced) {
      static const int first[] = {0, 4, 2, 1};
      static const int step[] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int y = first[pass]; y < image.height; y += step[pass]) rows.push_back(y);
      }
    } else {
      for (int y = 0; y < image.height; ++y) rows.push_back(y);
    }
    for (int y : rows) {
      auto* line = const_cast<GifByteType*>(image.pixels.data()) +
                   static_cast<std::ptrdiff_t>(y) * image.width;
      ASSERT_EQ(EGifPutLine(gif, line, image.width), GIF_OK);
    }
  }
  for (const ExtensionPlan& extension : plan.trailing) putExtension(gif, extension);
  ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK) << GifErrorString(error);
}

struct GiflibFile {
  GifFileType* gif = nullptr;
  explicit GiflibFile(const std::string& path) {
    int error = 0;
    gif = DGifOpenFileName(path.c_str(), &error);
    if (gif != nullptr && DGifSlurp(gif) != GIF_OK) {
      DGifCloseFile(gif, &error);
      gif = nullptr;
    }
  }
  ~GiflibFile() {
    int error = 0;
    if (gif != nullptr) DGifCloseFile(gif, &error);
  }
  GiflibFile(const GiflibFile&) = delete;
  GiflibFile& operator=(const GiflibFile&) = delete;
};

struct GraphicControl {
  std::int32_t delay = 0;
  std::int32_t transparent = -1;
  std::int32_t disposal = 0;
  std::int32_t userInput = -1;
};

// What reading image `number` must leave in the record's graphic control
// fields, and the unknown-extension lines it writes: every extension block
// up to the next image separator (or the trailer) has been read.
void expectedFromExtensions(const FilePlan& plan, int number, GraphicControl& control,
                            std::string& console) {
  std::vector<const ExtensionPlan*> read;
  for (int i = 0; i < static_cast<int>(plan.images.size()) && i <= number; ++i) {
    for (const ExtensionPlan& e : plan.images[static_cast<std::size_t>(i)].before) {
      read.push_back(&e);
    }
  }
  if (number == static_cast<int>(plan.images.size())) {
    for (const ExtensionPlan& e : plan.trailing) read.push_back(&e);
  }
  for (const ExtensionPlan* e : read) {
    switch (e->code) {
      case GRAPHICS_EXT_FUNC_CODE: {
        const auto& b = e->blocks.front();
        control.userInput = 0;
        control.disposal = (b[0] >> 2) & 7;
        control.delay = b[1] + 256 * b[2];
        if ((b[0] & 1) != 0) control.transparent = b[3];
        break;
      }
      case COMMENT_EXT_FUNC_CODE:
      case APPLICATION_EXT_FUNC_CODE:
      case PLAINTEXT_EXT_FUNC_CODE:
        break;
      default:
        console += ListLine().text(" unknown extension ").integer(e->code).text(" label").str();
        console += '\n';
        break;
    }
  }
}

// Read every image of the file with one reader and compare with giflib.
void compareWithGiflib(const std::string& path, GifReader& reader, const FilePlan* plan) {
  GiflibFile reference(path);
  ASSERT_NE(reference.gif, nullptr) << "giflib cannot read " << path;
  GifFileType* gif = reference.gif;
  const ColorMapObject* colours = gif->SColorMap;
  for (int k = 1; k <= gif->ImageCount; ++k) {
    SCOPED_TRACE("image " + std::to_string(k));
    const SavedImage& saved = gif->SavedImages[k - 1];
    if (saved.ImageDesc.ColorMap != nullptr) colours = saved.ImageDesc.ColorMap;
    GIFImage image;
    std::int32_t status = 0;
    ConsoleCapture console;
    testing::readGif(image, reader, path, k, status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(testing::openUnitCount(), 0);
    ASSERT_TRUE(image.pixels.present());
    ASSERT_EQ(image.pixels.width(), saved.ImageDesc.Width);
    ASSERT_EQ(image.pixels.height(), saved.ImageDesc.Height);
    EXPECT_EQ(image.numFrames, 1);
    const std::size_t count = image.pixels.framePixels();
    const std::int32_t* ours = image.pixels.frame(1);
    std::size_t mismatches = 0;
    std::size_t first = count;
    for (std::size_t i = 0; i < count; ++i) {
      if (ours[i] != saved.RasterBits[i]) {
        if (first == count) first = i;
        ++mismatches;
      }
    }
    ASSERT_EQ(mismatches, 0U) << "first at pixel " << first << ": ours " << ours[first]
                              << ", giflib " << static_cast<int>(saved.RasterBits[first]);
    EXPECT_EQ(image.screenWidth, gif->SWidth);
    EXPECT_EQ(image.screenHeight, gif->SHeight);
    if (colours == nullptr) {
      EXPECT_FALSE(image.hasColormap());
    } else {
      ASSERT_EQ(image.numColors, colours->ColorCount);
      for (int i = 0; i < colours->ColorCount; ++i) {
        ASSERT_EQ(image.colormap(1, i), colours->Colors[i].Red);
        ASSERT_EQ(image.colormap(2, i), colours->Colors[i].Green);
        ASSERT_EQ(image.colormap(3, i), colours->Colors[i].Blue);
      }
    }
    if (plan != nullptr) {
      GraphicControl control;
      std::string lines;
      expectedFromExtensions(*plan, k, control, lines);
      EXPECT_EQ(image.delayTime, control.delay);
      EXPECT_EQ(image.transparentColorIndex, control.transparent);
      EXPECT_EQ(image.disposalMethod, control.disposal);
      EXPECT_EQ(image.userInputFlag, control.userInput);
      EXPECT_EQ(console.text(), lines);
    } else {
      EXPECT_EQ(console.text(), "");
    }
  }
}

enum class Pattern { Noise, Runs, Gradient, Stripes };

std::vector<GifByteType> makePixels(int width, int height, int bits, Pattern pattern,
                                    std::mt19937& random) {
  const int colours = 1 << bits;
  std::vector<GifByteType> pixels(static_cast<std::size_t>(width) * height);
  int run = 0;
  int value = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int v = 0;
      switch (pattern) {
        case Pattern::Noise:
          v = static_cast<int>(random() % static_cast<unsigned>(colours));
          break;
        case Pattern::Runs:
          if (run-- <= 0) {
            run = static_cast<int>(random() % 40);
            value = static_cast<int>(random() % static_cast<unsigned>(colours));
          }
          v = value;
          break;
        case Pattern::Gradient:
          v = (x / 3 + y / 2) % colours;
          break;
        case Pattern::Stripes:
          v = ((x / 8) ^ (y / 5)) % colours;
          break;
      }
      pixels[static_cast<std::size_t>(y) * width + x] = static_cast<GifByteType>(v);
    }
  }
  return pixels;
}

class ReaderGiflibTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(testing::openUnitCount(), 0); }
  GifReader reader_{testing::followingConsole()};
  std::mt19937 random_{4242};
};

TEST_F(ReaderGiflibTest, EveryMinimumCodeSizeSequentialAndInterlaced) {
  const int sizes[][2] = {{1, 1}, {2, 3}, {17, 5}, {100, 1}, {1, 100}, {63, 47}, {200, 150}};
  for (int bits = 1; bits <= 8; ++bits) {
    for (const auto& size : sizes) {
      for (bool interlaced : {false, true}) {
        SCOPED_TRACE("bits " + std::to_string(bits) + ", " + std::to_string(size[0]) + "x" +
                     std::to_string(size[1]) + (interlaced ? " interlaced" : ""));
        FilePlan plan{size[0], size[1], bits, {}, {}};
        const auto pattern = static_cast<Pattern>(random_() % 4);
        plan.images.push_back({size[0],
                               size[1],
                               interlaced,
                               0,
                               makePixels(size[0], size[1], bits, pattern, random_),
                               {}});
        TempFile file({});
        writeWithGiflib(file.path(), plan);
        compareWithGiflib(file.path(), reader_, &plan);
        if (HasFailure()) return;
      }
    }
  }
}

TEST_F(ReaderGiflibTest, SeveralImagesLocalTablesAndEveryExtension) {
  const ExtensionPlan control{GRAPHICS_EXT_FUNC_CODE, {{0x09, 30, 0, 7}}};
  const ExtensionPlan control2{GRAPHICS_EXT_FUNC_CODE, {{0x1C, 0x10, 0x02, 200}}};
  const ExtensionPlan comment{COMMENT_EXT_FUNC_CODE, {{'h', 'e', 'l', 'l', 'o'}, {'!'}}};
  const ExtensionPlan application{
      APPLICATION_EXT_FUNC_CODE,
      {{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}, {1, 0, 0}}};
  const ExtensionPlan plainText{PLAINTEXT_EXT_FUNC_CODE,
                                {std::vector<GifByteType>(12, 1), {'t', 'x', 't'}}};
  const ExtensionPlan unknown{0x42, {{1, 2, 3}, std::vector<GifByteType>(255, 9)}};

  FilePlan plan{120, 90, 8, {}, {unknown, control2}};
  plan.images.push_back({120,
                         90,
                         false,
                         0,
                         makePixels(120, 90, 8, Pattern::Runs, random_),
                         {comment, control, application}});
  plan.images.push_back(
      {60, 40, true, 4, makePixels(60, 40, 4, Pattern::Stripes, random_), {plainText, unknown}});
  plan.images.push_back({120, 90, false, 0, makePixels(120, 90, 8, Pattern::Noise, random_), {}});
  plan.images.push_back(
      {33, 77, true, 2, makePixels(33, 77, 2, Pattern::Gradient, random_), {control2}});
  plan.images.push_back(
      {1, 1, false, 1, makePixels(1, 1, 1, Pattern::Noise, random_), {comment, control}});
  TempFile file({});
  writeWithGiflib(file.path(), plan);
  compareWithGiflib(file.path(), reader_, &plan);
}

TEST_F(ReaderGiflibTest, LargeImagesThatFillTheTable) {
  const struct {
    int width;
    int height;
    int bits;
    Pattern pattern;
    bool interlaced;
  } cases[] = {{1000, 1000, 8, Pattern::Noise, false},
               {800, 600, 8, Pattern::Runs, true},
               {999, 333, 5, Pattern::Noise, true},
               {640, 480, 3, Pattern::Stripes, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    FilePlan plan{c.width, c.height, c.bits, {}, {}};
    plan.images.push_back({c.width,
                           c.height,
                           c.interlaced,
                           0,
                           makePixels(c.width, c.height, c.bits, c.pattern, random_),
                           {}});
    TempFile file({});
    writeWithGiflib(file.path(), plan);
    compareWithGiflib(file.path(), reader_, &plan);
  }
}

// Our own encoder: no clear code when the table is full, so it stays
// frozen at 4096 entries; sub-blocks of every size, down to one byte.
TEST_F(ReaderGiflibTest, FrozenTableWithoutClearCodes) {
  for (int bits = 2; bits <= 8; ++bits) {
    for (std::size_t chunk : {std::size_t{255}, std::size_t{1}, std::size_t{7}}) {
      SCOPED_TRACE("bits " + std::to_string(bits) + ", sub-blocks of " + std::to_string(chunk));
      const int width = 300;
      const int height = 200;
      const std::vector<GifByteType> pixels =
          makePixels(width, height, bits, bits % 2 == 0 ? Pattern::Noise : Pattern::Runs, random_);
      const std::vector<int> values(pixels.begin(), pixels.end());
      testing::LzwOptions frozen;
      frozen.clearWhenFull = false;
      testing::GifBytes bytes;
      bytes.header().screen(width, height, 0x80 | (bits - 1)).colorTable(1 << bits);
      bytes.imageDescriptor(width, height)
          .imageData(bits, testing::lzwEncode(values, bits, frozen), chunk)
          .trailer();
      TempFile file(bytes.bytes());
      compareWithGiflib(file.path(), reader_, nullptr);
      if (HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace gifjoin
