// Faults around a run of the real tool: unusable answers, an output file
// that cannot be opened or fails part way through its writing, inputs that
// are no regular files or change under the tool, and a series whose further
// files differ from the first in size, colour tables and code sizes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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
using testing::ScratchDir;

struct ShellRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the tool in `dir` through bash: `prefix` comes first (limits,
// traps), then the tool with `args` and the answers on standard input.
// Every run is bounded: a hang ends as status 124.
ShellRun runShell(const ScratchDir& dir, const std::string& answers, const std::string& prefix = "",
                  const std::string& args = "", const std::string& console = ".stdout") {
  std::ofstream(dir.file(".answers"), std::ios::binary) << answers;
  std::ofstream(dir.file(".run.sh")) << "cd '" << dir.path().string() << "' || exit 99\n"
                                     << prefix << "\ntimeout 60 '" << testing::toolBinary() << "' "
                                     << args << " < .answers > " << console << " 2> .stderr\n";
  const int raw = std::system(("bash '" + dir.file(".run.sh") + "'").c_str());
  ShellRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const auto text = [&](const char* name) {
    const auto bytes = testing::readFile(dir.file(name));
    return std::string(bytes.begin(), bytes.end());
  };
  run.out = text(".stdout");
  run.err = text(".stderr");
  return run;
}

void save(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<int> noise(int count, int colours, unsigned seed) {
  std::vector<int> v(static_cast<std::size_t>(count));
  unsigned x = seed * 2654435761U + 1;
  for (int& value : v) {
    x = x * 1103515245U + 12345U;
    value = static_cast<int>((x >> 16) % static_cast<unsigned>(colours));
  }
  return v;
}

// A file of one w x h image with a 256-colour global table.
Bytes frameFile(int w, int h, const std::vector<int>& values) {
  GifBytes g;
  g.header().screen(w, h, 0xF7).colorTable(256).graphicControl(0x00, 10, 0);
  g.image(w, h, values, 8).trailer();
  return g.bytes();
}

// The frames of a written file, read back with our reader.
std::vector<std::vector<std::int32_t>> framesOf(const std::string& path) {
  std::vector<std::vector<std::int32_t>> frames;
  GifReader reader{testing::followingConsole()};
  testing::ConsoleCapture quiet;
  for (std::int32_t k = 1;; ++k) {
    GIFImage image;
    std::int32_t status = 0;
    testing::readGif(image, reader, path, k, status, 0);
    if (status != 0 || !image.pixels.present()) break;
    const std::int32_t* p = image.pixels.frame(1);
    frames.emplace_back(p, p + image.pixels.framePixels());
  }
  return frames;
}

std::vector<std::int32_t> widened(const std::vector<int>& values) {
  return {values.begin(), values.end()};
}

bool hasTemporaryFile(const ScratchDir& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    if (entry.path().filename().string().find(".tmp") != std::string::npos) return true;
  }
  return false;
}

constexpr std::string_view kFinalLine = " This should have written an animated Gif to:";

TEST(RobustAnswers, UnusableAnswersEndTheRunWithoutOutput) {
  const struct {
    const char* what;
    const char* answers;
    int prompts;  // prompts written before the run ends
  } cases[] = {
      {"no answer at all", "", 1},
      {"only blank lines", "\n  \n\n", 1},
      {"ends after the base name", "walk\n", 2},
      {"ends after the lower index", "walk\n1\n", 3},
      {"a lower index with a fraction", "walk\n1.5\n2\n", 2},
      {"a higher index in hexadecimal", "walk\n1\n0x10\n", 3},
      {"a sign alone", "walk\n-\n2\n", 2},
      {"an index beyond 32 bits", "walk\n1\n99999999999\n", 3},
      {"a doubled sign", "walk\n--1\n2\n", 2},
  };
  const char* const prompts[] = {"  > Provide the basename:\n", "  > Provide the lower index:\n",
                                 "  > Provide the higher index:\n"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir("answers");
    save(dir.file("walk_1.gif"), frameFile(4, 4, noise(16, 256, 1)));
    save(dir.file("walk_2.gif"), frameFile(4, 4, noise(16, 256, 2)));
    const ShellRun run = runShell(dir, c.answers);
    EXPECT_EQ(run.status, 2);
    EXPECT_FALSE(run.err.empty()) << "a reason on standard error";
    std::string tail;
    for (int i = 0; i < c.prompts; ++i) tail = prompts[i];
    EXPECT_TRUE(run.out.ends_with(tail)) << run.out;
    EXPECT_EQ(run.out.find("Opening"), std::string::npos) << "no file is read";
    EXPECT_FALSE(std::filesystem::exists(dir.file("walk_Animated.gif")));
    EXPECT_FALSE(hasTemporaryFile(dir));
  }
}

TEST(RobustOutput, TargetThatCannotBeOpenedEndsWithStatus1) {
  const struct {
    const char* what;
    const char* args;
    const char* target;
  } cases[] = {
      {"the target is a directory", "", "walk_Animated.gif"},
      {"the target's directory does not exist", "-o no_such_dir/out.gif walk 1 2",
       "no_such_dir/out.gif"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir("target");
    save(dir.file("walk_1.gif"), frameFile(4, 4, noise(16, 256, 1)));
    save(dir.file("walk_2.gif"), frameFile(4, 4, noise(16, 256, 2)));
    std::filesystem::create_directory(dir.file("walk_Animated.gif"));
    const ShellRun run = runShell(dir, "walk\n1\n2\n", "", c.args);
    EXPECT_EQ(run.status, 1);
    const std::string report =
        "WARNING in subroutine GIFImageModule::WriteGIFImage.\n ERROR WHILE OPENING " +
        std::string(c.target) + ".\n";
    EXPECT_NE(run.out.find(report), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(kFinalLine), std::string::npos) << "the run ends at the failed open";
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("walk_Animated.gif")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("walk_Animated.gif")));
    EXPECT_FALSE(hasTemporaryFile(dir));
  }
}

