// Appending one frame to an image record, which turns a single-image record
// into an animation. Frames must have exactly the record's screen size.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>

#include "general/run_failure.h"
#include "gif/gif_image.h"

namespace gifjoin {

inline constexpr std::string_view kAddImageRoutine = "GIFImageModule::addImage";
inline constexpr const char* kDimensionsDiffer =
    "Dimensions of additional image differ from rest of animation, can not add this frame.";

// The one size check of appending: true when a frame of width x height
// may be appended to `record`; otherwise the warning on `console`, and
// false. A delay of 0 becomes 100 first.
bool acceptsFrame(GIFImage& record, std::int32_t width, std::int32_t height, std::ostream& console);

// The colours a record was read with, for its image to keep as a frame of
// another record: its colour map (if any) and its transparent colour.
FrameColours coloursOf(const GIFImage& image);

// Append `image` as the next frame, or refuse it with a warning when its
// size differs from the screen. A delay of 0 becomes 100 first.
// CannotHoldImage when the frame could not be held (reported on `console`).
RunResult addImage(GIFImage& record, const Frame16& image, std::ostream& console);

// The same for a frame given as 32-bit values (x fastest); each value is
// reduced to its low 16 bits and widened with its sign, exactly as if it had
// passed through a 16-bit frame buffer.
// With `colours`, the frame keeps the colour table and transparency it was
// read with (see GIFImage::frameColours).
RunResult addImage(GIFImage& record, const std::int32_t* values, std::int32_t width,
                   std::int32_t height, std::ostream& console,
                   const FrameColours* colours = nullptr);

}  // namespace gifjoin
