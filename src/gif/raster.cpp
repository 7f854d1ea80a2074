// Image rasters: the minimum code size byte, the decoder's values stored
// straight into the pixel rows (sequential or interlaced), skipped images
// and surplus data read past. The pixel array is the only allocation.
#include "gif/raster.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "general/console.h"
#include "general/diagnostics.h"
#include "general/run_failure.h"
#include "general/text_field.h"
#include "gif/lzw_decoder.h"
#include "gif/open.h"
#include "gif/reader_state.h"

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
  reader.decoder.skipRest(image, reader.codes, reader.blocks, status);
}

// Store the image's values until the last row or an early end of the data.
void storePixels(GIFImage& image, GifReader& reader, std::int32_t width, std::int32_t height,
                 bool interlaced, std::int32_t& status) {
  std::int32_t* const frame = image.pixels.frame(1);
  std::int32_t stop = 0;
  if (!interlaced) {
    reader.decoder.decodeRun(image, reader.codes, reader.blocks, frame, width * height, stop,
                             status);
    return;
  }
  // Every row is written once, so later rows may copy strings from earlier
  // ones.
  bool sameOutput = false;
  for (const InterlacePass& pass : kInterlacePasses) {
    for (std::int32_t y = pass.firstRow; y <= height; y += pass.rowStep) {
      std::int32_t* const row = frame + static_cast<std::ptrdiff_t>(y - 1) * width;
      reader.decoder.decodeRun(image, reader.codes, reader.blocks, row, width, stop, status,
                               sameOutput);
      if (stop < 0) return;
      sameOutput = true;
    }
  }
}

// Decode up to `total` values into `frame` as they come: its storage grows
// with the data, so an image whose data end early costs only what it holds.
// Returns false when memory cannot be had.
bool decodeInto(GIFImage& image, GifReader& reader, Frame8& frame, std::size_t total,
                std::int32_t& status) {
  constexpr std::size_t kFirstPiece = std::size_t{1} << 16;
  bool sameOutput = false;
  while (frame.written < total) {
    std::size_t want = total;
    if (frame.capacity() < total) want = std::min(total, frame.written + kFirstPiece);
    want = std::max(want, std::min(total, frame.capacity()));
    const std::uint8_t* before = frame.data();
    if (!frame.reserve(want)) return false;
    if (frame.data() != before) sameOutput = false;
    std::int32_t stop = 0;
    const std::int32_t got = reader.decoder.decodeRun(
        image, reader.codes, reader.blocks, frame.data() + frame.written,
        static_cast<std::int32_t>(want - frame.written), stop, status, sameOutput);
    frame.written += static_cast<std::size_t>(got);
    if (stop < 0) break;
    sameOutput = true;
  }
  return true;
}

// An interlaced image: its rows come pass by pass. They are decoded in that
// order, at the speed of a sequential image, and then put in place: a whole
// image by moving its rows round their cycles within the frame (one row of
// room besides), an image whose data end early through the reader's
// scratch frame, with the rows the data did not reach left zero and only up
// to the last row reached held.
bool decodeInterlaced(GIFImage& image, GifReader& reader, Frame8& frame, std::int32_t& status) {
  const auto width = static_cast<std::size_t>(frame.width);
  const auto height = static_cast<std::size_t>(frame.height);
  const std::size_t total = frame.pixels();
  if (!decodeInto(image, reader, frame, total, status)) return false;
  const std::size_t decoded = frame.written;
  if (decoded == 0) return true;

  // fileRow[y]: the row of the file's order that holds image row y.
  std::vector<std::uint32_t>& fileRow = reader.interlaceRows;
  fileRow.assign(height, 0);
  std::size_t extent = 0;
  const std::size_t rowsReached = (decoded + width - 1) / width;
  {
    std::uint32_t r = 0;
    for (const InterlacePass& pass : kInterlacePasses) {
      for (auto y = static_cast<std::size_t>(pass.firstRow); y <= height; y += pass.rowStep) {
        fileRow[y - 1] = r;
        if (r < rowsReached) extent = std::max(extent, y);
        ++r;
      }
    }
  }
  std::uint8_t* const rows = frame.data();
  if (decoded == total) {
    std::vector<std::uint8_t>& held = reader.interlaceRow;
    held.resize(width);
    std::vector<bool>& placed = reader.interlacePlaced;
    placed.assign(height, false);
    for (std::size_t start = 0; start < height; ++start) {
      if (placed[start] || fileRow[start] == start) continue;
      std::memcpy(held.data(), rows + start * width, width);
      std::size_t y = start;
      for (;;) {
        placed[y] = true;
        const std::size_t from = fileRow[y];
        if (from == start) {
          std::memcpy(rows + y * width, held.data(), width);
          break;
        }
        std::memcpy(rows + y * width, rows + from * width, width);
        y = from;
      }
    }
    return true;
  }
  Frame8& scratch = reader.interlaceScratch;
  scratch.clear();
  if (!scratch.reserve(decoded)) return false;
  std::memcpy(scratch.data(), rows, decoded);
  frame.written = 0;
  if (!frame.reserve(extent * width)) return false;
  frame.zeroTo(extent * width);
  for (std::size_t y = 0; y < extent; ++y) {
    const std::size_t from = static_cast<std::size_t>(fileRow[y]) * width;
    if (from >= decoded) continue;
    std::memcpy(frame.data() + y * width, scratch.data() + from, std::min(width, decoded - from));
  }
  return true;
}