// The output grows past the file size limit (with SIGXFSZ ignored every
// write beyond it fails with EFBIG): the old file stays as it was.
TEST(RobustOutput, WriteFailingPartWayLeavesTheOldFileAndNoTemporary) {
  ScratchDir dir("fsize");
  for (int i = 1; i <= 3; ++i) {
    save(dir.file("walk_" + std::to_string(i) + ".gif"),
         frameFile(130, 130, noise(130 * 130, 256, static_cast<unsigned>(i))));
  }
  const std::string old = "an animation of an earlier run";
  std::ofstream(dir.file("walk_Animated.gif")) << old;

  const ShellRun limited = runShell(dir, "walk\n1\n3\n", "ulimit -f 16; trap '' XFSZ");
  EXPECT_EQ(limited.status, 1);
  EXPECT_NE(limited.err.find("gifjoin: could not write walk_Animated.gif: "), std::string::npos)
      << limited.err;
  EXPECT_EQ(limited.out.find(kFinalLine), std::string::npos);
  const auto kept = testing::readFile(dir.file("walk_Animated.gif"));
  EXPECT_EQ(std::string(kept.begin(), kept.end()), old);
  EXPECT_FALSE(hasTemporaryFile(dir));

  // Without the limit the same series is written whole (it needs more room
  // than the limit gave).
  const ShellRun free = runShell(dir, "walk\n1\n3\n");
  EXPECT_EQ(free.status, 0);
  EXPECT_GT(std::filesystem::file_size(dir.file("walk_Animated.gif")), 16U * 1024U);
  EXPECT_EQ(framesOf(dir.file("walk_Animated.gif")).size(), 3U);
}

