// Opening a GIF file: signatures, the logical screen descriptor, the global
// colour table (whole and cut short), the aspect-ratio notice and the
// reports when no unit is free or the file cannot be read.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "gif/open.h"
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

constexpr std::string_view kOpen = "RasterImageModule::openGIF";

class OpenGifTest : public ::testing::Test {
 protected:
  void TearDown() override {
    source_.release();
    EXPECT_EQ(testing::openUnitCount(), 0);
  }

  // openGIF on a file holding `bytes`; returns the console text.
  std::string open(const Bytes& bytes, int verbose = 0) {
    file_ = std::make_unique<TempFile>(bytes);
    return openNamed(file_->path(), verbose);
  }
  std::string openNamed(const std::string& name, int verbose = 0) {
    image_.reset();
    image_.fileName = makeField(name);
    ConsoleCapture console;
    reader_.blocks.source = &source_;
    openGIF(image_, reader_, status_, verbose);
    return console.text();
  }
  Bytes rest() {
    Bytes out;
    std::uint8_t byte = 0;
    while (source_.read(&byte, 1) == 0) out.push_back(byte);
    return out;
  }

  std::unique_ptr<TempFile> file_;
  UnitSource source_;
  GIFImage image_;
  GifReader reader_{testing::followingConsole()};
  std::int32_t status_ = 0;
};

TEST_F(OpenGifTest, BothSignaturesAreAccepted) {
  for (const char* signature : {"GIF87a", "GIF89a"}) {
    SCOPED_TRACE(signature);
    GifBytes bytes;
    bytes.header(signature).screen(5, 3).raw({0x3B});
    EXPECT_EQ(open(bytes.bytes()), "");
    EXPECT_EQ(status_, 0);
    EXPECT_EQ(rest(), Bytes{0x3B}) << "positioned at the first block";
    source_.release();
  }
}

TEST_F(OpenGifTest, WrongSignatureIsReportedAndTheFileClosed) {
  GifBytes bytes;
  bytes.header("gif89a").screen(5, 3);
  const std::string console = open(bytes.bytes());
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(console, testing::ioReport(kOpen, "OPENING", file_->path(),
                                       padded(" Invalid GIF formatgif89a in " + file_->path() +
                                              " expected GIF87a or GIF89a !")));
  EXPECT_EQ(testing::openUnitCount(), 0);
}

TEST_F(OpenGifTest, ScreenDescriptorWithoutGlobalTable) {
  GifBytes bytes;
  bytes.header().screen(0x1234, 0x00FF, 0x00, 7, 49);
  const std::string console = open(bytes.bytes(), 1);
  EXPECT_EQ(console, "Opening " + file_->path() + "\n");
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(image_.screenWidth, 0x1234);
  EXPECT_EQ(image_.screenHeight, 0xFF);
  EXPECT_EQ(image_.colorTableSize, 2);
  EXPECT_EQ(image_.colorResolution, 1);
  EXPECT_EQ(image_.backgroundColorIndex, 7);
  EXPECT_EQ(image_.pixelAspectRatio, 49);
  EXPECT_EQ(image_.numColors, 0);
  EXPECT_FALSE(image_.hasColormap());
  EXPECT_EQ(rest(), Bytes{}) << "a 13-byte file is read to its end";
}

TEST_F(OpenGifTest, FullGlobalTable) {
  GifBytes bytes;
  bytes.header().screen(640, 480, 0xF7, 255, 0).colorTable(256).raw({0x2C});
  const std::string console = open(bytes.bytes(), 1);
  EXPECT_EQ(console,
            "Opening " + file_->path() + "\nOpenGIF error in global colour map size.-->256 247\n");
  EXPECT_EQ(image_.colorTableSize, 256);
  EXPECT_EQ(image_.colorResolution, 8);
  ASSERT_EQ(image_.numColors, 256);
  ASSERT_EQ(image_.colormapEntries(), 256);
  for (int i : {0, 1, 128, 255}) {
    EXPECT_EQ(image_.colormap(1, i), i);
    EXPECT_EQ(image_.colormap(2, i), 255 - i);
    EXPECT_EQ(image_.colormap(3, i), (3 * i) & 0xFF);
  }
  EXPECT_EQ(rest(), Bytes{0x2C});
}

TEST_F(OpenGifTest, GlobalTableCutShort) {
  GifBytes bytes;
  bytes.header().screen(1, 1, 0x81).colorTable(2).raw({9, 9});
  const std::string console = open(bytes.bytes());
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(console, testing::ioReport("RasterImageModule::read_colormap", "READING FROM",
                                       file_->path(), padded("Problem reading colormap at j=2")) +
                         testing::ioReport(kOpen, "OPENING", file_->path(),
                                           "Error reading global colormap."));
  ASSERT_EQ(image_.colormapEntries(), 4);
  EXPECT_EQ(image_.colormap(2, 1), 254);
  for (int c = 1; c <= 3; ++c) {
    EXPECT_EQ(image_.colormap(c, 2), 0) << "an entry that was not read in full stays 0";
    EXPECT_EQ(image_.colormap(c, 3), 0);
  }
}

TEST_F(OpenGifTest, AspectRatioNotice) {
  const struct {
    int aspect;
    std::string line;
  } cases[] = {{0, ""},
               {49, ""},
               {1, " openGIF warning: non-square pixels, ratio= 0.250000000\n"},
               {17, " openGIF warning: non-square pixels, ratio= 0.500000000\n"},
               {50, " openGIF warning: non-square pixels, ratio= 1.01562500\n"},
               {255, " openGIF warning: non-square pixels, ratio= 4.21875000\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.aspect);
    GifBytes bytes;
    bytes.header().screen(1, 1, 0, 0, c.aspect);
    EXPECT_EQ(open(bytes.bytes()), c.line);
    EXPECT_EQ(status_, 0);
    source_.release();
  }
}

TEST_F(OpenGifTest, ShortHeaderAndShortDescriptor) {
  std::string console = open({'G', 'I', 'F'});
  EXPECT_EQ(console,
            testing::ioReport(kOpen, "OPENING", file_->path(), "Error reading 'magic number'."));
  EXPECT_EQ(status_, -1);
  source_.release();
  GifBytes bytes;
  bytes.header().raw({1, 0, 1});
  console = open(bytes.bytes());
  EXPECT_EQ(console, testing::ioReport(kOpen, "OPENING", file_->path(), "Error reading buffer."));
  EXPECT_EQ(status_, -1);
}

TEST_F(OpenGifTest, MissingFileAndDirectoryCannotBeOpened) {
  const std::string directory = std::filesystem::temp_directory_path().string();
  for (const std::string& name : {directory, directory + "/no_such_file_here.gif"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(openNamed(name), testing::ioReport(kOpen, "OPENING", name, "Failed to open file."));
    EXPECT_GT(status_, 0);
    EXPECT_EQ(testing::openUnitCount(), 0);
  }
}

TEST_F(OpenGifTest, NoFreeUnit) {
  TempFile holder(Bytes{0});
  std::vector<int> taken;
  for (int u = 7; u <= 100; ++u) {
    ASSERT_EQ(units().openForReading(u, holder.path()), 0);
    taken.push_back(u);
  }
  const std::string console = openNamed("pics_3.gif", 1);
  for (int u : taken) units().release(u);
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(console,
            testing::warningReport(
                "utils::getFreeUnit",
                "No free logical unit numbers are available...you are in serious trouble!") +
                testing::warningReport(kOpen, "Could not open GIF since no unit is available"));
}

}  // namespace
}  // namespace gifjoin
