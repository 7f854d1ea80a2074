// --any-size and --pieces on the Pillow-made series of tests/data/placement
// (tests/tools/make_placement_cases.py), judged as a viewer sees them: the
// output, decoded with giflib and composed as browsers compose it, must
// show in every frame what the documented rule says, with and without -O.
// The rule is worked out here on its own: each file's picture is its
// screen (widened to hold its first image) with that image drawn at its
// offset; placed on the canvas; the fill around it. Pieces must show the
// frames of the animation they were cut from.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/compose.h"
#include "support/run_tool.h"

namespace gifjoin {
namespace {

using testing::Animation;
using testing::Rgba;
using testing::ScratchDir;

// The test data beside this file's folder, unless named otherwise.
std::filesystem::path dataDir() {
  const char* named = std::getenv("GIFJOIN_TEST_DATA");
  const std::filesystem::path data =
      named != nullptr && *named != '\0'
          ? std::filesystem::path(named)
          : std::filesystem::path(__FILE__).parent_path().parent_path() / "data";
  return data / "placement";
}

testing::GifPtr load(const std::string& path) {
  const std::vector<unsigned char> bytes = testing::readFile(path);
  return testing::decodeGif(bytes);
}

struct Picture {
  int width = 0, height = 0;
  Rgba rgba;
};

// The file alone, as a browser shows it.
Picture pictureOf(const std::string& path) {
  const testing::GifPtr gif = load(path);
  EXPECT_NE(gif, nullptr) << path;
  if (gif == nullptr) return {};
  const GifImageDesc& d = gif->SavedImages[0].ImageDesc;
  Picture p{std::max(gif->SWidth, d.Left + d.Width), std::max(gif->SHeight, d.Top + d.Height), {}};
  p.rgba.assign(static_cast<std::size_t>(p.width * p.height) * 4, 0);
  const int transparent = testing::controlOf(gif.get(), 0).TransparentColor;
  const ColorMapObject* map = testing::coloursOf(gif.get(), 0);
  for (int y = 0; y < d.Height; ++y) {
    for (int x = 0; x < d.Width; ++x) {
      const int index = gif->SavedImages[0].RasterBits[y * d.Width + x];
      const auto at = static_cast<std::size_t>((d.Top + y) * p.width + d.Left + x) * 4;
      if (index != transparent) testing::paint(&p.rgba[at], map, index);
    }
  }
  return p;
}

struct Rule {
  int canvasWidth = 0, canvasHeight = 0;  // 0: the largest picture's
  int horizontal = 1, vertical = 1;       // 0 start, 1 middle, 2 end
  enum { Corner, Transparent, Colour } fill = Corner;
  std::uint8_t colour[4] = {0, 0, 0, 255};
};

int offset(int canvas, int picture, int edge) {
  return edge == 0 ? 0 : edge == 2 ? canvas - picture : (canvas - picture) / 2;
}

// What each frame must show by the rule.
std::vector<Rgba> expected(const std::vector<std::string>& files, const Rule& rule, int& width,
                           int& height) {
  std::vector<Picture> pictures;
  for (const std::string& f : files) pictures.push_back(pictureOf(f));
  width = rule.canvasWidth, height = rule.canvasHeight;
  if (width == 0) {
    for (const Picture& p : pictures) {
      width = std::max(width, p.width);
      height = std::max(height, p.height);
    }
  }
  std::vector<Rgba> frames;
  for (const Picture& p : pictures) {
    std::uint8_t fill[4] = {0, 0, 0, 0};
    if (rule.fill == Rule::Corner) std::copy_n(p.rgba.data(), 4, fill);
    if (rule.fill == Rule::Colour) std::copy_n(rule.colour, 4, fill);
    if (fill[3] == 0) std::fill_n(fill, 4, 0);
    Rgba frame(static_cast<std::size_t>(width * height) * 4);
    for (std::size_t i = 0; i < frame.size(); i += 4) std::copy_n(fill, 4, &frame[i]);
    const int x0 = offset(width, p.width, rule.horizontal);
    const int y0 = offset(height, p.height, rule.vertical);
    for (int y = std::max(0, y0); y < std::min(height, y0 + p.height); ++y) {
      for (int x = std::max(0, x0); x < std::min(width, x0 + p.width); ++x) {
        const auto from = static_cast<std::size_t>((y - y0) * p.width + (x - x0)) * 4;
        std::copy_n(&p.rgba[from], 4, &frame[static_cast<std::size_t>(y * width + x) * 4]);
      }
    }
    frames.push_back(frame);
  }
  return frames;
}

// Colours of transparent pixels do not show.
Rgba shown(Rgba rgba) {
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    if (rgba[i + 3] == 0) std::fill_n(&rgba[i], 4, 0);
  }
  return rgba;
}

std::vector<std::string> series(const std::string& base, int n) {
  std::vector<std::string> names;
  for (int i = 1; i <= n; ++i) names.push_back(base + "_" + std::to_string(i) + ".gif");
  return names;
}

// Join `names` from the data folder with `args`; the composed output.
Animation join(const std::vector<std::string>& names, const std::string& args,
               std::string* messages = nullptr) {
  ScratchDir dir("placement");
  std::string files;
  for (const std::string& n : names) {
    std::filesystem::copy_file(dataDir() / n, dir.path() / n);
    files += " " + n;
  }
  const testing::ToolRun run =
      testing::runTool(dir, "", "-q " + args + " -f --as-given -o out.gif" + files, true);
  EXPECT_EQ(run.status, 0) << run.out;
  if (messages != nullptr) *messages = run.out;
  const testing::GifPtr gif = load(dir.file("out.gif"));
  EXPECT_NE(gif, nullptr);
  return gif != nullptr ? testing::compose(gif.get()) : Animation{};
}

void expectFrames(const Animation& got, const std::vector<Rgba>& want, int width, int height,
                  const std::string& what) {
  ASSERT_EQ(got.frames.size(), want.size()) << what;
  EXPECT_EQ(got.width, width) << what;
  EXPECT_EQ(got.height, height) << what;
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_EQ(testing::firstDifference(shown(got.frames[k]), shown(want[k])), -1)
        << what << ": frame " << k + 1;
  }
}

