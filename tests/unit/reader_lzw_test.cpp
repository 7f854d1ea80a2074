// The LZW decoder, one value per call: clear and end codes, strings that
// define themselves, code width growth, the frozen table, the corrupt-table
// report and the guards against codes and chains outside the table.
#include <gtest/gtest.h>

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
using testing::Code;
using testing::ConsoleCapture;
using testing::OpenBytes;

class LzwDecoderTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(testing::openUnitCount(), 0); }

  // Image data holding the codes, then the terminator and `after`.
  static Bytes imageData(const std::vector<Code>& codes, Bytes after = {0x3B}) {
    testing::GifBytes bytes;
    bytes.subBlocks(testing::packCodes(codes));
    bytes.raw(after);
    return bytes.bytes();
  }

  std::int32_t next() { return lzw_decode(image_, reader_, 0, false, status_); }

  std::vector<std::int32_t> values(int n) {
    std::vector<std::int32_t> out;
    for (int i = 0; i < n; ++i) out.push_back(next());
    return out;
  }

  // Values up to and including the first negative result.
  std::vector<std::int32_t> valuesToEnd() {
    std::vector<std::int32_t> out;
    do {
      out.push_back(next());
    } while (out.back() >= 0);
    return out;
  }

  GIFImage image_ = testing::namedRecord("pics_2.gif");
  GifReader reader_{testing::followingConsole()};
  std::int32_t status_ = 0;
};

using Values = std::vector<std::int32_t>;

// A pseudo-random walk over 16 values: fills 4096 entries quickly.
std::vector<int> walk16(std::uint32_t state, int count) {
  std::vector<int> pixels;
  for (int i = 0; i < count; ++i) {
    state = state * 1103515245U + 12345U;
    pixels.push_back(static_cast<int>((state >> 16) % 16));
  }
  return pixels;
}

TEST_F(LzwDecoderTest, InitialisationByMinimumCodeSize) {
  EXPECT_EQ(lzw_decode(image_, reader_, 8, true, status_), 0);
  const auto d = [&] { return LzwDecoderProbe::snapshot(reader_.decoder); };
  EXPECT_EQ(d().clearCode, 256);
  EXPECT_EQ(d().endCode, 257);
  EXPECT_EQ(d().codeWidth, 9);
  EXPECT_EQ(d().nextCode, 258);
  EXPECT_EQ(d().codeLimit, 512);

  EXPECT_EQ(lzw_decode(image_, reader_, 0, true, status_), 0);
  EXPECT_EQ(d().clearCode, 1);
  EXPECT_EQ(d().endCode, 2);
  EXPECT_EQ(d().codeWidth, 1);

  // Above 12: refused, and the code reader is left as it stands.
  reader_.codes.bitPos = 40;
  EXPECT_EQ(lzw_decode(image_, reader_, 13, true, status_), -1);
  EXPECT_EQ(lzw_decode(image_, reader_, 255, true, status_), -1);
  EXPECT_EQ(reader_.codes.bitPos, 40);
  EXPECT_EQ(d().clearCode, 1);
}

TEST_F(LzwDecoderTest, WorkedExampleWithSelfDefiningCodeAndWidthGrowth) {
  OpenBytes file(reader_, imageData({{4, 3}, {1, 3}, {6, 3}, {2, 3}, {5, 4}}, {0x2C}));
  lzw_decode(image_, reader_, 2, true, status_);
  EXPECT_EQ(values(4), (Values{1, 1, 1, 2}));
  EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).codeWidth, 4);
  EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).table[7], (LzwDecoder::Entry{6, 2}));
  EXPECT_EQ(next(), -2);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(file.rest(), Bytes{0x2C}) << "the end code skips up to the terminator";
}

TEST_F(LzwDecoderTest, CorruptTableIsReportedAndPendingValuesFollow) {
  OpenBytes file(reader_, imageData({{4, 3}, {0, 3}, {7, 3}, {1, 3}, {7, 4}, {5, 4}}));
  lzw_decode(image_, reader_, 2, true, status_);
  ConsoleCapture console;
  EXPECT_EQ(values(5), (Values{0, 0, 0, 1, -2}));
  EXPECT_EQ(console.text(),
            "code =     7, table(0,code) =     7\n"
            "circular table entry in file\n"
            "pics_2.gif\n"
            "this is a serious error.\n");
  EXPECT_EQ(next(), 1);
  EXPECT_EQ(next(), -2) << "then the end code";
}

