// GIF writer: the file's bytes (header, screen descriptor, colour table,
// looping block, per-frame blocks), its console lines, and what happens when
// there is nothing to write or the file cannot be opened or written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "general/free_unit.h"
#include "general/run_failure.h"
#include "general/text_field.h"
#include "general/units.h"
#include "gif/add_image.h"
#include "gif/write.h"
#include "support/gif_io.h"
#include "support/units_probe.h"
#include "support/writer_files.h"
#include "support/writer_reference.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using testing::ConsoleCapture;
using testing::randomImage;
using testing::readFile;
using testing::ScratchDir;

// Where each frame's blocks start in a written file.
struct FrameAt {
  std::size_t gce;         // 0x21 0xF9 ...
  std::size_t descriptor;  // 0x2C ...
  std::size_t data;        // LZW minimum code size byte
};

std::vector<FrameAt> framesIn(const Bytes& f, std::size_t head) {
  std::vector<FrameAt> frames;
  std::size_t pos = head;
  while (pos + 1 < f.size() && f[pos] == 0x21 && f[pos + 1] == 0xF9) {
    FrameAt at{pos, pos + 8, pos + 18};
    pos = at.data + 1;
    while (pos < f.size() && f[pos] != 0) pos += f[pos] + 1u;
    frames.push_back(at);
    ++pos;
  }
  return frames;
}

std::size_t headLength(std::int32_t bits, std::int32_t frames) {
  return 13 + 3 * (std::size_t{1} << bits) + (frames > 1 ? 19 : 0);
}

Bytes slice(const Bytes& f, std::size_t at, std::size_t n) {
  return Bytes(f.begin() + static_cast<std::ptrdiff_t>(at),
               f.begin() + static_cast<std::ptrdiff_t>(at + n));
}

class WriterFile : public ::testing::Test {
 protected:
  std::mt19937 rng{99};
  ScratchDir dir{"writer"};
  ConsoleCapture console;
};

TEST_F(WriterFile, OnePixelFile) {
  GIFImage image;
  image.reset();
  image.setColormap({0x000000, 0xFFFFFF});
  image.setImage(Frame16{1, 1, {0}});
  const std::string name = dir.file("one.gif");
  testing::putFile(name, "an older file of this name");
  ASSERT_TRUE(testing::writeGif(image, name + "   "));
  const Bytes want{0x47, 0x49, 0x46, 0x38, 0x39, 0x61,                          // GIF89a
                   0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00,                    // screen
                   0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,                          // colours
                   0x21, 0xF9, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00,              // control
                   0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00,  // image
                   0x02, 0x02, 0x44, 0x01, 0x00,                                // data
                   0x3B};
  EXPECT_EQ(readFile(name), want);
  EXPECT_EQ(image.fileName, makeField(name));
  EXPECT_EQ(testing::entriesOf(dir), std::vector<std::string>{"one.gif"})
      << "no temporary file is left";
  EXPECT_EQ(console.text(), "");
}

TEST_F(WriterFile, ColourTableSizes) {
  struct Case {
    std::int32_t entries, bits;
    std::uint8_t packed;
  };
  for (const Case c : {Case{1, 1, 0x80}, Case{2, 1, 0x80}, Case{3, 2, 0x91}, Case{4, 2, 0x91},
                       Case{256, 8, 0xF7}, Case{300, 8, 0xF7}}) {
    GIFImage image = randomImage(rng, 2, 1, 1, c.entries, 0, 1);
    // Colour values are written as their low 8 bits.
    image.colormap(1, 0) = 300;
    image.colormap(2, 0) = -1;
    const std::string name = dir.file("map" + std::to_string(c.entries) + ".gif");
    ASSERT_TRUE(testing::writeGif(image, name));
    const Bytes f = readFile(name);
    ASSERT_GT(f.size(), headLength(c.bits, 1));
    EXPECT_EQ(f[10], c.packed) << c.entries << " entries";
    const std::size_t tableEntries = std::size_t{1} << c.bits;
    EXPECT_EQ(f[13 + 3 * tableEntries], 0x21) << "the table has " << tableEntries << " entries";
    EXPECT_EQ(slice(f, 13, 3), (Bytes{44, 255, 0}));
    for (std::size_t i = 1; i < tableEntries; ++i) {
      const auto j = static_cast<std::int32_t>(std::min<std::size_t>(i, c.entries - 1u));
      const Bytes want = j == 0
                             ? Bytes{44, 255, 0}
                             : Bytes{static_cast<std::uint8_t>(j), static_cast<std::uint8_t>(2 * j),
                                     static_cast<std::uint8_t>(3 * j)};
      ASSERT_EQ(slice(f, 13 + 3 * i, 3), want) << c.entries << " entries, entry " << i;
    }
  }
}

