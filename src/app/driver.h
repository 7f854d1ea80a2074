// The run of the tool: read a numbered series of GIF files, append the
// first image of every further file to the first file's animation, and
// write the animation as one GIF file.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/timing.h"
#include "general/byte_source.h"
#include "gif/optimize_settings.h"
#include "gif/placement.h"

namespace gifjoin {

// Exit statuses of the tool.
inline constexpr int kExitWritten = 0;     // the output file was written
inline constexpr int kExitNotWritten = 1;  // no output, or a fatal error
inline constexpr int kExitBadAnswers = 2;  // unusable answers or arguments

// Follows an index that cannot be used, in the dialogue and on the command
// line alike.
inline constexpr std::string_view kNotAnIndex =
    " is not an integer (a whole number from -2147483648 to 2147483647)";

struct JoinRequest {
  std::string baseName;  // blank-padded 255-character field
  std::int32_t lowerIndex = 0;
  std::int32_t higherIndex = 0;
  std::string outputName;  // empty: base name + "_Animated.gif"
  std::int32_t delay = 30;
  std::int32_t loopCount = 65535;
  bool verbose = true;  // false: nothing on the console; problems named on standard error
  // Input names from a printf-like FORMAT with one integer conversion
  // instead of base name + "_" + index + ".gif" (command line only).
  std::string namePattern;
  // Any file missing, unreadable or refused fails the run: nothing written.
  bool strict = false;
  // Write the smallest animation that shows the same frames: each frame
  // cropped to what changed, unchanged pixels transparent, disposal and
  // colour tables chosen per frame (command line only).
  bool optimize = false;
  // How the optimised file is made: lossless -O, or colours allowed to
  // move by a bounded amount (--lossy).
  OptimizeSettings settings;
  // --max-size: the least lossy animation whose file has at most this many
  // bytes; 0: no limit.
  std::uint64_t maxSize = 0;
  // The input files named one by one, in the order they are joined,
  // instead of a series (command line only: -f).
  bool listed = false;
  std::vector<std::string> files;
  // Where the frames' delays come from (command line only): `delay` for
  // every frame, a frame rate, or each file's own delay where it has one
  // (`delay` where not).
  enum class Timing { Fixed, FrameRate, FileDelays };
  Timing timing = Timing::Fixed;
  FrameRate frameRate;          // Timing::FrameRate
  std::int32_t lastDelay = -1;  // the last frame's delay; negative: as the others
  // Which files become frames (command line only): those of the first
  // file's size; every file, as a picture of its own placed on one canvas
  // (--any-size); every file, as a piece of one animation drawn over the
  // frames before (--pieces).
  enum class Frames { SameSize, AnySize, Pieces };
  Frames frames = Frames::SameSize;
  PlacementOptions placement;  // the canvas, alignment and fill of AnySize and Pieces
};

// The names of a run's input files in the order they are read, made as
// they are asked for: a series may span every 32-bit index.
class InputNames {
 public:
  explicit InputNames(const JoinRequest& request) : request_(request) {}
  std::int64_t size() const;
  // The name of file `position` (from 0) as a field.
  std::string operator[](std::int64_t position) const;

 private:
  const JoinRequest& request_;
};

// base name (trailing blanks removed) + "_" + index + ".gif", as a field.
std::string seriesName(const std::string& baseName, std::int64_t index);
// base name (trailing blanks removed) + "_Animated.gif", as a field.
std::string animatedName(const std::string& baseName);

// Where a run's files come from and go to, and where its lines go: files
// through units and the process's standard output and error for the tool,
// buffers for tests and fuzz targets.
class JoinIo {
 public:
  virtual ~JoinIo() = default;
  // The source to read the named input from (released after each file).
  virtual ByteSource& input(std::string_view name) = 0;
  // True when a regular file of that name is there to be read.
  virtual bool exists(std::string_view name) = 0;
  virtual ByteSink& output() = 0;
  // A second output of the same name, written beside the first and kept
  // instead of it when it comes out smaller (an optimised run checks
  // against a plain join); null where there is none.
  virtual ByteSink* spareOutput() { return nullptr; }
  virtual std::ostream& console() = 0;  // progress lines and reports
  virtual std::ostream& errors() = 0;   // lines for scripts (standard error)
  // True when errors() goes to a terminal, where a quiet run shows its
  // progress.
  virtual bool errorsOnTerminal() { return false; }
  // Up to n bytes from the start of the named input, read quietly (no
  // unit, no report); fewer or none when the input is shorter or cannot be
  // read. Optimised runs look at the colour tables of the files with it.
  virtual std::vector<std::uint8_t> peek(std::string_view name, std::size_t n) {
    (void)name;
    (void)n;
    return {};
  }
};

// Files through units; the tool's console and standard error.
class FileIo final : public JoinIo {
 public:
  ByteSource& input(std::string_view) override { return source_; }
  bool exists(std::string_view name) override;
  ByteSink& output() override { return sink_; }
  ByteSink* spareOutput() override { return &spareSink_; }
  std::ostream& console() override;
  std::ostream& errors() override;
  bool errorsOnTerminal() override;
  std::vector<std::uint8_t> peek(std::string_view name, std::size_t n) override;

 private:
  UnitSource source_;
  UnitSink sink_;
  UnitSink spareSink_;
};

// Read, append and write; writes the progress lines, the reports and the
// final line when verbose, nothing on the console when quiet. Returns the
// exit status.
int runJoin(const JoinRequest& request);
int runJoin(const JoinRequest& request, JoinIo& io);

// The whole dialogue on `in`, then the run. Returns the exit status.
int runDialogue(std::istream& in);

}  // namespace gifjoin
