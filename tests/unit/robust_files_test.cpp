// Broken files: every prefix of a handful of valid files, and a few
// thousand deterministic random mutations of them. Each read must end in
// bounded time, give its unit back, write only the reader's designed lines,
// and a cut file must be reported where it was cut.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "general/units.h"
#include "gif/raster.h"
#include "gif/read.h"
#include "support/console_capture.h"
#include "support/gif_bytes.h"
#include "support/gif_io.h"
#include "support/units_probe.h"
#include "unit/robust_support.h"

namespace gifjoin {
namespace {

using testing::Bytes;
using testing::ConsoleCapture;
using testing::FailureReport;
using testing::GifBytes;
using testing::Mark;
using testing::Part;

struct ValidFile {
  const char* what;
  Bytes bytes;
  int images;
};

std::vector<int> pattern(int count, int colours, int seed) {
  std::vector<int> v(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) v[static_cast<std::size_t>(i)] = (i * 5 + seed + i / 7) % colours;
  return v;
}

std::vector<ValidFile> validFiles() {
  std::vector<ValidFile> files;
  {
    GifBytes g;
    g.header().screen(20, 15, 0xF7).colorTable(256).graphicControl(0x04, 30, 0);
    g.image(20, 15, pattern(300, 256, 1), 8).trailer();
    files.push_back({"sequential", g.bytes(), 1});
  }
  {
    GifBytes g;
    g.header("GIF87a").screen(9, 10, 0x81).colorTable(4);
    g.imageDescriptor(9, 10, 0x40).imageData(2, testing::lzwEncode(pattern(90, 4, 2), 2), 3);
    g.trailer();
    files.push_back({"interlaced", g.bytes(), 1});
  }
  {
    GifBytes g;
    g.header().screen(6, 5, 0x00);
    g.imageDescriptor(6, 5, 0x82)
        .colorTable(8)
        .imageData(3, testing::lzwEncode(pattern(30, 8, 3), 3));
    g.trailer();
    files.push_back({"local colour table", g.bytes(), 1});
  }
  {
    GifBytes g;
    g.header().screen(7, 4, 0xF3, 0, 17).colorTable(16);
    g.graphicControl(0x05, 10, 3).image(7, 4, pattern(28, 16, 4), 4);
    g.graphicControl(0x08, 20, 0).imageDescriptor(7, 4, 0xC1).colorTable(4);
    g.imageData(2, testing::lzwEncode(pattern(28, 4, 5), 2), 2);
    g.image(7, 4, pattern(28, 16, 6), 4).trailer();
    files.push_back({"three images", g.bytes(), 3});
  }
  {
    GifBytes g;
    g.header().screen(5, 5, 0x91).colorTable(4);
    g.comment({"first", "second"})
        .extension(0xFF, {{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}, {1, 0, 0}});
    g.extension(0x01, {{0, 0, 0, 0, 5, 0, 5, 0, 8, 8, 1, 0}, {'t'}}).extension(0x99, {{1, 2}});
    g.graphicControl(0x01, 7, 2);
    g.imageDescriptor(5, 5).imageData(5, testing::lzwEncode(pattern(25, 32, 7), 5), 1).trailer();
    files.push_back({"extensions", g.bytes(), 1});
  }
  return files;
}

// Reads files through one reader (its state carries over between files, as
// in a run) and checks what every read must hold.
class RobustRead {
 public:
  RobustRead()
      : path_((std::filesystem::temp_directory_path() /
               ("gifjoin_robust_" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".gif"))
                  .string()),
        lines_(path_) {}
  ~RobustRead() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  RobustRead(const RobustRead&) = delete;
  RobustRead& operator=(const RobustRead&) = delete;

