// Every input that ever crashed or hung the reader or a run (kept in
// tests/data/crashers/, named after what it broke) is read again for every
// image number the fuzz target may have used: it must end in bounded time,
// give its unit back and write only the reader's designed lines. Joined
// alone and twice, with and without -O, it must end alike (under the
// sanitizers: with no report).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "general/text_field.h"
#include "general/units.h"
#include "gif/raster.h"
#include "gif/read.h"
#include "support/console_capture.h"
#include "support/gif_io.h"
#include "support/memory_io.h"
#include "support/run_tool.h"
#include "support/units_probe.h"
#include "unit/robust_support.h"

namespace gifjoin {
namespace {

std::vector<std::filesystem::path> crashers() {
  // The test data beside this file's folder, unless named otherwise.
  const char* named = std::getenv("GIFJOIN_TEST_DATA");
  const std::filesystem::path data =
      named != nullptr && *named != '\0'
          ? std::filesystem::path(named)
          : std::filesystem::path(__FILE__).parent_path().parent_path() / "data";
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(data / "crashers", ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(RobustCrashers, EveryKnownCrasherIsReadSafely) {
  const auto files = crashers();
  if (files.empty()) GTEST_SKIP() << "no crasher has been found yet";
  GifReader reader{testing::followingConsole()};
  for (const auto& path : files) {
    const auto bytes = testing::readFile(path.string());
    const testing::ReaderLines lines(path.string());
    for (std::int32_t number = 0; number <= 4; ++number) {
      SCOPED_TRACE(path.filename().string() + ", image " + std::to_string(number));
      GIFImage image;
      std::int32_t status = 0;
      bool stopped = false;
      std::string text;
      const auto start = std::chrono::steady_clock::now();
      {
        testing::ConsoleCapture console;
        stopped = !testing::readGif(image, reader, path.string(), number, status, 1);
        text = console.text();
      }
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
      EXPECT_EQ(testing::openUnitCount(), 0);
      if (stopped) {
        EXPECT_TRUE(testing::declaresLargeImage(testing::Bytes(bytes.begin(), bytes.end()),
                                                kMaxImagePixels));
      }
      if (text.find("gif comment:") == std::string::npos &&
          text.find("Invalid GIF format") == std::string::npos) {
        const auto stranger = lines.stranger(text);
        EXPECT_FALSE(stranger.has_value()) << "have the line \"" << stranger.value_or("") << "\"";
      }
    }
  }
}

TEST(RobustCrashers, EveryKnownCrasherIsJoinedAlikeWithAndWithoutOptimising) {
  const auto files = crashers();
  if (files.empty()) GTEST_SKIP() << "no crasher has been found yet";
  for (const auto& path : files) {
    const auto bytes = testing::readFile(path.string());
    for (const std::int32_t count : {1, 2}) {
      SCOPED_TRACE(path.filename().string() + ", " + std::to_string(count) + " file(s)");
      int status[2] = {-1, -1};
      for (const bool optimize : {false, true}) {
        testing::MemoryJoinIo io;
        for (std::int32_t k = 1; k <= count; ++k) io.add("c_" + std::to_string(k) + ".gif", bytes);
        JoinRequest request;
        request.baseName = makeField("c");
        request.lowerIndex = 1;
        request.higherIndex = count;
        request.verbose = false;
        request.optimize = optimize;
        status[optimize ? 1 : 0] = runJoin(request, io);
      }
      EXPECT_EQ(status[1], status[0]);
    }
  }
}

}  // namespace
}  // namespace gifjoin
