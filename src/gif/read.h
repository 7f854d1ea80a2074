// Reading one GIF file into an image record: the block loop over the file
// (extensions, image descriptors, local colour tables, the trailer).
#pragma once

#include <cstdint>
#include <string_view>

#include "gif_image.h"

namespace gifjoin {

// State of the reading layers that lives from one image (and one file) to
// the next: the unit of the file being read, the extension buffer, the code
// reader's window and the decoder's table and stack. One reader serves one
// file at a time.
class GifReader {
 public:
  int gifUnit = 0;
};

// Read image number `imageNumber` (from 1) of the named file into `image`,
// which is reset first. Progress lines when `verbose` is non-zero. The file
// is closed and its unit released on every return.
void ReadGIFImage(GIFImage& image, GifReader& reader, std::string_view gifFileName,
                  std::int32_t imageNumber, std::int32_t& status, int verbose = 0);

}  // namespace gifjoin