// The image's values as 8-bit values in the caller's frame.
void storeFrame(GIFImage& image, GifReader& reader, Frame8& frame, bool interlaced,
                std::int32_t& status) {
  bool held = true;
  if (interlaced) {
    held = decodeInterlaced(image, reader, frame, status);
  } else {
    held = decodeInto(image, reader, frame, frame.pixels(), status);
  }
  if (!held) {
    reader.failure = Failure::CannotHoldImage;
    writeErrorReport(reader.console(), makeField(failureText({reader.failure})), kRoutine);
  }
}

}  // namespace

void read_image(GIFImage& image, GifReader& reader, std::int32_t width, std::int32_t height,
                std::int32_t interlaced, std::int32_t skipImage, int verbose, std::int32_t& status,
                Frame8* destination) {
  std::array<std::uint8_t, 1> codeSize{};
  status = read_bytes(codeSize, *reader.blocks.source);
  if (status != 0) {
    checkIOStatus(reader.console(), status, image.fileName,
                  makeField("Problem reading code size byte."), kRoutine, "READ");
    return;
  }
  // A minimum code size above 12: nothing read, nothing reported.
  if (lzw_decode(image, reader, codeSize[0], true, status) < 0) return;

  if (skipImage != 0) {
    if (verbose != 0) writeLine(reader.console(), "skipping an image");
    readPast(image, reader, status);
    return;
  }

  if (verbose != 0)
    writeLine(reader.console(),
              ListLine().text("Image size:").integer(width).integer(height).str());
  const std::int64_t pixelCount = std::int64_t{width} * std::int64_t{height};
  if (destination != nullptr) {
    if (destination->present || pixelCount > kMaxImagePixels) {
      reader.failure = Failure::CannotHoldImage;
      writeErrorReport(reader.console(), makeField(failureText({reader.failure})), kRoutine);
      status = -1;
      return;
    }
    destination->present = true;
    destination->width = width;
    destination->height = height;
    destination->written = 0;
  } else if (image.pixels.present() || pixelCount > kMaxImagePixels ||
             !image.pixels.allocate(width, height, 1)) {
    reader.failure = Failure::CannotHoldImage;
    writeErrorReport(reader.console(), makeField(failureText({reader.failure})), kRoutine);
    status = -1;
    return;
  }
  status = 0;
  if (verbose != 0) {
    writeLine(reader.console(), ListLine()
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
  if (width > 0 && height > 0) {
    if (destination != nullptr) {
      storeFrame(image, reader, *destination, interlaced != 0, status);
      if (reader.failure != Failure::None) return;
    } else {
      storePixels(image, reader, width, height, interlaced != 0, status);
    }
  }

  if (lzw_decode(image, reader, 0, false, status) >= 0) {
    writeLine(reader.console(),
              ListLine().text("read_gif: too much input data, ignoring extra...").str());
    readPast(image, reader, status);
  }
  image.numFrames = 1;
}

}  // namespace gifjoin
