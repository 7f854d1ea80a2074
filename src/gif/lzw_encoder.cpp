// LZW encoder: the string table (list form and direct-lookup form) and the
// compression loop. Codes start at codeSize + 1 bits, widen when the next
// code to assign needs another bit, and the table starts again with a clear
// code once code 4095 is assigned and the next string is not found.
#include "lzw_encoder.h"

namespace gifjoin {

// ---- LZWCodeTable ----------------------------------------------------------

bool LZWCodeTable::find_child(std::int32_t prefix, std::int32_t value, std::int32_t& code) const {
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

void LZWCodeTable::reset_table(std::int32_t codeSize, std::int32_t maxRoot) {
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

void LZWCodeTable::add_entry(std::int32_t prefix, std::int32_t value) {
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

// ---- LZWEncoder ------------------------------------------------------------

void LZWEncoder::encode(const std::int32_t* pixels, std::size_t count, std::int32_t& codeSize,
                        std::vector<std::uint8_t>& out) {
  codeSize = raisedCodeSize(codeSize);
  const std::int32_t shift = codeSize;
  const std::uint32_t mask = (1u << shift) - 1;
  const std::uint32_t clearCode = mask + 1;
  const std::uint32_t endCode = clearCode + 1;
  constexpr std::uint32_t kMaxCode = LZWCodeTable::kTableSize - 1;

  const std::size_t cells = std::size_t{LZWCodeTable::kTableSize} << shift;
  if (child_.size() < cells) child_.assign(cells, 0);  // kept all zero between frames
  std::uint16_t* const child = child_.data();

  out.push_back(static_cast<std::uint8_t>(codeSize));
  // Worst case a little over 1.5 bytes per pixel; reserving about half a
  // byte per pixel covers typical images in one growth.
  out.reserve(out.size() + count / 2 + 64);
  buffer_.init_buffer(out);

  std::uint32_t nextCode = clearCode + 2;
  std::int32_t width = codeSize + 1;
  std::uint32_t widthLimit = (1u << width) - 1;
  auto clearTable = [&] {
    for (std::uint32_t c = clearCode + 2; c < nextCode; ++c) child[cellOf_[c]] = 0;
    nextCode = clearCode + 2;
    width = codeSize + 1;
    widthLimit = (1u << width) - 1;
  };

  buffer_.put_code(clearCode, width);
  if (count > 0) {
    std::uint32_t prefix = static_cast<std::uint32_t>(pixels[0]) & mask;
    for (std::size_t i = 1; i < count; ++i) {
      const std::uint32_t value = static_cast<std::uint32_t>(pixels[i]) & mask;
      const std::uint32_t cell = (prefix << shift) | value;
      const std::uint32_t found = child[cell];
      if (found != 0) {  // children are never code 0, which is a root
        prefix = found;
        continue;
      }
      buffer_.put_code(prefix, width);
      if (nextCode > kMaxCode) {
        buffer_.put_code(clearCode, width);
        clearTable();
      } else {
        if (nextCode > widthLimit) {
          ++width;
          widthLimit = 2 * widthLimit + 1;
        }
        child[cell] = static_cast<std::uint16_t>(nextCode);
        cellOf_[nextCode] = cell;
        ++nextCode;
      }
      prefix = value;
    }
    buffer_.put_code(prefix, width);
  }
  buffer_.put_code(endCode, width);
  buffer_.write_data_block();
  buffer_.free_buffer();
  clearTable();
}

void lzw_encode(const GIFImage& image, std::vector<std::uint8_t>& out, std::int32_t& codeSize,
                std::int32_t frame) {
  const PixelArray& pixels = image.pixels;
  const bool held = pixels.present() && frame >= 1 && frame <= pixels.frames();
  LZWEncoder encoder;
  encoder.encode(held ? pixels.frame(frame) : nullptr, held ? pixels.framePixels() : 0, codeSize,
                 out);
}

}  // namespace gifjoin
