// The streamed run against the run on whole records (every file read into
// a record, every frame appended, the record written at the end): the same
// console text, the same exit status and the same output bytes, on the
// series where the stream has edges of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>

#include "app/driver.h"
#include "general/console.h"
#include "general/text_field.h"
#include "general/units.h"
#include "gif/add_image.h"
#include "gif/read.h"
#include "gif/write.h"
#include "support/console_capture.h"
#include "support/gif_bytes.h"
#include "support/gif_io.h"
#include "support/run_tool.h"
#include "support/units_probe.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using testing::GifBytes;

std::vector<int> values(int width, int height, int seed, int colours) {
  std::vector<int> v(static_cast<std::size_t>(width * height));
  for (std::size_t i = 0; i < v.size(); ++i) {
    v[i] = static_cast<int>((i / 5 + i / static_cast<std::size_t>(width) * seed) % colours);
  }
  return v;
}

struct Look {
  int tableBits = 4;  // global table of 2^bits entries; 0: none
  int shade = 0;      // shifts the colours: another palette
  int transparent = -1;
  bool interlaced = false;
};

Bytes file(int width, int height, int seed, const Look& look = {}, int screenWidth = 0,
           int screenHeight = 0) {
  GifBytes g;
  const int entries = look.tableBits > 0 ? 1 << look.tableBits : 0;
  g.header().screen(screenWidth > 0 ? screenWidth : width, screenHeight > 0 ? screenHeight : height,
                    entries > 0 ? 0x80 | (look.tableBits - 1) : 0);
  for (int i = 0; i < entries; ++i) g.raw({(i * 16 + look.shade) & 0xFF, 255 - i, look.shade});
  if (look.transparent >= 0) g.graphicControl(1, 0, look.transparent);
  const int codeSize = std::max(2, look.tableBits);
  return g
      .image(width, height, values(width, height, seed, entries > 0 ? entries : 4), codeSize,
             look.interlaced ? 0x40 : 0)
      .trailer()
      .bytes();
}

Bytes cut(const Bytes& bytes, double share) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * share));
}

// The run as the tool made it before frames were streamed: on whole
// records, with the record's own operations.
int storedJoin(const JoinRequest& request) {
  GIFImage animation;
  GIFImage frameImage;
  const auto reader = std::make_unique<GifReader>(testing::followingConsole());
  std::int32_t status = 0;
  animation.reset();
  for (std::int64_t i = request.lowerIndex; i <= request.higherIndex; ++i) {
    const std::string name = seriesName(request.baseName, i);
    GIFImage& record = i == request.lowerIndex ? animation : frameImage;
    if (!testing::readGif(record, *reader, name, 1, status, 1)) return kExitNotWritten;
    if (i == request.lowerIndex || !frameImage.pixels.present()) continue;
    const FrameColours colours = coloursOf(frameImage);
    if (!testing::append(animation, frameImage.pixels.frame(1), frameImage.pixels.width(),
                         frameImage.pixels.height(), &colours)) {
      return kExitNotWritten;
    }
    frameImage.reset();
  }
  animation.setDelayTime(request.delay);
  const RunResult written = testing::writeGif(animation, animatedName(request.baseName));
  if (written.stopsRun()) return kExitNotWritten;
  writeLine(ListLine()
                .text("This should have written an animated Gif to:")
                .text(trimRight(animatedName(request.baseName)))
                .str());
  return written ? kExitWritten : kExitNotWritten;
}

struct Outcome {
  int status = 0;
  std::string console;
  Bytes output;
};

Outcome run(const std::string& base, bool streamed, std::int32_t lower, std::int32_t higher) {
  JoinRequest request;
  request.baseName = makeField(base);
  request.lowerIndex = lower;
  request.higherIndex = higher;
  Outcome outcome;
  {
    testing::ConsoleCapture console;
    outcome.status = streamed ? runJoin(request) : storedJoin(request);
    outcome.console = console.text();
  }
  const std::string out = std::string(trimRight(animatedName(request.baseName)));
  if (std::filesystem::exists(out)) {
    outcome.output = testing::readFile(out);
    std::filesystem::remove(out);
  }
  return outcome;
}