TEST_F(WriterFile, CodeSizeRisesAfterTheFirstFrame) {
  // Two colours: the table has 1 bit, the image data 2. Frames large enough
  // for the helper thread, and small ones compressed on the caller's thread.
  for (const std::int32_t side : {3, 130}) {
    for (const int threads : {1, 2}) {
      GIFImage image = randomImage(rng, side, side, 4, 2, 0, 1);
      const std::string name = dir.file("raise.gif");
      ASSERT_TRUE(testing::writeGif(image, name, WriteOptions{65535, threads}));
      const Bytes f = readFile(name);
      const auto frames = framesIn(f, headLength(1, 4));
      ASSERT_EQ(frames.size(), 4u);
      for (std::size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(f[frames[k].descriptor + 9], k == 0 ? 0x00 : 0x01) << "frame " << k + 1;
        EXPECT_EQ(f[frames[k].data], 0x02) << "frame " << k + 1;
      }
    }
  }
}

TEST_F(WriterFile, GraphicControlAndTransparency) {
  const std::string name = dir.file("gce.gif");
  GIFImage image = randomImage(rng, 5, 4, 3, 16, 0, 15);
  image.delayTime = 30;
  ASSERT_TRUE(testing::writeGif(image, name));
  Bytes f = readFile(name);
  EXPECT_EQ(f[11], 0x00);
  for (const FrameAt& at : framesIn(f, headLength(4, 3))) {
    EXPECT_EQ(slice(f, at.gce, 8), (Bytes{0x21, 0xF9, 0x04, 0x08, 0x1E, 0x00, 0x00, 0x00}));
  }
  EXPECT_EQ(console.text(), "");

  image.transparentColorIndex = 5;
  image.delayTime = 0x1234;
  ASSERT_TRUE(testing::writeGif(image, name));
  f = readFile(name);
  EXPECT_EQ(f[11], 0x05);
  const auto frames = framesIn(f, headLength(4, 3));
  ASSERT_EQ(frames.size(), 3u);
  for (const FrameAt& at : frames) {
    EXPECT_EQ(slice(f, at.gce, 8), (Bytes{0x21, 0xF9, 0x04, 0x09, 0x34, 0x12, 0x05, 0x00}));
  }
  EXPECT_EQ(console.text(), " Transparent color:            5\n") << "one line per file";

  // An index above 255 is written as its low 8 bits but printed in full.
  image.transparentColorIndex = 300;
  ASSERT_TRUE(testing::writeGif(image, name));
  f = readFile(name);
  EXPECT_EQ(f[11], 44);
  EXPECT_EQ(f[framesIn(f, headLength(4, 3))[0].gce + 6], 44);
  EXPECT_EQ(console.text(), " Transparent color:            5\n Transparent color:          300\n");
}

