// Extension blocks of a GIF file: graphic control values into the record,
// comments echoed in verbose mode, every other extension read past.
#pragma once

#include <cstdint>

#include "gif/gif_image.h"

namespace gifjoin {

class GifReader;

// Read the rest of an extension block (its label and data sub-blocks) after
// the block loop has read its introducer 0x21. Leaves the file after the
// block's terminator.
void do_extension(GIFImage& image, GifReader& reader, std::int32_t& status, int verbose);

}  // namespace gifjoin
