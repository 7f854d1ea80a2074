// The bulk decoding path against the one-value-per-call path: on random
// valid and random corrupt image data both must give the same values, the
// same console lines, the same statuses and leave the same decoder and code
// reader state, whatever the sizes of the runs asked for.
#include <gtest/gtest.h>

#include <memory>
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
using testing::OpenBytes;

struct Side {
  GifReader reader{testing::followingConsole()};
  GIFImage image = testing::namedRecord("pics_7.gif");
  std::int32_t status = 0;
  std::string console;
  // One output array that successive runs fill piece by piece, with gaps,
  // as the rows of an interlaced image are filled.
  std::vector<std::int32_t> area = std::vector<std::int32_t>(1 << 18);
  std::size_t areaUsed = 0;
  bool lastRunInArea = false;
};

void expectSameState(const Side& a, const Side& b) {
  testing::expectSameDecoding(a.reader, b.reader);
  EXPECT_EQ(a.status, b.status);
  EXPECT_EQ(a.reader.blocks.zeroDataBlock, b.reader.blocks.zeroDataBlock);
}

// One request of `count` values: one call after another on the reference
// side; on the side under test a bulk run into a fresh array or further
// into the shared one, or single calls now and then (as the raster reader
// mixes them).
enum class Mode { SingleCalls, FreshArray, SameArray };
struct Request {
  std::int32_t count;
  Mode mode;
};

std::vector<std::int32_t> perCall(Side& side, std::int32_t count) {
  std::vector<std::int32_t> out;
  ConsoleCapture console;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t v = lzw_decode(side.image, side.reader, 0, false, side.status);
    out.push_back(v);
    if (v < 0) break;
  }
  side.console += console.text();
  return out;
}

std::vector<std::int32_t> bulk(Side& side, std::int32_t count) {
  std::vector<std::int32_t> out(static_cast<std::size_t>(count));
  std::int32_t stop = 0;
  ConsoleCapture console;
  const std::int32_t n = side.reader.decoder.decodeRun(
      side.image, side.reader.codes, side.reader.blocks, out.data(), count, stop, side.status);
  side.console += console.text();
  out.resize(static_cast<std::size_t>(n));
  if (stop < 0) out.push_back(stop);
  side.lastRunInArea = false;
  return out;
}

std::vector<std::int32_t> bulkInArea(Side& side, std::int32_t count, std::size_t gap) {
  bool sameOutput = side.lastRunInArea && side.areaUsed > 0;
  if (side.areaUsed + gap + static_cast<std::size_t>(count) > side.area.size()) {
    side.areaUsed = 0;
    sameOutput = false;
  } else {
    side.areaUsed += gap;
  }
  std::int32_t* const out = side.area.data() + side.areaUsed;
  std::int32_t stop = 0;
  ConsoleCapture console;
  const std::int32_t n = side.reader.decoder.decodeRun(
      side.image, side.reader.codes, side.reader.blocks, out, count, stop, side.status, sameOutput);
  side.console += console.text();
  side.areaUsed += static_cast<std::size_t>(count);
  side.lastRunInArea = true;
  std::vector<std::int32_t> values(out, out + n);
  if (stop < 0) values.push_back(stop);
  return values;
}

class DecodeRunTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(testing::openUnitCount(), 0); }

  // Decode `data` (code size byte first) on both sides with the same
  // requests; the sides keep their state from earlier images.
  void compare(const Bytes& data, std::mt19937& random, const std::vector<int>* expected) {
    OpenBytes fileA(reference_.reader, data);
    OpenBytes fileB(tested_.reader, data);
    const std::int32_t codeSize = data.empty() ? 0 : data[0];
    // Skip the code size byte as read_image does.
    std::uint8_t skipped = 0;
    fileA.source().read(&skipped, 1);
    fileB.source().read(&skipped, 1);
    const std::int32_t initA =
        lzw_decode(reference_.image, reference_.reader, codeSize, true, reference_.status);
    const std::int32_t initB =
        lzw_decode(tested_.image, tested_.reader, codeSize, true, tested_.status);
    ASSERT_EQ(initA, initB);
    if (initA < 0) return;

    std::vector<int> decoded;
    int negatives = 0;
    std::int64_t total = 0;
    while (negatives < 4 && total < 400000) {
      Request request{};
      switch (random() % 4) {
        case 0:
          request.count = 1 + static_cast<std::int32_t>(random() % 3);
          break;
        case 1:
          request.count = 1 + static_cast<std::int32_t>(random() % 40);
          break;
        case 2:
          request.count = 1 + static_cast<std::int32_t>(random() % 700);
          break;
        default:
          request.count = 60000;
          break;
      }
      const unsigned mode = random() % 8;
      request.mode = mode == 0 ? Mode::SingleCalls : mode < 4 ? Mode::FreshArray : Mode::SameArray;
      const std::vector<std::int32_t> a = perCall(reference_, request.count);
      std::vector<std::int32_t> b;
      switch (request.mode) {
        case Mode::SingleCalls:
          b = perCall(tested_, request.count);
          break;
        case Mode::FreshArray:
          b = bulk(tested_, request.count);
          break;
        case Mode::SameArray:
          b = bulkInArea(tested_, request.count, random() % 3 == 0 ? random() % 50 : 0);
          break;
      }
      ASSERT_EQ(a, b) << "request of " << request.count;
      ASSERT_EQ(reference_.console, tested_.console);
      expectSameState(reference_, tested_);
      if (::testing::Test::HasFailure()) return;
      total += static_cast<std::int64_t>(a.size());
      if (negatives == 0) {
        for (std::int32_t v : a) {
          if (v >= 0) decoded.push_back(v);
        }
      }
      if (!a.empty() && a.back() < 0) ++negatives;
    }
    EXPECT_EQ(fileA.rest(), fileB.rest());
    if (expected != nullptr) {
      decoded.resize(std::min(decoded.size(), expected->size()));
      EXPECT_EQ(decoded, *expected) << "valid data decode to their pixels";
    }
  }

  Side reference_;
  Side tested_;
};

