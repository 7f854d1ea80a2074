// LZW encoder: exact image data for small frames, the code stream when the
// table fills, and the fast encoder against the child-list table walk on
// random and structured frames of every code size.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <random>
#include <vector>

#include "gif/lzw_encoder.h"
#include "support/writer_reference.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using testing::productEncode;
using testing::referenceEncode;

Bytes encodeValues(const std::vector<std::int32_t>& values, std::int32_t& codeSize) {
  return productEncode(values.data(), values.size(), codeSize);
}

TEST(WriterLzw, SmallFramesGiveExactBytes) {
  std::int32_t codeSize = 1;
  EXPECT_EQ(encodeValues({0}, codeSize), (Bytes{0x02, 0x02, 0x44, 0x01}));
  EXPECT_EQ(codeSize, 2) << "the caller's code size is raised";

  // 4 x 4 of colour 1: codes 4 1 6 7 in 3 bits, then 8 9 1 5 in 4 bits.
  codeSize = 2;
  EXPECT_EQ(encodeValues(std::vector<std::int32_t>(16, 1), codeSize),
            (Bytes{0x02, 0x04, 0x8C, 0x8F, 0x19, 0x05}));

  // No pixels: clear code 4 and end code 5 in 3 bits.
  codeSize = 2;
  EXPECT_EQ(encodeValues({}, codeSize), (Bytes{0x02, 0x01, 0x2C}));
  codeSize = 8;
  EXPECT_EQ(encodeValues({}, codeSize), (Bytes{0x08, 0x03, 0x00, 0x03, 0x02}));
}

TEST(WriterLzw, PixelValuesAreReducedModuloTheCodeSize) {
  for (std::int32_t size = 2; size <= 8; ++size) {
    const std::int32_t m = 1 << size;
    const std::vector<std::int32_t> raw{m,       -1,     m + 3,     INT_MIN,
                                        INT_MAX, -m - 1, 5 * m + 1, -(7 * m) + 2};
    std::vector<std::int32_t> reduced;
    for (std::int32_t v : raw) reduced.push_back(static_cast<std::int32_t>(((v % m) + m) % m));
    std::int32_t a = size;
    std::int32_t b = size;
    EXPECT_EQ(encodeValues(raw, a), encodeValues(reduced, b)) << "code size " << size;
  }
  std::int32_t codeSize = 2;
  std::int32_t same = 2;
  EXPECT_EQ(encodeValues({4, -1}, codeSize), encodeValues({0, 3}, same));
}

TEST(WriterLzw, FullTableEmitsPrefixAndClearAtTwelveBits) {
  std::mt19937 rng(11);
  for (const std::int32_t size : {2, 5, 8}) {
    std::vector<std::int32_t> pixels(size == 2 ? 60000 : 20000);
    for (auto& p : pixels) p = static_cast<std::int32_t>(rng() & ((1u << size) - 1));
    std::int32_t codeSize = size;
    std::vector<std::pair<std::int32_t, std::int32_t>> codes;
    referenceEncode(pixels.data(), pixels.size(), codeSize, &codes);
    const std::int32_t clear = 1 << size;
    // Every clear after the first one: the code before it is a 12-bit prefix,
    // the clear is 12 bits, and the next code is codeSize + 1 bits again.
    std::vector<std::size_t> clearAt;
    for (std::size_t i = 0; i < codes.size(); ++i) {
      if (codes[i].first == clear) clearAt.push_back(i);
    }
    ASSERT_GE(clearAt.size(), 2u) << "code size " << size;
    EXPECT_EQ(clearAt[0], 0u);
    for (std::size_t n = 1; n < clearAt.size(); ++n) {
      const std::size_t i = clearAt[n];
      EXPECT_EQ(codes[i].second, 12);
      EXPECT_EQ(codes[i - 1].second, 12);
      EXPECT_EQ(codes[i + 1].second, size + 1);
      // One code per string added (codes clear + 2 to 4095), then the prefix
      // that found the table full.
      EXPECT_EQ(i - clearAt[n - 1] - 1, static_cast<std::size_t>(4096 - (clear + 2) + 1));
    }
    // Widths never shrink between clears and never pass 12.
    for (std::size_t i = 1; i < codes.size(); ++i) {
      EXPECT_LE(codes[i].second, 12);
      if (codes[i - 1].first != clear) {
        EXPECT_GE(codes[i].second, codes[i - 1].second);
      }
    }
    std::int32_t fastSize = size;
    std::int32_t refSize = size;
    EXPECT_EQ(productEncode(pixels.data(), pixels.size(), fastSize),
              referenceEncode(pixels.data(), pixels.size(), refSize));
  }
}

TEST(WriterLzw, CodeTableWidensBeforeAssigningAndFillsTo4095) {
  LZWCodeTable table;
  table.reset_table(2, 3);
  EXPECT_EQ(table.clearCode, 4);
  EXPECT_EQ(table.endCode, 5);
  EXPECT_EQ(table.nextCode, 6);
  EXPECT_EQ(table.codeWidth, 3);
  std::int32_t prefix = 1;
  while (table.nextCode <= table.maxCode) {
    const std::int32_t code = table.nextCode;
    table.add_entry(prefix, code % 4);
    // The width grows as the code about to be assigned reaches 2^width.
    const auto want = std::max(3, static_cast<int>(std::bit_width(static_cast<unsigned>(code))));
    ASSERT_EQ(table.codeWidth, want) << "code " << code;
    prefix = code;
  }
  EXPECT_EQ(table.nextCode, 4096);
  EXPECT_EQ(table.codeWidth, 12);
  std::int32_t code = 0;
  EXPECT_TRUE(table.find_child(2047, 0, code));
  EXPECT_EQ(code, 2048);
  EXPECT_FALSE(table.find_child(2047, 1, code));
  EXPECT_EQ(code, table.noCode);
}

