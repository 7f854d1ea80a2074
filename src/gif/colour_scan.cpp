// Walking a GIF file's blocks up to its first image descriptor, skipping
// every sub-block, to find the colour table the image is drawn with.
#include "gif/colour_scan.h"

namespace gifjoin {

ColourScan scanFirstImageColours(std::span<const std::uint8_t> bytes,
                                 std::vector<std::uint8_t>& rgb, std::int32_t& transparent) {
  constexpr std::size_t kHead = 13;  // signature and logical screen descriptor
  if (bytes.size() < kHead) return ColourScan::NeedMore;
  if (bytes[0] != 'G' || bytes[1] != 'I' || bytes[2] != 'F') return ColourScan::Nothing;
  std::size_t at = kHead;
  auto table = [&](std::uint8_t packed, std::vector<std::uint8_t>& out) {
    out.clear();
    if ((packed & 0x80) == 0) return true;
    const std::size_t n = std::size_t{3} << ((packed & 0x07) + 1);
    if (bytes.size() - at < n) return false;
    out.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
               bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    return true;
  };
  std::vector<std::uint8_t> global;
  if (!table(bytes[10], global)) return ColourScan::NeedMore;
  transparent = -1;
  for (;;) {
    if (at >= bytes.size()) return ColourScan::NeedMore;
    const std::uint8_t introducer = bytes[at++];
    if (introducer == 0x2C) {
      if (bytes.size() - at < 9) return ColourScan::NeedMore;
      const std::uint8_t packed = bytes[at + 8];
      at += 9;
      if (!table(packed, rgb)) return ColourScan::NeedMore;
      if (rgb.empty()) rgb = global;
      return rgb.empty() ? ColourScan::Nothing : ColourScan::Found;
    }
    if (introducer != 0x21) return ColourScan::Nothing;
    if (at >= bytes.size()) return ColourScan::NeedMore;
    const std::uint8_t label = bytes[at++];
    bool first = true;
    for (;;) {  // the extension's sub-blocks
      if (at >= bytes.size()) return ColourScan::NeedMore;
      const std::size_t n = bytes[at++];
      if (n == 0) break;
      if (bytes.size() - at < n) return ColourScan::NeedMore;
      if (first && label == 0xF9 && n >= 4) {
        transparent = (bytes[at] & 0x01) != 0 ? bytes[at + 3] : -1;
      }
      first = false;
      at += n;
    }
  }
}

}  // namespace gifjoin