std::vector<int> randomPixels(std::mt19937& random, int count, int minCodeSize) {
  const int colours = 1 << minCodeSize;
  const int palette = 1 + static_cast<int>(random() % static_cast<unsigned>(colours));
  std::vector<int> pixels;
  // Runs and repeats make long strings; plain noise fills the table.
  while (static_cast<int>(pixels.size()) < count) {
    switch (random() % 3) {
      case 0: {
        const int v = static_cast<int>(random() % static_cast<unsigned>(palette));
        const int run = 1 + static_cast<int>(random() % 60);
        pixels.insert(pixels.end(), static_cast<std::size_t>(run), v);
        break;
      }
      case 1:
        if (pixels.size() > 50) {
          const std::size_t from = random() % (pixels.size() - 40);
          const std::vector<int> copy(pixels.begin() + static_cast<std::ptrdiff_t>(from),
                                      pixels.begin() + static_cast<std::ptrdiff_t>(from + 40));
          pixels.insert(pixels.end(), copy.begin(), copy.end());
        }
        break;
      default:
        for (int i = 0; i < 30; ++i) {
          pixels.push_back(static_cast<int>(random() % static_cast<unsigned>(palette)));
        }
        break;
    }
  }
  pixels.resize(static_cast<std::size_t>(count));
  return pixels;
}

Bytes randomBytes(std::mt19937& random, std::size_t count) {
  Bytes bytes(count);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

TEST_F(DecodeRunTest, ValidDataGiveTheSameValuesAndState) {
  std::mt19937 random(20240607);
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int minCodeSize = 2 + static_cast<int>(random() % 7);
    const int count = 1 + static_cast<int>(random() % 12000);
    const std::vector<int> pixels = randomPixels(random, count, minCodeSize);
    testing::LzwOptions options;
    options.clearAtStart = random() % 4 != 0;
    options.clearWhenFull = random() % 2 == 0;
    options.endCode = random() % 6 != 0;
    testing::GifBytes data;
    data.raw({minCodeSize});
    data.subBlocks(testing::lzwEncode(pixels, minCodeSize, options),
                   random() % 3 == 0 ? 1 + random() % 4 : 1 + random() % 255);
    if (random() % 2 == 0) data.raw(randomBytes(random, random() % 40));
    compare(data.bytes(), random, &pixels);
    if (HasFailure()) return;
  }
}

TEST_F(DecodeRunTest, CorruptDataGiveTheSameValuesReportsAndState) {
  std::mt19937 random(77);
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Bytes data;
    switch (random() % 4) {
      case 0: {
        // Random codes of any width, including 13-bit codes, in sub-blocks.
        const int minCodeSize = static_cast<int>(random() % 13);
        testing::GifBytes bytes;
        bytes.raw({minCodeSize});
        bytes.subBlocks(randomBytes(random, random() % 400), 1 + random() % 255);
        data = bytes.bytes();
        break;
      }
      case 1: {
        // Valid data with bytes flipped.
        const int minCodeSize = 2 + static_cast<int>(random() % 7);
        const std::vector<int> pixels =
            randomPixels(random, 1 + static_cast<int>(random() % 3000), minCodeSize);
        Bytes codes = testing::lzwEncode(pixels, minCodeSize);
        for (int flips = 1 + static_cast<int>(random() % 6); flips > 0 && !codes.empty(); --flips) {
          codes[random() % codes.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
        }
        testing::GifBytes bytes;
        bytes.raw({minCodeSize});
        bytes.subBlocks(codes, 1 + random() % 255);
        data = bytes.bytes();
        break;
      }
      case 2: {
        // Valid data cut off anywhere (the file ends inside the data).
        const int minCodeSize = 2 + static_cast<int>(random() % 7);
        const std::vector<int> pixels =
            randomPixels(random, 1 + static_cast<int>(random() % 3000), minCodeSize);
        testing::GifBytes bytes;
        bytes.raw({minCodeSize});
        bytes.subBlocks(testing::lzwEncode(pixels, minCodeSize), 1 + random() % 255);
        data = bytes.bytes();
        data.resize(1 + random() % data.size());
        break;
      }
      default:
        // Anything at all, sub-block counts included.
        data = randomBytes(random, 1 + random() % 600);
        data[0] = static_cast<std::uint8_t>(random() % 14);
        break;
    }
    compare(data, random, nullptr);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace gifjoin
