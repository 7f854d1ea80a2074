// LZW compression of one frame into GIF image data: the minimum code size
// byte and the data sub-blocks (without the block terminator), through a
// direct child table of (prefix, value) pairs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "gif/code_buffer.h"
#include "gif/gif_image.h"

namespace gifjoin {

// Code size the encoder works with for a requested one: at least 2, since
// GIF image data has no 1-bit minimum code size.
constexpr std::int32_t raisedCodeSize(std::int32_t codeSize) {
  return codeSize < 2 ? 2 : codeSize;
}

// Codes of a GIF image: 4096 at most.
inline constexpr std::int32_t kLzwCodes = 4096;

// When the string table starts again: as soon as every code is taken; or,
// with the full table kept (readers stop adding strings), once it encodes
// worse than it did while filling; or never.
enum class Clearing { WhenFull, WhenWorse, Never };

// For each value, other values whose colours may stand for it (nearest
// first, at most kNearest, ended by `value` itself); lossy encoding only.
inline constexpr std::size_t kNearest = 8;
using NearValues = std::array<std::array<std::uint8_t, kNearest + 1>, 256>;

// The encoder the writer uses. Its child table is indexed by (prefix code,
// pixel value), so a lookup is one load; only the cells that were assigned
// are cleared when the table starts again. One encoder serves any number of
// frames, one at a time.
class LZWEncoder {
  struct FreeMemory {
    void operator()(std::uint16_t* p) const { std::free(p); }
  };

 public:
  LZWEncoder() = default;
  LZWEncoder(const LZWEncoder&) = delete;
  LZWEncoder& operator=(const LZWEncoder&) = delete;

  // Compress `count` pixels in raster order, appending the code size byte
  // and the data sub-blocks to `out`. codeSize (1 to 8) is raised to 2 when
  // smaller. Pixel values are taken modulo 2^codeSize. No pixels gives the
  // clear code followed by the end code.
  void encode(const std::int32_t* pixels, std::size_t count, std::int32_t& codeSize,
              std::vector<std::uint8_t>& out);
  // The same for a frame of `total` pixels of which the first `count` are
  // held as 8-bit values; the rest are zeros, never stored or read.
  void encode(const std::uint8_t* pixels, std::size_t count, std::size_t total,
              std::int32_t& codeSize, std::vector<std::uint8_t>& out,
              Clearing clearing = Clearing::WhenFull);
  // Pixel i may be written as first[codes[i]] or as second[codes[i]] (the
  // same value where there is no choice): each code stands for the longest
  // string the table knows that the pixels can be read as, which lets
  // unchanged pixels of an optimised frame join the strings around them.
  void encodeChoosing(const std::uint16_t* codes, const std::uint8_t* first,
                      const std::uint8_t* second, std::size_t count, std::int32_t& codeSize,
                      std::vector<std::uint8_t>& out, Clearing clearing = Clearing::WhenFull);
  // The same with the two values of every pixel given directly.
  void encodeChoosing(const std::uint8_t* first, const std::uint8_t* second, std::size_t count,
                      std::int32_t& codeSize, std::vector<std::uint8_t>& out,
                      Clearing clearing = Clearing::WhenFull);
  // As the next encode, but a string the table does not know goes on with
  // a value near[v] of a pixel instead of its value v when the table knows
  // that string: colours move a little, strings grow longer.
  void encodeNear(const std::uint16_t* codes, const std::uint8_t* lookup, std::size_t count,
                  std::int32_t& codeSize, std::vector<std::uint8_t>& out, Clearing clearing,
                  const NearValues& near);
  // The same for `count` values each read through `lookup` (values[i] is
  // lookup[codes[i]]), without storing them first.
  void encode(const std::uint16_t* codes, const std::uint8_t* lookup, std::size_t count,
              std::int32_t& codeSize, std::vector<std::uint8_t>& out,
              Clearing clearing = Clearing::WhenFull);

 private:
  // Anything indexable by pixel number: a pointer, or a looked-up view.
  // The child table, all zero (allocated on first use).
  std::uint16_t* childTable();
  // The start of an image's data: the code size byte (raised to 2 when
  // smaller), room for about `expected` more bytes, the code buffer on
  // `out`; returns the child table. And its end: the end code and the last
  // sub-block.
  std::uint16_t* beginImage(std::int32_t& codeSize, std::vector<std::uint8_t>& out,
                            std::size_t expected);
  void endImage(std::uint32_t endCode, std::int32_t width);
  template <Clearing kClearing, typename Pixels>
  void encodeValues(Pixels pixels, std::size_t count, std::size_t total, std::int32_t& codeSize,
                    std::vector<std::uint8_t>& out);
  template <Clearing kClearing>
  void nearValues(const std::uint16_t* codes, const std::uint8_t* lookup, std::size_t count,
                  std::int32_t& codeSize, std::vector<std::uint8_t>& out, const NearValues& near);
  template <typename Pixels>
  void choosingValues(Pixels first, Pixels second, std::size_t count, std::int32_t& codeSize,
                      std::vector<std::uint8_t>& out, Clearing clearing);

  // Strings of the table: child_[value << 12 | prefix] is the code of the
  // string prefix + value, 0 when there is none (code 0 is a root and never
  // a child). Indexing by value first keeps the children of the codes made
  // lately close together, which the lookups of one row mostly ask for.
  // Zero pages from calloc: only the pages a frame's strings reach are ever
  // touched, and a new encoder pays for no clearing.
  std::unique_ptr<std::uint16_t, FreeMemory> child_;
  std::array<std::uint32_t, kLzwCodes> cellOf_{};  // child_ cell of each code
  std::array<std::uint16_t, kLzwCodes> length_{};  // pixels of each code's string (WhenWorse)
  // Runs of one value: ladder_[(k - 1) * 256 + value] is the code of the
  // string of k times that value, for k = 2 .. ladderLength_[value]. A run
  // then costs one step per emitted code instead of one lookup per pixel.
  // Left uninitialised: only rungs up to ladderLength_ are read.
  std::unique_ptr<std::uint16_t[]> ladder_;
  std::array<std::uint16_t, 256> ladderLength_{};
  std::array<std::uint16_t, 256> ladderTop_{};  // code of the longest string of each ladder
  CodeBuffer buffer_;
};

}  // namespace gifjoin
