// Drawing the benchmark frames and encoding them with giflib.
#include "frames.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

namespace gifjoin::bench {

namespace {

constexpr std::array<std::array<std::uint8_t, 3>, 8> kCurveColours{{{220, 20, 60},
                                                                    {30, 144, 255},
                                                                    {34, 139, 34},
                                                                    {255, 140, 0},
                                                                    {148, 0, 211},
                                                                    {0, 206, 209},
                                                                    {199, 21, 133},
                                                                    {128, 128, 0}}};

std::vector<std::uint8_t> plotsPalette() {
  std::vector<std::uint8_t> p;
  p.reserve(768);
  auto add = [&](int r, int g, int b) {
    p.push_back(static_cast<std::uint8_t>(r));
    p.push_back(static_cast<std::uint8_t>(g));
    p.push_back(static_cast<std::uint8_t>(b));
  };
  add(255, 255, 255);
  add(0, 0, 0);
  for (const auto& c : kCurveColours) add(c[0], c[1], c[2]);
  for (int i = 10; i < 256; ++i) {
    const int g = (i - 10) * 255 / 245;
    add(g, (g * 7) % 256, 255 - g);
  }
  return p;
}

// An 8 x 8 x 4 colour cube: index = r * 32 + g * 4 + b.
std::vector<std::uint8_t> photoPalette() {
  std::vector<std::uint8_t> p;
  p.reserve(768);
  for (int r = 0; r < 8; ++r) {
    for (int g = 0; g < 8; ++g) {
      for (int b = 0; b < 4; ++b) {
        p.push_back(static_cast<std::uint8_t>(r * 255 / 7));
        p.push_back(static_cast<std::uint8_t>(g * 255 / 7));
        p.push_back(static_cast<std::uint8_t>(b * 255 / 3));
      }
    }
  }
  return p;
}

void drawPlots(Frame& f, int step) {
  const int w = f.width;
  const int h = f.height;
  auto set = [&](int x, int y, std::uint8_t v) {
    if (x >= 0 && x < w && y >= 0 && y < h) f.indices[static_cast<std::size_t>(y) * w + x] = v;
  };
  std::fill(f.indices.begin(), f.indices.end(), std::uint8_t{0});
  // Black frame, 2 px, 10 px in from the edges (scaled).
  const int m = std::max(1, 10 * w / 800);
  for (int t = 0; t < 2; ++t) {
    for (int x = m; x < w - m; ++x) {
      set(x, m + t, 1);
      set(x, h - m - 1 - t, 1);
    }
    for (int y = m; y < h - m; ++y) {
      set(m + t, y, 1);
      set(w - m - 1 - t, y, 1);
    }
  }
  const double sx = w / 800.0;
  const double sy = h / 600.0;
  const double t = 2.0 * std::numbers::pi * step / 200.0;
  for (int c = 0; c < 8; ++c) {
    const double amplitude = (30 + 8 * c) * sy;
    const double wavelength = (120 + 45 * c) * sx;
    const double centre = (80 + 60 * c) * sy;
    const double phase = c * 0.7 + t * (1 + c % 3);
    auto yAt = [&](int x) {
      const double y = centre + amplitude * std::sin(2 * std::numbers::pi * x / wavelength + phase);
      return std::clamp(static_cast<int>(std::lround(y)), m + 2, h - m - 3);
    };
    for (int x = m + 2; x < w - m - 2; ++x) {
      const int y0 = yAt(x);
      const int y1 = yAt(x + 1);
      const int lo = std::min(y0, y1);
      const int hi = std::max(y0, y1);
      for (int y = lo; y <= hi + 1; ++y) {  // 2 px wide
        set(x, y, static_cast<std::uint8_t>(2 + c));
        set(x + 1, y, static_cast<std::uint8_t>(2 + c));
      }
    }
  }
  // A short label: 14 glyphs of 5 x 7 dots.
  std::uint32_t seed = 0x9E3779B9u ^ static_cast<std::uint32_t>(step);
  for (int g = 0; g < 14; ++g) {
    seed = seed * 1664525u + 1013904223u;
    if (g == 4 || g == 8) continue;  // blanks between words
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (((seed >> ((row * 5 + col) % 31)) & 1u) != 0) set(m + 10 + g * 6 + col, m + 6 + row, 1);
      }
    }
  }
}

