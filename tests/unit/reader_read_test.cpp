// Reading whole GIF files: the block loop with its progress lines and
// reports compared byte for byte, image selection by number, colour tables,
// files that end early, and the file unit given back on every return.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "gif/read.h"
#include "support/console_capture.h"
#include "support/gif_io.h"
#include "support/reader_files.h"
#include "support/units_probe.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using testing::ConsoleCapture;
using testing::GifBytes;
using testing::padded;
using testing::TempFile;

constexpr std::string_view kRead = "RasterImageModule::ReadGIFImage";

class ReadGifImageTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(testing::openUnitCount(), 0); }

  // Read image `number` of a file holding `bytes` with progress output;
  // returns the console text.
  std::string read(const Bytes& bytes, std::int32_t number = 1, int verbose = 1) {
    file_ = std::make_unique<TempFile>(bytes);
    name_ = file_->path();
    ConsoleCapture console;
    testing::readGif(image_, reader_, name_, number, status_, verbose);
    EXPECT_EQ(testing::openUnitCount(), 0) << "the file's unit is given back";
    return console.text();
  }

  std::string opening() const { return "Opening " + name_ + "\n"; }
  std::string imageLines(int width, int height, bool interlaced = false) const {
    return " Image size:" + rightAligned(width, 12) + rightAligned(height, 12) + "\n  reading" +
           rightAligned(width, 12) + "  by" + rightAligned(height, 12) + "  GIF image from " +
           name_ + "  " + (interlaced ? "interlaced" : "          ") + "\n";
  }

  std::vector<std::int32_t> pixels() const {
    if (!image_.pixels.present()) return {};
    return {image_.pixels.frame(1), image_.pixels.frame(1) + image_.pixels.framePixels()};
  }

  std::unique_ptr<TempFile> file_;
  std::string name_;
  GIFImage image_;
  GifReader reader_{testing::followingConsole()};
  std::int32_t status_ = 0;
};

using Values = std::vector<std::int32_t>;

TEST_F(ReadGifImageTest, MissingFile) {
  const std::string name =
      (std::filesystem::temp_directory_path() / "gifjoin_no_such_dir" / "pics_3.gif").string();
  ConsoleCapture console;
  testing::readGif(image_, reader_, name, 1, status_, 1);
  EXPECT_NE(status_, 0);
  EXPECT_EQ(
      console.text(),
      "Opening " + name + "\n" +
          testing::ioReport("RasterImageModule::openGIF", "OPENING", name, "Failed to open file.") +
          testing::ioReport(kRead, "READING FROM", name, padded("Could not open GIF image.")));
  EXPECT_EQ(image_.fileName, makeField(name));
}

TEST_F(ReadGifImageTest, BadSignature) {
  GifBytes bytes;
  bytes.header("GIF90b").screen(1, 1).image(1, 1, {0}, 2).trailer();
  const std::string console = read(bytes.bytes());
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(console, opening() +
                         testing::ioReport("RasterImageModule::openGIF", "OPENING", name_,
                                           padded(" Invalid GIF formatGIF90b in " + name_ +
                                                  " expected GIF87a or GIF89a !")) +
                         testing::ioReport(kRead, "READING FROM", name_,
                                           padded("Could not open GIF image.")));
}

TEST_F(ReadGifImageTest, OneImageAndTrailer) {
  GifBytes bytes;
  bytes.header().screen(3, 2).image(3, 2, {1, 2, 3, 4, 5, 6}, 3).trailer();
  const std::string console = read(bytes.bytes());
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(console, opening() + imageLines(3, 2));
  EXPECT_EQ(image_.numFrames, 1);
  EXPECT_EQ(pixels(), (Values{1, 2, 3, 4, 5, 6}));
}

TEST_F(ReadGifImageTest, FileWithoutTrailerKeepsItsImage) {
  GifBytes bytes;
  bytes.header().screen(2, 2).image(2, 2, {3, 2, 1, 0}, 2);
  const std::string console = read(bytes.bytes());
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(console, opening() + imageLines(2, 2) +
                         testing::warningReport(kRead, padded("Error while reading buffer from " +
                                                              name_ + ". Exit status = -1")));
  EXPECT_EQ(pixels(), (Values{3, 2, 1, 0}));
}