void expectSameRuns(const std::string& base, const std::map<int, Bytes>& files, int lower,
                    int higher) {
  for (const auto& [index, bytes] : files) {
    std::ofstream(base + "_" + std::to_string(index) + ".gif", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  const Outcome stored = run(base, false, lower, higher);
  const Outcome streamed = run(base, true, lower, higher);
  EXPECT_EQ(streamed.status, stored.status);
  EXPECT_EQ(streamed.console, stored.console);
  EXPECT_EQ(streamed.output, stored.output);
  EXPECT_EQ(testing::openUnitCount(), 0);
}

TEST(PipelineRun, StreamedRunEqualsTheRunOnWholeRecords) {
  const Look own{4, 40, 3, false};
  const Look interlaced{4, 0, -1, true};
  const struct {
    const char* what;
    std::map<int, Bytes> files;
    int lower = 1;
    int higher = 3;
  } cases[] = {
      {"shared colours", {{1, file(40, 30, 1)}, {2, file(40, 30, 2)}, {3, file(40, 30, 3)}}},
      {"own colours and transparency",
       {{1, file(40, 30, 1)}, {2, file(40, 30, 2, own)}, {3, file(40, 30, 3, {3, 9, -1})}}},
      {"first file missing", {{2, file(40, 30, 2)}, {3, file(40, 30, 3)}}},
      {"first file without colours", {{1, file(40, 30, 1, {0})}, {2, file(40, 30, 2)}}},
      {"first image cut short, further files own colours",
       {{1, cut(file(40, 30, 1), 0.7)}, {2, file(40, 30, 2, own)}, {3, file(40, 30, 3)}}},
      {"further frame refused, one cut short",
       {{1, file(40, 30, 1)}, {2, file(30, 40, 2)}, {3, cut(file(40, 30, 3), 0.6)}}},
      {"one frame only", {{1, file(40, 30, 1)}}, 1, 1},
      {"nothing to read", {{1, file(40, 30, 1)}}, 2, 1},
      {"image smaller than its screen",
       {{1, file(20, 10, 1, {}, 40, 30)}, {2, file(40, 30, 2)}, {3, file(40, 30, 3)}}},
      {"image larger than its screen", {{1, file(50, 35, 1, {}, 40, 30)}, {2, file(40, 30, 2)}}},
      {"interlaced, whole and cut short",
       {{1, file(40, 30, 1, interlaced)},
        {2, file(40, 30, 2, interlaced)},
        {3, cut(file(40, 30, 3, interlaced), 0.5)}}},
      {"further image above the pixel limit",
       {{1, file(40, 30, 1)},
        {2, GifBytes()
                .header()
                .screen(40000, 40000, 0x81)
                .colorTable(4)
                .imageDescriptor(40000, 40000)
                .imageData(2, testing::packCodes({{4, 3}, {5, 3}}))
                .trailer()
                .bytes()},
        {3, file(40, 30, 3)}}},
  };
  testing::ScratchDir dir("pipeline");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string base = dir.file("s");
    base += std::to_string(&c - cases);
    expectSameRuns(base, c.files, c.lower, c.higher);
  }
}

TEST(PipelineRun, DamagedSeriesGiveTheSameRunBothWays) {
  // Series of files with bytes changed at random: whatever the reader makes
  // of them, the streamed run must say and write what the run on whole
  // records does.
  const Bytes originals[] = {file(40, 30, 1), file(40, 30, 2, {3, 9, 2, true}),
                             file(40, 30, 3, {8, 5, -1, false})};
  std::mt19937 random(12);
  testing::ScratchDir dir("damaged");
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::map<int, Bytes> files;
    for (int i = 1; i <= 3; ++i) {
      Bytes bytes = originals[random() % 3];
      for (int n = 0; n < 3; ++n)
        bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
      if (random() % 4 == 0) bytes.resize(random() % bytes.size());
      files[i] = std::move(bytes);
    }
    expectSameRuns(dir.file("d"), files, 1, 3);
  }
}

}  // namespace
}  // namespace gifjoin
