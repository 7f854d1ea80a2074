// Runs of the real binary with -O on series written by giflib, judged the
// way a viewer sees the animation: every frame, composed over the frames
// before it, must look exactly as its own file does alone, with the delay
// asked for, and the optimised file must not be larger than the plain join.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/compose.h"
#include "support/run_tool.h"

namespace gifjoin {
namespace {

using testing::ScratchDir;

// One input file: a single image with a global colour table.
struct Picture {
  std::vector<GifColorType> palette;  // 2, 4, ..., 256 entries
  std::vector<GifByteType> pixels;
  int transparent = -1;
};

struct Series {
  int width, height;
  std::vector<Picture> files;
};

// Distinct colours; `salt` gives another set.
std::vector<GifColorType> colours(int entries, int salt) {
  std::vector<GifColorType> out;
  for (int i = 0; i < entries; ++i) {
    out.push_back({static_cast<GifByteType>(i + salt), static_cast<GifByteType>(255 - i),
                   static_cast<GifByteType>(i * 5 + salt)});
  }
  return out;
}

// Runs of random colours below `used` (all of the palette by default), as a
// picture with some texture has them.
Picture backdrop(int width, int height, int entries, unsigned seed, int used = 0) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> colour(0, (used > 0 ? used : entries) - 1);
  std::uniform_int_distribution<int> run(1, 12);
  Picture p{colours(entries, 0),
            std::vector<GifByteType>(static_cast<std::size_t>(width * height))};
  for (std::size_t i = 0; i < p.pixels.size();) {
    const auto value = static_cast<GifByteType>(colour(random));
    for (int n = run(random); n > 0 && i < p.pixels.size(); --n) p.pixels[i++] = value;
  }
  return p;
}

Picture box(Picture p, int width, int x, int y, int w, int h, int index) {
  const int height = static_cast<int>(p.pixels.size()) / width;
  for (int row = std::max(y, 0); row < std::min(y + h, height); ++row) {
    for (int col = std::max(x, 0); col < std::min(x + w, width); ++col) {
      p.pixels[static_cast<std::size_t>(row * width + col)] = static_cast<GifByteType>(index);
    }
  }
  return p;
}

// `count` files of `back` with a w x h box of `index` that starts at (x, y)
// and moves by (dx, dy) from one file to the next.
std::vector<Picture> movingBox(const Picture& back, int width, int count, int x, int y, int dx,
                               int dy, int w, int h, int index) {
  std::vector<Picture> files;
  for (int k = 0; k < count; ++k)
    files.push_back(box(back, width, x + dx * k, y + dy * k, w, h, index));
  return files;
}

// The same look with the palette in another order.
Picture reordered(const Picture& p, unsigned seed) {
  std::vector<int> to(p.palette.size());
  std::iota(to.begin(), to.end(), 0);
  std::shuffle(to.begin(), to.end(), std::mt19937(seed));
  Picture out = p;
  for (std::size_t i = 0; i < to.size(); ++i)
    out.palette[static_cast<std::size_t>(to[i])] = p.palette[i];
  for (GifByteType& v : out.pixels) v = static_cast<GifByteType>(to[v]);
  if (p.transparent >= 0) out.transparent = to[static_cast<std::size_t>(p.transparent)];
  return out;
}

void write(const std::string& path, int width, int height, const Picture& p) {
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  ASSERT_NE(gif, nullptr) << GifErrorString(error);
  EGifSetGifVersion(gif, true);
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(p.palette.size()), p.palette.data());
  ASSERT_EQ(EGifPutScreenDesc(gif, width, height, 8, 0, map), GIF_OK);
  GifFreeMapObject(map);
  if (p.transparent >= 0) {
    GraphicsControlBlock control{};
    control.TransparentColor = p.transparent;
    GifByteType bytes[4];
    const int n = static_cast<int>(EGifGCBToExtension(&control, bytes));
    ASSERT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, n, bytes), GIF_OK);
  }
  ASSERT_EQ(EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr), GIF_OK);
  ASSERT_EQ(EGifPutLine(gif, const_cast<GifByteType*>(p.pixels.data()), width * height), GIF_OK);
  ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK);
}

