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
#include "general/run_failure.h"
#include "gif/gif_image.h"

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

// Write `image` to `sink` under the given name (trailing blanks are not part
// of the name); console lines and reports go to `console`. An existing file
// of that name is replaced only by a completely written one. The result is
// that of FrameStream::finish: ok when the file was written completely.
RunResult writeGIFImage(GIFImage& image, ByteSink& sink, std::string_view fileName,
                        std::ostream& console, const WriteOptions& options = {});

// The two bytes of a 16-bit field, low byte first (n taken modulo 65536).
std::array<std::uint8_t, 2> uint16_to_chars(std::int32_t n);

}  // namespace gifjoin