TEST_F(LzwDecoderTest, ClearCodesWhereAStringStarts) {
  {
    SCOPED_TRACE("a leading run of clear codes");
    OpenBytes file(reader_, imageData({{4, 3}, {4, 3}, {4, 3}, {1, 3}, {5, 3}}));
    lzw_decode(image_, reader_, 2, true, status_);
    EXPECT_EQ(valuesToEnd(), (Values{1, -2}));
  }
  {
    SCOPED_TRACE("two clear codes in mid-stream: the second is skipped, not a value");
    OpenBytes file(reader_,
                   imageData({{4, 3}, {1, 3}, {2, 3}, {4, 3}, {4, 3}, {3, 3}, {3, 3}, {5, 3}}));
    lzw_decode(image_, reader_, 2, true, status_);
    EXPECT_EQ(valuesToEnd(), (Values{1, 2, 3, 3, -2}));
    EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).nextCode, 7)
        << "the table starts afresh after the clear codes";
  }
  {
    SCOPED_TRACE("a clear code wipes entries that were defined before it");
    // 6 = (1,1) before the clear; after it 6 is undefined again and so
    // stands for the previous string (2) plus its own first value.
    OpenBytes file(reader_, imageData({{4, 3}, {1, 3}, {1, 3}, {4, 3}, {2, 3}, {6, 3}, {5, 3}}));
    lzw_decode(image_, reader_, 2, true, status_);
    EXPECT_EQ(valuesToEnd(), (Values{1, 1, 2, 2, 2, -2}));
  }
}

TEST_F(LzwDecoderTest, EndCodeWhereAStringStartsEndsTheData) {
  {
    SCOPED_TRACE("right after the start");
    OpenBytes file(reader_, imageData({{4, 3}, {5, 3}, {1, 3}}, {0x2C}));
    lzw_decode(image_, reader_, 2, true, status_);
    EXPECT_EQ(next(), -2);
    EXPECT_EQ(file.rest(), Bytes{0x2C});
  }
  {
    SCOPED_TRACE("right after a clear code in mid-stream");
    OpenBytes file(reader_, imageData({{4, 3}, {1, 3}, {2, 3}, {4, 3}, {5, 3}, {1, 3}}, {0x2C}));
    lzw_decode(image_, reader_, 2, true, status_);
    EXPECT_EQ(valuesToEnd(), (Values{1, 2, -2}));
    EXPECT_EQ(file.rest(), Bytes{0x2C});
  }
}

TEST_F(LzwDecoderTest, EndCodeSkipsOnlyWhenTheTerminatorIsStillAhead) {
  // 4,1,2,3 then 5 in 4 bits fill two bytes exactly, so the code reader
  // loads the next sub-block before it hands over the end code.
  const Bytes codes = testing::packCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 4}});
  ASSERT_EQ(codes.size(), 2U);
  {
    SCOPED_TRACE("terminator already read: nothing more is read");
    OpenBytes file(reader_, {2, codes[0], codes[1], 0, 0x2C, 0x3B});
    lzw_decode(image_, reader_, 2, true, status_);
    EXPECT_EQ(valuesToEnd(), (Values{1, 2, 3, -2}));
    EXPECT_EQ(reader_.blocks.zeroDataBlock, true);
    EXPECT_EQ(file.rest(), (Bytes{0x2C, 0x3B}));
  }
  {
    SCOPED_TRACE("sub-blocks left: read up to and including the terminator");
    OpenBytes file(reader_, {2, codes[0], codes[1], 1, 0x99, 2, 0x98, 0x97, 0, 0x2C});
    lzw_decode(image_, reader_, 2, true, status_);
    EXPECT_EQ(valuesToEnd(), (Values{1, 2, 3, -2}));
    EXPECT_EQ(file.rest(), Bytes{0x2C});
  }
  {
    SCOPED_TRACE("file ends while skipping");
    OpenBytes file(reader_, {2, codes[0], codes[1], 1, 0x99, 3, 0x98});
    ConsoleCapture console;
    lzw_decode(image_, reader_, 2, true, status_);
    EXPECT_EQ(valuesToEnd(), (Values{1, 2, 3, -2}));
    EXPECT_EQ(status_, -1);
    EXPECT_NE(console.text().find("Problem reading data block."), std::string::npos);
  }
}

TEST_F(LzwDecoderTest, WidthGrowsAfterEntry511ForEightBitCodes) {
  std::vector<Code> codes{{256, 9}};
  Values expected;
  for (int v = 0; v < 255; ++v) {
    codes.push_back({v, 9});
    expected.push_back(v);
  }
  codes.push_back({7, 10});
  codes.push_back({257, 10});
  expected.push_back(7);
  expected.push_back(-2);
  OpenBytes file(reader_, imageData(codes));
  lzw_decode(image_, reader_, 8, true, status_);
  EXPECT_EQ(values(255), Values(expected.begin(), expected.begin() + 255));
  EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).nextCode, 512);
  EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).codeWidth, 10);
  EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).codeLimit, 1024);
  EXPECT_EQ(values(2), (Values{7, -2}));
}

TEST_F(LzwDecoderTest, FullTableFreezesUntilTheNextClearCode) {
  // A pseudo-random walk over 16 values fills 4096 entries long before the
  // end; without clear codes the table then stays as it is.
  const std::vector<int> pixels = walk16(12345, 60000);
  testing::LzwOptions frozen;
  frozen.clearWhenFull = false;
  OpenBytes file(reader_, imageData(testing::lzwCodes(pixels, 4, frozen)));
  lzw_decode(image_, reader_, 4, true, status_);
  const Values got = values(static_cast<int>(pixels.size()));
  EXPECT_EQ(got, Values(pixels.begin(), pixels.end()));
  EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).nextCode, 4096);
  EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).codeWidth, 12);
  EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).codeLimit, 4096);
  EXPECT_EQ(next(), -2);
}

