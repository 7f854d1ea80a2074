// The string table in its plain list form: each code's children linked
// newest first. Small and simple, a lookup walks the list of the prefix; the
// tests and benchmarks check the writer's direct table against it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "gif/gif_image.h"
#include "gif/lzw_encoder.h"

namespace gifjoin {

struct LZWCodeTable {
  static constexpr std::int32_t kTableSize = 4096;

  std::int32_t maxCode = 4095;  // highest code that may be assigned
  std::int32_t noCode = 4096;   // link value: no entry
  std::array<std::uint8_t, kTableSize> suffix{};
  std::array<std::int32_t, kTableSize> firstChild{};
  std::array<std::int32_t, kTableSize> nextSibling{};
  std::int32_t clearCode = 0;
  std::int32_t endCode = 0;
  std::int32_t nextCode = 0;
  std::int32_t codeWidth = 0;
  std::int32_t widthLimit = 0;  // largest code that fits in codeWidth bits

  // Code of the string prefix + value: true and `code` set, or false and
  // `code` = noCode.
  inline bool find_child(std::int32_t prefix, std::int32_t value, std::int32_t& code) const;
  // Root entries 0..maxRoot back to single values; codes from clear + 2 free.
  inline void reset_table(std::int32_t codeSize, std::int32_t maxRoot);
  // Assign nextCode to prefix + value, widening the codes first when
  // nextCode does not fit the current width.
  inline void add_entry(std::int32_t prefix, std::int32_t value);
};

inline bool LZWCodeTable::find_child(std::int32_t prefix, std::int32_t value,
                                     std::int32_t& code) const {
  for (std::int32_t c = firstChild[static_cast<std::size_t>(prefix)]; c != noCode;
       c = nextSibling[static_cast<std::size_t>(c)]) {
    if (suffix[static_cast<std::size_t>(c)] == value) {
      code = c;
      return true;
    }
  }
  code = noCode;
  return false;
}

inline void LZWCodeTable::reset_table(std::int32_t codeSize, std::int32_t maxRoot) {
  for (std::int32_t i = 0; i <= maxRoot; ++i) {
    const auto k = static_cast<std::size_t>(i);
    suffix[k] = static_cast<std::uint8_t>(i);
    firstChild[k] = noCode;
    nextSibling[k] = noCode;
  }
  clearCode = maxRoot + 1;
  endCode = maxRoot + 2;
  nextCode = maxRoot + 3;
  codeWidth = codeSize + 1;
  widthLimit = (1 << (codeSize + 1)) - 1;
}

inline void LZWCodeTable::add_entry(std::int32_t prefix, std::int32_t value) {
  if (nextCode > widthLimit) {
    ++codeWidth;
    widthLimit = 2 * widthLimit + 1;
  }
  const auto c = static_cast<std::size_t>(nextCode);
  const auto p = static_cast<std::size_t>(prefix);
  suffix[c] = static_cast<std::uint8_t>(value);
  firstChild[c] = noCode;
  nextSibling[c] = firstChild[p];
  firstChild[p] = nextCode;
  ++nextCode;
}

// Compress frame `frame` (from 1) of the record's pixels. A frame the record
// does not hold counts as a frame without pixels.
inline void lzw_encode(const GIFImage& image, std::vector<std::uint8_t>& out,
                       std::int32_t& codeSize, std::int32_t frame = 1) {
  const PixelArray& pixels = image.pixels;
  const bool held = pixels.present() && frame >= 1 && frame <= pixels.frames();
  LZWEncoder encoder;
  encoder.encode(held ? pixels.frame(frame) : nullptr, held ? pixels.framePixels() : 0, codeSize,
                 out);
}

}  // namespace gifjoin