void drawPhoto(Frame& f, int step) {
  const int w = f.width;
  const int h = f.height;
  const double t = 2.0 * std::numbers::pi * step / 40.0;
  // Floyd-Steinberg with the error of two rows.
  std::vector<std::array<float, 3>> errThis(static_cast<std::size_t>(w) + 2);
  std::vector<std::array<float, 3>> errNext(static_cast<std::size_t>(w) + 2);
  constexpr std::array<int, 3> levels{8, 8, 4};
  for (int y = 0; y < h; ++y) {
    std::fill(errNext.begin(), errNext.end(), std::array<float, 3>{0, 0, 0});
    for (int x = 0; x < w; ++x) {
      const double u = static_cast<double>(x) / w;
      const double v = static_cast<double>(y) / h;
      const std::array<double, 3> wave{
          std::sin(6.0 * u + 2.0 * v + t), std::sin(20.0 * std::hypot(u - 0.5, v - 0.4) - 2.0 * t),
          std::cos(3.0 * u - 7.0 * v + 0.5 * t) * std::sin(4.0 * v + t)};
      int index = 0;
      for (int c = 0; c < 3; ++c) {
        const auto k = static_cast<std::size_t>(x) + 1;
        const float want = static_cast<float>(127.5 + 127.0 * wave[static_cast<std::size_t>(c)]) +
                           errThis[k][static_cast<std::size_t>(c)];
        const int n = levels[static_cast<std::size_t>(c)] - 1;
        const int q = std::clamp(static_cast<int>(std::lround(want * n / 255.0f)), 0, n);
        const float got = static_cast<float>(q * 255 / n);
        const float e = want - got;
        errThis[k + 1][static_cast<std::size_t>(c)] += e * 7 / 16;
        errNext[k - 1][static_cast<std::size_t>(c)] += e * 3 / 16;
        errNext[k][static_cast<std::size_t>(c)] += e * 5 / 16;
        errNext[k + 1][static_cast<std::size_t>(c)] += e * 1 / 16;
        index = index * levels[static_cast<std::size_t>(c)] + q;
      }
      f.indices[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(index);
    }
    std::swap(errThis, errNext);
  }
}

int writeToVector(GifFileType* gif, const GifByteType* data, int n) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + n);
  return n;
}

struct MemorySource {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
};

int readFromMemory(GifFileType* gif, GifByteType* buffer, int n) {
  auto* src = static_cast<MemorySource*>(gif->UserData);
  const std::size_t k = std::min(static_cast<std::size_t>(n), src->size - src->pos);
  std::memcpy(buffer, src->data + src->pos, k);
  src->pos += k;
  return static_cast<int>(k);
}

}  // namespace

std::vector<std::uint8_t> giflibEncode(const Frame& frame) {
  std::vector<std::uint8_t> out;
  giflibEncode(frame, out);
  return out;
}

void giflibEncode(const Frame& frame, std::vector<std::uint8_t>& out) {
  int error = 0;
  GifFileType* gif = EGifOpen(&out, writeToVector, &error);
  if (gif == nullptr) throw std::runtime_error("EGifOpen failed");
  std::array<GifColorType, 256> colours{};
  for (std::size_t i = 0; i < 256; ++i) {
    colours[i] = {frame.palette[3 * i], frame.palette[3 * i + 1], frame.palette[3 * i + 2]};
  }
  ColorMapObject* map = GifMakeMapObject(256, colours.data());
  // EGifPutLine masks the values to the colour depth in place; with 8 bits
  // that leaves them as they are.
  auto* line = const_cast<GifPixelType*>(frame.indices.data());
  const bool ok =
      EGifPutScreenDesc(gif, frame.width, frame.height, 8, 0, map) == GIF_OK &&
      EGifPutImageDesc(gif, 0, 0, frame.width, frame.height, false, nullptr) == GIF_OK &&
      EGifPutLine(gif, line, static_cast<int>(frame.indices.size())) == GIF_OK;
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) != GIF_OK || !ok) throw std::runtime_error("giflib encode failed");
}