// A directory, a FIFO without a writer and an endless device in the place of
// the second file: each is reported like a missing file and left out, the
// run goes on and writes the other frames.
TEST(RobustInputs, NamesThatAreNoRegularFilesAreLeftOut) {
  const struct {
    const char* what;
    void (*make)(const std::string& path);
  } cases[] = {
      {"a directory", [](const std::string& p) { std::filesystem::create_directory(p); }},
      {"a FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
      {"a link to /dev/zero",
       [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }},
  };
  const auto first = noise(36, 256, 1);
  const auto third = noise(36, 256, 3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir("inputs");
    save(dir.file("walk_1.gif"), frameFile(6, 6, first));
    c.make(dir.file("walk_2.gif"));
    save(dir.file("walk_3.gif"), frameFile(6, 6, third));
    const ShellRun run = runShell(dir, "walk\n1\n3\n");
    ASSERT_EQ(run.status, 0) << "124 means the tool hung";
    EXPECT_NE(run.out.find("Opening walk_2.gif\nWARNING in subroutine RasterImageModule::openGIF.\n"
                           " ERROR WHILE OPENING walk_2.gif.\nFailed to open file.\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(std::string(kFinalLine) + "walk_Animated.gif\n"), std::string::npos);
    const auto frames = framesOf(dir.file("walk_Animated.gif"));
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0], widened(first));
    EXPECT_EQ(frames[1], widened(third));
  }
}

// The second file is cut short between two runs: the second run reports
// where the data end, keeps what was decoded (the rest of the frame 0) and
// still writes every frame.
TEST(RobustInputs, FileCutShortBetweenRuns) {
  ScratchDir dir("cut");
  const auto values = noise(400, 256, 7);
  for (int i = 1; i <= 3; ++i)
    save(dir.file("walk_" + std::to_string(i) + ".gif"), frameFile(20, 20, values));
  ASSERT_EQ(runShell(dir, "walk\n1\n3\n").status, 0);
  ASSERT_EQ(framesOf(dir.file("walk_Animated.gif")).size(), 3U);

  const auto size = std::filesystem::file_size(dir.file("walk_2.gif"));
  std::filesystem::resize_file(dir.file("walk_2.gif"), size - 200);
  const ShellRun run = runShell(dir, "walk\n1\n3\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("WARNING in subroutine RasterImageModule::get_data_block.\n"
                         " ERROR WHILE READING FROM walk_2.gif.\n"),
            std::string::npos)
      << run.out;
  const auto frames = framesOf(dir.file("walk_Animated.gif"));
  ASSERT_EQ(frames.size(), 3U);
  EXPECT_EQ(frames[0], widened(values));
  EXPECT_EQ(frames[2], widened(values));
  EXPECT_NE(frames[1], widened(values));
  EXPECT_EQ(frames[1].back(), 0) << "pixels the data do not reach are 0";
}

// A large file cut short by another thread while it is being read: whatever
// the reader saw, it ends, reports a short file or has every pixel, and
// gives its unit back.
TEST(RobustInputs, FileShrinkingWhileBeingRead) {
  const auto values = noise(600 * 600, 256, 11);
  GifBytes g;
  g.header().screen(600, 600, 0xF7).colorTable(256);
  g.imageDescriptor(600, 600).imageData(8, testing::lzwEncode(values, 8), 7).trailer();
  ScratchDir dir("shrink");
  const std::string path = dir.file("walk_1.gif");
  GifReader reader{testing::followingConsole()};
  int cut = 0;
  for (int attempt = 0; attempt < 6; ++attempt) {
    save(path, g.bytes());
    std::atomic<bool> started{false};
    std::thread shrinker([&] {
      while (!started) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::microseconds(200 * attempt));
      std::filesystem::resize_file(path, 5000);
    });
    GIFImage image;
    std::int32_t status = 0;
    {
      testing::ConsoleCapture console;
      started = true;
      testing::readGif(image, reader, path, 1, status, 1);
    }
    shrinker.join();
    EXPECT_EQ(testing::openUnitCount(), 0);
    if (status == 0) {
      ASSERT_TRUE(image.pixels.present());
      EXPECT_TRUE(std::equal(values.begin(), values.end(), image.pixels.frame(1)));
    } else {
      ++cut;
    }
  }
  RecordProperty("reads cut short", cut);
}

