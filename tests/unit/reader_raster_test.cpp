// Image rasters: row order (sequential and the four interlace passes),
// progress lines, skipped images, surplus data, data that end early, empty
// images and the allocation limit.
#include <gtest/gtest.h>

#include <vector>

#include "gif/raster.h"
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

class RasterTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(testing::openUnitCount(), 0); }

  // Code size byte, the values' LZW data as sub-blocks, then `after`.
  static Bytes raster(const std::vector<int>& values, int minCodeSize, Bytes after = {0x3B}) {
    testing::GifBytes bytes;
    bytes.imageData(minCodeSize, testing::lzwEncode(values, minCodeSize));
    bytes.raw(after);
    return bytes.bytes();
  }
  static Bytes rasterOfCodes(const std::vector<Code>& codes, int minCodeSize,
                             Bytes after = {0x3B}) {
    testing::GifBytes bytes;
    bytes.imageData(minCodeSize, testing::packCodes(codes));
    bytes.raw(after);
    return bytes.bytes();
  }

  void readImage(std::int32_t width, std::int32_t height, int interlaced, int skip,
                 int verbose = 0) {
    read_image(image_, reader_, width, height, interlaced, skip, verbose, status_);
  }

  std::vector<std::int32_t> column(std::int32_t x) const {
    std::vector<std::int32_t> out;
    for (std::int32_t y = 1; y <= image_.pixels.height(); ++y)
      out.push_back(image_.pixels(x, y, 1));
    return out;
  }

  GIFImage image_ = testing::namedRecord("pics_1.gif");
  GifReader reader_{testing::followingConsole()};
  std::int32_t status_ = 0;
};

using Values = std::vector<std::int32_t>;