struct Sizes {
  std::size_t optimized = 0, plain = 0;
  std::vector<std::uint8_t> optimizedFile;
};

// Joins the series with and without -O (and `options`): both animations
// must show every file as it looks alone, each frame for `delay`.
Sizes expectSameLook(const Series& s, const std::string& options = "", int delay = 30) {
  ScratchDir dir("optimize");
  const std::string last = std::to_string(s.files.size());
  std::vector<testing::Rgba> alone;
  for (std::size_t k = 0; k < s.files.size(); ++k) {
    const std::string name = dir.file("f_" + std::to_string(k + 1) + ".gif");
    write(name, s.width, s.height, s.files[k]);
    const testing::GifPtr input = testing::decodeGif(testing::readFile(name));
    if (input == nullptr) {
      ADD_FAILURE() << "giflib cannot read back " << name;
      return {};
    }
    alone.push_back(testing::renderAlone(input.get()));
  }
  Sizes sizes;
  for (const bool optimize : {true, false}) {
    SCOPED_TRACE(optimize ? "with -O" : "without -O");
    const std::string out = optimize ? "optimized.gif" : "plain.gif";
    const auto run = testing::runTool(
        dir, "", (optimize ? "-O " : "") + options + " -q -o " + out + " -p f_%d.gif 1 " + last,
        true);
    EXPECT_EQ(run.status, 0) << run.out;
    const auto bytes = testing::readFile(dir.file(out));
    (optimize ? sizes.optimized : sizes.plain) = bytes.size();
    if (optimize) sizes.optimizedFile = bytes;
    const testing::GifPtr gif = testing::decodeGif(bytes);
    if (gif == nullptr) {
      ADD_FAILURE() << "giflib cannot read " << out;
      continue;
    }
    const testing::Animation shown = testing::compose(gif.get());
    EXPECT_EQ(shown.frames.size(), s.files.size());
    for (std::size_t k = 0; k < std::min(shown.frames.size(), s.files.size()); ++k) {
      EXPECT_EQ(testing::firstDifference(shown.frames[k], alone[k]), -1) << "frame " << k + 1;
      EXPECT_EQ(shown.delays[k], delay) << "frame " << k + 1;
    }
  }
  EXPECT_LE(sizes.optimized, sizes.plain);
  return sizes;
}

TEST(OptimizeInterop, EveryFrameKeepsItsColoursWhateverThePalettes) {
  constexpr int W = 96, H = 72;
  {
    SCOPED_TRACE("one shared palette");
    const Picture back = backdrop(W, H, 16, 1);
    expectSameLook({W, H, movingBox(back, W, 5, 5, 4, 9, 6, 14, 10, 3)});
  }
  {
    SCOPED_TRACE("a palette of its own per file");
    const Picture back = backdrop(W, H, 16, 2);
    Picture other = box(back, W, 30, 20, 20, 20, 7);
    other.palette = colours(16, 40);
    Picture fewer = backdrop(W, H, 4, 3);
    fewer.palette = colours(4, 90);
    expectSameLook({W,
                    H,
                    {back, reordered(box(back, W, 10, 10, 8, 8, 1), 5), other,
                     reordered(box(back, W, 40, 30, 8, 8, 1), 6), fewer, reordered(back, 7)}});
  }
  {
    SCOPED_TRACE("two colours");
    const Picture back = backdrop(W, H, 2, 4);
    expectSameLook({W,
                    H,
                    {box(back, W, 0, 0, 10, 10, 1), box(back, W, 6, 3, 10, 10, 0),
                     box(back, W, 50, 40, 30, 30, 1)}});
  }
  {
    SCOPED_TRACE("every one of 256 colours used, then small changes");
    Picture full = backdrop(W, H, 256, 5);
    std::iota(full.pixels.begin(), full.pixels.begin() + 256, 0);
    Picture second = box(full, W, 40, 30, 4, 3, 17);
    Picture third = box(second, W, 90, 70, 6, 2, 200);
    Picture fourth = third;
    fourth.pixels[W * 50 + 20] ^= 0x55;
    expectSameLook({W, H, {full, second, third, fourth}});
  }
}

