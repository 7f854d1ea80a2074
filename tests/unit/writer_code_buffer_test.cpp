// Code output buffer: LSB-first packing, 255-byte sub-blocks and the final
// short sub-block, checked on exact bytes and against the byte-by-byte twin.
#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "gif/code_buffer.h"
#include "support/writer_reference.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using Codes = std::vector<std::pair<std::uint32_t, std::int32_t>>;

Bytes pack(const Codes& codes) {
  Bytes out;
  CodeBuffer buffer;
  buffer.init_buffer(out);
  for (const auto& [code, width] : codes) buffer.put_code(code, width);
  buffer.write_data_block();
  buffer.free_buffer();
  return out;
}

Bytes referencePack(const Codes& codes) {
  Bytes out;
  testing::ReferenceCodeBuffer buffer(out);
  for (const auto& [code, width] : codes) {
    buffer.put_code(static_cast<std::int32_t>(code), width);
  }
  buffer.write_data_block();
  return out;
}

// n codes of `width` one bits.
Codes ones(std::size_t n, std::int32_t width) {
  return Codes(n, {(1u << width) - 1, width});
}

Bytes block(std::size_t n, std::uint8_t value) {
  Bytes b(n + 1, value);
  b[0] = static_cast<std::uint8_t>(n);
  return b;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(WriterCodeBuffer, PacksLeastSignificantBitFirst) {
  EXPECT_EQ(pack({{4, 3}, {0, 3}, {5, 3}}), (Bytes{0x02, 0x44, 0x01}));
  // A partial last byte is written with zeros above its pending bits.
  EXPECT_EQ(pack({{0x1FF, 9}}), (Bytes{0x02, 0xFF, 0x01}));
  EXPECT_EQ(pack({{0xABC, 12}, {0x1, 1}}), (Bytes{0x02, 0xBC, 0x1A}));
  EXPECT_EQ(pack({}), Bytes{});
}

TEST(WriterCodeBuffer, SubBlockBoundaries) {
  // The last code ends exactly on the 255th byte: one full sub-block, no
  // short one after it.
  EXPECT_EQ(pack(ones(170, 12)), block(255, 0xFF));
  // One bit more spills into a one-byte sub-block.
  Codes spill = ones(170, 12);
  spill.push_back({1, 1});
  EXPECT_EQ(pack(spill), concat({block(255, 0xFF), Bytes{0x01, 0x01}}));
  // 2039 bits (byte 255 holds 7 pending bits), then a 12-bit code: the full
  // sub-block goes out and one complete and one partial byte follow.
  Codes twoOver = ones(169, 12);
  twoOver.push_back({0x7FF, 11});
  twoOver.push_back({0xFFF, 12});
  EXPECT_EQ(pack(twoOver), concat({block(255, 0xFF), Bytes{0x02, 0xFF, 0x07}}));
  // Exactly two full sub-blocks.
  EXPECT_EQ(pack(ones(340, 12)), concat({block(255, 0xFF), block(255, 0xFF)}));
}

TEST(WriterCodeBuffer, MatchesByteByBytePackingAroundBoundaries) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::int32_t> widthOf(1, 12);
  // Bit totals that end just before, on and just after 1, 2 and 3 full
  // sub-blocks, reached by random widths and codes.
  for (const std::size_t blocks : {1u, 2u, 3u}) {
    const std::size_t boundary = blocks * 255 * 8;
    for (std::size_t target = boundary - 24; target <= boundary + 24; ++target) {
      Codes codes;
      std::size_t bits = 0;
      while (bits < target) {
        const std::int32_t width =
            std::min<std::int32_t>(widthOf(rng), static_cast<std::int32_t>(target - bits));
        codes.push_back({static_cast<std::uint32_t>(rng()) & ((1u << width) - 1), width});
        bits += static_cast<std::size_t>(width);
      }
      ASSERT_EQ(pack(codes), referencePack(codes)) << "bits " << target;
    }
  }
}

TEST(WriterCodeBuffer, StartsCleanAfterRelease) {
  const Codes first = ones(100, 11);
  const Codes second{{4, 3}, {0, 3}, {5, 3}};
  Bytes out;
  CodeBuffer buffer;
  buffer.init_buffer(out);
  for (const auto& [code, width] : first) buffer.put_code(code, width);
  buffer.write_data_block();
  buffer.free_buffer();
  buffer.init_buffer(out);
  for (const auto& [code, width] : second) buffer.put_code(code, width);
  buffer.write_data_block();
  buffer.free_buffer();
  EXPECT_EQ(out, concat({pack(first), pack(second)}));
}

}  // namespace
}  // namespace gifjoin
