// Declared sizes: an image of more than 2^30 - 1 pixels ends the run before
// anything large is allocated; a large image with almost no data is read
// in time and memory that follow the data, not the declared size.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "general/units.h"
#include "gif/read.h"
#include "support/console_capture.h"
#include "support/gif_bytes.h"
#include "support/gif_io.h"
#include "support/run_tool.h"
#include "support/units_probe.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using testing::GifBytes;

// One image of the declared size whose data hold `codes` (packed, minimum
// code size 2), in a file with a 4-colour global table.
Bytes declared(int width, int height, const Bytes& codes, int packed = 0) {
  GifBytes g;
  g.header().screen(width, height, 0x81).colorTable(4).imageDescriptor(width, height, packed);
  return g.imageData(2, codes).trailer().bytes();
}

// The same, but the file ends inside the first sub-block of the data.
Bytes cutInData(int width, int height) {
  GifBytes g;
  g.header().screen(width, height, 0x81).colorTable(4).imageDescriptor(width, height);
  return g.raw({2, 5, 0x8C}).bytes();
}

// Clear code, the values 1, 2, 3 and the end code.
Bytes fewValues() {
  return testing::packCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 3}});
}

// Sanitizer builds touch pages of their own (shadow memory) on top of the
// tool's.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

struct ChildRun {
  int status = -1;
  long peakRssKb = 0;
  long minorFaults = 0;  // pages first touched: the same on every kernel
};

// Runs the tool itself (no shell in between) in `dir` with the answers on
// standard input; its own peak memory comes from wait4.
ChildRun runMeasured(const testing::ScratchDir& dir, const std::string& answers) {
  const std::string input = dir.file(".answers");
  std::ofstream(input) << answers;
  const std::string binary = testing::toolBinary();
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(98);
    const int in = open(input.c_str(), O_RDONLY);
    const int out = open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0) _exit(98);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    _exit(97);
  }
  ChildRun run;
  int raw = 0;
  rusage usage{};
  if (pid > 0 && wait4(pid, &raw, 0, &usage) == pid) {
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.peakRssKb = usage.ru_maxrss;
    run.minorFaults = usage.ru_minflt;
  }
  return run;
}

long residentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
  }
  return 0;
}

TEST(RobustDeclaredSizes, MoreThanTheLimitEndsTheRunWithStatus1) {
  testing::ScratchDir dir("limit");
  // 65535 x 16385 = 1073790975 pixels, just above 2^30 - 1.
  const Bytes bytes = declared(65535, 16385, fewValues());
  std::ofstream(dir.file("walk_1.gif"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const ChildRun run = runMeasured(dir, "walk\n1\n1\n");
  EXPECT_EQ(run.status, 1);
  // The tool with its sanitizers, if any, but never the 4 GiB array.
  EXPECT_LT(run.peakRssKb, 512L * 1024L);
  const auto out = testing::readFile(dir.file(".stdout"));
  const std::string text(out.begin(), out.end());
  const std::string report =
      "Opening walk_1.gif\n"
      "OpenGIF error in global colour map size.-->4 129\n"
      " Image size:       65535       16385\n"
      "ERROR in subroutine RasterImageModule::read_image.\n"
      " ERROR while allocating image. Terminating program.\n" +
      testing::padded("ERROR while allocating image. Terminating program.") +
      "\n  ---=== TERMINATING PROGRAM ===--- \n";
  EXPECT_TRUE(text.ends_with(report)) << text;
  EXPECT_FALSE(std::filesystem::exists(dir.file("walk_Animated.gif")));
}

// 30000 x 30000 = 9e8 pixels (3.6 GB of values) declared, three values
// given: the array is taken from the system untouched, so reading costs
// neither the time nor the memory of the declared size.
TEST(RobustDeclaredSizes, LargeImageWithAlmostNoDataIsReadQuickly) {
  const struct {
    const char* what;
    Bytes bytes;
    std::int32_t firstValue;  // the sub-block cut short yields nothing
  } cases[] = {
      {"sequential, ended by the end code", declared(30000, 30000, fewValues()), 1},
      {"interlaced, ended by the end code", declared(30000, 30000, fewValues(), 0x40), 1},
      {"the file ends inside the data", cutInData(30000, 30000), 0},
  };
  GifReader reader{testing::followingConsole()};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempFile file(c.bytes);
    GIFImage image;
    std::int32_t status = 0;
    const long before = residentKb();
    const auto start = std::chrono::steady_clock::now();
    {
      testing::ConsoleCapture console;
      ASSERT_TRUE(testing::readGif(image, reader, file.path(), 1, status, 1));
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const long grown = residentKb() - before;
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    EXPECT_LT(grown, 64L * 1024L) << "KiB resident after the read";
    EXPECT_EQ(testing::openUnitCount(), 0);
    ASSERT_TRUE(image.pixels.present());
    EXPECT_EQ(image.pixels.width(), 30000);
    EXPECT_EQ(image.pixels.height(), 30000);
    const std::int32_t* p = image.pixels.frame(1);
    EXPECT_EQ(p[0], c.firstValue);
    EXPECT_EQ(p[image.pixels.framePixels() - 1], 0);
  }
}

// A first file of 40 bytes declaring 30000 x 30000 and a second file that
// does not exist: the run costs what the first file alone costs (about
// 10 MB). The animation's next frame is offered to the reader before the
// second file is opened; its pages must come only with data decoded into
// them, not for a file that is not there or has another size.
TEST(RobustDeclaredSizes, MissingFurtherFileAfterALargeFirstFileCostsNoMemory) {
  testing::ScratchDir dir("slot");
  const Bytes bytes = declared(30000, 30000, fewValues());
  std::ofstream(dir.file("walk_1.gif"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const ChildRun run = runMeasured(dir, "walk\n1\n2\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_LT(run.peakRssKb, 512L * 1024L);
}

// Whole runs on files of a few bytes that declare 30000 x 30000: what the
// run holds and writes follows the data, so the pages it touches (counted
// as minor page faults, which no kernel setting changes) stay within 64 MiB
// however the data end.
TEST(RobustDeclaredSizes, WholeRunOnLargeDeclaredImagesTouchesFewPages) {
  const struct {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"sequential", declared(30000, 30000, fewValues())},
      {"interlaced", declared(30000, 30000, fewValues(), 0x40)},
      {"cut inside the data", cutInData(30000, 30000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScratchDir dir("declared");
    for (const char* name : {"walk_1.gif", "walk_2.gif"}) {
      std::ofstream(dir.file(name), std::ios::binary)
          .write(reinterpret_cast<const char*>(c.bytes.data()),
                 static_cast<std::streamsize>(c.bytes.size()));
    }
    const auto start = std::chrono::steady_clock::now();
    const ChildRun run = runMeasured(dir, "walk\n1\n2\n");
    EXPECT_EQ(run.status, 0);
    // AddressSanitizer's shadow memory takes pages of its own.
    if (!kSanitized) {
      EXPECT_LT(run.minorFaults, 64L * 1024 / 4) << "pages touched";
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // Two frames of zeros after a few values: about 1.2 MB of codes.
    EXPECT_LT(std::filesystem::file_size(dir.file("walk_Animated.gif")), 4u << 20);
  }
}

}  // namespace
}  // namespace gifjoin
