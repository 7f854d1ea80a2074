// Benchmark frames: the two kinds of series the tool is used on, drawn at
// any size, and the GIF bytes giflib makes of them (a GIF file as another
// program would write it), with the rows in order and interlaced.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gifjoin::bench {

enum class FrameKind { Plots, Photo };

// Order of the rows in a GIF image: top to bottom, or the four passes of
// an interlaced image (every 8th row from row 0, every 8th from row 4,
// every 4th from row 2, every 2nd from row 1).
enum class RowOrder { Sequential, Interlaced };

struct Frame {
  std::string name;  // e.g. "plots_800x600"
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> indices;  // palette indices, x fastest
  std::vector<std::uint8_t> palette;  // 256 entries of red, green, blue
  // The frame as a one-image GIF file written by giflib, rows in order and
  // interlaced.
  std::vector<std::uint8_t> gifBytes;
  std::vector<std::uint8_t> interlacedGifBytes;
  // A frame loaded from a file: the file's bytes as the program that wrote
  // it made them. Empty for a drawn frame.
  std::vector<std::uint8_t> fileBytes;
  std::size_t pixels() const { return indices.size(); }
};

// Plots: white background, black frame, eight moving sine curves 2 px wide
// in different colours, a short label. Photo: smooth moving colour waves,
// Floyd-Steinberg dithered to a fixed 256-colour cube. `step` moves the
// curves or waves; the GIF bytes are made by giflib.
Frame makeFrame(FrameKind kind, std::int32_t width, std::int32_t height, int step = 0);

// A frame read from an existing one-image GIF file (decoded by giflib from
// the file's bytes, which it keeps). Throws std::runtime_error when it
// cannot.
Frame loadFrame(const std::string& path, const std::string& name);

// The frame's indices with the rows in the given order: the order in which
// an image written that way carries them, and a decoder gives them back.
std::vector<std::uint8_t> inRowOrder(const Frame& frame, RowOrder order);

// giflib's encoding of the frame as a one-image GIF, appended to `out`.
void giflibEncode(const Frame& frame, std::vector<std::uint8_t>& out,
                  RowOrder order = RowOrder::Sequential);
std::vector<std::uint8_t> giflibEncode(const Frame& frame, RowOrder order = RowOrder::Sequential);

// giflib writing an animation of the frames to `out` as the tool writes
// one: the first frame's colours as the global colour table, a looping
// block, a graphic control extension (delay 30) per frame. Throws
// std::runtime_error when giflib fails.
void giflibWriteAnimation(const std::vector<Frame>& frames, std::vector<std::uint8_t>& out);

// giflib's whole decoding (DGifOpen with a read callback over the bytes,
// then DGifSlurp): the pixels of the first image, 0 on failure.
std::size_t giflibDecodeMemory(const std::vector<std::uint8_t>& gifBytes);

// The indices of every image of a GIF (giflib's DGifSlurp, interlaced images
// put in row order), each image width x height of its descriptor. Throws
// std::runtime_error when giflib cannot decode the bytes.
std::vector<std::vector<std::uint8_t>> giflibDecodeAll(const std::vector<std::uint8_t>& gifBytes);

// Where the image data sub-blocks of a one-image GIF start (just after the
// minimum code size byte) and end (just after the block terminator), and
// whether the image is interlaced.
struct ImageData {
  std::size_t begin = 0;
  std::size_t end = 0;
  int minCodeSize = 0;
  bool interlaced = false;
};
ImageData findImageData(const std::vector<std::uint8_t>& gif);

}  // namespace gifjoin::bench
