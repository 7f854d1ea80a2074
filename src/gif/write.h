// Writing an image record as a GIF89a file: one global colour table, a
// looping block for animations, and per frame a graphic control extension,
// an image descriptor and LZW image data.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "gif_image.h"

namespace gifjoin {

class LZWEncoder;

// Compresses the frames of an animation on a helper thread, from the moment
// they are final: while the series is still being read, and then beside the
// writer, which compresses the frames the helper has not claimed yet. The
// file is the same as if every frame were compressed at writing time.
class FrameCompressor {
 public:
  // `byteBudget`: compressed data held before the writer takes it; the
  // helper waits while more is held.
  explicit FrameCompressor(std::size_t byteBudget = std::size_t{16} << 20);
  ~FrameCompressor();
  FrameCompressor(const FrameCompressor&) = delete;
  FrameCompressor& operator=(const FrameCompressor&) = delete;

  // Frames 1..count of `image` are final and may be compressed from now on.
  // The record must outlive the compressor (or its stop()). Frames of
  // fewer pixels than a helper thread is worth are left to the writer.
  void framesReady(const GIFImage& image, std::int32_t count);

  // While the returned lock is held the helper does not read the frame
  // store: take it around anything that may move the store (growth).
  std::unique_lock<std::mutex> holdStore();

  // Image data (code size byte and sub-blocks) of frame k for `codeSize`,
  // compressed by the helper or, when it has not claimed the frame, here
  // with `encoder`; while the helper is still at frame k, later frames
  // nobody has claimed are compressed here for later calls. Frames are to
  // be taken in order, each once, on the thread that may move the store.
  void take(const GIFImage& image, std::int32_t k, std::int32_t codeSize, LZWEncoder& encoder,
            std::vector<std::uint8_t>& out);

  // End the helper; frames it has not finished are compressed by take().
  void stop();

 private:
  void run();

  const std::size_t byteBudget_;
  const GIFImage* image_ = nullptr;
  std::int32_t codeSize_ = 0;  // the code size the helper compresses with
  std::mutex storeMutex_;      // held by the helper while it reads a frame
  std::mutex mutex_;           // guards everything below
  std::condition_variable changed_;
  std::int32_t ready_ = 0;      // frames 1..ready_ are final
  std::int32_t nextClaim_ = 1;  // first frame nobody has claimed
  std::map<std::int32_t, std::vector<std::uint8_t>> done_;
  std::size_t bytesHeld_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

struct WriteOptions {
  std::int32_t loopCount = 65535;  // written in the looping block; 0 = forever
  // Threads that compress frames: 2 lets a helper compress frames ahead of
  // the writing while the writer compresses the ones nobody has claimed;
  // 1 does all work on the caller's thread. The file is the same either way.
  int encodeThreads = 2;
  // The transparency notice on the console; quiet runs leave it out.
  bool verbose = true;
  // Frames already being compressed since they were read (may be null).
  FrameCompressor* compressor = nullptr;
};

// Texts of the writer's reports.
inline constexpr std::string_view kWriterRoutine = "RasterImageModule::writeGIFImage";
inline constexpr std::string_view kWriterOpenRoutine = "GIFImageModule::WriteGIFImage";
inline constexpr std::string_view kNoUnitMessage =
    "Could not open file to write GIF since no unit is available";
inline constexpr std::string_view kNoColormapMessage =
    "Image has no colour map; no GIF file written.";
inline constexpr std::string_view kTransparentColorLabel = "Transparent color: ";
// Standard error, followed by the file name, ": " and the system's reason.
inline constexpr std::string_view kWriteFailedText = "gifjoin: could not write ";

// Write `image` to the named file (trailing blanks are not part of the
// name). Returns true when the file was written completely. A file that
// cannot be opened or written ends the run with exit status 1; an existing
// file of that name is replaced only by a completely written one.
bool writeGIFImage(GIFImage& image, std::string_view fileName, const WriteOptions& options = {});

// The two bytes of a 16-bit field, low byte first (n taken modulo 65536).
std::array<std::uint8_t, 2> uint16_to_chars(std::int32_t n);

}  // namespace gifjoin