  // Read image `number` of `bytes`; false when the run was stopped.
  bool read(const Bytes& bytes, std::int32_t number) {
    {
      std::ofstream out(path_, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    }
    ConsoleCapture console;
    const auto start = std::chrono::steady_clock::now();
    const bool stopped = !testing::readGif(image_, reader_, path_, number, status_, 1);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    text_ = console.text();
    EXPECT_LT(elapsed, std::chrono::seconds(2)) << "a file of " << bytes.size() << " bytes";
    EXPECT_EQ(testing::openUnitCount(), 0) << "the file's unit is given back";
    if (image_.pixels.present()) {
      EXPECT_EQ(image_.numFrames, 1);
    }
    // A comment may hold line ends of its own; its lines are not checked.
    // A wrong signature is echoed as it is; its six bytes are masked.
    std::string masked = text_;
    constexpr std::string_view kInvalid = " Invalid GIF format";
    for (std::size_t at = masked.find(kInvalid); at != std::string::npos;
         at = masked.find(kInvalid, at + 1)) {
      masked.replace(at + kInvalid.size(),
                     std::min<std::size_t>(6, masked.size() - at - kInvalid.size()), "??????");
    }
    if (masked.find("  gif comment: ") == std::string::npos) {
      const auto stranger = lines_.stranger(masked);
      EXPECT_FALSE(stranger.has_value()) << "have the line \"" << stranger.value_or("") << "\"";
    }
    return !stopped;
  }

  const std::string& path() const { return path_; }
  const std::string& text() const { return text_; }
  std::int32_t status() const { return status_; }
  const GIFImage& image() const { return image_; }

 private:
  std::string path_;
  testing::ReaderLines lines_;
  GifReader reader_{testing::followingConsole()};
  GIFImage image_;
  std::int32_t status_ = 0;
  std::string text_;
};

FailureReport expectedReport(const Mark& mark, std::size_t cut, const std::string& name) {
  const auto entry = [&] { return std::to_string((cut - mark.start) / 3); };
  switch (mark.part) {
    case Part::Signature:
      return {"RasterImageModule::openGIF", "Error reading 'magic number'."};
    case Part::Screen:
      return {"RasterImageModule::openGIF", "Error reading buffer."};
    case Part::GlobalTable:
    case Part::LocalTable:
      return {"RasterImageModule::read_colormap", "Problem reading colormap at j=" + entry()};
    case Part::Introducer:
      return {"RasterImageModule::ReadGIFImage",
              "Error while reading buffer from " + name + ". Exit status = -1"};
    case Part::Label:
      return {"RasterImageModule::do_extension", "Problem reading extension."};
    case Part::Count:
      return {"RasterImageModule::get_data_block", "Problem in count for data block."};
    case Part::Data:
      return {"RasterImageModule::get_data_block", "Problem reading data block."};
    case Part::Descriptor:
      return {"RasterImageModule::ReadGIFImage", "Cannot read width/height!"};
    case Part::CodeSize:
      return {"RasterImageModule::read_image", "Problem reading code size byte."};
  }
  return {};
}

TEST(RobustPrefixes, EveryCutIsReportedWhereItLies) {
  RobustRead reading;
  for (const ValidFile& file : validFiles()) {
    const std::vector<Mark> marks = testing::layoutOf(file.bytes);
    for (int number = 1; number <= file.images; ++number) {
      // Where the wanted image's code size byte lies, and the separator of
      // the image after it (which ends the read).
      std::size_t codeSizeAt = 0;
      std::size_t nextImageAt = file.bytes.size();
      for (const Mark& m : marks) {
        if (m.part == Part::CodeSize && m.image == number) codeSizeAt = m.start;
        if (m.part == Part::Introducer && m.image == number + 1 &&
            nextImageAt == file.bytes.size()) {
          nextImageAt = m.start;
        }
      }
      for (std::size_t cut = 0; cut <= file.bytes.size(); ++cut) {
        SCOPED_TRACE(std::string(file.what) + ", image " + std::to_string(number) + ", cut at " +
                     std::to_string(cut) + " of " + std::to_string(file.bytes.size()));
        const Bytes prefix(file.bytes.begin(),
                           file.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        ASSERT_TRUE(reading.read(prefix, number)) << "the run was stopped";
        const bool complete = cut == file.bytes.size() || cut > nextImageAt;
        EXPECT_EQ(reading.image().pixels.present(), cut > codeSizeAt);
        const auto report = testing::firstFailure(reading.text());
        if (complete) {
          EXPECT_EQ(reading.status(), 0);
          EXPECT_FALSE(report.has_value()) << report->message;
          continue;
        }
        EXPECT_NE(reading.status(), 0);
        const FailureReport want = expectedReport(testing::markAt(marks, cut), cut, reading.path());
        ASSERT_TRUE(report.has_value()) << "want a report from " << want.routine;
        EXPECT_EQ(*report, want) << "have " << report->routine << ": " << report->message
                                 << "\nwant " << want.routine << ": " << want.message;
      }
    }
  }
}

// One to three changes of the kinds that break files in the wild: a byte
// replaced, a bit flipped, bytes inserted or removed, a run repeated, a
// 16-bit field set, the end cut off.
Bytes mutate(Bytes bytes, std::mt19937& random) {
  const auto pick = [&](std::size_t n) {
    return n == 0 ? std::size_t{0} : std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  const auto byte = [&] { return static_cast<std::uint8_t>(random() & 0xFF); };
  const int changes = 1 + static_cast<int>(random() % 3);
  for (int c = 0; c < changes && !bytes.empty(); ++c) {
    const std::size_t at = pick(bytes.size());
    switch (random() % 7) {
      case 0:
        bytes[at] = byte();
        break;
      case 1:
        bytes[at] ^= static_cast<std::uint8_t>(1U << (random() % 8));
        break;
      case 2:
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), byte());
        break;
      case 3:
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                    bytes.begin() +
                        static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + 1 + random() % 4)));
        break;
      case 4: {
        const std::size_t n = std::min<std::size_t>(bytes.size() - at, 1 + random() % 16);
        const Bytes run(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(pick(bytes.size())), run.begin(),
                     run.end());
        break;
      }
      case 5:
        if (at + 1 < bytes.size()) {
          bytes[at] = byte();
          bytes[at + 1] = static_cast<std::uint8_t>(random() % 3 == 0 ? 0xFF : random() % 4);
        }
        break;
      default:
        bytes.resize(at);
        break;
    }
  }
  return bytes;
}

TEST(RobustMutations, DamagedFilesAreReadSafely) {
  RobustRead reading;
  const std::vector<ValidFile> files = validFiles();
  std::mt19937 random(20261207);
  constexpr int kMutants = 3000;
  for (int i = 0; i < kMutants; ++i) {
    const ValidFile& file = files[static_cast<std::size_t>(i) % files.size()];
    const Bytes damaged = mutate(file.bytes, random);
    const auto number = static_cast<std::int32_t>(1 + random() % 3);
    SCOPED_TRACE(std::string(file.what) + ", mutant " + std::to_string(i));
    // Only an image of more than 2^30 - 1 pixels may stop the run. Smaller
    // declared sizes are allocated lazily and touched only as far as the
    // data reach.
    if (!reading.read(damaged, number)) {
      EXPECT_TRUE(testing::declaresLargeImage(damaged, kMaxImagePixels)) << "the run was stopped";
    }
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace gifjoin
