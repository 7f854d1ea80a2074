// The unit registry: which numbers are handed out, and the files behind them.
#include "general/units.h"
#include "general/free_unit.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <vector>

#include "support/console_capture.h"
#include "support/units_probe.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace gifjoin {
namespace {

namespace fs = std::filesystem;
using testing::ConsoleCapture;

class UnitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::releaseAllUnits();
    dir_ = fs::temp_directory_path() /
           ("gifjoin_units_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    file_ = (dir_ / "data.bin").string();
    std::ofstream(file_, std::ios::binary) << "abcdef";
  }
  void TearDown() override {
    testing::releaseAllUnits();
    fs::remove_all(dir_);
  }
  fs::path dir_;
  std::string file_;
};

TEST_F(UnitsTest, HighestFreeNumberWinsAndIsFreeAgainAfterClose) {
  EXPECT_EQ(getFreeUnit(), 100);
  EXPECT_EQ(getFreeUnit(), 100);  // no open in between: same number
  ASSERT_EQ(units().openForReading(100, file_), 0);
  ASSERT_EQ(units().openForReading(99, file_), 0);
  EXPECT_EQ(getFreeUnit(), 98);
  units().close(100);
  EXPECT_EQ(getFreeUnit(), 100);
}

TEST_F(UnitsTest, AllUnitsTakenGivesMinusOneAndTheWarning) {
  for (int u = 7; u <= 100; ++u) ASSERT_EQ(units().openForReading(u, file_), 0) << u;
  EXPECT_EQ(testing::openUnitCount(), 94);
  ConsoleCapture out;
  EXPECT_EQ(getFreeUnit(), -1);
  EXPECT_EQ(out.text(),
            "WARNING in subroutine utils::getFreeUnit.\n"
            "No free logical unit numbers are available...you are in serious trouble!\n"
            "  ---=== TRYING TO CONTINUE PROGRAM ===--- \n");
  EXPECT_TRUE(units().isConnected(5));
  EXPECT_TRUE(units().isConnected(6));
}

TEST_F(UnitsTest, ReadsExactCountsAndKeepsPartialBytesAtEndOfFile) {
  ASSERT_EQ(units().openForReading(50, file_), 0);
  std::vector<std::uint8_t> buffer(4, 0);
  EXPECT_EQ(units().read(50, buffer.data(), 4), 0);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "abcd");
  buffer.assign(4, 'z');
  EXPECT_EQ(units().read(50, buffer.data(), 4), -1);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "efzz");
  EXPECT_EQ(units().read(50, buffer.data(), 1), -1);
  EXPECT_NE(units().read(49, buffer.data(), 1), 0);  // nothing open there
}

TEST_F(UnitsTest, MissingFilesAndDirectoriesCannotBeOpenedForReading) {
  EXPECT_GT(units().openForReading(50, (dir_ / "missing.gif").string()), 0);
  EXPECT_GT(units().openForReading(50, dir_.string()), 0);
  EXPECT_FALSE(units().isConnected(50));
}

TEST_F(UnitsTest, WrittenFileAppearsOnlyWhenClosedAndReplacesTheTarget) {
  const std::string target = (dir_ / "out.gif").string();
  std::ofstream(target) << "old contents";
  ASSERT_EQ(units().openForWriting(60, target), 0);
  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  ASSERT_EQ(units().write(60, bytes, 3), 0);
  {
    std::ifstream in(target);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "old contents");
  }
  ASSERT_EQ(units().close(60), 0);
  std::ifstream in(target);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(UnitsTest, ReleasingAWrittenFileLeavesTheTargetAndNoTemporaryFile) {
  const std::string target = (dir_ / "out.gif").string();
  std::ofstream(target) << "old";
  ASSERT_EQ(units().openForWriting(60, target), 0);
  const std::uint8_t bytes[] = {1, 2, 3};
  units().write(60, bytes, 3);
  units().release(60);
  std::ifstream in(target);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
  EXPECT_GT(units().openForWriting(61, (dir_ / "no" / "such" / "x.gif").string()), 0);
  EXPECT_FALSE(units().lastError().empty());
}

}  // namespace
}  // namespace gifjoin

namespace gifjoin {
namespace {

// Ctrl+C while the output is written: on Windows the temporary file is
// still open then, and must be deletable all the same.
using UnitsDeathTest = UnitsTest;

TEST_F(UnitsDeathTest, CtrlCWhileWritingRemovesTheTemporaryFileAndKeepsTheTarget) {
  const std::string target = (dir_ / "out.gif").string();
  std::ofstream(target) << "old";
  auto interruptWhileWriting = [&] {
    removeTemporaryFilesOnInterrupt();
    const std::uint8_t bytes[] = {1, 2, 3};
    if (units().openForWriting(60, target) != 0 || units().write(60, bytes, 3) != 0) std::exit(5);
    std::raise(SIGINT);
    std::exit(4);  // not reached: the signal ends the process
  };
#if defined(_WIN32)
  // The C runtime ends a process on SIGINT with status 3.
  EXPECT_EXIT(interruptWhileWriting(), ::testing::ExitedWithCode(3), "");
#else
  EXPECT_EXIT(interruptWhileWriting(), ::testing::KilledBySignal(SIGINT), "");
#endif
  std::ifstream in(target);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

#if !defined(_WIN32)
TEST_F(UnitsTest, InterruptWhileWritingRemovesTheTemporaryFileAndKeepsTheTarget) {
  const std::string target = (dir_ / "out.gif").string();
  std::ofstream(target) << "old";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    removeTemporaryFilesOnInterrupt();
    const std::uint8_t bytes[] = {1, 2, 3};
    if (units().openForWriting(60, target) != 0 || units().write(60, bytes, 3) != 0) _exit(3);
    std::raise(SIGTERM);
    _exit(4);  // not reached: the signal ends the process
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  std::ifstream in(target);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}
#endif

}  // namespace
}  // namespace gifjoin