TEST_F(WriterFile, FramesWithColoursOfTheirOwn) {
  // Frame 1 has the record's colours (transparency 5); frames 2 to 6 carry
  // their own tables of 1, 2, 3, 4 and 256 entries; frame 7 its own
  // transparency with the record's table; frame 8 nothing of its own.
  GIFImage image = randomImage(rng, 6, 5, 8, 16, 0, 15);
  image.transparentColorIndex = 5;
  const struct {
    std::int32_t entries;  // 0: the record's table
    std::int32_t transparent;
    std::uint8_t packed;  // image descriptor
    std::size_t tableEntries;
    std::uint8_t codeSize;
  } want[] = {{0, 5, 0x03, 0, 4},  {1, 1, 0x80, 2, 2},  {2, -1, 0x80, 2, 2},
              {3, -1, 0x81, 4, 2}, {4, -1, 0x81, 4, 2}, {256, -1, 0x87, 256, 8},
              {0, 2, 0x03, 0, 4},  {0, 5, 0x03, 0, 4}};
  image.frameColours.resize(7);
  for (std::size_t k = 1; k < 7; ++k) {
    FrameColours own;
    own.transparentColorIndex = want[k].transparent;
    if (want[k].entries == 0) {
      own.rgb = coloursOf(image).rgb;  // the record's colours, given again
    }
    for (std::int32_t i = 0; i < want[k].entries; ++i) {
      own.rgb.insert(own.rgb.end(),
                     {static_cast<std::uint8_t>(i), 7, static_cast<std::uint8_t>(k)});
    }
    image.frameColours[k] = own;
  }
  const std::string name = dir.file("own.gif");
  ASSERT_TRUE(testing::writeGif(image, name));
  const Bytes f = readFile(name);
  std::size_t pos = headLength(4, 8);
  for (std::size_t k = 0; k < std::size(want); ++k) {
    SCOPED_TRACE("frame " + std::to_string(k + 1));
    const bool transparent = want[k].transparent >= 0;
    EXPECT_EQ(
        slice(f, pos, 8),
        (Bytes{0x21, 0xF9, 0x04, static_cast<std::uint8_t>(transparent ? 0x09 : 0x08), 0x00, 0x00,
               static_cast<std::uint8_t>(transparent ? want[k].transparent : 0), 0x00}));
    pos += 8;
    ASSERT_EQ(f[pos + 9], want[k].packed);
    pos += 10;
    for (std::size_t i = 0; i < want[k].tableEntries; ++i) {
      const auto last = static_cast<std::size_t>(want[k].entries - 1);
      const Bytes entry{static_cast<std::uint8_t>(std::min(i, last)), 7,
                        static_cast<std::uint8_t>(k)};
      ASSERT_EQ(slice(f, pos + 3 * i, 3), entry) << "entry " << i;
    }
    pos += 3 * want[k].tableEntries;
    EXPECT_EQ(f[pos], want[k].codeSize);
    ++pos;
    while (f[pos] != 0) pos += f[pos] + 1u;
    ++pos;
  }
  EXPECT_EQ(f[pos], 0x3B);
}

TEST_F(WriterFile, LoopingBlockOnlyForAnimations) {
  const std::string name = dir.file("loop.gif");
  GIFImage image = randomImage(rng, 3, 3, 2, 4, 0, 3);
  ASSERT_TRUE(testing::writeGif(image, name));
  const std::string app = "\x21\xFF\x0BNETSCAPE2.0\x03\x01\xFF\xFF";
  Bytes want(app.begin(), app.end());
  want.push_back(0x00);
  EXPECT_EQ(slice(readFile(name), 13 + 12, 19), want);

  ASSERT_TRUE(testing::writeGif(image, name, WriteOptions{0}));
  want[16] = 0x00;
  want[17] = 0x00;
  EXPECT_EQ(slice(readFile(name), 13 + 12, 19), want);

  image.numFrames = 1;
  ASSERT_TRUE(testing::writeGif(image, name));
  EXPECT_EQ(slice(readFile(name), 13 + 12, 3), (Bytes{0x21, 0xF9, 0x04}));
}

