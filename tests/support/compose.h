// Test helper: GIF files decoded with giflib and shown the way browsers show
// an animation, independent of the tool's own reader. Each frame is drawn on
// a canvas of the logical screen size that starts fully transparent; the
// frame's transparent pixels leave the canvas as it is, an index past the
// colour table gives opaque black, and the frame's disposal (keep, clear its
// rectangle, restore what was there before) applies before the next frame.
#pragma once

#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace gifjoin::testing {

// Red, green, blue and alpha of every pixel, row by row.
using Rgba = std::vector<std::uint8_t>;

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifPtr = std::unique_ptr<GifFileType, GifCloser>;

// The whole file as giflib reads it; null when giflib refuses it.
inline GifPtr decodeGif(std::span<const std::uint8_t> bytes) {
  struct Reader {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
  } reader{bytes};
  const InputFunc read = [](GifFileType* gif, GifByteType* out, int n) {
    Reader& r = *static_cast<Reader*>(gif->UserData);
    const std::size_t count = std::min(static_cast<std::size_t>(n), r.bytes.size() - r.at);
    if (count > 0) std::memcpy(out, r.bytes.data() + r.at, count);
    r.at += count;
    return static_cast<int>(count);
  };
  int error = 0;
  GifPtr gif(DGifOpen(&reader, read, &error));
  if (gif == nullptr || DGifSlurp(gif.get()) != GIF_OK) return nullptr;
  gif->UserData = nullptr;
  return gif;
}

// Image k's graphic control: no transparency, no disposal, no delay when it
// has none.
inline GraphicsControlBlock controlOf(GifFileType* gif, int k) {
  GraphicsControlBlock control{};
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  DGifSavedExtensionToGCB(gif, k, &control);
  return control;
}

// Image k's colours: its local table, else the global one (may be null).
inline const ColorMapObject* coloursOf(const GifFileType* gif, int k) {
  const ColorMapObject* local = gif->SavedImages[k].ImageDesc.ColorMap;
  return local != nullptr ? local : gif->SColorMap;
}

inline void paint(std::uint8_t* pixel, const ColorMapObject* map, int index) {
  GifColorType colour{0, 0, 0};
  if (map != nullptr && index < map->ColorCount) colour = map->Colors[index];
  pixel[0] = colour.Red;
  pixel[1] = colour.Green;
  pixel[2] = colour.Blue;
  pixel[3] = 255;
}

struct Animation {
  int width = 0;
  int height = 0;
  std::vector<Rgba> frames;  // what shows after each image is drawn
  std::vector<int> delays;   // hundredths of a second
};

inline Animation compose(GifFileType* gif) {
  Animation out{gif->SWidth, gif->SHeight, {}, {}};
  const auto at = [&](int x, int y) { return static_cast<std::size_t>(y * out.width + x) * 4; };
  Rgba canvas(static_cast<std::size_t>(out.width * out.height) * 4, 0);
  for (int k = 0; k < gif->ImageCount; ++k) {
    const GifImageDesc& d = gif->SavedImages[k].ImageDesc;
    const GifByteType* raster = gif->SavedImages[k].RasterBits;
    const GraphicsControlBlock control = controlOf(gif, k);
    const ColorMapObject* map = coloursOf(gif, k);
    const int right = std::min(d.Left + d.Width, out.width);
    const int bottom = std::min(d.Top + d.Height, out.height);
    const Rgba before = canvas;
    for (int y = d.Top; y < bottom; ++y) {
      for (int x = d.Left; x < right; ++x) {
        const int index = raster[(y - d.Top) * d.Width + (x - d.Left)];
        if (index != control.TransparentColor) paint(&canvas[at(x, y)], map, index);
      }
    }
    out.frames.push_back(canvas);
    out.delays.push_back(control.DelayTime);
    if (control.DisposalMode == DISPOSE_BACKGROUND) {
      for (int y = d.Top; y < bottom; ++y) {
        if (right > d.Left) std::fill_n(&canvas[at(d.Left, y)], (right - d.Left) * 4, 0);
      }
    } else if (control.DisposalMode == DISPOSE_PREVIOUS) {
      canvas = before;
    }
  }
  return out;
}

// The file's first image alone at (0, 0), its own size: its colours, and
// its transparent pixels fully transparent.
inline Rgba renderAlone(GifFileType* gif) {
  const GifImageDesc& d = gif->SavedImages[0].ImageDesc;
  const int transparent = controlOf(gif, 0).TransparentColor;
  const ColorMapObject* map = coloursOf(gif, 0);
  Rgba out(static_cast<std::size_t>(d.Width * d.Height) * 4, 0);
  for (std::size_t i = 0; i < out.size() / 4; ++i) {
    const int index = gif->SavedImages[0].RasterBits[i];
    if (index != transparent) paint(&out[i * 4], map, index);
  }
  return out;
}

// Number of the first pixel where the two differ, -1 when they are equal.
inline long firstDifference(const Rgba& a, const Rgba& b) {
  if (a.size() != b.size()) return 0;
  const auto [p, q] = std::mismatch(a.begin(), a.end(), b.begin());
  return p == a.end() ? -1 : static_cast<long>((p - a.begin()) / 4);
}

}  // namespace gifjoin::testing
