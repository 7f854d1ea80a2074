// What our own code tells its caller when a run cannot go on as asked, and
// the one place that turns each such failure into its text. The status
// integers of the reading and writing operations stay as they are; this is
// the run's own account beside them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace gifjoin {

// An image, a frame or a record that cannot be held (reported as an error).
inline constexpr std::string_view kCannotHoldImage =
    "ERROR while allocating image. Terminating program.";
// The animation has no colour map (a warning of the writer).
inline constexpr std::string_view kNoColormapMessage =
    "Image has no colour map; no GIF file written.";
// No unit is free for the output (a warning of the writer).
inline constexpr std::string_view kNoUnitMessage =
    "Could not open file to write GIF since no unit is available";
// Standard error, followed by the file name, ": " and the system's reason.
inline constexpr std::string_view kWriteFailedText = "gifjoin: could not write ";

enum class Failure : std::uint8_t {
  None,
  CannotHoldImage,  // reported as an error; the run stops at once
  NoColourMap,      // reported as a warning; the run ends without a file
  NoFreeUnit,       // reported as a warning; the run ends without a file
  OpenFailed,       // reported by checkIOStatus; the run stops at once
  WriteFailed,      // a write or the close failed; the run stops at once
  NotFitting,       // --max-size: no file fits, said on standard error; nothing written
};

// The result of a step of the run. Memory that cannot be had deep inside a
// step is std::bad_alloc; the driver turns it into CannotHoldImage.
struct [[nodiscard]] RunResult {
  RunResult() = default;
  RunResult(Failure f) : failure(f) {}  // NOLINT: a failure is a result
  RunResult(Failure f, std::string file, std::string why)
      : failure(f), fileName(std::move(file)), reason(std::move(why)) {}

  Failure failure = Failure::None;
  std::string fileName;  // WriteFailed: the file that could not be written
  std::string reason;    // WriteFailed: the system's reason

  bool ok() const { return failure == Failure::None; }
  explicit operator bool() const { return ok(); }
  // The run ends here with exit status 1, without its final line.
  bool stopsRun() const {
    return failure == Failure::CannotHoldImage || failure == Failure::OpenFailed ||
           failure == Failure::NotFitting || failure == Failure::WriteFailed;
  }
};

// The message of the failure's report on the console, or for WriteFailed
// the line for standard error. Empty for None and OpenFailed, whose report
// is the input/output report of the failed open.
std::string failureText(const RunResult& result);

}  // namespace gifjoin
