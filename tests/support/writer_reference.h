// Slow, literal twins of the GIF writer's packing and compression for
// differential tests: a code buffer that packs byte by byte into a 260-byte
// store and an encoder that walks LZWCodeTable's child lists, recording
// every code it emits so tests can look at the code stream itself.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gif/gif_image.h"
#include "gif/lzw_encoder.h"
#include "support/code_table.h"

namespace gifjoin::testing {

using Bytes = std::vector<std::uint8_t>;

// Byte-by-byte packing: bytes(1..260), the partial byte at byteIndex.
struct ReferenceCodeBuffer {
  std::array<std::uint8_t, 261> bytes{};
  std::int32_t byteIndex = 0;
  std::int32_t codeCount = 0;
  std::int32_t bitCount = 0;
  std::int32_t bitAccumulator = 0;
  Bytes* out = nullptr;
  std::vector<std::pair<std::int32_t, std::int32_t>> codes;  // (code, width) as emitted

  explicit ReferenceCodeBuffer(Bytes& o) : out(&o) {}

  void put_code(std::int32_t code, std::int32_t width) {
    codes.emplace_back(code, width);
    if (codeCount == 0) {
      byteIndex = 1;
      bitCount = 0;
      bitAccumulator = 0;
      codeCount = 1;
    } else {
      ++codeCount;
    }
    bitAccumulator += code << bitCount;
    bitCount += width;
    bytes[static_cast<std::size_t>(byteIndex)] = static_cast<std::uint8_t>(bitAccumulator & 0xFF);
    while (bitCount >= 8) {
      bitAccumulator /= 256;
      ++byteIndex;
      bytes[static_cast<std::size_t>(byteIndex)] = static_cast<std::uint8_t>(bitAccumulator & 0xFF);
      bitCount -= 8;
    }
    if (byteIndex > 255) write_data_block();
  }

  void write_data_block() {
    std::int32_t n = 0;
    if (byteIndex > 255) {
      n = 255;
    } else if (bitCount != 0) {
      n = byteIndex;
    } else if (byteIndex >= 2) {
      n = byteIndex - 1;
    }
    if (n > 0) {
      out->push_back(static_cast<std::uint8_t>(n));
      for (std::int32_t i = 1; i <= n; ++i) out->push_back(bytes[static_cast<std::size_t>(i)]);
    }
    if (byteIndex > 255) {
      for (std::int32_t i = 256; i <= byteIndex; ++i) {
        bytes[static_cast<std::size_t>(i - 255)] = bytes[static_cast<std::size_t>(i)];
      }
      byteIndex -= 255;
    } else if (bitCount == 0 && byteIndex >= 2) {
      bytes[1] = bytes[static_cast<std::size_t>(byteIndex)];
      byteIndex = 1;
    } else if (bitCount != 0) {
      byteIndex = 1;
      bitCount = 0;
      bitAccumulator = 0;
    }
  }
};

// Image data of `count` pixels through LZWCodeTable: code size byte and
// sub-blocks. `codes`, when given, receives every (code, width) emitted.
inline Bytes referenceEncode(const std::int32_t* pixels, std::size_t count, std::int32_t& codeSize,
                             std::vector<std::pair<std::int32_t, std::int32_t>>* codes = nullptr) {
  Bytes out;
  ReferenceCodeBuffer buffer(out);
  auto table = std::make_unique<LZWCodeTable>();
  if (codeSize < 2) codeSize = 2;
  out.push_back(static_cast<std::uint8_t>(codeSize));
  const std::int32_t modulus = 1 << codeSize;
  const std::int32_t maxRoot = modulus - 1;
  table->reset_table(codeSize, maxRoot);
  buffer.put_code(table->clearCode, table->codeWidth);
  std::int32_t prefix = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::int32_t value = ((pixels[i] % modulus) + modulus) % modulus;
    if (i == 0) {
      prefix = value;
      continue;
    }
    std::int32_t code = 0;
    if (table->find_child(prefix, value, code)) {
      prefix = code;
      continue;
    }
    buffer.put_code(prefix, table->codeWidth);
    if (table->nextCode > table->maxCode) {
      buffer.put_code(table->clearCode, table->codeWidth);
      table->reset_table(codeSize, maxRoot);
    } else {
      table->add_entry(prefix, value);
    }
    prefix = value;
  }
  if (count > 0) buffer.put_code(prefix, table->codeWidth);
  buffer.put_code(table->endCode, table->codeWidth);
  buffer.write_data_block();
  if (codes != nullptr) *codes = buffer.codes;
  return out;
}

// Image data from the product encoder, for comparison with referenceEncode.
inline Bytes productEncode(const std::int32_t* pixels, std::size_t count, std::int32_t& codeSize) {
  Bytes out;
  LZWEncoder encoder;
  encoder.encode(pixels, count, codeSize, out);
  return out;
}

// A record with `colours` map entries (colour i = i, 2i, 3i, low 8 bits)
// and `frames` frames of w x h pixels drawn from [lo, hi].
inline GIFImage randomImage(std::mt19937& rng, std::int32_t w, std::int32_t h, std::int32_t frames,
                            std::int32_t colours, std::int32_t lo, std::int32_t hi) {
  GIFImage image;
  image.reset();
  std::vector<std::int32_t> map;
  for (std::int32_t i = 0; i < colours; ++i) {
    map.push_back(((i & 0xFF) << 16) | (((2 * i) & 0xFF) << 8) | ((3 * i) & 0xFF));
  }
  image.setColormap(map);
  image.screenWidth = w;
  image.screenHeight = h;
  image.pixels.allocate(w, h, frames);
  image.numFrames = frames;
  std::uniform_int_distribution<std::int32_t> value(lo, hi);
  for (std::int32_t k = 1; k <= frames; ++k) {
    std::int32_t* p = image.pixels.frame(k);
    for (std::size_t i = 0; i < image.pixels.framePixels(); ++i) p[i] = value(rng);
  }
  return image;
}

}  // namespace gifjoin::testing
