// Comparing two readers' decoder and code reader state: the fast paths must
// leave exactly the state of the one-value-per-call decoder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "gif/lzw_decoder.h"
#include "gif/reader_state.h"

namespace gifjoin::testing {

inline void expectSameDecoding(const GifReader& a, const GifReader& b) {
  const LzwDecoder::Snapshot x = a.decoder.snapshot();
  const LzwDecoder::Snapshot y = b.decoder.snapshot();
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

}  // namespace gifjoin::testing

namespace gifjoin {

// Sets up decoder state that only data of another image could leave.
struct LzwDecoderProbe {
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

}  // namespace gifjoin
