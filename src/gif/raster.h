// The raster of one image: code size byte and image data, decoded into the
// record's pixel array row by row or in the four interlace passes.
#pragma once

#include <cstdint>
#include <string_view>

#include "gif/gif_image.h"

namespace gifjoin {

class GifReader;

// Largest number of pixels one image may have.
inline constexpr std::int64_t kMaxImagePixels = 1073741823;

// Read the image whose descriptor (and local colour table) the block loop
// has just read. With `skipImage` non-zero the data are read past and the
// record is not touched; otherwise the pixels are stored as frame 1 (or in
// `destination`, see ReadGIFImage) and numFrames becomes 1. An image
// that cannot be held is reported, reader.failure becomes CannotHoldImage
// and the call returns.
void read_image(GIFImage& image, GifReader& reader, std::int32_t width, std::int32_t height,
                std::int32_t interlaced, std::int32_t skipImage, int verbose, std::int32_t& status,
                Frame8* destination = nullptr);

}  // namespace gifjoin