TEST_F(ReadGifImageTest, FileWithOnlyExtensions) {
  GifBytes bytes;
  bytes.header().screen(2, 2).graphicControl(0x04, 30, 0).comment({"made by hand"}).trailer();
  const std::string console = read(bytes.bytes());
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(console, opening() + " read_gif: extension graphic control extension\n" +
                         "  gif comment: made by hand\n" +
                         " read_gif: extension comment extension\n" +
                         testing::warningReport(kRead, padded("Only0image(s) found in file.")));
  EXPECT_EQ(image_.delayTime, 30);
  EXPECT_FALSE(image_.pixels.present());
}

TEST_F(ReadGifImageTest, CommentAndUnknownExtensionsAroundAnImage) {
  GifBytes bytes;
  bytes.header()
      .screen(1, 1)
      .comment({"Hi", "there"})
      .extension(0x02, {{1, 2, 3}})
      .image(1, 1, {1}, 2)
      .extension(0x7F, {})
      .trailer();
  const std::string console = read(bytes.bytes());
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(console, opening() +
                         "  gif comment: Hi\n"
                         "  gif comment: there\n"
                         " read_gif: extension comment extension\n"
                         "  unknown extension            2  label\n"
                         " read_gif: extension unknown extension\n" +
                         imageLines(1, 1) +
                         "  unknown extension          127  label\n"
                         " read_gif: extension unknown extension\n");
}

TEST_F(ReadGifImageTest, Gif89aWithGlobalTableGraphicControlAndOneImage) {
  std::vector<int> values(40 * 30);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int>(i % 251);
  GifBytes bytes;
  bytes.header()
      .screen(40, 30, 0xF7)
      .colorTable(256)
      .graphicControl(0x09, 7, 3)
      .image(40, 30, values, 8)
      .trailer();
  const std::string console = read(bytes.bytes());
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(console, opening() + "OpenGIF error in global colour map size.-->256 247\n" +
                         " read_gif: extension graphic control extension\n" + imageLines(40, 30));
  EXPECT_EQ(pixels(), Values(values.begin(), values.end()));
  EXPECT_EQ(image_.transparentColorIndex, 3);
  EXPECT_EQ(image_.disposalMethod, 2);
}

TEST_F(ReadGifImageTest, FirstOfThreeImagesAndBlocksUpToTheNextSeparator) {
  GifBytes bytes;
  bytes.header()
      .screen(2, 1)
      .image(2, 1, {1, 2}, 2)
      .graphicControl(0x00, 55, 0)
      .image(2, 1, {3, 3}, 2)
      .graphicControl(0x00, 66, 0)
      .image(2, 1, {0, 0}, 2)
      .trailer();
  read(bytes.bytes(), 1, 0);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(pixels(), (Values{1, 2}));
  EXPECT_EQ(image_.delayTime, 55) << "a graphic control block after the wanted image counts";
}

TEST_F(ReadGifImageTest, SecondImageWithLocalTablesAndInterlace) {
  GifBytes bytes;
  bytes.header()
      .screen(2, 3, 0x80)
      .colorTable(2)
      .imageDescriptor(2, 3, 0x81)
      .colorTable(4)
      .imageData(2, testing::lzwEncode({1, 1, 2, 2, 3, 3}, 2))
      .image(2, 3, {1, 2, 3, 4, 5, 6}, 3, 0x40)
      .trailer();
  const std::string console = read(bytes.bytes(), 2);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(console,
            opening() + "OpenGIF error in global colour map size.-->2 128\n" +
                testing::warningReport(kRead, padded("Error in local colour map, size=4")) +
                "skipping an image\n" + imageLines(2, 3, true));
  EXPECT_EQ(pixels(), (Values{1, 2, 5, 6, 3, 4})) << "rows 1, 3, 2";
  EXPECT_EQ(image_.useLocalColormap, 0);
  EXPECT_EQ(image_.numColors, 4) << "the skipped image's local table stays";
  EXPECT_EQ(image_.colorTableSize, 2);
}

TEST_F(ReadGifImageTest, LocalTableReplacesTheGlobalOne) {
  GifBytes ordered;
  ordered.header().screen(1, 1, 0x87).colorTable(256).imageDescriptor(1, 1, 0x83).colorTable(16);
  ordered.imageData(4, testing::lzwEncode({9}, 4)).trailer();
  read(ordered.bytes(), 1, 0);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(image_.useLocalColormap, 1);
  EXPECT_EQ(image_.numColors, 16);
  EXPECT_EQ(image_.colormapEntries(), 16);
  EXPECT_EQ(image_.colorTableSize, 256);
  EXPECT_EQ(image_.colormap(3, 15), 45);
  EXPECT_EQ(pixels(), Values{9});
}

