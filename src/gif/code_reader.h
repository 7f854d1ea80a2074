// The code reader: turns the image data sub-blocks into
// least-significant-bit-first codes of a given width, through a window
// that carries the last two bytes of one sub-block over to the next.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "gif/data_blocks.h"
#include "gif/gif_image.h"

namespace gifjoin {

// The code reader's window over the image data. Bytes 1 and 2 (indices 0
// and 1) carry the last two data bytes of the previous sub-block, the
// current sub-block lands from byte 3 on. Kept on purpose: the window is
// never cleared, so bytes past the loaded data keep what earlier sub-blocks
// left there and a code read right after the terminator takes its missing
// bits from them, so a damaged file decodes to the values it always has.
class CodeReader {
 public:
  static constexpr int kWindowBytes = 280;
  // Padding so that a 32-bit load at any bit position stays in the array.
  static constexpr int kStorageBytes = 288;

  // Start a new image: pointers back to the start, window contents kept.
  void reset() {
    bitPos = 0;
    bitEnd = 0;
    windowBytes = 2;
    dataEnded = false;
  }

  // The next code of `width` bits (1 to 13), or -1 when none can be had
  // (data ended, or a failed read whose status is left in `status`).
  std::int32_t read(const GIFImage& image, SubBlockReader& blocks, std::int32_t width,
                    std::int32_t& status) {
    if (bitPos + width < bitEnd) {
      const std::int32_t code = extract(bitPos, width);
      bitPos += width;
      return code;
    }
    return refillAndRead(image, blocks, width, status);
  }

  // The `width` bits of the window from bit `position` on, first bit lowest.
  std::int32_t extract(std::int32_t position, std::int32_t width) const {
    const std::uint32_t word = loadLittleEndian32(&window[static_cast<std::size_t>(position >> 3)]);
    return static_cast<std::int32_t>((word >> (position & 7)) & ((1U << width) - 1U));
  }

  static std::uint32_t loadLittleEndian32(const std::uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
      std::uint32_t word;
      std::memcpy(&word, p, sizeof word);
      return word;
    } else {
      return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
             static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }
  }

  std::array<std::uint8_t, kStorageBytes> window{};
  std::int32_t windowBytes = 2;  // bytes holding data: 2 carried + last count
  std::int32_t bitEnd = 0;       // valid bits: 8 * windowBytes
  std::int32_t bitPos = 0;       // next unread bit
  bool dataEnded = false;        // the terminator has been loaded

 private:
  std::int32_t refillAndRead(const GIFImage& image, SubBlockReader& blocks, std::int32_t width,
                             std::int32_t& status);
};

}  // namespace gifjoin
