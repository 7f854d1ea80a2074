// Writing an image record as a GIF89a file: one global colour table, a
// looping block for animations, and per frame a graphic control extension,
// an image descriptor (with a local colour table for a frame whose colours
// differ from the record's) and LZW image data.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "general/byte_source.h"
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

// What writing told: true when the file was written completely.
struct [[nodiscard]] WriteResult {
  enum class Kind {
    Written,
    NotWritten,  // a warning on the console said why
    Failed,      // the open (reported on the console), a write or the close failed: the run stops
  };
  Kind kind = Kind::NotWritten;
  std::string failure;  // a failed write or close: the line for standard error
  explicit operator bool() const { return kind == Kind::Written; }
};

// Write `image` to `sink` under the given name (trailing blanks are not part
// of the name); console lines and reports go to `console`. An existing file
// of that name is replaced only by a completely written one.
WriteResult writeGIFImage(GIFImage& image, ByteSink& sink, std::string_view fileName,
                          std::ostream& console, const WriteOptions& options = {});

// The two bytes of a 16-bit field, low byte first (n taken modulo 65536).
std::array<std::uint8_t, 2> uint16_to_chars(std::int32_t n);

}  // namespace gifjoin