TEST_F(ReadGifImageTest, BogusBytesBetweenBlocks) {
  GifBytes bytes;
  bytes.header().screen(1, 1).raw({0x00, 0xC8}).image(1, 1, {2}, 2).trailer();
  const std::string console = read(bytes.bytes());
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(console, opening() + " ignoring bogus character            0\n" +
                         " ignoring bogus character          200\n" + imageLines(1, 1));
}

TEST_F(ReadGifImageTest, ImageNumberZero) {
  GifBytes withImage;
  withImage.header().screen(1, 1).image(1, 1, {2}, 2).trailer();
  std::string console = read(withImage.bytes(), 0, 1);
  EXPECT_EQ(console, opening());
  EXPECT_EQ(status_, 0);
  EXPECT_FALSE(image_.pixels.present());

  GifBytes empty;
  empty.header().screen(1, 1).trailer();
  console = read(empty.bytes(), 0, 1);
  EXPECT_EQ(console, opening()) << "no warning for a trailer";
  EXPECT_EQ(status_, 0);
}

TEST_F(ReadGifImageTest, DescriptorOrLocalTableCutShort) {
  GifBytes descriptor;
  descriptor.header().screen(1, 1).raw({0x2C, 0, 0, 0, 0});
  std::string console = read(descriptor.bytes(), 1, 0);
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(console,
            testing::ioReport(kRead, "READING FROM", name_, padded("Cannot read width/height!")));

  GifBytes table;
  table.header().screen(1, 1).imageDescriptor(1, 1, 0x80).raw({1, 2, 3, 4});
  console = read(table.bytes(), 1, 0);
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(console, testing::ioReport("RasterImageModule::read_colormap", "READING FROM", name_,
                                       padded("Problem reading colormap at j=1")) +
                         testing::ioReport(
                             kRead, "READING FROM", name_,
                             padded(" Error reading local color map: Aborting read operation.")));
}

TEST_F(ReadGifImageTest, ManyFilesWithSeveralImagesDoNotRunOutOfUnits) {
  GifBytes bytes;
  bytes.header().screen(1, 1).image(1, 1, {1}, 2).image(1, 1, {2}, 2).trailer();
  for (int i = 0; i < 120; ++i) {
    read(bytes.bytes(), 1, 0);
    ASSERT_EQ(status_, 0) << "file " << i;
    ASSERT_EQ(pixels(), Values{1});
  }
}

TEST_F(ReadGifImageTest, ReaderStateCarriesOverBetweenFiles) {
  // The same reader reads a big image and then a small one; the second
  // must not see anything of the first.
  std::vector<int> big(300 * 200);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<int>((i * 7) % 256);
  GifBytes first;
  first.header().screen(300, 200).image(300, 200, big, 8).trailer();
  read(first.bytes(), 1, 0);
  EXPECT_EQ(pixels(), Values(big.begin(), big.end()));
  image_.reset();
  GifBytes second;
  second.header().screen(2, 2).image(2, 2, {1, 0, 0, 1}, 2).trailer();
  read(second.bytes(), 1, 0);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(pixels(), (Values{1, 0, 0, 1}));
}

// Every byte of a small file changed and the file cut at every length: the
// reader must neither crash nor keep a unit, whatever it reports.
TEST(ReadGifImageDamage, DamagedFilesAreReadSafely) {
  std::vector<int> values(7 * 9);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int>(i % 5);
  GifBytes good;
  good.header()
      .screen(7, 9, 0x81, 0, 17)
      .colorTable(4)
      .graphicControl(0x05, 3, 2)
      .comment({"x"})
      .imageDescriptor(7, 9, 0xC2)
      .colorTable(8)
      .imageData(3, testing::lzwEncode(values, 3), 5)
      .image(3, 1, {1, 2, 3}, 2)
      .trailer();
  const Bytes& original = good.bytes();
  GifReader reader{testing::followingConsole()};
  GIFImage image;
  std::int32_t status = 0;
  const auto readDamaged = [&](const Bytes& bytes) {
    TempFile file(bytes);
    ConsoleCapture console;
    (void)testing::readGif(image, reader, file.path(), 1, status, 1);
    ASSERT_EQ(testing::openUnitCount(), 0);
  };
  for (std::size_t at = 0; at < original.size(); ++at) {
    for (int change : {0x00, 0xFF, 0x2C, 0x21}) {
      Bytes damaged = original;
      damaged[at] = static_cast<std::uint8_t>(change);
      readDamaged(damaged);
    }
    readDamaged(Bytes(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(at)));
  }
}

}  // namespace
}  // namespace gifjoin
