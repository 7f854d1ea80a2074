// Writing an animated GIF while its frames arrive. Each frame is compressed
// as soon as it is final (on a helper thread, or on the caller's thread
// when every frame buffer is taken) and written to the output's temporary
// file as soon as it and every frame before it are done. The bytes, their
// order and the console lines are those of writing the whole record at the
// end; the output file appears only when complete.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "general/byte_source.h"
#include "gif_image.h"
#include "lzw_encoder.h"

namespace gifjoin {

// Bits of a colour table for colour indices 0..lastIndex: the fewest (1 to
// 8) that hold them; 8 for more than 256 entries.
std::int32_t colourTableBits(std::int32_t lastIndex);

struct StreamOptions {
  std::int32_t delay = 30;         // every frame's delay, in hundredths of a second
  std::int32_t loopCount = 65535;  // written in the looping block; 0 = forever
  bool verbose = true;             // the transparency line on the console
  // 2: frames are compressed by a helper thread beside the caller; 1: all
  // on the caller's thread. The file is the same either way.
  int threads = 2;
  // Frame buffers in the ring (at least 3: one held first frame, one being
  // compressed, one being read).
  std::size_t ringSize = 3;
};

class FrameStream {
 public:
  enum class Result {
    Written,     // the file is complete and in place
    NotWritten,  // a warning said why (no colour map, no unit); nothing left behind
    Failed,      // the open, a write or the close failed: the run stops
  };

  // The file goes to `sink` under `fileName`; the writer's console lines
  // and reports go to `console`.
  FrameStream(ByteSink& sink, std::string_view fileName, std::ostream& console,
              const StreamOptions& options);
  ~FrameStream();
  FrameStream(const FrameStream&) = delete;
  FrameStream& operator=(const FrameStream&) = delete;

  // Create the output. A failure is not reported here: finish() reports
  // it, after everything the run prints before writing.
  void open();

  // The animation's colour map and transparency, once its first file has
  // been read. Without a colour map nothing is written and frames are
  // dropped as they come.
  void setAnimation(const GIFImage& animation);

  // A cleared frame buffer for the next image. When every buffer is taken
  // the oldest waiting frame is compressed here first.
  Frame8& freeFrame();

  // Give back a buffer from freeFrame that holds no frame to append.
  void discard(Frame8& frame) { release(&frame); }

  // Lay the first frame out on a screen of width x height (shared cells
  // kept, the others 0), as appending a second frame to a record does.
  void fitFirstFrame(std::int32_t width, std::int32_t height);

  // Append `frame` (a buffer from freeFrame) as the next frame, shown with
  // `own` colours or, when null, the animation's. The buffer is the
  // stream's until the frame is compressed.
  void addFrame(Frame8& frame, const FrameColours* own);

  std::int32_t frames() const { return frames_; }
  // The output was created (after open()).
  bool opened() const { return openStatus_ == 0; }
  // After a failed write or close: the line for standard error that says
  // which file could not be written and why.
  std::string failureLine() const;

  // Everything after the last frame, and the writer's reports on the
  // console: the missing colour map, the failed open, the transparency
  // line. A failed write is left to the caller (see failureLine). With no
  // frame at all the screen is emptyWidth x emptyHeight.
  Result finish(std::int32_t emptyWidth = 0, std::int32_t emptyHeight = 0);

  // Stop without a file: the helper ends, the temporary file is removed.
  void abandon();

 private:
  struct Job {
    Frame8* frame = nullptr;  // the buffer until the frame is compressed
    std::size_t total = 0;    // pixels of the frame
    std::int32_t codeSize = 0;
    std::vector<std::uint8_t> bytes;  // frame head, then image data and terminator
    std::size_t headBytes = 0;
    bool queued = true;  // waiting for a compressor
    bool done = false;
  };

  void queueFrame(Frame8& frame, const FrameColours* own);
  void compress(Job& job, LZWEncoder& encoder);
  bool compressOldestHere();
  void writeHead(std::int32_t width, std::int32_t height);
  void writeDoneFrames();
  void put(const std::vector<std::uint8_t>& bytes);
  void release(Frame8* frame);
  void releaseLocked(const Frame8* frame);  // with mutex_ held
  void jobDoneLocked(Job& job);             // with mutex_ held
  void startHelper();
  void runHelper();
  void stopHelper();
  bool accepting() const { return haveColours_ && openStatus_ == 0 && !failed_; }

  ByteSink& sink_;
  const std::string name_;
  std::ostream& console_;
  const StreamOptions options_;
  bool tried_ = false;            // open() was called
  std::int32_t openStatus_ = -1;  // -1: not opened (yet)
  bool noUnit_ = false;
  bool failed_ = false;  // a write failed: nothing more goes out
  std::string failReason_;
  bool finished_ = false;

  // The animation's colours.
  bool haveColours_ = false;
  std::vector<std::uint8_t> globalRgb_;
  std::int32_t bits_ = 1;
  std::int32_t transparent_ = -1;

  std::int32_t frames_ = 0;
  std::int32_t codeSize_ = 0;  // the writer's code size variable
  bool headWritten_ = false;
  Frame8* heldFirst_ = nullptr;  // frame 1 until the looping block is known
  FrameColours heldOwn_;
  bool heldHasOwn_ = false;

  std::vector<std::unique_ptr<Frame8>> ring_;
  std::vector<bool> busy_;
  std::vector<std::vector<std::uint8_t>> spareBytes_;
  LZWEncoder encoder_;  // the caller's thread's

  std::mutex mutex_;  // guards jobs_' states and busy_, and the helper's flags
  std::condition_variable changed_;
  std::deque<Job> jobs_;  // in frame order; the front is the next to write
  bool stopping_ = false;
  std::thread helper_;
};

}  // namespace gifjoin
