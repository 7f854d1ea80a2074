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

// The part of a frame before its image data: graphic control extension and
// image descriptor. The descriptor carries the code size as it stands
// before this frame is compressed.
void appendFrameHead(const GIFImage& image, std::int32_t codeSize, Bytes& out) {
  const bool transparent = image.transparentColorIndex >= 0;
  out.push_back(0x21);  // extension introducer, graphic control label, block size
  out.push_back(0xF9);
  out.push_back(0x04);
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
}

// Image data of frame k: code size byte and sub-blocks. A frame the record
// does not hold is written as a frame without pixels.
void appendFrameData(const GIFImage& image, std::int32_t k, std::int32_t& codeSize,
                     LZWEncoder& encoder, Bytes& out) {
  const PixelArray& pixels = image.pixels;
  const bool held = pixels.present() && k >= 1 && k <= pixels.frames();
  encoder.encode(held ? pixels.frame(k) : nullptr, held ? pixels.framePixels() : 0, codeSize, out);
}

}  // namespace

// ---- FrameCompressor --------------------------------------------------------

FrameCompressor::FrameCompressor(std::size_t byteBudget) : byteBudget_(byteBudget) {}

FrameCompressor::~FrameCompressor() {
  stop();
}

void FrameCompressor::framesReady(const GIFImage& image, std::int32_t count) {
  if (!image.hasColormap() || image.colormapEntries() < 1 ||
      image.pixels.framePixels() < kHelperMinPixels) {
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    if (image_ == nullptr) {
      image_ = &image;
      codeSize_ = raisedCodeSize(colourTableBits(image.colormapEntries() - 1));
    }
    if (image_ != &image || count <= ready_) return;
    ready_ = count;
  }
  changed_.notify_all();
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

std::unique_lock<std::mutex> FrameCompressor::holdStore() {
  return std::unique_lock<std::mutex>(storeMutex_);
}

void FrameCompressor::run() {
  LZWEncoder encoder;
  for (;;) {
    std::int32_t k = 0;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(
          lock, [&] { return stopping_ || (nextClaim_ <= ready_ && bytesHeld_ < byteBudget_); });
      if (stopping_) return;
      k = nextClaim_++;
    }
    Bytes data;
    {
      // Frame k is final and held (k <= ready_); only the store's place may
      // change, and not while this lock is held.
      std::lock_guard store(storeMutex_);
      std::int32_t codeSize = codeSize_;
      const PixelArray& pixels = image_->pixels;
      encoder.encode(pixels.frame(k), pixels.framePixels(), codeSize, data);
    }
    {
      std::lock_guard lock(mutex_);
      bytesHeld_ += data.size();
      done_.emplace(k, std::move(data));
    }
    changed_.notify_all();
  }
}

void FrameCompressor::take(const GIFImage& image, std::int32_t k, std::int32_t codeSize,
                           LZWEncoder& encoder, Bytes& out) {
  {
    std::unique_lock lock(mutex_);
    if (image_ == &image && codeSize == codeSize_) {
      for (;;) {
        const auto found = done_.find(k);
        if (found != done_.end()) {
          out.insert(out.end(), found->second.begin(), found->second.end());
          bytesHeld_ -= found->second.size();
          done_.erase(found);
          lock.unlock();
          changed_.notify_all();
          return;
        }
        if (k >= nextClaim_) {  // nobody has claimed this frame: it is the writer's
          nextClaim_ = k + 1;
          break;
        }
        // The helper is still at frame k: rather than wait, compress the
        // next frame nobody has claimed, for a later take. The caller's
        // thread is the one that could move the store, so no store lock.
        if (!stopping_ && nextClaim_ <= ready_ && bytesHeld_ < byteBudget_) {
          const std::int32_t ahead = nextClaim_++;
          lock.unlock();
          Bytes data;
          std::int32_t size = codeSize_;
          appendFrameData(image, ahead, size, encoder, data);
          lock.lock();
          bytesHeld_ += data.size();
          done_.emplace(ahead, std::move(data));
          continue;
        }
        if (stopping_) break;  // the helper has ended: compress frame k here
        changed_.wait(lock);
      }
    }
  }
  std::int32_t size = codeSize;
  appendFrameData(image, k, size, encoder, out);
}

void FrameCompressor::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  // The helper finishes every frame it claims before it looks at the stop
  // flag, so each claimed frame is in done_ now.
}

namespace {

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
  // Frames are compressed beside the writing by a helper thread: the one
  // that has been at work since the frames were read, or one of our own.
  const std::int32_t frames = image.numFrames;
  std::optional<FrameCompressor> local;
  FrameCompressor* compressor = options.compressor;
  if (compressor == nullptr && options.encodeThreads >= 2 && frames >= 2) {
    compressor = &local.emplace();
  }
  if (compressor != nullptr) {
    if (options.encodeThreads >= 2) {
      compressor->framesReady(image, frames);
    } else {
      compressor->stop();
    }
  }
  auto put = [&](const Bytes& bytes) {
    if (units().write(unit, bytes.data(), bytes.size()) == 0) return;
    if (compressor != nullptr) compressor->stop();
    writeFailed(unit, name);
  };

  put(fileHead(image, bits, options.loopCount));
  if (image.transparentColorIndex >= 0 && options.verbose) {
    writeLine(ListLine().text(kTransparentColorLabel).integer(image.transparentColorIndex).str());
  }

  // The first frame raises the code size to at least 2, so every later
  // frame's descriptor shows the raised value; the helper works with it.
  std::int32_t codeSize = bits;
  LZWEncoder encoder;
  Bytes frameBytes;
  for (std::int32_t k = 1; k <= frames; ++k) {
    frameBytes.clear();
    appendFrameHead(image, codeSize, frameBytes);
    const std::int32_t raised = raisedCodeSize(codeSize);
    if (compressor != nullptr) {
      compressor->take(image, k, raised, encoder, frameBytes);
    } else {
      appendFrameData(image, k, codeSize, encoder, frameBytes);
    }
    codeSize = raised;
    frameBytes.push_back(0x00);
    put(frameBytes);
  }
  if (compressor != nullptr) compressor->stop();

  put(Bytes{0x3B});
  if (units().close(unit) != 0) writeFailed(unit, name);
  return true;
}

}  // namespace gifjoin