// Further files whose screens, colour tables, code sizes, interlace and
// sub-block sizes differ from the first file's: frames of the first file's
// size are appended value for value, the others are refused.
TEST(RobustSeries, FurtherFilesOfOtherSizesTablesAndCodeSizes) {
  ScratchDir dir("series");
  const auto first = noise(100, 256, 1);
  save(dir.file("walk_1.gif"), frameFile(10, 10, first));

  const auto second = noise(100, 4, 2);  // 4-colour global table, code size 2
  GifBytes two;
  two.header("GIF87a").screen(10, 10, 0x81).colorTable(4).image(10, 10, second, 2).trailer();
  save(dir.file("walk_2.gif"), two.bytes());

  GifBytes three;  // another size
  three.header()
      .screen(12, 10, 0xF7)
      .colorTable(256)
      .image(12, 10, noise(120, 256, 3), 8)
      .trailer();
  save(dir.file("walk_3.gif"), three.bytes());

  const auto fourth = noise(100, 16, 4);  // no global table, local 16 colours, interlaced
  GifBytes four;
  four.header().screen(40, 40, 0x00).imageDescriptor(10, 10, 0xC3).colorTable(16);
  four.imageData(4, testing::lzwEncode(fourth, 4), 1).trailer();
  save(dir.file("walk_4.gif"), four.bytes());

  const auto fifth = noise(100, 128, 5);  // 2-colour global table, local 128, code size 7
  GifBytes five;
  five.header().screen(10, 10, 0x80).colorTable(2).graphicControl(0x01, 0, 9);
  five.imageDescriptor(10, 10, 0x86)
      .colorTable(128)
      .imageData(7, testing::lzwEncode(fifth, 7), 100);
  five.image(10, 10, noise(100, 2, 6), 2).trailer();
  save(dir.file("walk_5.gif"), five.bytes());

  const ShellRun run = runShell(dir, "walk\n1\n5\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Dimensions of additional image differ from rest of animation"),
            std::string::npos);
  const auto frames = framesOf(dir.file("walk_Animated.gif"));
  ASSERT_EQ(frames.size(), 4U);
  EXPECT_EQ(frames[0], widened(first));
  EXPECT_EQ(frames[1], widened(second));
  // The fourth file is interlaced: its values arrive in interlaced row order.
  std::vector<std::int32_t> rows(100);
  std::size_t from = 0;
  for (const auto& [firstRow, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
    for (int y = firstRow; y < 10; y += step) {
      for (int x = 0; x < 10; ++x) rows[static_cast<std::size_t>(y * 10 + x)] = fourth[from++];
    }
  }
  EXPECT_EQ(frames[2], rows);
  EXPECT_EQ(frames[3], widened(fifth));
}

// A base name of 240 characters: the series names (246) and the output
// name (253) are all within the system's limit of 255 bytes per name, and
// so must be the temporary file the output is written to first.
TEST(RobustOutput, LongOutputNameWithinTheSystemLimitIsWritten) {
  ScratchDir dir("long");
  const std::string base(240, 'a');
  save(dir.file(base + "_1.gif"), frameFile(4, 4, noise(16, 256, 1)));
  const ShellRun run = runShell(dir, base + "\n1\n1\n");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(std::filesystem::exists(dir.file(base + "_Animated.gif")));
  EXPECT_FALSE(hasTemporaryFile(dir));
}

// Standard output on a full device: every progress line and report is
// lost. A console that cannot be written is a failure of the run: status 1
// and a line on standard error, even though the output file was written.
TEST(RobustOutput, ConsoleThatCannotBeWrittenIsAFailure) {
  ScratchDir dir("console");
  save(dir.file("walk_1.gif"), frameFile(4, 4, noise(16, 256, 1)));
  const ShellRun run = runShell(dir, "walk\n1\n1\n", "", "", "/dev/full");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(run.err.empty());
}

}  // namespace
}  // namespace gifjoin