TEST(OptimizeInterop, UnchangedColoursAddedToAFramesOwnTableShowThemselves) {
  // Found by fuzz_optimize: a frame written with a table of its own colours
  // and a transparent index draws unchanged pixels of other colours from
  // the table's padding; with two or more of them, each must show its own
  // colour, not the next one's. Files as Pillow writes them (a table each,
  // the second differing from the first in a few dark greys), and a third of
  // other colours, so that the series needs more than one table.
  constexpr int W = 8, H = 16;
  Picture first{colours(32, 0), std::vector<GifByteType>(W * H)};
  for (std::size_t i = 0; i < first.pixels.size(); ++i)
    first.pixels[i] = static_cast<GifByteType>(i % 32);
  Picture second = first;
  for (int i = 0; i < 12; ++i) {
    const auto grey = static_cast<GifByteType>(4 * i);
    second.palette[static_cast<std::size_t>((3 * i + 3) % 32)] = {grey, grey, grey};
  }
  Picture third{colours(256, 128), std::vector<GifByteType>(W * H)};
  for (std::size_t i = 0; i < third.pixels.size(); ++i)
    third.pixels[i] = static_cast<GifByteType>(i * 7);
  expectSameLook({W, H, {first, second, third}});
}

TEST(OptimizeInterop, PaletteSharedByMostFilesServesAsTheGlobalTable) {
  // The first file's colours and the others' do not fit in one table: the
  // table the later files share is global, and only the first frame needs
  // a table of its own.
  constexpr int W = 64, H = 48;
  Picture first = backdrop(W, H, 128, 20);
  first.palette = colours(128, 3);
  const Picture back = backdrop(W, H, 256, 21);
  Series s{W, H, {first}};
  for (Picture& p : movingBox(back, W, 4, 4, 6, 11, 7, 6, 6, 200)) s.files.push_back(std::move(p));
  const Sizes sizes = expectSameLook(s);
  const testing::GifPtr gif = testing::decodeGif(sizes.optimizedFile);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(gif->ImageCount, 5);
  EXPECT_NE(gif->SavedImages[0].ImageDesc.ColorMap, nullptr);
  for (int k = 1; k < 5; ++k) EXPECT_EQ(gif->SavedImages[k].ImageDesc.ColorMap, nullptr) << k;
}

TEST(OptimizeInterop, TransparentPixelsShowNothingOfTheFramesBefore) {
  constexpr int W = 80, H = 64;
  {
    SCOPED_TRACE("a sprite moving on a transparent screen");
    Picture clear{colours(8, 0), std::vector<GifByteType>(W * H, 0), 0};
    Series s{W, H, {}};
    for (int k = 0; k < 6; ++k) {
      s.files.push_back(box(box(clear, W, 4 + 9 * k, 3 + 5 * k, 16, 12, 1 + k % 7), W, 8 + 9 * k,
                            6 + 5 * k, 6, 5, 7));
    }
    expectSameLook(s);
  }
  {
    SCOPED_TRACE("a transparent hole moving in an opaque picture");
    Picture back = backdrop(W, H, 16, 8, 15);
    back.transparent = 15;
    expectSameLook({W, H, movingBox(back, W, 5, 3, 2, 11, 7, 20, 14, 15)});
  }
  {
    SCOPED_TRACE("transparency in the first file only");
    const Picture back = backdrop(W, H, 16, 9);
    Picture first = box(back, W, 10, 10, 30, 20, 2);
    first.transparent = 2;
    expectSameLook({W, H, {first, back, box(back, W, 12, 12, 5, 5, 2), back}});
  }
  {
    SCOPED_TRACE("transparency in later files only");
    const Picture back = backdrop(W, H, 16, 10);
    Picture third = box(back, W, 20, 20, 25, 15, 1);
    third.transparent = 1;
    Picture fifth = reordered(box(back, W, 0, 40, 80, 10, 9), 11);
    fifth.transparent = fifth.pixels[W * 45];
    expectSameLook({W, H, {back, box(back, W, 5, 5, 4, 4, 0), third, back, fifth}});
  }
}