TEST_F(RasterTest, SequentialRowsAndTheTwoProgressLines) {
  OpenBytes file(reader_, raster({1, 2, 3, 4, 5, 6}, 3));
  ConsoleCapture console;
  readImage(3, 2, 0, 0, 1);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(console.text(),
            " Image size:           3           2\n"
            "  reading           3  by           2  GIF image from pics_1.gif            \n");
  EXPECT_EQ(image_.numFrames, 1);
  ASSERT_EQ(image_.pixels.width(), 3);
  ASSERT_EQ(image_.pixels.height(), 2);
  EXPECT_EQ(std::vector<std::int32_t>(image_.pixels.frame(1), image_.pixels.frame(1) + 6),
            (Values{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(file.rest(), Bytes{0x3B}) << "the end code was read after the last pixel";
}

TEST_F(RasterTest, InterlacedRowOrders) {
  const struct {
    int height;
    Values rows;  // the row that each row of the data goes to
  } cases[] = {{1, {1}},
               {2, {1, 2}},
               {3, {1, 3, 2}},
               {4, {1, 3, 2, 4}},
               {10, {1, 9, 5, 3, 7, 2, 4, 6, 8, 10}},
               {17, {1, 9, 17, 5, 13, 3, 7, 11, 15, 2, 4, 6, 8, 10, 12, 14, 16}}};
  for (const auto& c : cases) {
    SCOPED_TRACE("height " + std::to_string(c.height));
    image_.reset();
    image_.fileName = makeField("pics_1.gif");
    // Two columns; data row k holds k, k + 100.
    std::vector<int> values;
    for (int k = 1; k <= c.height; ++k) {
      values.push_back(k);
      values.push_back(k + 100);
    }
    OpenBytes file(reader_, raster(values, 7));
    ConsoleCapture console;
    readImage(2, c.height, 1, 0, 1);
    EXPECT_NE(console.text().find("pics_1.gif  interlaced\n"), std::string::npos);
    Values wanted(static_cast<std::size_t>(c.height));
    for (int k = 1; k <= c.height; ++k) wanted[static_cast<std::size_t>(c.rows[k - 1] - 1)] = k;
    EXPECT_EQ(column(1), wanted);
    for (auto& v : wanted) v += 100;
    EXPECT_EQ(column(2), wanted);
    EXPECT_EQ(file.rest(), Bytes{0x3B});
  }
}

TEST_F(RasterTest, SurplusDataAreReportedOnceAndReadPast) {
  OpenBytes file(reader_, raster({1, 2, 3, 4, 5, 6, 7, 7, 7, 1}, 3, {0x2C}));
  ConsoleCapture console;
  readImage(2, 2, 0, 0);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(console.text(), " read_gif: too much input data, ignoring extra...\n");
  EXPECT_EQ(std::vector<std::int32_t>(image_.pixels.frame(1), image_.pixels.frame(1) + 4),
            (Values{1, 2, 3, 4}));
  EXPECT_EQ(file.rest(), Bytes{0x2C});
}

TEST_F(RasterTest, SkippedImageIsReadPastWithoutTouchingTheRecord) {
  std::vector<int> values(5000);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int>(i * 31 % 256);
  OpenBytes file(reader_, raster(values, 8));
  image_.numFrames = 5;
  ConsoleCapture console;
  readImage(100, 50, 0, 1, 1);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(console.text(), "skipping an image\n");
  EXPECT_FALSE(image_.pixels.present());
  EXPECT_EQ(image_.numFrames, 5);
  EXPECT_EQ(file.rest(), Bytes{0x3B});
}

TEST_F(RasterTest, MissingCodeSizeByte) {
  OpenBytes file(reader_, {});
  ConsoleCapture console;
  readImage(3, 2, 0, 0, 1);
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(console.text(),
            testing::ioReport("RasterImageModule::read_image", "READING FROM", "pics_1.gif",
                              padded("Problem reading code size byte.")));
  EXPECT_FALSE(image_.pixels.present());
}

TEST_F(RasterTest, CodeSizeAboveTwelveReadsNothingMore) {
  OpenBytes file(reader_, {13, 2, 0x44, 0x01, 0});
  ConsoleCapture console;
  readImage(3, 2, 0, 0, 1);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(console.text(), "");
  EXPECT_FALSE(image_.pixels.present());
  EXPECT_EQ(file.rest(), (Bytes{2, 0x44, 0x01, 0}));
}

TEST_F(RasterTest, EndCodeBeforeTheLastPixel) {
  // 4,1,2,3 then the end code in 4 bits: exactly two bytes.
  const std::vector<Code> codes{{4, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 4}};
  {
    SCOPED_TRACE("the code reader has met the terminator itself");
    OpenBytes file(reader_, rasterOfCodes(codes, 2));
    ConsoleCapture console;
    readImage(3, 2, 0, 0);
    EXPECT_EQ(status_, 0);
    EXPECT_EQ(console.text(), "  ran off the end of my bits\n");
    EXPECT_EQ(std::vector<std::int32_t>(image_.pixels.frame(1), image_.pixels.frame(1) + 6),
              (Values{1, 2, 3, 0, 0, 0}));
    EXPECT_EQ(image_.numFrames, 1);
    EXPECT_EQ(file.rest(), Bytes{0x3B});
  }
  {
    SCOPED_TRACE("the end code skipped to the terminator: the trailer is taken as a count");
    image_.reset();
    image_.fileName = makeField("pics_1.gif");
    testing::GifBytes bytes;
    Bytes packed = testing::packCodes(codes);
    packed.push_back(0);  // padding in the same sub-block
    bytes.imageData(2, packed).trailer();
    OpenBytes file(reader_, bytes.bytes());
    ConsoleCapture console;
    readImage(3, 2, 0, 0);
    EXPECT_EQ(status_, -1);
    EXPECT_EQ(console.text(),
              " read_gif: too much input data, ignoring extra...\n" +
                  testing::ioReport("RasterImageModule::get_data_block", "READING FROM",
                                    "pics_1.gif", padded("Problem reading data block.")));
    EXPECT_EQ(image_.numFrames, 1);
  }
}

TEST_F(RasterTest, EmptyImageStoresNothingAndReadsItsCodesAsSurplus) {
  {
    OpenBytes file(reader_, raster({3, 3, 3}, 2));
    ConsoleCapture console;
    readImage(0, 3, 0, 0);
    EXPECT_EQ(console.text(), " read_gif: too much input data, ignoring extra...\n");
    EXPECT_TRUE(image_.pixels.present());
    EXPECT_EQ(image_.pixels.framePixels(), 0U);
    EXPECT_EQ(image_.numFrames, 1);
    EXPECT_EQ(file.rest(), Bytes{0x3B});
  }
  image_.reset();
  OpenBytes file(reader_, raster({}, 2));
  ConsoleCapture console;
  readImage(4, 0, 1, 0);
  EXPECT_EQ(console.text(), "") << "clear and end code only: no surplus";
  EXPECT_EQ(status_, 0);
}

TEST_F(RasterTest, PixelArrayThatCannotBeHadEndsTheRun) {
  const std::string report =
      "ERROR in subroutine RasterImageModule::read_image.\n"
      " ERROR while allocating image. Terminating program.\n" +
      padded("ERROR while allocating image. Terminating program.") +
      "\n  ---=== TERMINATING PROGRAM ===--- \n";
  {
    SCOPED_TRACE("more than 2^30 - 1 pixels");
    OpenBytes file(reader_, raster({1}, 2));
    ConsoleCapture console;
    readImage(65535, 65535, 0, 0, 1);
    EXPECT_EQ(reader_.failure, Failure::CannotHoldImage) << "the run must stop";
    EXPECT_EQ(console.text(), " Image size:       65535       65535\n" + report);
  }
  {
    SCOPED_TRACE("pixels still allocated");
    reader_.failure = Failure::None;
    image_.pixels.allocate(1, 1, 1);
    OpenBytes file(reader_, raster({1}, 2));
    ConsoleCapture console;
    readImage(1, 1, 0, 0);
    EXPECT_EQ(reader_.failure, Failure::CannotHoldImage) << "the run must stop";
    EXPECT_EQ(console.text(), report);
  }
}

TEST_F(RasterTest, WideSequentialImageAcrossManySubBlocks) {
  std::vector<int> values(640 * 48);
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<int>((i % 640) / 5 + (i / 640) * 3) % 200;
  }
  testing::GifBytes bytes;
  bytes.imageData(8, testing::lzwEncode(values, 8), 17).trailer();
  OpenBytes file(reader_, bytes.bytes());
  readImage(640, 48, 0, 0);
  EXPECT_EQ(status_, 0);
  EXPECT_TRUE(std::equal(values.begin(), values.end(), image_.pixels.frame(1)));
}

}  // namespace
}  // namespace gifjoin
