// What our own code tells its caller when a run cannot go on as asked, and
// the one place that turns each such failure into its text. The status
// integers of the reading and writing operations stay as they are; this is
// the run's own account beside them.
#pragma once

#include <string_view>

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

}  // namespace gifjoin
