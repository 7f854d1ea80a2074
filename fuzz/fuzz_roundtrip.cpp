// Fuzz target: a record made from arbitrary bytes (size, colour map, frames,
// transparency, delay, pixel values) written with writeGIFImage and read
// back frame by frame with ReadGIFImage. Every pixel must come back as the
// writer reduces it (its low bits, as many as the code size has), and the
// colour table, screen size and delay as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_common.h"
#include "general/byte_source.h"
#include "gif/gif_image.h"
#include "gif/lzw_encoder.h"
#include "gif/read.h"
#include "gif/write.h"

using namespace gifjoin;

namespace {

// The input as a stream of bytes; past its end it reads zeros.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::size_t left() const { return size_ - at_; }
  const std::uint8_t* rest() const { return data_ + at_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

[[noreturn]] void mismatch() {
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto reader = std::make_unique<GifReader>(fuzz::nowhere());

  Input in(data, size);
  const std::int32_t width = 1 + in.byte();
  const std::int32_t height = 1 + in.byte();
  const std::uint8_t shape = in.byte();
  const std::int32_t frames = 1 + shape % 3;
  const bool transparent = (shape & 0x04) != 0;
  const int threads = (shape & 0x08) != 0 ? 2 : 1;
  // 1 to 256 colours, or 300 (more than a table can hold).
  const std::int32_t colours = (shape & 0x10) != 0 ? 300 : 1 + in.byte();
  const std::int32_t delay = in.byte() | in.byte() << 8;
  const std::int32_t transparentIndex = in.byte();

  GIFImage image;
  image.reset();
  image.allocateColormap(colours);
  for (std::int32_t i = 0; i < colours; ++i) {
    // Colours above 255 are written as their low 8 bits.
    for (int c = 1; c <= 3; ++c) image.colormap(c, i) = static_cast<std::int16_t>(i * 37 + c * 101);
  }
  if (!image.pixels.allocate(width, height, frames)) std::abort();
  image.numFrames = frames;
  image.delayTime = delay;
  image.transparentColorIndex = transparent ? transparentIndex : -1;

  // Pixel values: 16-bit signed pairs from the rest of the input, repeated
  // as often as needed (repeats make long strings, and full tables).
  const std::uint8_t* values = in.rest();
  const std::size_t pairs = in.left() / 2;
  const std::size_t count = image.pixels.framePixels() * static_cast<std::size_t>(frames);
  std::int32_t* const out = image.pixels.frame(1);
  for (std::size_t i = 0; i < count; ++i) {
    if (pairs == 0) break;
    const std::size_t p = (i % pairs) * 2;
    out[i] = static_cast<std::int16_t>(values[p] | values[p + 1] << 8);
  }

  WriteOptions options;
  options.encodeThreads = threads;
  MemorySink sink;
  if (!writeGIFImage(image, sink, "fuzz.gif", fuzz::nowhere(), options)) mismatch();

  std::int32_t bits = 1;
  while (bits < 8 && colours - 1 > (1 << bits) - 1) ++bits;
  const std::uint32_t mask = (1U << raisedCodeSize(bits)) - 1;

  GIFImage back;
  for (std::int32_t k = 1; k <= frames; ++k) {
    std::int32_t status = 0;
    MemorySource source(sink.bytes());
    if (!ReadGIFImage(back, *reader, source, "fuzz.gif", k, status, 0).ok()) {
      std::abort();
    }
    if (status != 0 || !back.pixels.present()) mismatch();
    if (back.screenWidth != width || back.screenHeight != height) mismatch();
    if (back.pixels.width() != width || back.pixels.height() != height) mismatch();
    if (back.delayTime != delay) mismatch();
    if (back.numColors != (1 << bits)) mismatch();
    for (std::int32_t i = 0; i < (1 << bits); ++i) {
      const std::int32_t j = i < colours ? i : colours - 1;
      for (int c = 1; c <= 3; ++c) {
        if (back.colormap(c, i) != (image.colormap(c, j) & 0xFF)) mismatch();
      }
    }
    const std::int32_t* want = image.pixels.frame(k);
    const std::int32_t* have = back.pixels.frame(1);
    for (std::size_t i = 0; i < image.pixels.framePixels(); ++i) {
      if (static_cast<std::uint32_t>(have[i]) != (static_cast<std::uint32_t>(want[i]) & mask)) {
        mismatch();
      }
    }
  }
  return 0;
}