TEST_F(WriterFile, NoFramesAndEmptyFrames) {
  const std::string name = dir.file("empty.gif");
  GIFImage image;
  image.reset();
  image.setColormap({0x102030, 0x405060, 0x708090});
  ASSERT_TRUE(testing::writeGif(image, name));
  Bytes want{'G',  'I',  'F',  '8',  '9',  'a',  0,    0,    0,    0,    0x91, 0,    0,
             0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0x70, 0x80, 0x90, 0x3B};
  EXPECT_EQ(readFile(name), want);

  // Frames of width 0: clear code and end code only.
  image.setImage(Frame16{0, 7, {}});
  ASSERT_TRUE(testing::writeGif(image, name));
  want.pop_back();
  want[8] = 7;
  for (std::uint8_t b : {0x21, 0xF9, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00,
                         0x00, 0x00, 0x00, 0x07, 0x00, 0x01, 0x02, 0x01, 0x2C, 0x00, 0x3B}) {
    want.push_back(b);
  }
  EXPECT_EQ(readFile(name), want);
}

TEST_F(WriterFile, HelperThreadWritesTheSameBytes) {
  struct Case {
    std::int32_t w, h, frames, colours, transparent;
  };
  // Odd and even frame counts, the code size raise (two colours) and more
  // frames than the helper may hold ahead.
  for (const Case c :
       {Case{130, 130, 2, 2, -1}, Case{130, 127, 5, 16, 3}, Case{200, 150, 8, 256, 255},
        Case{257, 64, 3, 300, -1}, Case{64, 300, 6, 1, 0}}) {
    GIFImage image = randomImage(rng, c.w, c.h, c.frames, c.colours, -3, c.colours + 2);
    image.transparentColorIndex = c.transparent;
    std::string lines[2];
    Bytes files[2];
    for (const int threads : {1, 2}) {
      const std::string name = dir.file("threads" + std::to_string(threads) + ".gif");
      ConsoleCapture own;
      ASSERT_TRUE(testing::writeGif(image, name, WriteOptions{1234, threads}));
      lines[threads - 1] = own.text();
      files[threads - 1] = readFile(name);
    }
    EXPECT_EQ(lines[1], lines[0]);
    ASSERT_EQ(files[1], files[0]) << c.w << "x" << c.h << " x" << c.frames << ", " << c.colours
                                  << " colours";
  }
}

TEST_F(WriterFile, NothingToWriteWithoutColourMap) {
  const std::string name = dir.file("nomap.gif");
  const std::string warning =
      "WARNING in subroutine RasterImageModule::writeGIFImage.\n"
      "Image has no colour map; no GIF file written.\n"
      "  ---=== TRYING TO CONTINUE PROGRAM ===--- \n";
  GIFImage image;
  image.reset();
  image.setImage(Frame16{2, 2, {0, 1, 1, 0}});
  EXPECT_FALSE(testing::writeGif(image, name));
  image.setColormap({});
  EXPECT_FALSE(testing::writeGif(image, name));
  EXPECT_EQ(console.text(), warning + warning);
  EXPECT_TRUE(testing::entriesOf(dir).empty());
  EXPECT_EQ(image.fileName, makeField("gifimage.gif"));
}

TEST_F(WriterFile, NoFreeUnit) {
  const std::string held = dir.file("held");
  testing::putFile(held, "x");
  for (int u = 7; u <= UnitRegistry::kHighestUnit; ++u)
    ASSERT_EQ(units().openForReading(u, held), 0);
  GIFImage image = randomImage(rng, 2, 2, 1, 2, 0, 1);
  const bool written = !!testing::writeGif(image, dir.file("nounit.gif"));
  testing::releaseAllUnits();
  EXPECT_FALSE(written);
  EXPECT_EQ(console.text(),
            "WARNING in subroutine utils::getFreeUnit.\n"
            "No free logical unit numbers are available...you are in serious trouble!\n"
            "  ---=== TRYING TO CONTINUE PROGRAM ===--- \n"
            "WARNING in subroutine RasterImageModule::writeGIFImage.\n"
            "Could not open file to write GIF since no unit is available\n"
            "  ---=== TRYING TO CONTINUE PROGRAM ===--- \n");
  EXPECT_EQ(testing::entriesOf(dir), std::vector<std::string>{"held"});
}

