// Data sub-blocks and the code reader: sub-block reads and their reports,
// codes across sub-block boundaries, the carried bytes of the window and
// what is left in it after the terminator.
#include <gtest/gtest.h>

#include <vector>

#include "gif/data_blocks.h"
#include "gif/read.h"
#include "support/console_capture.h"
#include "support/gif_io.h"
#include "support/reader_files.h"
#include "support/units_probe.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using testing::Code;
using testing::ConsoleCapture;
using testing::OpenBytes;
using testing::padded;

constexpr std::string_view kBlockRoutine = "RasterImageModule::get_data_block";

class DataBlocksTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(testing::openUnitCount(), 0); }

  std::vector<std::int32_t> readCodes(std::int32_t width, int n) {
    std::vector<std::int32_t> codes;
    for (int i = 0; i < n; ++i)
      codes.push_back(testing::read_code(image_, reader_, width, false, status_));
    return codes;
  }

  GIFImage image_ = testing::namedRecord();
  GifReader reader_{testing::followingConsole()};
  std::int32_t status_ = 0;
};

TEST_F(DataBlocksTest, SubBlockCountsAndZeroDataBlock) {
  Bytes data{0, 255};
  for (int i = 0; i < 255; ++i) data.push_back(static_cast<std::uint8_t>(i));
  data.push_back(255);
  for (int i = 0; i < 255; ++i) data.push_back(static_cast<std::uint8_t>(255 - i));
  data.push_back(0x3B);
  OpenBytes file(reader_, data);
  std::vector<std::uint8_t> buffer(256, 0xAA);
  std::int32_t count = -7;

  get_data_block(reader_.blocks, image_, buffer.data(), count, status_);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(reader_.blocks.zeroDataBlock, true);
  EXPECT_EQ(buffer[0], 0xAA) << "a terminator leaves the buffer alone";

  get_data_block(reader_.blocks, image_, buffer.data(), count, status_);
  EXPECT_EQ(count, 255);
  EXPECT_EQ(reader_.blocks.zeroDataBlock, false);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[254], 254);
  EXPECT_EQ(buffer[255], 0xAA);

  get_data_block(reader_.blocks, image_, buffer.data(), count, status_);
  EXPECT_EQ(count, 255);
  EXPECT_EQ(buffer[254], 1);
  EXPECT_EQ(file.rest(), Bytes{0x3B});
}

TEST_F(DataBlocksTest, EndOfFileBeforeTheCountLeavesCountAndFlag) {
  OpenBytes file(reader_, {});
  std::vector<std::uint8_t> buffer(256);
  std::int32_t count = 17;
  reader_.blocks.zeroDataBlock = true;
  ConsoleCapture console;
  get_data_block(reader_.blocks, image_, buffer.data(), count, status_);
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(count, 17);
  EXPECT_EQ(reader_.blocks.zeroDataBlock, true);
  EXPECT_EQ(console.text(), testing::ioReport(kBlockRoutine, "READING FROM", "pics_2.gif",
                                              padded("Problem in count for data block.")));
}

TEST_F(DataBlocksTest, EndOfFileInsideTheDataKeepsTheBytesThatCame) {
  OpenBytes file(reader_, {5, 0x11, 0x22});
  std::vector<std::uint8_t> buffer(256, 0xAA);
  std::int32_t count = 0;
  ConsoleCapture console;
  get_data_block(reader_.blocks, image_, buffer.data(), count, status_);
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(reader_.blocks.zeroDataBlock, false);
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_EQ(buffer[1], 0x22);
  EXPECT_EQ(buffer[2], 0xAA);
  EXPECT_EQ(console.text(), testing::ioReport(kBlockRoutine, "READING FROM", "pics_2.gif",
                                              padded("Problem reading data block.")));
}

TEST_F(DataBlocksTest, CodesAreTakenLowBitFirst) {
  OpenBytes file(reader_, {2, 0x8C, 0x2D, 0});
  testing::read_code(image_, reader_, 3, true, status_);
  EXPECT_EQ(readCodes(3, 3), (std::vector<std::int32_t>{4, 1, 6}));
}

