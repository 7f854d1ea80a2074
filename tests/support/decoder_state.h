// Looking at a reader's decoder and code reader state from a test: the fast
// paths must leave exactly the state of the one-value-per-call decoder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "gif/lzw_decoder.h"
#include "gif/reader_state.h"

namespace gifjoin {

namespace testing {

// What the decoder has read so far, as two decoders that read the same
// codes must agree on: the code sizes, the string table and the values
// still waiting to be returned.
struct DecoderSnapshot {
  std::int32_t minCodeSize, clearCode, endCode, codeWidth, nextCode, codeLimit;
  std::int32_t firstValue, prevCode;
  bool freshStart;
  std::vector<LzwDecoder::Entry> table;
  std::vector<std::uint16_t> length;
  std::vector<std::int32_t> waiting;  // the value returned next last
  bool operator==(const DecoderSnapshot&) const = default;
};

}  // namespace testing

// Looks at the decoder's state, and sets up state that only data of another
// image could leave.
struct LzwDecoderProbe {
  static testing::DecoderSnapshot snapshot(const LzwDecoder& d) {
    return {d.minCodeSize,
            d.clearCode,
            d.endCode,
            d.codeWidth,
            d.nextCode,
            d.codeLimit,
            d.firstValue,
            d.prevCode,
            d.freshStart,
            {d.table.begin(), d.table.end()},
            {d.length.begin(), d.length.begin() + LzwDecoder::kTableSize},
            {d.stack.begin(), d.stack.begin() + (d.stackTop - 1)}};
  }
  // As after a first read that delivered no code.
  static void forgetPreviousCode(LzwDecoder& decoder) {
    decoder.freshStart = false;
    decoder.prevCode = -1;
    decoder.firstValue = -1;
  }
  // Fill `count` more table entries with the string (1, 1).
  static void fillEntries(LzwDecoder& decoder, std::int32_t count) {
    for (std::int32_t k = 0; k < count && decoder.nextCode < LzwDecoder::kTableSize; ++k) {
      decoder.table[static_cast<std::size_t>(decoder.nextCode)] = {1, 1};
      decoder.length[static_cast<std::size_t>(decoder.nextCode)] = 2;
      ++decoder.nextCode;
    }
  }
};

namespace testing {

inline void expectSameDecoding(const GifReader& a, const GifReader& b) {
  const DecoderSnapshot x = LzwDecoderProbe::snapshot(a.decoder);
  const DecoderSnapshot y = LzwDecoderProbe::snapshot(b.decoder);
  EXPECT_EQ(x.minCodeSize, y.minCodeSize);
  EXPECT_EQ(x.codeWidth, y.codeWidth);
  EXPECT_EQ(x.nextCode, y.nextCode);
  EXPECT_EQ(x.firstValue, y.firstValue);
  EXPECT_EQ(x.prevCode, y.prevCode);
  EXPECT_EQ(x.freshStart, y.freshStart);
  EXPECT_TRUE(x.table == y.table);
  EXPECT_TRUE(x.length == y.length);
  EXPECT_EQ(x.waiting, y.waiting) << "values waiting on the stack";
  EXPECT_TRUE(x == y);
  const CodeReader& p = a.codes;
  const CodeReader& q = b.codes;
  EXPECT_EQ(p.bitPos, q.bitPos);
  EXPECT_EQ(p.bitEnd, q.bitEnd);
  EXPECT_EQ(p.windowBytes, q.windowBytes);
  EXPECT_EQ(p.dataEnded, q.dataEnded);
  EXPECT_TRUE(p.window == q.window);
}

}  // namespace testing
}  // namespace gifjoin
