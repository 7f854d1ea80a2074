// GIF writer: lays out the GIF89a file around the LZW image data, writes it
// through a file unit and commits it only when every byte went out. Frames
// may be compressed on a helper thread, but the bytes, their order and the
// console lines are those of a single-threaded run.
#include "write.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "general/console.h"
#include "general/diagnostics.h"
#include "general/text_field.h"
#include "general/units.h"
#include "lzw_encoder.h"

namespace gifjoin {

std::array<std::uint8_t, 2> uint16_to_chars(std::int32_t n) {
  const auto v = static_cast<std::uint32_t>(n);
  return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>((v >> 8) & 0xFF)};
}

namespace {

using Bytes = std::vector<std::uint8_t>;

// Frames a helper thread may have compressed ahead of the writing.
constexpr std::size_t kFramesAhead = 3;
// Below this many pixels per frame a helper thread costs more than it saves.
constexpr std::size_t kHelperMinPixels = std::size_t{1} << 14;

void appendUint16(Bytes& out, std::int32_t n) {
  const auto b = uint16_to_chars(n);
  out.insert(out.end(), b.begin(), b.end());
}

std::uint8_t low8(std::int32_t v) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(v));
}

// Bits of the global colour table: the fewest (1 to 8) whose table holds
// colour indices 0..lastIndex; 8 when the map has more than 256 entries.
std::int32_t colourTableBits(std::int32_t lastIndex) {
  for (std::int32_t b = 1; b <= 8; ++b) {
    if (lastIndex <= (1 << b) - 1) return b;
  }
  return 8;
}

// Everything before the first frame: header, logical screen descriptor,
// global colour table and, for an animation, the looping block.
Bytes fileHead(const GIFImage& image, std::int32_t bits, std::int32_t loopCount) {
  const std::int32_t lastIndex = image.colormapEntries() - 1;
  Bytes out;
  out.reserve(13 + 3 * 256 + 19);
  constexpr std::string_view kHeader = "GIF89a";
  out.insert(out.end(), kHeader.begin(), kHeader.end());
  appendUint16(out, image.pixels.width());
  appendUint16(out, image.pixels.height());
  out.push_back(static_cast<std::uint8_t>(0x80 + (bits - 1) * 16 + (bits - 1)));
  out.push_back(image.transparentColorIndex >= 0 ? low8(image.transparentColorIndex) : 0);
  out.push_back(0);  // pixel aspect ratio: square pixels
  // Entries beyond the colour map repeat its last colour.
  for (std::int32_t i = 0; i < (1 << bits); ++i) {
    const std::int32_t j = std::min(i, lastIndex);
    for (int c = 1; c <= 3; ++c) out.push_back(low8(image.colormap(c, j)));
  }
  if (image.numFrames > 1) {
    constexpr std::string_view kLooping = "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
    out.insert(out.end(), kLooping.begin(), kLooping.end());
    appendUint16(out, loopCount);
    out.push_back(0x00);
  }
  return out;
}

// One frame: graphic control extension, image descriptor, image data and
// block terminator. The descriptor carries the code size as it stands
// before this frame is compressed.
void appendFrame(const GIFImage& image, std::int32_t k, std::int32_t& codeSize, LZWEncoder& encoder,
                 Bytes& out) {
  const bool transparent = image.transparentColorIndex >= 0;
  out.insert(out.end(), {0x21, 0xF9, 0x04});
  out.push_back(transparent ? 0x01 : 0x08);  // transparency flag, or restore to background
  appendUint16(out, image.delayTime);
  out.push_back(transparent ? low8(image.transparentColorIndex) : 0);
  out.push_back(0x00);

  const PixelArray& pixels = image.pixels;
  out.push_back(0x2C);
  appendUint16(out, 0);
  appendUint16(out, 0);
  appendUint16(out, pixels.width());
  appendUint16(out, pixels.height());
  out.push_back(static_cast<std::uint8_t>((codeSize - 1) & 0x07));

  // A frame the record does not hold is written as a frame without pixels.
  const bool held = pixels.present() && k <= pixels.frames();
  encoder.encode(held ? pixels.frame(k) : nullptr, held ? pixels.framePixels() : 0, codeSize, out);
  out.push_back(0x00);
}