TEST_F(DataBlocksTest, CodeSplitAcrossSubBlocksAndCodeEndingOnTheLastBit) {
  // Twelve-bit codes 0xABC, 0x123 fill three bytes exactly; 0x456 then
  // straddles the two-byte second sub-block and the one-byte third.
  const Bytes stream = testing::packCodes({{0xABC, 12}, {0x123, 12}, {0x456, 12}, {0x789, 12}});
  ASSERT_EQ(stream.size(), 6U);
  OpenBytes file(reader_,
                 {3, stream[0], stream[1], stream[2], 2, stream[3], stream[4], 1, stream[5], 0});
  testing::read_code(image_, reader_, 12, true, status_);
  EXPECT_EQ(testing::read_code(image_, reader_, 12, false, status_), 0xABC);
  // Ends exactly on the last bit: the next sub-block is loaded first.
  EXPECT_EQ(testing::read_code(image_, reader_, 12, false, status_), 0x123);
  EXPECT_EQ(reader_.codes.windowBytes, 4);
  EXPECT_EQ(testing::read_code(image_, reader_, 12, false, status_), 0x456);
  EXPECT_EQ(testing::read_code(image_, reader_, 12, false, status_), 0x789);
  EXPECT_EQ(status_, 0);
}

TEST_F(DataBlocksTest, SubBlocksShorterThanOneCodeAreJoined) {
  std::vector<int> values;
  for (int i = 0; i < 600; ++i) values.push_back((i * 7 + i / 13) % 256);
  const std::vector<Code> codes = testing::lzwCodes(values, 8);
  testing::GifBytes bytes;
  bytes.subBlocks(testing::packCodes(codes), 1);
  OpenBytes file(reader_, bytes.bytes());
  testing::read_code(image_, reader_, 9, true, status_);
  for (const Code& code : codes) {
    ASSERT_EQ(testing::read_code(image_, reader_, code.width, false, status_), code.value);
  }
  EXPECT_EQ(status_, 0);
}

TEST_F(DataBlocksTest, AfterTheTerminatorStaleWindowBytesThenRunningOff) {
  ConsoleCapture console;
  {
    // First image: its data land in window bytes 3 to 6.
    OpenBytes file(reader_, {4, 0x11, 0x22, 0x33, 0x44, 0});
    testing::read_code(image_, reader_, 8, true, status_);
    EXPECT_EQ(readCodes(8, 4), (std::vector<std::int32_t>{0x11, 0x22, 0x33, 0x44}));
  }
  // Second image: three one-byte sub-blocks, so it writes window byte 3
  // only. The reset keeps the window: the code read right after the
  // terminator takes its last bits from the first image's byte 0x22, and
  // the call after it runs off the end.
  OpenBytes file(reader_, {1, 0xAB, 1, 0xCD, 1, 0xEF, 0, 0x3B});
  testing::read_code(image_, reader_, 12, true, status_);
  EXPECT_EQ(readCodes(12, 2), (std::vector<std::int32_t>{0xDAB, 0xEFC}));
  EXPECT_EQ(testing::read_code(image_, reader_, 12, false, status_), 0x2EF);
  EXPECT_TRUE(reader_.codes.dataEnded);
  EXPECT_EQ(console.text(), "");
  EXPECT_EQ(testing::read_code(image_, reader_, 12, false, status_), -1);
  EXPECT_EQ(console.text(), "  ran off the end of my bits\n");
  EXPECT_EQ(file.rest(), Bytes{0x3B}) << "nothing read past the terminator";
}

TEST_F(DataBlocksTest, FailedRefillReturnsMinusOneAndKeepsPointers) {
  OpenBytes file(reader_, {1, 0x0F, 4, 0xEE});
  ConsoleCapture console;
  testing::read_code(image_, reader_, 8, true, status_);
  EXPECT_EQ(testing::read_code(image_, reader_, 8, false, status_), 0x0F);
  const CodeReader before = reader_.codes;
  EXPECT_EQ(testing::read_code(image_, reader_, 8, false, status_), -1);
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(reader_.codes.bitPos, before.bitPos);
  EXPECT_EQ(reader_.codes.bitEnd, before.bitEnd);
  EXPECT_EQ(reader_.codes.windowBytes, before.windowBytes);
  EXPECT_FALSE(reader_.codes.dataEnded);
  // The carried bytes were copied and the partial sub-block stays.
  EXPECT_EQ(reader_.codes.window[1], 0x0F);
  EXPECT_EQ(reader_.codes.window[2], 0xEE);
  EXPECT_EQ(console.text(), testing::ioReport(kBlockRoutine, "READING FROM", "pics_2.gif",
                                              padded("Problem reading data block.")));
}

}  // namespace
}  // namespace gifjoin