// Frames whose string structure differs: noise, flat areas, runs, ramps and
// repeating tiles.
std::vector<std::int32_t> structuredFrame(int kind, std::int32_t w, std::int32_t h,
                                          std::int32_t size, std::mt19937& rng) {
  std::vector<std::int32_t> p(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  const std::int32_t m = 1 << size;
  for (std::int32_t y = 0; y < h; ++y) {
    for (std::int32_t x = 0; x < w; ++x) {
      std::int32_t v = 0;
      switch (kind) {
        case 0:
          v = static_cast<std::int32_t>(rng() % 1000) - 500;
          break;  // noise, out of range too
        case 1:
          v = 3;
          break;
        case 2:
          v = (rng() % 16 == 0) ? static_cast<std::int32_t>(rng() % m) : (x / 7) % m;
          break;
        case 3:
          v = (x + y) % m;
          break;
        case 4:
          v = ((x % 5) * 3 + (y % 3)) % m;
          break;
        default:
          v = static_cast<std::int32_t>(rng() % 3);
          break;  // few colours of many
      }
      p[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
          v;
    }
  }
  return p;
}

TEST(WriterLzw, FastEncoderMatchesChildListWalk) {
  std::mt19937 rng(2024);
  const std::pair<std::int32_t, std::int32_t> sizes[] = {{1, 1},   {2, 1},    {1, 7},    {17, 3},
                                                         {64, 64}, {1, 5000}, {311, 257}};
  for (std::int32_t size = 1; size <= 8; ++size) {
    for (int kind = 0; kind <= 5; ++kind) {
      for (const auto& [w, h] : sizes) {
        const auto pixels = structuredFrame(kind, w, h, size, rng);
        std::int32_t fastSize = size;
        std::int32_t refSize = size;
        const Bytes fast = productEncode(pixels.data(), pixels.size(), fastSize);
        const Bytes ref = referenceEncode(pixels.data(), pixels.size(), refSize);
        ASSERT_EQ(fast, ref) << "code size " << size << " kind " << kind << " " << w << "x" << h;
        ASSERT_EQ(fastSize, refSize);
      }
    }
  }
}

TEST(WriterLzw, EightBitFramesWithAnUnheldRestOfZerosMatchTheWholeFrame) {
  // The run's frames hold 8-bit values and only as far as their data went;
  // the rest counts as zeros. The codes must be those of the whole frame.
  std::mt19937 rng(77);
  LZWEncoder encoder;
  for (std::int32_t size : {2, 5, 8}) {
    for (int kind : {0, 3, 5}) {
      auto pixels = structuredFrame(kind, 97, 61, size, rng);
      for (const std::size_t held :
           {std::size_t{0}, std::size_t{1}, std::size_t{500}, pixels.size() - 1, pixels.size()}) {
        std::vector<std::int32_t> whole(pixels);
        std::fill(whole.begin() + static_cast<std::ptrdiff_t>(held), whole.end(), 0);
        // Values above 255 keep only their low 8 bits in a frame; the code
        // size takes them modulo 2^size all the same.
        std::vector<std::uint8_t> narrow(whole.begin(),
                                         whole.begin() + static_cast<std::ptrdiff_t>(held));
        std::int32_t refSize = size;
        const Bytes ref = referenceEncode(whole.data(), whole.size(), refSize);
        Bytes out;
        std::int32_t narrowSize = size;
        encoder.encode(narrow.data(), held, whole.size(), narrowSize, out);
        ASSERT_EQ(out, ref) << "code size " << size << " kind " << kind << " held " << held;
      }
    }
  }
  // A long rest of zeros costs codes, not pixels.
  Bytes out;
  std::int32_t size = 2;
  const std::uint8_t one = 1;
  encoder.encode(&one, 1, std::size_t{900'000'000}, size, out);
  EXPECT_LT(out.size(), 4u << 20);
}

TEST(WriterLzw, EncoderReusedAcrossFramesAndCodeSizes) {
  // A reused encoder must start each frame with a clean table, whatever code
  // size the previous frame had.
  std::mt19937 rng(5);
  LZWEncoder encoder;
  for (const std::int32_t size : {8, 2, 8, 3, 3, 7, 2}) {
    const auto pixels = structuredFrame(size % 2 == 0 ? 0 : 4, 200, 150, size, rng);
    Bytes out;
    std::int32_t fastSize = size;
    encoder.encode(pixels.data(), pixels.size(), fastSize, out);
    std::int32_t refSize = size;
    ASSERT_EQ(out, referenceEncode(pixels.data(), pixels.size(), refSize)) << "code size " << size;
  }
}

TEST(WriterLzw, EncodesOnlyTheNamedFrame) {
  std::mt19937 rng(3);
  GIFImage image = testing::randomImage(rng, 40, 30, 3, 16, 0, 15);
  GIFImage single = testing::randomImage(rng, 40, 30, 1, 16, 0, 15);
  std::copy(image.pixels.frame(2), image.pixels.frame(2) + image.pixels.framePixels(),
            single.pixels.frame(1));
  Bytes fromThree;
  Bytes fromOne;
  std::int32_t a = 4;
  std::int32_t b = 4;
  lzw_encode(image, fromThree, a, 2);
  lzw_encode(single, fromOne, b);
  EXPECT_EQ(fromThree, fromOne);
  // A frame the record does not hold encodes like a frame without pixels.
  Bytes missing;
  std::int32_t c = 4;
  lzw_encode(image, missing, c, 4);
  EXPECT_EQ(missing, (Bytes{0x04, 0x02, 0x30, 0x02}));
}

}  // namespace
}  // namespace gifjoin
