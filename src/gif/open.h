// Opening a GIF file: signature, logical screen descriptor and global colour
// table, plus the small byte readers that every reading layer shares.
#pragma once

#include <cstdint>
#include <span>

#include "general/byte_source.h"
#include "gif/gif_image.h"

namespace gifjoin {

class GifReader;

// Take a unit for the reader's input, open the file named in the record's
// fileName on it, check the signature and read the screen descriptor and
// any global colour table into the record. The record must have no colour
// map. On success the input stays open, positioned at the first block.
void openGIF(GIFImage& image, GifReader& reader, std::int32_t& status, int verbose);

// Read exactly buffer.size() bytes: 0, -1 at end of file (the bytes that
// were there stay in the buffer) or the status of the failed read.
std::int32_t read_bytes(std::span<std::uint8_t> buffer, ByteSource& source);

// Value of two bytes, low byte first.
constexpr std::int32_t to_uint16(std::uint8_t low, std::uint8_t high) {
  return static_cast<std::int32_t>(low) + 256 * static_cast<std::int32_t>(high);
}

// Read numColors entries (red, green, blue) from the GIF file into the
// record's colour map, which the caller has allocated. Stops at the first
// entry that cannot be read; that entry and the ones after it stay 0.
void read_colormap(GIFImage& image, const GifReader& reader, std::int32_t& status);

}  // namespace gifjoin
