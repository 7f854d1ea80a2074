// Reading past codes whose values are dropped (skipped images, surplus
// data): skipRest must read the same codes, write the same reports and
// leave the same state as calls of the decoder until a negative result,
// and a small file of long strings must not cost the time of all the
// values they stand for.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "gif/lzw_decoder.h"
#include "gif/read.h"
#include "support/console_capture.h"
#include "support/decoder_state.h"
#include "support/gif_io.h"
#include "support/reader_files.h"
#include "support/units_probe.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using testing::ConsoleCapture;
using testing::GifBytes;
using testing::OpenBytes;

struct Side {
  GifReader reader{testing::followingConsole()};
  GIFImage image = testing::namedRecord("pics_3.gif");
  std::int32_t status = 0;
  std::string console;
};

void expectSameState(const Side& a, const Side& b) {
  testing::expectSameDecoding(a.reader, b.reader);
  EXPECT_EQ(a.status, b.status);
  EXPECT_EQ(a.reader.blocks.zeroDataBlock, b.reader.blocks.zeroDataBlock);
  EXPECT_EQ(a.console, b.console);
}

std::vector<int> longStrings(std::mt19937& random, int count, int colours) {
  std::vector<int> v;
  while (static_cast<int>(v.size()) < count) {
    const int value = static_cast<int>(random() % static_cast<unsigned>(colours));
    v.insert(v.end(), 1 + random() % 300, value);
    if (random() % 3 == 0) v.push_back(static_cast<int>(random() % static_cast<unsigned>(colours)));
  }
  v.resize(static_cast<std::size_t>(count));
  return v;
}

Bytes imageData(std::mt19937& random) {
  const int minCodeSize = static_cast<int>(random() % 13);
  GifBytes g;
  g.raw({minCodeSize});
  Bytes codes;
  if (minCodeSize >= 2 && minCodeSize <= 8 && random() % 3 != 0) {
    testing::LzwOptions options;
    options.clearAtStart = random() % 4 != 0;
    options.clearWhenFull = random() % 2 == 0;
    options.endCode = random() % 5 != 0;
    codes = testing::lzwEncode(
        longStrings(random, 1 + static_cast<int>(random() % 20000), 1 << minCodeSize), minCodeSize,
        options);
    for (int flips = static_cast<int>(random() % 3); flips > 0 && !codes.empty(); --flips) {
      codes[random() % codes.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
    }
  } else {
    codes.resize(random() % 500);
    for (auto& b : codes) b = static_cast<std::uint8_t>(random());
  }
  g.subBlocks(codes, 1 + random() % 255);
  Bytes bytes = g.bytes();
  if (random() % 5 == 0) bytes.resize(1 + random() % bytes.size());  // cut inside the data
  if (random() % 2 == 0) bytes.push_back(0x3B);
  return bytes;
}

TEST(RobustSkip, SkippingMatchesDecodingCallByCall) {
  std::mt19937 random(4711);
  Side calls;
  Side skip;
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const Bytes data = imageData(random);
    OpenBytes fileA(calls.reader, data);
    OpenBytes fileB(skip.reader, data);
    std::uint8_t codeSize = 0;
    fileA.source().read(&codeSize, 1);
    fileB.source().read(&codeSize, 1);
    if (lzw_decode(calls.image, calls.reader, codeSize, true, calls.status) < 0) continue;
    lzw_decode(skip.image, skip.reader, codeSize, true, skip.status);

    // Some values decoded on both sides first, so that skipping may start
    // in the middle of a string; then the rest dropped.
    ConsoleCapture console;
    std::int32_t a = 0;
    for (auto n = random() % 3 == 0 ? 0U : random() % 500; n > 0 && a >= 0; --n) {
      a = lzw_decode(calls.image, calls.reader, 0, false, calls.status);
      ASSERT_EQ(lzw_decode(skip.image, skip.reader, 0, false, skip.status), a);
    }
    std::int32_t b = a;
    if (a >= 0) {
      do {
        a = lzw_decode(calls.image, calls.reader, 0, false, calls.status);
      } while (a >= 0);
      calls.console += console.text();
      console.clear();
      b = skip.reader.decoder.skipRest(skip.image, skip.reader.codes, skip.reader.blocks,
                                       skip.status);
      skip.console += console.text();
    }
    EXPECT_EQ(a, b);
    expectSameState(calls, skip);
    EXPECT_EQ(fileA.rest(), fileB.rest()) << "the same bytes are read";
    if (HasFailure()) return;
  }
}

// The string table filled with one run of zeros (its last entry the
// longest string, 4094 zeros) and then that entry given `repeats` times:
// about 2700 values for every byte of the file.
Bytes longestStringRepeated(int repeats) {
  std::vector<testing::Code> codes{{4, 3}, {0, 3}};
  int next = 6;
  int width = 3;
  const auto add = [&](int code) {
    codes.push_back({code, width});
    if (next <= 4095 && ++next >= (1 << width) && width < 12) ++width;
  };
  int code = 6;
  while (next <= 4095) add(code++);
  for (int i = 0; i < repeats; ++i) add(4095);
  add(5);
  return testing::packCodes(codes);
}

TEST(RobustSkip, LongStringsOfDroppedValuesAreReadInTheTimeOfTheirCodes) {
  const Bytes codes = longestStringRepeated(200000);  // 300 KB standing for 8e8 values
  GifBytes surplus;                                   // a 1 x 1 image followed by all that
  surplus.header()
      .screen(1, 1, 0x80)
      .colorTable(2)
      .imageDescriptor(1, 1)
      .imageData(2, codes)
      .trailer();
  GifBytes skipped;  // the same as an image before the wanted one
  skipped.header().screen(1, 1, 0x80).colorTable(2).imageDescriptor(1, 1).imageData(2, codes);
  skipped.image(1, 1, {1}, 2).trailer();
  const struct {
    const char* what;
    const Bytes& bytes;
    std::int32_t number;
    const char* line;
  } cases[] = {
      {"surplus data", surplus.bytes(), 1, " read_gif: too much input data, ignoring extra...\n"},
      {"a skipped image", skipped.bytes(), 2, "skipping an image\n"},
  };
  GifReader reader{testing::followingConsole()};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempFile file(c.bytes);
    GIFImage image;
    std::int32_t status = 0;
    ConsoleCapture console;
    const auto start = std::chrono::steady_clock::now();
    testing::readGif(image, reader, file.path(), c.number, status, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(status, 0);
    EXPECT_NE(console.text().find(c.line), std::string::npos) << console.text();
    ASSERT_TRUE(image.pixels.present());
    EXPECT_EQ(image.pixels(1, 1, 1), c.number == 1 ? 0 : 1);
    EXPECT_EQ(testing::openUnitCount(), 0);
  }
}

}  // namespace
}  // namespace gifjoin
