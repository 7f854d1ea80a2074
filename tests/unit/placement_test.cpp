// Placement: a file's layout from its first bytes, the frames composed (the
// transparent index and fill colours found room for in the file's table, or
// the fallbacks when there is none), pieces drawn over one another with
// their disposal; and the command-line options that ask for them. Where
// pictures go and what shows around them is judged end to end by
// tests/interop/placement_render_test.cpp.
#include "gif/placement.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "app/cli.h"

namespace gifjoin {
namespace {

ColourKey rgbKey(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return kOpaqueBits | ColourKey{b} << 16 | ColourKey{g} << 8 | r;
}

// What a composed frame shows at (x, y).
ColourKey at(const Frame8& frame, const FrameColours& colours, int x, int y) {
  const std::uint8_t v = frame.data()[y * frame.width + x];
  if (v == colours.transparentColorIndex) return kTransparentKey;
  return v * 3 + 2 < static_cast<int>(colours.rgb.size())
             ? rgbKey(colours.rgb[v * 3], colours.rgb[v * 3 + 1], colours.rgb[v * 3 + 2])
             : kOpaqueBits;
}

Frame8 image(int width, int height, const std::vector<std::uint8_t>& values) {
  Frame8 f;
  f.present = true;
  f.width = width;
  f.height = height;
  EXPECT_TRUE(f.reserve(values.size()));
  std::memcpy(f.data(), values.data(), values.size());
  f.written = values.size();
  return f;
}

FrameColours greys(int entries, int transparent = -1) {
  FrameColours c;
  for (int i = 0; i < entries; ++i) c.rgb.insert(c.rgb.end(), 3, static_cast<std::uint8_t>(i));
  c.transparentColorIndex = transparent;
  return c;
}

TEST(Placement, LayoutComesFromTheFirstImageAndItsGraphicControl) {
  const std::vector<std::uint8_t> gif = {
      'G',  'I',  'F', '8',  '9', 'a', 100, 0,  50, 0, 0x80, 0, 0,  // screen 100x50, 2-entry table
      0,    0,    0,   255,  255, 255,                              // global table
      0x21, 0xF9, 4,   0x09, 0,   0,   1,   0,                      // disposal 2, transparent 1
      0x2C, 10,   0,   5,    0,   30,  0,   20, 0,  0};             // 30x20 at (10, 5)
  FileLayout layout;
  EXPECT_EQ(scanLayout(std::span(gif).first(20), layout), LayoutScan::NeedMore);
  ASSERT_EQ(scanLayout(gif, layout), LayoutScan::Found);
  EXPECT_EQ(layout.screenWidth, 100);
  EXPECT_EQ(layout.screenHeight, 50);
  EXPECT_EQ(layout.left, 10);
  EXPECT_EQ(layout.top, 5);
  EXPECT_EQ(layout.width, 30);
  EXPECT_EQ(layout.height, 20);
  EXPECT_EQ(layout.transparent, 1);
  EXPECT_EQ(layout.disposal, 2);
}

TEST(Placement, TransparencyAndFillColoursFindRoomInTheTable) {
  PlacementOptions options;
  options.fill = PlacementOptions::Fill::Transparent;
  Composer composer(options, 3, 1, false);
  const FileLayout layout{1, 1, 0, 0, 1, 1};
  // An entry no pixel uses serves for "nothing" as it is.
  FrameColours colours = greys(2);
  Frame8 out;
  composer.compose(image(1, 1, {1}), layout, colours, out);
  EXPECT_EQ(colours.rgb, greys(2).rgb);
  EXPECT_EQ(colours.transparentColorIndex, 0);
  EXPECT_EQ(at(out, colours, 0, 0), kTransparentKey);
  EXPECT_EQ(at(out, colours, 1, 0), rgbKey(1, 1, 1));
  // Every entry in use, but room in the table: it grows by one.
  colours = greys(2);
  composer.compose(image(2, 1, {0, 1}), FileLayout{2, 1, 0, 0, 2, 1}, colours, out);
  EXPECT_EQ(colours.transparentColorIndex, 2);
  EXPECT_EQ(colours.rgb.size(), 9U);
  EXPECT_EQ(at(out, colours, 2, 0), kTransparentKey);
  // A full table: an entry no pixel uses serves.
  colours = greys(256);
  composer.compose(image(1, 1, {0}), layout, colours, out);
  EXPECT_EQ(colours.rgb.size(), 768U);
  EXPECT_EQ(colours.transparentColorIndex, 1);
  // A colour fill the table lacks takes a free entry too.
  options.fill = PlacementOptions::Fill::Colour;
  options.colour = rgbKey(255, 0, 255);
  Composer coloured(options, 3, 1, false);
  colours = greys(256);
  coloured.compose(image(1, 1, {7}), layout, colours, out);
  EXPECT_EQ(at(out, colours, 0, 0), rgbKey(255, 0, 255));
  EXPECT_EQ(at(out, colours, 1, 0), rgbKey(7, 7, 7));
  EXPECT_EQ(coloured.notes().nearestColours, 0);
}

TEST(Placement, AFullTableInUseFallsBackAndSaysSo) {
  PlacementOptions options;
  options.fill = PlacementOptions::Fill::Transparent;
  Composer composer(options, 257, 1, false);
  std::vector<std::uint8_t> all(256);
  for (int v = 0; v < 256; ++v) all[v] = static_cast<std::uint8_t>(v);
  FrameColours colours = greys(256);
  Frame8 out;
  composer.compose(image(256, 1, all), FileLayout{256, 1, 0, 0, 256, 1}, colours, out);
  EXPECT_EQ(composer.notes().opaqueNothing, 1);
  EXPECT_EQ(at(out, colours, 256, 0), rgbKey(0, 0, 0));  // the image's top-left colour
  for (int x = 0; x < 256; ++x) EXPECT_EQ(at(out, colours, x, 0), rgbKey(x, x, x));
}

TEST(Placement, PiecesAreDrawnOverTheFramesBeforeWithTheirDisposal) {
  // (The Pillow-made pieces of the render tests clear to background.)
  Composer composer(PlacementOptions{}, 3, 1, true);
  Frame8 out;
  FrameColours colours = greys(4, 0);
  // The whole screen; a piece at x = 1 that restores what was there when it
  // goes (disposal 3); one at x = 2 whose transparent pixel keeps the canvas.
  composer.compose(image(3, 1, {1, 1, 1}), FileLayout{3, 1, 0, 0, 3, 1, 0, 0}, colours, out);
  colours = greys(4, 0);
  composer.compose(image(1, 1, {2}), FileLayout{3, 1, 1, 0, 1, 1, 0, 3}, colours, out);
  EXPECT_EQ(at(out, colours, 0, 0), rgbKey(1, 1, 1));
  EXPECT_EQ(at(out, colours, 1, 0), rgbKey(2, 2, 2));
  colours = greys(4, 0);
  composer.compose(image(1, 1, {0}), FileLayout{3, 1, 2, 0, 1, 1, 0, 0}, colours, out);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(at(out, colours, x, 0), rgbKey(1, 1, 1)) << x;
}

CommandLine parse(std::initializer_list<std::string_view> args) {
  const std::vector<std::string_view> list(args);
  return parseCommandLine(list);
}

TEST(Placement, CommandLineOptions) {
  CommandLine c = parse(
      {"--any-size", "--canvas=20x10", "--align=bottom-left", "--fill=#0a0B0c", "walk", "1", "3"});
  ASSERT_EQ(c.action, CommandLine::Action::Join) << c.error;
  EXPECT_EQ(c.request.frames, JoinRequest::Frames::AnySize);
  EXPECT_EQ(c.request.placement.canvas, PlacementOptions::Canvas::Fixed);
  EXPECT_EQ(c.request.placement.width, 20);
  EXPECT_EQ(c.request.placement.height, 10);
  EXPECT_EQ(c.request.placement.horizontal, Edge::Start);
  EXPECT_EQ(c.request.placement.vertical, Edge::End);
  EXPECT_EQ(c.request.placement.colour, rgbKey(10, 11, 12));
  EXPECT_EQ(c.request.timing, JoinRequest::Timing::Fixed);
  // Pieces keep each file's delay unless a timing option is given.
  EXPECT_EQ(parse({"--pieces", "walk", "1", "3"}).request.timing, JoinRequest::Timing::FileDelays);
  EXPECT_EQ(parse({"--pieces", "-d", "5", "walk", "1", "3"}).request.timing,
            JoinRequest::Timing::Fixed);
  EXPECT_EQ(parse({"--any-size", "--pieces", "w", "1", "2"}).error,
            "the options '--any-size' and '--pieces' exclude one another");
  EXPECT_EQ(parse({"--fill=corner", "w", "1", "2"}).error,
            "option '--fill' is for --any-size and --pieces");
  EXPECT_EQ(parse({"--any-size", "--align=middle", "w", "1", "2"}).action,
            CommandLine::Action::Error);
}

}  // namespace
}  // namespace gifjoin
