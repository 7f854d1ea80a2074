// The reader's state: what the reading layers keep from one image and one
// file to the next. It sits above the sub-block reader, the code reader and
// the decoder, whose state it owns, and below the layers that use it
// (opening, extensions, raster, block loop).
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <vector>

#include "general/run_failure.h"
#include "gif/code_reader.h"
#include "gif/data_blocks.h"
#include "gif/gif_image.h"
#include "gif/lzw_decoder.h"

namespace gifjoin {

// State of the reading layers that lives from one image (and one file) to
// the next: the input of the file being read, the extension buffer, the code
// reader's window and the decoder's table and stack. One reader serves one
// file at a time; the driver keeps one for the whole run.
class GifReader {
 public:
  // Progress lines and reports of the reading go to `console`.
  explicit GifReader(std::ostream& console) { blocks.console = &console; }
  std::ostream& console() const { return *blocks.console; }

  // The input of the file being read, and the end-of-data flag.
  SubBlockReader blocks;
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
  // CannotHoldImage when an image could not be held (the error is
  // reported): the run must stop. The reader returns instead of ending the
  // process itself.
  Failure failure = Failure::None;
};

// The decoder as the raster reader calls it: `init` starts a new image with
// `minCodeSize`; otherwise the next pixel value (see LzwDecoder::next).
inline std::int32_t lzw_decode(GIFImage& image, GifReader& reader, std::int32_t minCodeSize,
                               bool init, std::int32_t& status) {
  if (init) return reader.decoder.init(reader.codes, minCodeSize);
  return reader.decoder.next(image, reader.codes, reader.blocks, status);
}

}  // namespace gifjoin
