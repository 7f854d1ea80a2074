// addImage: append one frame behind the frames the record holds. The pixel
// storage grows geometrically in place, so a series of n frames costs work
// in proportion to n and the frames already held are not copied.
#include "gif/add_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "general/diagnostics.h"
#include "general/run_failure.h"
#include "general/text_field.h"

namespace gifjoin {

namespace {

// Screen-sized frames must be in place before appending. A first image that
// had another size than its screen is laid out anew: shared cells kept,
// the others 0.
bool fitFramesToScreen(GIFImage& record) {
  PixelArray& pixels = record.pixels;
  if (pixels.width() == record.screenWidth && pixels.height() == record.screenHeight) return true;
  PixelArray fitted;
  if (!fitted.allocate(record.screenWidth, record.screenHeight, pixels.frames())) return false;
  const std::int32_t w = std::min(pixels.width(), record.screenWidth);
  const std::int32_t h = std::min(pixels.height(), record.screenHeight);
  for (std::int32_t k = 1; k <= pixels.frames(); ++k) {
    for (std::int32_t y = 1; y <= h; ++y) {
      if (w > 0) std::memcpy(&fitted(1, y, k), &pixels(1, y, k), sizeof(std::int32_t) * w);
    }
  }
  pixels = std::move(fitted);
  return true;
}

template <typename Value>
RunResult append(GIFImage& record, const Value* values, std::int32_t width, std::int32_t height,
                 std::ostream& console, const FrameColours* colours) {
  if (!acceptsFrame(record, width, height, console)) return {};
  const std::int32_t nx = std::max(width, 0);
  const std::int32_t ny = std::max(height, 0);
  PixelArray& pixels = record.pixels;
  bool ok = true;
  if (!pixels.present()) {
    ok = pixels.allocate(nx, ny, 1);
  } else {
    ok = fitFramesToScreen(record) && pixels.appendFrame();
  }
  if (!ok) {
    // Out of memory: the run cannot go on with a consistent record.
    const RunResult result{Failure::CannotHoldImage};
    writeErrorReport(console, makeField(failureText(result)), kAddImageRoutine);
    return result;
  }
  record.numFrames = pixels.frames();
  std::int32_t* out = pixels.frame(record.numFrames);
  const std::size_t count = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(values[i]));
  }
  if (colours != nullptr) {
    const auto k = static_cast<std::size_t>(record.numFrames);
    if (record.frameColours.size() < k) record.frameColours.resize(k);
    record.frameColours[k - 1] = *colours;
  }
  return {};
}

}  // namespace

FrameColours coloursOf(const GIFImage& image) {
  FrameColours colours;
  colours.transparentColorIndex = image.transparentColorIndex;
  if (image.hasColormap()) {
    const std::int32_t entries = image.colormapEntries();
    colours.rgb.reserve(static_cast<std::size_t>(entries) * 3);
    for (std::int32_t i = 0; i < entries; ++i) {
      for (int c = 1; c <= 3; ++c) {
        colours.rgb.push_back(static_cast<std::uint8_t>(image.colormap(c, i)));
      }
    }
  }
  return colours;
}

bool acceptsFrame(GIFImage& record, std::int32_t width, std::int32_t height,
                  std::ostream& console) {
  if (record.getDelayTime() == 0) record.setDelayTime(100);
  if (record.screenWidth != std::max(width, 0) || record.screenHeight != std::max(height, 0)) {
    writeWarning(console, makeField(kDimensionsDiffer), kAddImageRoutine);
    return false;
  }
  return true;
}

RunResult addImage(GIFImage& record, const Frame16& image, std::ostream& console) {
  return append(record, image.values.data(), image.width, image.height, console, nullptr);
}

RunResult addImage(GIFImage& record, const std::int32_t* values, std::int32_t width,
                   std::int32_t height, std::ostream& console, const FrameColours* colours) {
  return append(record, values, width, height, console, colours);
}

}  // namespace gifjoin