// Compresses frames 2, 4, 6, ... on its own thread, at most kFramesAhead of
// them ahead of the writer. Frame 2j+2 is the helper's j-th frame.
class HelperEncoder {
 public:
  HelperEncoder(const GIFImage& image, std::int32_t codeSize)
      : image_(image), codeSize_(codeSize), thread_([this] { run(); }) {}
  ~HelperEncoder() { stop(); }
  HelperEncoder(const HelperEncoder&) = delete;
  HelperEncoder& operator=(const HelperEncoder&) = delete;

  // The bytes of the helper's j-th frame, once they are complete.
  const Bytes& take(std::size_t j) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return produced_ > j; });
    return slots_[j % kFramesAhead];
  }

  // The writer is done with the j-th frame; its slot may be reused.
  void release(std::size_t j) {
    {
      std::lock_guard lock(mutex_);
      consumed_ = j + 1;
    }
    changed_.notify_all();
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void run() {
    LZWEncoder encoder;
    for (std::size_t j = 0;; ++j) {
      const auto k = static_cast<std::int32_t>(2 * j + 2);
      if (k > image_.numFrames) return;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || j < consumed_ + kFramesAhead; });
        if (stopping_) return;
      }
      Bytes& out = slots_[j % kFramesAhead];
      out.clear();
      std::int32_t codeSize = codeSize_;
      appendFrame(image_, k, codeSize, encoder, out);
      {
        std::lock_guard lock(mutex_);
        produced_ = j + 1;
      }
      changed_.notify_all();
    }
  }

  const GIFImage& image_;
  const std::int32_t codeSize_;
  std::array<Bytes, kFramesAhead> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t produced_ = 0;
  std::size_t consumed_ = 0;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once everything above is ready
};

// A write or close failed: say why on standard error, drop the temporary
// file (an existing file of that name stays as it was) and end the run.
[[noreturn]] void writeFailed(int unit, const std::string& name) {
  const std::string reason = units().lastError();
  units().release(unit);
  std::cerr << kWriteFailedText << name << ": " << reason << '\n';
  std::cerr.flush();
  stopProgram(1);
}

}  // namespace

bool writeGIFImage(GIFImage& image, std::string_view fileName, const WriteOptions& options) {
  // A copy: the caller may pass the record's own file name.
  const std::string name(trimRight(fileName));

  if (!image.hasColormap() || image.colormapEntries() < 1) {
    writeWarning(kNoColormapMessage, kWriterRoutine);
    return false;
  }
  const int unit = getFreeUnit();
  if (unit <= 0) {
    writeWarning(kNoUnitMessage, kWriterRoutine);
    return false;
  }
  const std::int32_t status = units().openForWriting(unit, name);
  if (checkIOStatus(status, name, std::nullopt, kWriterOpenRoutine, "OPEN")) stopProgram(1);
  image.fileName = makeField(name);

  const std::int32_t bits = colourTableBits(image.colormapEntries() - 1);
  std::optional<HelperEncoder> helper;
  auto put = [&](const Bytes& bytes) {
    if (units().write(unit, bytes.data(), bytes.size()) == 0) return;
    if (helper) helper->stop();
    writeFailed(unit, name);
  };

  put(fileHead(image, bits, options.loopCount));
  if (image.transparentColorIndex >= 0 && options.verbose) {
    writeLine(ListLine().text(kTransparentColorLabel).integer(image.transparentColorIndex).str());
  }

  // The first frame raises the code size to at least 2, so every later
  // frame's descriptor shows the raised value; the helper starts from it.
  std::int32_t codeSize = bits;
  const std::int32_t frames = image.numFrames;
  if (options.encodeThreads >= 2 && frames >= 2 && image.pixels.framePixels() >= kHelperMinPixels) {
    helper.emplace(image, raisedCodeSize(codeSize));
  }
  LZWEncoder encoder;
  Bytes frameBytes;
  for (std::int32_t k = 1; k <= frames; ++k) {
    if (helper && k % 2 == 0) {
      const auto j = static_cast<std::size_t>(k / 2 - 1);
      put(helper->take(j));
      helper->release(j);
      continue;
    }
    frameBytes.clear();
    appendFrame(image, k, codeSize, encoder, frameBytes);
    put(frameBytes);
  }
  if (helper) helper->stop();

  put(Bytes{0x3B});
  if (units().close(unit) != 0) writeFailed(unit, name);
  return true;
}

}  // namespace gifjoin
