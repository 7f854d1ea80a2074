// A quiet look at the colours a GIF file can show, before any pixel of it
// is decoded: the colour table its first image is drawn with (local, else
// global) less its transparent entry. Used by optimised runs to see whether
// one global colour table can serve the whole animation. It reports
// nothing and never fails: a file it cannot follow simply adds nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace gifjoin {

enum class ColourScan {
  Found,     // `rgb` and `transparent` hold the first image's colours
  NeedMore,  // the bytes end before the first image's colour table
  Nothing,   // not a GIF, or no image with colours
};

// rgb: red, green, blue per entry; transparent: the index the first image's
// graphic control extension makes transparent, or -1.
ColourScan scanFirstImageColours(std::span<const std::uint8_t> bytes,
                                 std::vector<std::uint8_t>& rgb, std::int32_t& transparent);

}  // namespace gifjoin
