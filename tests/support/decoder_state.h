// Comparing two readers' decoder and code reader state: the fast paths must
// leave exactly the state of the one-value-per-call decoder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "gif/lzw_decoder.h"
#include "gif/read.h"

namespace gifjoin::testing {

inline void expectSameDecoding(const GifReader& a, const GifReader& b) {
  const LzwDecoder& x = a.decoder;
  const LzwDecoder& y = b.decoder;
  EXPECT_EQ(x.minCodeSize, y.minCodeSize);
  EXPECT_EQ(x.clearCode, y.clearCode);
  EXPECT_EQ(x.endCode, y.endCode);
  EXPECT_EQ(x.codeWidth, y.codeWidth);
  EXPECT_EQ(x.nextCode, y.nextCode);
  EXPECT_EQ(x.codeLimit, y.codeLimit);
  EXPECT_EQ(x.firstValue, y.firstValue);
  EXPECT_EQ(x.prevCode, y.prevCode);
  EXPECT_EQ(x.freshStart, y.freshStart);
  EXPECT_TRUE(x.table == y.table);
  EXPECT_TRUE(x.length == y.length);
  ASSERT_EQ(x.stackTop, y.stackTop);
  EXPECT_TRUE(std::equal(x.stack.begin(), x.stack.begin() + (x.stackTop - 1), y.stack.begin()))
      << "values waiting on the stack";
  const CodeReader& p = a.codes;
  const CodeReader& q = b.codes;
  EXPECT_EQ(p.bitPos, q.bitPos);
  EXPECT_EQ(p.bitEnd, q.bitEnd);
  EXPECT_EQ(p.windowBytes, q.windowBytes);
  EXPECT_EQ(p.dataEnded, q.dataEnded);
  EXPECT_TRUE(p.window == q.window);
}

}  // namespace gifjoin::testing
