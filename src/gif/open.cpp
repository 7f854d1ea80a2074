// Opening a GIF file on a fresh unit: signature check, logical screen
// descriptor, global colour table and the aspect-ratio notice. Leaves the
// file open at the first block; closes it only on a wrong signature.
#include "gif/open.h"

#include <array>
#include <cmath>
#include <string>

#include "general/console.h"
#include "general/diagnostics.h"
#include "general/text_field.h"
#include "gif/reader_state.h"

namespace gifjoin {

namespace {

constexpr std::string_view kOpenRoutine = "RasterImageModule::openGIF";
constexpr std::string_view kColormapRoutine = "RasterImageModule::read_colormap";

}  // namespace

std::int32_t read_bytes(std::span<std::uint8_t> buffer, ByteSource& source) {
  return source.read(buffer.data(), buffer.size());
}

void read_colormap(GIFImage& image, const GifReader& reader, std::int32_t& status) {
  for (std::int32_t j = 0; j < image.numColors; ++j) {
    std::array<std::uint8_t, 3> rgb{};
    status = read_bytes(rgb, *reader.blocks.source);
    if (status != 0) {
      checkIOStatus(reader.console(), status, image.fileName,
                    makeField("Problem reading colormap at j=" + std::to_string(j)),
                    kColormapRoutine, "READ");
      return;
    }
    image.colormap(1, j) = rgb[0];
    image.colormap(2, j) = rgb[1];
    image.colormap(3, j) = rgb[2];
  }
}

void openGIF(GIFImage& image, GifReader& reader, std::int32_t& status, int verbose) {
  std::ostream& out = reader.console();
  ByteSource& source = *reader.blocks.source;
  if (source.take() <= 0) {
    writeWarning(out, "Could not open GIF since no unit is available", kOpenRoutine);
    status = -1;
    return;
  }
  const std::string_view name = trimRight(image.fileName);
  if (verbose != 0) writeLine(out, "Opening " + std::string(name));

  status = source.open(name);
  if (checkIOStatus(out, status, image.fileName, "Failed to open file.", kOpenRoutine, "OPEN")) {
    return;
  }

  std::array<std::uint8_t, 6> signature{};
  status = read_bytes(signature, source);
  if (checkIOStatus(out, status, image.fileName, "Error reading 'magic number'.", kOpenRoutine,
                    "OPEN")) {
    return;
  }
  const std::string_view magic(reinterpret_cast<const char*>(signature.data()), signature.size());
  if (magic != "GIF87a" && magic != "GIF89a") {
    status = -1;
    checkIOStatus(out, status, image.fileName,
                  makeField(" Invalid GIF format" + std::string(magic) + " in " +
                            std::string(name) + " expected GIF87a or GIF89a !"),
                  kOpenRoutine, "OPEN");
    source.release();
    return;
  }

  std::array<std::uint8_t, 7> screen{};
  status = read_bytes(screen, source);
  if (checkIOStatus(out, status, image.fileName, "Error reading buffer.", kOpenRoutine, "OPEN")) {
    return;
  }
  const std::uint8_t packed = screen[4];
  image.screenWidth = to_uint16(screen[0], screen[1]);
  image.screenHeight = to_uint16(screen[2], screen[3]);
  // Kept on purpose: the announced size is stored with or without a table,
  // since callers read colorTableSize as the descriptor's field.
  image.colorTableSize = 2 << (packed & 7);
  image.colorResolution = ((packed >> 4) & 7) + 1;
  image.backgroundColorIndex = screen[5];
  image.pixelAspectRatio = screen[6];

  if ((packed & 0x80) != 0) {
    // Kept on purpose: progress output worded as an error, written for every
    // global table, because scripts match the reader's fixed console lines.
    if (verbose != 0) {
      writeLine(out, "OpenGIF error in global colour map size.-->" +
                         std::to_string(image.colorTableSize) + " " + std::to_string(packed));
    }
    image.numColors = image.colorTableSize;
    image.allocateColormap(image.numColors);
    read_colormap(image, reader, status);
    if (checkIOStatus(out, status, image.fileName, "Error reading global colormap.", kOpenRoutine,
                      "OPEN")) {
      return;
    }
  }

  if (image.pixelAspectRatio != 0 && image.pixelAspectRatio != 49) {
    const float ratio = static_cast<float>(image.pixelAspectRatio + 15) / 64.0F;
    writeLine(out, ListLine().text("openGIF warning: non-square pixels, ratio=").real(ratio).str());
  }
  status = 0;
}

}  // namespace gifjoin