void check(const std::vector<std::string>& names, const std::string& args, const Rule& rule) {
  std::vector<std::string> paths;
  for (const std::string& n : names) paths.push_back((dataDir() / n).string());
  int width = 0, height = 0;
  const std::vector<Rgba> want = expected(paths, rule, width, height);
  expectFrames(join(names, "--any-size " + args), want, width, height, args);
  expectFrames(join(names, "-O --any-size " + args), want, width, height, "-O " + args);
}

TEST(PlacementRender, TightBoundingBoxPlotsLookRightWithTheDefaults) {
  // Canvas of the widest, each plot in the middle, white around it.
  check(series("tight", 4), "", Rule{});
}

TEST(PlacementRender, PicturesThatGrowAndShrink) {
  Rule colour;
  colour.fill = Rule::Colour;
  colour.colour[0] = 255, colour.colour[2] = 255;
  colour.horizontal = 2, colour.vertical = 2;
  check(series("grow", 5), "--fill=#FF00ff --align=bottom-right", colour);
}

TEST(PlacementRender, PicturesLargerThanAFixedCanvasAreCutAndTheRunSaysSo) {
  Rule fixed;
  fixed.canvasWidth = 50, fixed.canvasHeight = 33;
  fixed.horizontal = 0, fixed.vertical = 2;
  fixed.fill = Rule::Transparent;
  check(series("grow", 5), "--canvas=50x33 --align=bottom-left --fill=transparent", fixed);
  std::string messages;
  join(series("grow", 5), "--any-size --canvas=first", &messages);
  EXPECT_EQ(messages, "gifjoin: 3 pictures are larger than the canvas, 40x30, and cut to it\n");
}

TEST(PlacementRender, TrimmedPicturesKeepTheirPageOffsets) {
  check(series("trim", 4), "", Rule{});  // the corner shows nothing: transparent around
}

TEST(PlacementRender, PiecesOfAnOptimisedAnimationPlayItAgain) {
  const testing::GifPtr original = load((dataDir() / "anim.gif").string());
  ASSERT_NE(original, nullptr);
  const Animation want = testing::compose(original.get());
  for (const std::string args : {"--pieces", "--pieces -O"}) {
    const Animation got = join(series("piece", 6), args);
    expectFrames(got, want.frames, want.width, want.height, args);
    EXPECT_EQ(got.delays, want.delays) << args;  // each file's own delay
  }
}

}  // namespace
}  // namespace gifjoin
