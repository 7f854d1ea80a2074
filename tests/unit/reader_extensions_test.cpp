// Extension blocks: graphic control values, comment echo, extensions read
// past up to their terminator, unknown labels, short graphic control
// blocks and failed reads.
#include <gtest/gtest.h>

#include "gif/extensions.h"
#include "gif/read.h"
#include "support/console_capture.h"
#include "support/gif_io.h"
#include "support/reader_files.h"
#include "support/units_probe.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using testing::ConsoleCapture;
using testing::OpenBytes;
using testing::padded;

class ExtensionsTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(testing::openUnitCount(), 0); }

  // Read one extension from `bytes`, which start with the 0x21 introducer.
  std::string extension(const Bytes& bytes, int verbose, Bytes* rest = nullptr) {
    OpenBytes file(reader_, bytes);
    std::uint8_t introducer = 0;
    file.source().read(&introducer, 1);
    EXPECT_EQ(introducer, 0x21);
    ConsoleCapture console;
    do_extension(image_, reader_, status_, verbose);
    if (rest != nullptr) *rest = file.rest();
    return console.text();
  }

  GIFImage image_ = testing::namedRecord("pics_4.gif");
  GifReader reader_{testing::followingConsole()};
  std::int32_t status_ = 0;
};

TEST_F(ExtensionsTest, GraphicControlValues) {
  Bytes rest;
  EXPECT_EQ(extension({0x21, 0xF9, 0x04, 0x09, 0x0A, 0x00, 0x05, 0x00, 0x2C}, 1, &rest),
            " read_gif: extension graphic control extension\n");
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(image_.disposalMethod, 2);
  EXPECT_EQ(image_.userInputFlag, 0);
  EXPECT_EQ(image_.delayTime, 10);
  EXPECT_EQ(image_.transparentColorIndex, 5);
  EXPECT_EQ(rest, Bytes{0x2C});

  // Without the transparency flag the index stays; 0x1C is disposal 7.
  EXPECT_EQ(extension({0x21, 0xF9, 0x04, 0x1C, 0x34, 0x12, 0x09, 0x00}, 0), "");
  EXPECT_EQ(image_.disposalMethod, 7);
  EXPECT_EQ(image_.delayTime, 0x1234);
  EXPECT_EQ(image_.transparentColorIndex, 5);
  extension({0x21, 0xF9, 0x04, 0x08, 0x00, 0x00, 0x09, 0x00}, 0);
  EXPECT_EQ(image_.transparentColorIndex, 5);
  EXPECT_EQ(image_.disposalMethod, 2);
}

TEST_F(ExtensionsTest, ShortGraphicControlBlocks) {
  // Extension buffer full of old bytes: they must not show through.
  reader_.extensionBuffer.fill(0xFF);
  Bytes rest;
  extension({0x21, 0xF9, 0x02, 0x05, 0x0A, 0x00, 0x2C}, 0, &rest);
  EXPECT_EQ(image_.disposalMethod, 1);
  EXPECT_EQ(image_.delayTime, 10);
  EXPECT_EQ(image_.transparentColorIndex, 0) << "the missing fourth byte counts as 0";
  EXPECT_EQ(rest, Bytes{0x2C});

  // A terminator as the first sub-block ends the extension: the image
  // separator that follows is not read.
  image_.delayTime = 99;
  image_.userInputFlag = -1;
  const std::string console = extension({0x21, 0xF9, 0x00, 0x2C, 0x00}, 1, &rest);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(console, " read_gif: extension graphic control extension\n");
  EXPECT_EQ(image_.delayTime, 0);
  EXPECT_EQ(image_.userInputFlag, 0);
  EXPECT_EQ(rest, (Bytes{0x2C, 0x00}));
}

TEST_F(ExtensionsTest, CommentIsEchoedPerSubBlockInVerboseMode) {
  testing::GifBytes bytes;
  bytes.comment({"Hi", "there"});
  EXPECT_EQ(extension(bytes.bytes(), 1),
            "  gif comment: Hi\n"
            "  gif comment: there\n"
            " read_gif: extension comment extension\n");
  EXPECT_EQ(extension(bytes.bytes(), 0), "");
}

TEST_F(ExtensionsTest, ExtensionsReadPastUpToTheirTerminator) {
  Bytes rest;
  testing::GifBytes application;
  application.extension(0xFF, {Bytes(11, 'N'), {1, 0xFF, 0xFF}}).raw({0x2C});
  EXPECT_EQ(extension(application.bytes(), 1, &rest),
            " read_gif: extension application extension\n");
  EXPECT_EQ(rest, Bytes{0x2C});

  testing::GifBytes plainText;
  plainText.extension(0x01, {Bytes(12, 0), Bytes(255, 'x'), Bytes(3, 'y')}).raw({0x3B});
  EXPECT_EQ(extension(plainText.bytes(), 1, &rest), " read_gif: extension plain text extension\n");
  EXPECT_EQ(rest, Bytes{0x3B});
  EXPECT_EQ(image_.delayTime, 0) << "no graphic control values from other extensions";
}

TEST_F(ExtensionsTest, UnknownLabelIsShownWhateverVerboseIs) {
  Bytes rest;
  testing::GifBytes bytes;
  bytes.extension(0x02, {{1, 2, 3}}).raw({0x3B});
  EXPECT_EQ(extension(bytes.bytes(), 0, &rest), "  unknown extension            2  label\n");
  EXPECT_EQ(rest, Bytes{0x3B});
  EXPECT_EQ(extension(bytes.bytes(), 1),
            "  unknown extension            2  label\n"
            " read_gif: extension unknown extension\n");
}

TEST_F(ExtensionsTest, FailedReads) {
  EXPECT_EQ(extension({0x21}, 1),
            testing::ioReport("RasterImageModule::do_extension", "READING FROM", "pics_4.gif",
                              padded("Problem reading extension.")));
  EXPECT_EQ(status_, -1);

  // A comment cut short: the sub-block report, no verbose line, the first
  // sub-block still echoed.
  const std::string console = extension({0x21, 0xFE, 2, 'H', 'i', 5, 'a'}, 1);
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(console, "  gif comment: Hi\n" +
                         testing::ioReport("RasterImageModule::get_data_block", "READING FROM",
                                           "pics_4.gif", padded("Problem reading data block.")));
}

}  // namespace
}  // namespace gifjoin