TEST_F(WriterFile, FailedOpenReportsAndStops) {
  const std::string name = dir.file("missing-directory/out.gif");
  GIFImage image = randomImage(rng, 2, 2, 1, 2, 0, 1);
  const RunResult result = testing::writeGif(image, name + "  ");
  EXPECT_EQ(result.failure, Failure::OpenFailed) << "the run goes on after a failed open";
  EXPECT_EQ(failureText(result), "") << "the console report says it all";
  EXPECT_EQ(console.text(),
            "WARNING in subroutine GIFImageModule::WriteGIFImage.\n ERROR WHILE OPENING " + name +
                ".\n" + makeField("--> PLEASE CHECK IF THE FILE EXISTS!") + "\n");
  EXPECT_EQ(testing::openUnitCount(), 0);
}

// Write in a child process whose files may grow to `limit` bytes; returns
// the child's exit status (1 when writing failed, -1 when it did not exit
// normally) and the line for standard error.
int writeWithSizeLimit(GIFImage& image, const std::string& name, int threads, rlim_t limit,
                       std::string& errors) {
  std::FILE* errorFile = std::tmpfile();
  if (errorFile == nullptr) return -2;
  std::cout.flush();
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit small{limit, limit};
    setrlimit(RLIMIT_FSIZE, &small);
    const RunResult result = testing::writeGif(image, name, WriteOptions{65535, threads});
    if (!result.stopsRun()) _exit(50);
    const std::string line = failureText(result) + "\n";
    if (std::fwrite(line.data(), 1, line.size(), errorFile) != line.size()) _exit(51);
    std::fflush(errorFile);
    _exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  std::rewind(errorFile);
  errors.clear();
  for (int c = std::fgetc(errorFile); c != EOF; c = std::fgetc(errorFile)) {
    errors += static_cast<char>(c);
  }
  std::fclose(errorFile);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(WriterFile, FailedWriteLeavesExistingFileAlone) {
  const std::string name = dir.file("anim.gif");
  testing::putFile(name, "the previous animation");
  struct Case {
    std::int32_t side, frames;
    int threads;
    rlim_t limit;
    const char* what;
  };
  // A large frame fails in a write; a small file fails when it is flushed
  // on closing; a helper-compressed frame fails while the helper runs.
  GIFImage probe = randomImage(rng, 400, 400, 3, 256, 0, 255);
  std::int32_t codeSize = 8;
  const std::size_t firstFrameEnd =
      headLength(8, 3) + 8 + 10 +
      testing::referenceEncode(probe.pixels.frame(1), probe.pixels.framePixels(), codeSize).size() +
      1 + 1000;
  for (const Case c : {Case{400, 1, 1, 4096, "write"}, Case{60, 1, 1, 2048, "close"},
                       Case{400, 3, 2, firstFrameEnd, "helper frame"}}) {
    GIFImage image = c.side == 400 ? probe : randomImage(rng, c.side, c.side, 1, 256, 0, 255);
    image.numFrames = c.frames;
    std::string errors;
    EXPECT_EQ(writeWithSizeLimit(image, name, c.threads, c.limit, errors), 1) << c.what;
    EXPECT_EQ(errors, std::string(kWriteFailedText) + name + ": File too large\n") << c.what;
    EXPECT_EQ(testing::entriesOf(dir), std::vector<std::string>{"anim.gif"}) << c.what;
    const Bytes kept = readFile(name);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the previous animation") << c.what;
  }
}

TEST(WriterUint16, LowByteFirst) {
  EXPECT_EQ(uint16_to_chars(0), (std::array<std::uint8_t, 2>{0, 0}));
  EXPECT_EQ(uint16_to_chars(30), (std::array<std::uint8_t, 2>{30, 0}));
  EXPECT_EQ(uint16_to_chars(0x1234), (std::array<std::uint8_t, 2>{0x34, 0x12}));
  EXPECT_EQ(uint16_to_chars(65535), (std::array<std::uint8_t, 2>{0xFF, 0xFF}));
}

}  // namespace
}  // namespace gifjoin