TEST_F(LzwDecoderTest, EveryImageStartsFromTheTableOfAFreshDecoder) {
  // The table is cleared only as far as it was filled; a previous image of
  // a wider or narrower alphabet must leave no entry behind.
  const std::vector<int> pixels = walk16(777, 30000);
  OpenBytes file(reader_, imageData(testing::lzwCodes(pixels, 4)));
  lzw_decode(image_, reader_, 4, true, status_);
  ASSERT_EQ(values(static_cast<int>(pixels.size())), Values(pixels.begin(), pixels.end()));
  for (const std::int32_t size : {2, 8, 3, 12, 0, 5}) {
    lzw_decode(image_, reader_, size, true, status_);
    CodeReader codes;
    LzwDecoder fresh;
    fresh.init(codes, size);
    EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).table,
              LzwDecoderProbe::snapshot(fresh).table)
        << "code size " << size;
    EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).length,
              LzwDecoderProbe::snapshot(fresh).length)
        << "code size " << size;
    EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).nextCode,
              LzwDecoderProbe::snapshot(fresh).nextCode);
    // Fill part of the table as data of this alphabet would.
    LzwDecoderProbe::fillEntries(reader_.decoder, 300);
  }
}

TEST_F(LzwDecoderTest, ThirteenBitCodesOutsideTheTable) {
  // Minimum code size 12: clear 4096, end 4097, every code 13 bits, no
  // entries. A first code of 5000 is handed out as it is; 4098 then stands
  // for "previous string plus first value" and meets 5000 in the walk.
  OpenBytes file(
      reader_,
      imageData({{4096, 13}, {7, 13}, {4095, 13}, {4096, 13}, {5000, 13}, {4098, 13}, {4097, 13}}));
  lzw_decode(image_, reader_, 12, true, status_);
  ConsoleCapture console;
  EXPECT_EQ(values(3), (Values{7, 4095, 5000}));
  EXPECT_EQ(next(), -2);
  EXPECT_EQ(console.text(),
            "code =  5000, table(0,code) =     0\n"
            "circular table entry in file\n"
            "pics_2.gif\n"
            "this is a serious error.\n");
  EXPECT_EQ(next(), 5000) << "the value pushed before the report";
  EXPECT_EQ(next(), -2);
}

TEST_F(LzwDecoderTest, CycleLongerThanOneEntryStopsWhenTheStackIsFull) {
  // First code 7 (returned as it is), then 6 while undefined makes entry
  // 6 = (7, 0); 1 makes entry 7 = (6, 1): a two-entry cycle, walked by 6.
  OpenBytes file(reader_, imageData({{4, 3}, {7, 3}, {6, 3}, {1, 3}, {6, 4}, {5, 4}}));
  lzw_decode(image_, reader_, 2, true, status_);
  ConsoleCapture console;
  EXPECT_EQ(values(5), (Values{7, 0, 0, 7, 1}));
  EXPECT_EQ(next(), -2);
  EXPECT_EQ(console.text(),
            "code =     6, table(0,code) =     7\n"
            "circular table entry in file\n"
            "pics_2.gif\n"
            "this is a serious error.\n");
  EXPECT_EQ(LzwDecoderProbe::snapshot(reader_.decoder).waiting.size(),
            std::size_t{LzwDecoder::kStackSize});
  const Values pending = values(LzwDecoder::kStackSize);
  for (std::size_t i = 0; i < pending.size(); ++i) {
    ASSERT_EQ(pending[i], i % 2 == 0 ? 1 : 0) << "at " << i;
  }
  EXPECT_EQ(next(), -2) << "the end code after the pending values";
}

TEST_F(LzwDecoderTest, NoPreviousCodeIsReportedAfterTheFirstValueIsPushed) {
  // A first read that delivered no code leaves prevCode and firstValue -1.
  OpenBytes file(reader_, imageData({{6, 3}, {5, 3}}));
  lzw_decode(image_, reader_, 2, true, status_);
  LzwDecoderProbe::forgetPreviousCode(reader_.decoder);
  ConsoleCapture console;
  EXPECT_EQ(next(), -2);
  EXPECT_EQ(console.text(),
            "code =    -1, table(0,code) =     0\n"
            "circular table entry in file\n"
            "pics_2.gif\n"
            "this is a serious error.\n");
  EXPECT_EQ(next(), -1) << "the pushed firstValue";
}

TEST_F(LzwDecoderTest, DataThatEndWithoutEndCode) {
  ConsoleCapture console;
  OpenBytes file(reader_, imageData({{4, 3}, {1, 3}, {2, 3}}));
  lzw_decode(image_, reader_, 2, true, status_);
  EXPECT_EQ(values(2), (Values{1, 2}));
  // The padding bits and the bytes past the data yield codes until the
  // code reader has nothing left.
  Values rest = valuesToEnd();
  EXPECT_EQ(rest.back(), -1);
  EXPECT_EQ(console.text(), "  ran off the end of my bits\n");
}

}  // namespace
}  // namespace gifjoin
