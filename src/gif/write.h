// Writing an image record as a GIF89a file: one global colour table, a
// looping block for animations, and per frame a graphic control extension,
// an image descriptor (with a local colour table for a frame whose colours
// differ from the record's) and LZW image data.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "gif_image.h"

namespace gifjoin {

struct WriteOptions {
  std::int32_t loopCount = 65535;  // written in the looping block; 0 = forever
  // Threads that compress frames: 2 lets a helper compress frames beside
  // the writing; 1 does all work on the caller's thread. The file is the
  // same either way.
  int encodeThreads = 2;
  // The transparency notice on the console; quiet runs leave it out.
  bool verbose = true;
};

// Texts of the writer's reports.
inline constexpr std::string_view kWriterRoutine = "RasterImageModule::writeGIFImage";
inline constexpr std::string_view kWriterOpenRoutine = "GIFImageModule::WriteGIFImage";
inline constexpr std::string_view kNoUnitMessage =
    "Could not open file to write GIF since no unit is available";
inline constexpr std::string_view kNoColormapMessage =
    "Image has no colour map; no GIF file written.";
inline constexpr std::string_view kTransparentColorLabel = "Transparent color: ";
// Standard error, followed by the file name, ": " and the system's reason.
inline constexpr std::string_view kWriteFailedText = "gifjoin: could not write ";

// Write `image` to the named file (trailing blanks are not part of the
// name). Returns true when the file was written completely. A file that
// cannot be opened or written ends the run with exit status 1; an existing
// file of that name is replaced only by a completely written one.
bool writeGIFImage(GIFImage& image, std::string_view fileName, const WriteOptions& options = {});

// The two bytes of a 16-bit field, low byte first (n taken modulo 65536).
std::array<std::uint8_t, 2> uint16_to_chars(std::int32_t n);

}  // namespace gifjoin
