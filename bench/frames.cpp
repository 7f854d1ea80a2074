// Drawing the benchmark frames and encoding them with giflib.
#include "frames.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
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

// Bytes in memory as giflib's input function reads them.
struct ReadPosition {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
};

int readFromMemory(GifFileType* gif, GifByteType* buffer, int n) {
  auto* src = static_cast<ReadPosition*>(gif->UserData);
  const std::size_t k = std::min(static_cast<std::size_t>(n), src->size - src->pos);
  std::memcpy(buffer, src->data + src->pos, k);
  src->pos += k;
  return static_cast<int>(k);
}

// giflib's decoding of the whole GIF in memory, or nullptr; the caller
// closes it.
GifFileType* giflibSlurp(const std::vector<std::uint8_t>& gifBytes, ReadPosition& source) {
  source = {gifBytes.data(), gifBytes.size(), 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, readFromMemory, &error);
  if (gif == nullptr) return nullptr;
  if (DGifSlurp(gif) != GIF_OK) {
    DGifCloseFile(gif, &error);
    return nullptr;
  }
  return gif;
}

std::array<GifColorType, 256> giflibColours(const Frame& frame) {
  std::array<GifColorType, 256> colours{};
  for (std::size_t i = 0; i < 256; ++i) {
    colours[i] = {frame.palette[3 * i], frame.palette[3 * i + 1], frame.palette[3 * i + 2]};
  }
  return colours;
}

}  // namespace

std::vector<std::uint8_t> inRowOrder(const Frame& frame, RowOrder order) {
  if (order == RowOrder::Sequential) return frame.indices;
  constexpr std::array<std::array<int, 2>, 4> kPasses{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
  const auto width = static_cast<std::size_t>(frame.width);
  std::vector<std::uint8_t> rows;
  rows.reserve(frame.indices.size());
  for (const auto& pass : kPasses) {
    for (std::int32_t y = pass[0]; y < frame.height; y += pass[1]) {
      const auto from = frame.indices.begin() + static_cast<std::ptrdiff_t>(y * width);
      rows.insert(rows.end(), from, from + static_cast<std::ptrdiff_t>(width));
    }
  }
  return rows;
}

std::vector<std::uint8_t> giflibEncode(const Frame& frame, RowOrder order) {
  std::vector<std::uint8_t> out;
  giflibEncode(frame, out, order);
  return out;
}

void giflibEncode(const Frame& frame, std::vector<std::uint8_t>& out, RowOrder order) {
  int error = 0;
  GifFileType* gif = EGifOpen(&out, writeToVector, &error);
  if (gif == nullptr) throw std::runtime_error("EGifOpen failed");
  std::array<GifColorType, 256> colours = giflibColours(frame);
  ColorMapObject* map = GifMakeMapObject(256, colours.data());
  // giflib writes the rows in the order it is given them, also for an
  // interlaced image. EGifPutLine masks the values to the colour depth in
  // place; with 8 bits that leaves them as they are.
  std::vector<std::uint8_t> rows;
  auto* line = const_cast<GifPixelType*>(frame.indices.data());
  if (order == RowOrder::Interlaced) {
    rows = inRowOrder(frame, order);
    line = rows.data();
  }
  const bool ok = EGifPutScreenDesc(gif, frame.width, frame.height, 8, 0, map) == GIF_OK &&
                  EGifPutImageDesc(gif, 0, 0, frame.width, frame.height,
                                   order == RowOrder::Interlaced, nullptr) == GIF_OK &&
                  EGifPutLine(gif, line, static_cast<int>(frame.indices.size())) == GIF_OK;
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) != GIF_OK || !ok) throw std::runtime_error("giflib encode failed");
}

void giflibWriteAnimation(const std::vector<Frame>& frames, std::vector<std::uint8_t>& out) {
  if (frames.empty()) throw std::runtime_error("no frames to write");
  int error = 0;
  GifFileType* gif = EGifOpen(&out, writeToVector, &error);
  if (gif == nullptr) throw std::runtime_error("EGifOpen failed");
  EGifSetGifVersion(gif, true);
  const Frame& f0 = frames.front();
  std::array<GifColorType, 256> colours = giflibColours(f0);
  ColorMapObject* map = GifMakeMapObject(256, colours.data());
  bool ok = EGifPutScreenDesc(gif, f0.width, f0.height, 8, 0, map) == GIF_OK;
  const std::uint8_t loop[3] = {1, 0, 0};
  ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
       EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
       EGifPutExtensionBlock(gif, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
  for (const Frame& f : frames) {
    const std::uint8_t control[4] = {0x08, 30, 0, 0};
    ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK &&
         EGifPutImageDesc(gif, 0, 0, f.width, f.height, false, nullptr) == GIF_OK &&
         EGifPutLine(gif, const_cast<GifPixelType*>(f.indices.data()),
                     static_cast<int>(f.indices.size())) == GIF_OK;
  }
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) != GIF_OK || !ok) throw std::runtime_error("giflib write failed");
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
  f.interlacedGifBytes = giflibEncode(f, RowOrder::Interlaced);
  return f;
}

Frame loadFrame(const std::string& path, const std::string& name) {
  Frame f;
  f.name = name;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    f.fileBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error("cannot read " + path);
  }
  ReadPosition source{};
  GifFileType* gif = giflibSlurp(f.fileBytes, source);
  if (gif == nullptr) throw std::runtime_error("cannot decode " + path);
  int error = 0;
  if (gif->ImageCount < 1 || gif->SColorMap == nullptr ||
      gif->SavedImages[0].ImageDesc.Width != gif->SWidth ||
      gif->SavedImages[0].ImageDesc.Height != gif->SHeight) {
    DGifCloseFile(gif, &error);
    throw std::runtime_error(path + ": not one image filling its screen with a global colour map");
  }
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
  f.gifBytes = giflibEncode(f);
  f.interlacedGifBytes = giflibEncode(f, RowOrder::Interlaced);
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
      if (p + 10 >= gif.size()) throw fail();
      const std::uint8_t packed = gif[p + 9];
      p += 10;
      if ((packed & 0x80) != 0) p += 3 * (std::size_t{2} << (packed & 7));
      if (p >= gif.size()) throw fail();
      ImageData d;
      d.interlaced = (packed & 0x40) != 0;
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
  ReadPosition source{};
  GifFileType* gif = giflibSlurp(gifBytes, source);
  if (gif == nullptr) return 0;
  std::size_t pixels = 0;
  if (gif->ImageCount > 0) {
    pixels = static_cast<std::size_t>(gif->SavedImages[0].ImageDesc.Width) *
             static_cast<std::size_t>(gif->SavedImages[0].ImageDesc.Height);
  }
  int error = 0;
  DGifCloseFile(gif, &error);
  return pixels;
}

std::vector<std::vector<std::uint8_t>> giflibDecodeAll(const std::vector<std::uint8_t>& gifBytes) {
  ReadPosition source{};
  GifFileType* gif = giflibSlurp(gifBytes, source);
  if (gif == nullptr) throw std::runtime_error("giflib cannot decode");
  std::vector<std::vector<std::uint8_t>> images;
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    const std::size_t n = static_cast<std::size_t>(image.ImageDesc.Width) *
                          static_cast<std::size_t>(image.ImageDesc.Height);
    images.emplace_back(image.RasterBits, image.RasterBits + n);
  }
  int error = 0;
  DGifCloseFile(gif, &error);
  return images;
}

}  // namespace gifjoin::bench
