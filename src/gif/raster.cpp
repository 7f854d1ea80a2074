// Image rasters: the minimum code size byte, the decoder's values stored
// straight into the pixel rows (sequential or interlaced), skipped images
// and surplus data read past. The pixel array is the only allocation.
#include "gif/raster.h"

#include <array>
#include <string>
#include <utility>

#include "general/console.h"
#include "general/diagnostics.h"
#include "general/text_field.h"
#include "gif/lzw_decoder.h"
#include "gif/open.h"
#include "gif/read.h"

namespace gifjoin {

namespace {

constexpr std::string_view kRoutine = "RasterImageModule::read_image";

struct InterlacePass {
  std::int32_t firstRow;  // from 1
  std::int32_t rowStep;
};
constexpr std::array<InterlacePass, 4> kInterlacePasses{{{1, 8}, {5, 8}, {3, 4}, {2, 2}}};

// Read past the codes up to the decoder's first negative result. Their
// values are dropped, so they are not even produced: a small file of long
// strings must not cost the time of billions of values.
void readPast(GIFImage& image, GifReader& reader, std::int32_t& status) {
  reader.decoder.skipRest(image, reader.codes, reader.gifUnit, status);
}

// Store the image's values until the last row or an early end of the data.
void storePixels(GIFImage& image, GifReader& reader, std::int32_t width, std::int32_t height,
                 bool interlaced, std::int32_t& status) {
  std::int32_t* const frame = image.pixels.frame(1);
  std::int32_t stop = 0;
  if (!interlaced) {
    reader.decoder.decodeRun(image, reader.codes, reader.gifUnit, frame, width * height, stop,
                             status);
    return;
  }
  // Every row is written once, so later rows may copy strings from earlier
  // ones.
  bool sameOutput = false;
  for (const InterlacePass& pass : kInterlacePasses) {
    for (std::int32_t y = pass.firstRow; y <= height; y += pass.rowStep) {
      std::int32_t* const row = frame + static_cast<std::ptrdiff_t>(y - 1) * width;
      reader.decoder.decodeRun(image, reader.codes, reader.gifUnit, row, width, stop, status,
                               sameOutput);
      if (stop < 0) return;
      sameOutput = true;
    }
  }
}

}  // namespace

void read_image(GIFImage& image, GifReader& reader, std::int32_t width, std::int32_t height,
                std::int32_t interlaced, std::int32_t skipImage, int verbose,
                std::int32_t& status) {
  std::array<std::uint8_t, 1> codeSize{};
  status = read_bytes(codeSize, reader.gifUnit);
  if (status != 0) {
    checkIOStatus(status, image.fileName, makeField("Problem reading code size byte."), kRoutine,
                  "READ");
    return;
  }
  // A minimum code size above 12: nothing read, nothing reported.
  if (lzw_decode(image, reader, codeSize[0], true, status) < 0) return;

  if (skipImage != 0) {
    if (verbose != 0) writeLine("skipping an image");
    readPast(image, reader, status);
    return;
  }

  if (verbose != 0) writeLine(ListLine().text("Image size:").integer(width).integer(height).str());
  const std::int64_t pixelCount = std::int64_t{width} * std::int64_t{height};
  if (image.pixels.present() || pixelCount > kMaxImagePixels) {
    writeErrorAndStop(makeField("ERROR while allocating image. Terminating program."), kRoutine);
  }
  if (reader.frameSlot != nullptr && width == reader.frameSlotWidth &&
      height == reader.frameSlotHeight) {
    image.pixels.adopt(std::exchange(reader.frameSlot, nullptr), width, height);
  } else if (!image.pixels.allocate(width, height, 1)) {
    writeErrorAndStop(makeField("ERROR while allocating image. Terminating program."), kRoutine);
  }
  status = 0;
  if (verbose != 0) {
    writeLine(ListLine()
                  .text(" reading")
                  .integer(width)
                  .text(" by")
                  .integer(height)
                  .text(" GIF image from ")
                  .text(trimRight(image.fileName))
                  .text("  ")
                  .text(interlaced != 0 ? "interlaced" : "          ")
                  .str());
  }

  // An empty image stores nothing; its codes are read as surplus data.
  if (width > 0 && height > 0) storePixels(image, reader, width, height, interlaced != 0, status);

  if (lzw_decode(image, reader, 0, false, status) >= 0) {
    writeLine(ListLine().text("read_gif: too much input data, ignoring extra...").str());
    readPast(image, reader, status);
  }
  image.numFrames = 1;
}

}  // namespace gifjoin