TEST(OptimizeInterop, RepeatedStillAndWholeNewFramesAllStay) {
  constexpr int W = 64, H = 48;
  const Picture back = backdrop(W, H, 32, 12);
  const Picture changed = box(back, W, 20, 10, 9, 9, 4);
  Picture other = backdrop(W, H, 32, 13);
  other.palette = colours(32, 77);
  // Repeated bytes, the same look in other bytes, every pixel new, and a
  // repeat at the end.
  expectSameLook({W, H, {back, back, reordered(back, 14), other, changed, changed}}, "-d 7", 7);
  expectSameLook({W, H, {changed}});
}

TEST(OptimizeInterop, DotMovingOnAStillPictureMakesASmallFile) {
  constexpr int W = 200, H = 150;
  const Picture back = backdrop(W, H, 64, 15);
  const Sizes sizes = expectSameLook({W, H, movingBox(back, W, 10, 10, 8, 17, 13, 4, 4, 63)});
  EXPECT_LT(sizes.optimized * 3, sizes.plain)
      << "optimized " << sizes.optimized << " bytes, plain " << sizes.plain;
}

TEST(OptimizeInterop, SmallRandomSeriesAreExactAndNeverLargerThanThePlainJoin) {
  // Tiny series where the optimiser's overheads weigh most: palettes of
  // 2 to 256 random colours (dark ones close together), a box repainted
  // from one file to the next, a transparent colour in half the files.
  std::mt19937 random(2026);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  for (int series = 0; series < 60; ++series) {
    SCOPED_TRACE("series " + std::to_string(series));
    const int w = 1 + pick(30), h = 1 + pick(30);
    const int entries = std::array<int, 4>{2, 4, 16, 256}[static_cast<std::size_t>(pick(4))];
    Picture back = backdrop(w, h, entries, static_cast<unsigned>(series));
    for (GifColorType& c : back.palette) {
      const auto dark = static_cast<GifByteType>(pick(8));
      c = pick(2) != 0 ? GifColorType{dark, dark, dark}
                       : GifColorType{static_cast<GifByteType>(pick(256)),
                                      static_cast<GifByteType>(pick(256)),
                                      static_cast<GifByteType>(pick(256))};
    }
    if (pick(2) == 0) back.transparent = pick(entries);
    Series s{w, h, {back}};
    for (int k = pick(3); k > 0; --k) {
      Picture next = box(s.files.back(), w, pick(w), pick(h), 3, 3, pick(entries));
      next.transparent = pick(2) == 0 ? pick(entries) : -1;
      s.files.push_back(std::move(next));
    }
    expectSameLook(s);
  }
}

TEST(OptimizeInterop, GlobalTableHoldsOnlyTheColoursTheFramesDraw) {
  // A 256-entry palette shared by every file, of which a few entries are
  // used (Pillow and others write such files): the global table keeps
  // those, not the unused rest.
  constexpr int W = 64, H = 48;
  const Picture back = backdrop(W, H, 256, 22, 6);
  const Sizes sizes = expectSameLook({W, H, movingBox(back, W, 4, 2, 2, 9, 6, 8, 8, 7)});
  const testing::GifPtr gif = testing::decodeGif(sizes.optimizedFile);
  ASSERT_NE(gif, nullptr);
  ASSERT_NE(gif->SColorMap, nullptr);
  EXPECT_LE(gif->SColorMap->ColorCount, 8);
  for (int k = 1; k < gif->ImageCount; ++k) {
    EXPECT_EQ(gif->SavedImages[k].ImageDesc.ColorMap, nullptr) << k;
  }
}

}  // namespace
}  // namespace gifjoin
