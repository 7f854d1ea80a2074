// Benchmark frames: the two kinds of series the tool is used on, drawn at
// any size, and the GIF bytes giflib makes of them (a GIF file as another
// program would write it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gifjoin::bench {

enum class FrameKind { Plots, Photo };

struct Frame {
  std::string name;  // e.g. "plots_800x600"
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> indices;   // palette indices, x fastest
  std::vector<std::uint8_t> palette;   // 256 entries of red, green, blue
  std::vector<std::uint8_t> gifBytes;  // the frame as a one-image GIF file
  std::size_t pixels() const { return indices.size(); }
};

// Plots: white background, black frame, eight moving sine curves 2 px wide
// in different colours, a short label. Photo: smooth moving colour waves,
// Floyd-Steinberg dithered to a fixed 256-colour cube. `step` moves the
// curves or waves; the GIF bytes are made by giflib.
Frame makeFrame(FrameKind kind, std::int32_t width, std::int32_t height, int step = 0);

// A frame read from an existing one-image GIF file (decoded by giflib); its
// GIF bytes are the file's. Throws std::runtime_error when it cannot.
Frame loadFrame(const std::string& path, const std::string& name);

// giflib's encoding of the frame as a one-image GIF, appended to `out`.
void giflibEncode(const Frame& frame, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> giflibEncode(const Frame& frame);

// giflib's whole decoding (DGifOpen with a read callback over the bytes, or
// DGifOpenFileName, then DGifSlurp): the pixels of the first image, 0 on
// failure.
std::size_t giflibDecodeMemory(const std::vector<std::uint8_t>& gifBytes);
std::size_t giflibDecodeFile(const std::string& path);

// Where the image data sub-blocks of a one-image GIF start (just after the
// minimum code size byte) and end (just after the block terminator).
struct ImageData {
  std::size_t begin = 0;
  std::size_t end = 0;
  int minCodeSize = 0;
};
ImageData findImageData(const std::vector<std::uint8_t>& gif);

}  // namespace gifjoin::bench
