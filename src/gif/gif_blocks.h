// The bytes of the GIF blocks the writers put out, each built by one small
// function from named fields: file head (signature, logical screen, global
// colour table), looping block, graphic control extension, image descriptor
// with its optional local colour table, trailer. No I/O and no state here.
#pragma once

#include <cstdint>
#include <vector>

namespace gifjoin {

using Bytes = std::vector<std::uint8_t>;

// What a viewer does with a frame's area before it draws the next frame.
enum class Disposal : std::uint8_t {
  Unspecified = 0,  // treated as Keep by viewers
  Keep = 1,         // leave the frame in place
  Background = 2,   // clear the frame's rectangle (to transparent in browsers)
  Previous = 3,     // restore what was there before the frame
};

// Introducers and labels of the blocks.
inline constexpr std::uint8_t kExtensionIntroducer = 0x21;
inline constexpr std::uint8_t kGraphicControlLabel = 0xF9;
inline constexpr std::uint8_t kApplicationLabel = 0xFF;
inline constexpr std::uint8_t kImageSeparator = 0x2C;
inline constexpr std::uint8_t kTrailer = 0x3B;
inline constexpr std::uint8_t kBlockTerminator = 0x00;

// Bits of the packed fields.
inline constexpr std::uint8_t kColourTableFlag = 0x80;  // screen and image descriptors
inline constexpr std::uint8_t kInterlaceFlag = 0x40;    // image descriptors: rows in four passes
inline constexpr std::uint8_t kTransparentFlag = 0x01;  // graphic control extension
inline constexpr int kDisposalShift = 2;                // graphic control extension

// Bits of a colour table for colour indices 0..lastIndex: the fewest (1 to
// 8) that hold them; 8 for more than 256 entries.
std::int32_t colourTableBits(std::int32_t lastIndex);

// A 16-bit field, low byte first (n taken modulo 65536).
void appendUint16(Bytes& out, std::int32_t n);

// 2^bits entries of red, green, blue; entries beyond `rgb` repeat its last
// colour (black when `rgb` is empty).
void appendColourTable(Bytes& out, const Bytes& rgb, std::int32_t bits);

// "GIF89a", the logical screen descriptor with a global colour table of
// 2^bits entries (colour resolution the same bits), and the table itself.
void appendFileHead(Bytes& out, std::int32_t width, std::int32_t height, const Bytes& rgb,
                    std::int32_t bits, std::uint8_t backgroundIndex);

// The application extension that makes viewers loop the animation.
void appendLoopingBlock(Bytes& out, std::int32_t loopCount);

// Graphic control extension; transparentIndex < 0: no transparent colour.
void appendGraphicControl(Bytes& out, Disposal disposal, std::int32_t delay,
                          std::int32_t transparentIndex);

// Where a frame's image lies on the screen.
struct FrameRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int64_t area() const { return std::int64_t{width} * height; }
};

// Image separator and descriptor; `packed` is the descriptor's last byte.
void appendImageDescriptor(Bytes& out, const FrameRect& rect, std::uint8_t packed);

// Image separator and descriptor with a local colour table of 2^bits
// entries, followed by that table.
void appendImageWithTable(Bytes& out, const FrameRect& rect, const Bytes& rgb, std::int32_t bits,
                          std::uint8_t flags = 0);

}  // namespace gifjoin
