// The GIF layers as the tests call them: files read and written by name
// through units, reports to the console that ConsoleCapture redirects, and
// results as plain booleans.
#pragma once

#include <cstdint>
#include <string_view>

#include "general/byte_source.h"
#include "general/console.h"
#include "gif/add_image.h"
#include "gif/read.h"
#include "gif/write.h"
#include "support/console_capture.h"

namespace gifjoin::testing {

// Read image `imageNumber` of the named file. False when the run would
// stop (an image that cannot be held).
inline bool readGif(GIFImage& image, GifReader& reader, std::string_view path,
                    std::int32_t imageNumber, std::int32_t& status, int verbose = 0,
                    Frame8* destination = nullptr) {
  UnitSource source;
  return ReadGIFImage(image, reader, source, path, imageNumber, status, verbose, destination).ok();
}

inline RunResult writeGif(GIFImage& image, std::string_view path,
                          const WriteOptions& options = {}) {
  UnitSink sink;
  return writeGIFImage(image, sink, path, console(), options);
}

// Append a frame; false when it could not be held.
inline bool append(GIFImage& record, const std::int32_t* values, std::int32_t width,
                   std::int32_t height, const FrameColours* colours = nullptr) {
  return addImage(record, values, width, height, console(), colours).ok();
}

inline bool append(GIFImage& record, const Frame16& frame) {
  return addImage(record, frame, console()).ok();
}

}  // namespace gifjoin::testing