Frame makeFrame(FrameKind kind, std::int32_t width, std::int32_t height, int step) {
  Frame f;
  f.name = std::string(kind == FrameKind::Plots ? "plots_" : "photo_") + std::to_string(width) +
           "x" + std::to_string(height);
  f.width = width;
  f.height = height;
  f.indices.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  if (kind == FrameKind::Plots) {
    f.palette = plotsPalette();
    drawPlots(f, step);
  } else {
    f.palette = photoPalette();
    drawPhoto(f, step);
  }
  f.gifBytes = giflibEncode(f);
  return f;
}

Frame loadFrame(const std::string& path, const std::string& name) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) throw std::runtime_error("cannot open " + path);
  if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1 || gif->SColorMap == nullptr) {
    DGifCloseFile(gif, &error);
    throw std::runtime_error("cannot decode " + path);
  }
  Frame f;
  f.name = name;
  f.width = gif->SWidth;
  f.height = gif->SHeight;
  const SavedImage& image = gif->SavedImages[0];
  f.indices.assign(image.RasterBits, image.RasterBits + static_cast<std::size_t>(f.width) *
                                                            static_cast<std::size_t>(f.height));
  f.palette.assign(768, 0);
  for (int i = 0; i < gif->SColorMap->ColorCount && i < 256; ++i) {
    const GifColorType c = gif->SColorMap->Colors[i];
    f.palette[3 * static_cast<std::size_t>(i)] = c.Red;
    f.palette[3 * static_cast<std::size_t>(i) + 1] = c.Green;
    f.palette[3 * static_cast<std::size_t>(i) + 2] = c.Blue;
  }
  DGifCloseFile(gif, &error);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw std::runtime_error("cannot read " + path);
  std::uint8_t buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    f.gifBytes.insert(f.gifBytes.end(), buffer, buffer + got);
  }
  std::fclose(file);
  return f;
}

ImageData findImageData(const std::vector<std::uint8_t>& gif) {
  auto fail = [] { return std::runtime_error("unexpected GIF layout"); };
  if (gif.size() < 13) throw fail();
  std::size_t p = 13;
  if ((gif[10] & 0x80) != 0) p += 3 * (std::size_t{2} << (gif[10] & 7));
  auto skipSubBlocks = [&] {
    while (p < gif.size() && gif[p] != 0) p += 1 + gif[p];
    ++p;
  };
  while (p < gif.size()) {
    if (gif[p] == 0x21) {
      p += 2;
      skipSubBlocks();
    } else if (gif[p] == 0x2C) {
      const std::uint8_t packed = gif[p + 9];
      p += 10;
      if ((packed & 0x80) != 0) p += 3 * (std::size_t{2} << (packed & 7));
      ImageData d;
      d.minCodeSize = gif[p];
      d.begin = ++p;
      skipSubBlocks();
      d.end = p;
      if (d.end > gif.size()) throw fail();
      return d;
    } else {
      break;
    }
  }
  throw fail();
}

std::size_t giflibDecodeMemory(const std::vector<std::uint8_t>& gifBytes) {
  MemorySource source{gifBytes.data(), gifBytes.size(), 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, readFromMemory, &error);
  if (gif == nullptr) return 0;
  std::size_t pixels = 0;
  if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
    pixels = static_cast<std::size_t>(gif->SavedImages[0].ImageDesc.Width) *
             static_cast<std::size_t>(gif->SavedImages[0].ImageDesc.Height);
  }
  DGifCloseFile(gif, &error);
  return pixels;
}

std::size_t giflibDecodeFile(const std::string& path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) return 0;
  std::size_t pixels = 0;
  if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
    pixels = static_cast<std::size_t>(gif->SavedImages[0].ImageDesc.Width) *
             static_cast<std::size_t>(gif->SavedImages[0].ImageDesc.Height);
  }
  DGifCloseFile(gif, &error);
  return pixels;
}

}  // namespace gifjoin::bench
