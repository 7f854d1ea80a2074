// Writing an image record as a GIF89a file: one global colour table, a
// looping block for animations, and per frame a graphic control extension,
// an image descriptor and LZW image data.
#pragma once

#include <cstdint>
#include <string_view>

#include "gif_image.h"

namespace gifjoin {

struct WriteOptions {
  std::int32_t loopCount = 65535;  // written in the looping block; 0 = forever
};

// Write `image` to the named file (trailing blanks are not part of the
// name). Returns true when the file was written completely. A file that
// cannot be opened or written ends the run with exit status 1.
bool writeGIFImage(GIFImage& image, std::string_view fileName, const WriteOptions& options = {});

}  // namespace gifjoin
