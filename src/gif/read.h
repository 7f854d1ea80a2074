// Reading one GIF file into an image record: the block loop over the file
// (extensions, image descriptors, local colour tables, the trailer), and the
// reader state that lives from one image and one file to the next.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "gif/data_blocks.h"
#include "gif/gif_image.h"
#include "gif/lzw_decoder.h"

namespace gifjoin {

// State of the reading layers that lives from one image (and one file) to
// the next: the unit of the file being read, the extension buffer, the code
// reader's window and the decoder's table and stack. One reader serves one
// file at a time; the driver keeps one for the whole run.
class GifReader {
 public:
  int gifUnit = 0;
  // Every extension sub-block lands here; the contents persist.
  std::array<std::uint8_t, 256> extensionBuffer{};
  CodeReader codes;
  LzwDecoder decoder;
  // Interlaced images are decoded in the order of their rows in the file
  // and then laid out; room for that, kept from one image to the next.
  Frame8 interlaceScratch;
  std::vector<std::uint32_t> interlaceRows;
  std::vector<std::uint8_t> interlaceRow;
  std::vector<bool> interlacePlaced;
  // Set when an image could not be held (the error is reported): the run
  // must stop. The reader returns instead of ending the process itself.
  bool fatal = false;
};

// Read image number `imageNumber` (from 1) of the named file into `image`,
// which is reset first. Progress lines when `verbose` is non-zero. The file
// is closed and its unit released on every return.
//
// With a `destination`, the image's values go there as 8-bit values
// instead of into the record's pixel array, and an image that cannot be
// held is reported and leaves `reader.fatal` set instead of ending the run.
void ReadGIFImage(GIFImage& image, GifReader& reader, std::string_view gifFileName,
                  std::int32_t imageNumber, std::int32_t& status, int verbose = 0,
                  Frame8* destination = nullptr);

}  // namespace gifjoin
