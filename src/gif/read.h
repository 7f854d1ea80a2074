// Reading one GIF file into an image record: the block loop over the file
// (extensions, image descriptors, local colour tables, the trailer), and the
// reader state that lives from one image and one file to the next.
#pragma once

#include <cstdint>
#include <string_view>

#include "general/byte_source.h"
#include "general/run_failure.h"
#include "gif/gif_image.h"
#include "gif/reader_state.h"

namespace gifjoin {

// Read image number `imageNumber` (from 1) of the file named gifFileName,
// whose bytes come from `source`, into `image`, which is reset first.
// Progress lines and reports go to the reader's console (progress only when
// `verbose` is non-zero). The source is released on every return.
//
// With a `destination`, the image's values go there as 8-bit values
// instead of into the record's pixel array. An image that cannot be held is
// reported, and the result (CannotHoldImage) tells the caller to end the
// run.
RunResult ReadGIFImage(GIFImage& image, GifReader& reader, ByteSource& source,
                       std::string_view gifFileName, std::int32_t imageNumber, std::int32_t& status,
                       int verbose = 0, Frame8* destination = nullptr);

}  // namespace gifjoin
