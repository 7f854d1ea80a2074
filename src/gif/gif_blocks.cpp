// GIF block bytes from named fields.
#include "gif/gif_blocks.h"

#include <algorithm>
#include <string_view>

namespace gifjoin {

namespace {

std::uint8_t low8(std::int32_t v) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(v));
}

}  // namespace

std::int32_t colourTableBits(std::int32_t lastIndex) {
  for (std::int32_t b = 1; b <= 8; ++b) {
    if (lastIndex <= (1 << b) - 1) return b;
  }
  return 8;
}

void appendUint16(Bytes& out, std::int32_t n) {
  out.push_back(low8(n));
  out.push_back(low8(n >> 8));
}

void appendColourTable(Bytes& out, const Bytes& rgb, std::int32_t bits) {
  const std::int32_t last = static_cast<std::int32_t>(rgb.size() / 3) - 1;
  for (std::int32_t i = 0; i < (1 << bits); ++i) {
    if (last < 0) {
      out.insert(out.end(), 3, 0);
      continue;
    }
    const auto j = static_cast<std::ptrdiff_t>(std::min(i, last)) * 3;
    out.insert(out.end(), rgb.begin() + j, rgb.begin() + j + 3);
  }
}

void appendFileHead(Bytes& out, std::int32_t width, std::int32_t height, const Bytes& rgb,
                    std::int32_t bits, std::uint8_t backgroundIndex) {
  constexpr std::string_view kSignature = "GIF89a";
  out.insert(out.end(), kSignature.begin(), kSignature.end());
  appendUint16(out, width);
  appendUint16(out, height);
  out.push_back(static_cast<std::uint8_t>(kColourTableFlag | (bits - 1) << 4 | (bits - 1)));
  out.push_back(backgroundIndex);
  out.push_back(0);  // pixel aspect ratio: square pixels
  appendColourTable(out, rgb, bits);
}

void appendLoopingBlock(Bytes& out, std::int32_t loopCount) {
  constexpr std::string_view kApplication = "NETSCAPE2.0";
  constexpr std::uint8_t kLoopSubBlock = 0x01;
  out.push_back(kExtensionIntroducer);
  out.push_back(kApplicationLabel);
  out.push_back(static_cast<std::uint8_t>(kApplication.size()));
  out.insert(out.end(), kApplication.begin(), kApplication.end());
  out.push_back(3);  // sub-block: identifier and the 16-bit loop count
  out.push_back(kLoopSubBlock);
  appendUint16(out, loopCount);
  out.push_back(kBlockTerminator);
}

void appendGraphicControl(Bytes& out, Disposal disposal, std::int32_t delay,
                          std::int32_t transparentIndex) {
  out.push_back(kExtensionIntroducer);
  out.push_back(kGraphicControlLabel);
  out.push_back(4);  // block size
  std::uint8_t packed =
      static_cast<std::uint8_t>(static_cast<std::uint8_t>(disposal) << kDisposalShift);
  if (transparentIndex >= 0) packed |= kTransparentFlag;
  out.push_back(packed);
  appendUint16(out, delay);
  out.push_back(transparentIndex >= 0 ? low8(transparentIndex) : 0);
  out.push_back(kBlockTerminator);
}

void appendImageDescriptor(Bytes& out, const FrameRect& rect, std::uint8_t packed) {
  out.push_back(kImageSeparator);
  appendUint16(out, rect.left);
  appendUint16(out, rect.top);
  appendUint16(out, rect.width);
  appendUint16(out, rect.height);
  out.push_back(packed);
}

void appendImageWithTable(Bytes& out, const FrameRect& rect, const Bytes& rgb, std::int32_t bits,
                          std::uint8_t flags) {
  appendImageDescriptor(out, rect,
                        static_cast<std::uint8_t>(kColourTableFlag | flags | (bits - 1)));
  appendColourTable(out, rgb, bits);
}

}  // namespace gifjoin
