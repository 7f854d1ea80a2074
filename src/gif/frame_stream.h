// Writing an animated GIF while its frames arrive. The stream owns the
// output file's life (created, streamed, committed or abandoned), the ring
// of frame buffers the reader decodes into, and the order of the frames;
// an ordered worker compresses them beside the caller. Plain runs write
// every frame whole, byte for byte as writing the whole record at the end
// would; optimised runs hand each frame to the optimiser first, which
// crops it to what changed and picks its colours and disposal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "general/byte_source.h"
#include "general/run_failure.h"
#include "gif/frame_optimizer.h"
#include "gif/frame_pool.h"
#include "gif/gif_blocks.h"
#include "gif/gif_image.h"
#include "gif/lzw_encoder.h"
#include "gif/optimize_settings.h"
#include "gif/ordered_worker.h"
#include "gif/plan_encoder.h"

namespace gifjoin {

struct StreamOptions {
  std::int32_t delay = 30;         // a frame's delay, in hundredths of a second, unless
                                   // addFrame gives one of its own
  std::int32_t loopCount = 65535;  // written in the looping block; 0 = forever
  bool verbose = true;             // the transparency line on the console
  // 2: frames are compressed by a helper thread beside the caller; 1: all
  // on the caller's thread. The file is the same either way.
  int threads = 2;
  // Frame buffers in the ring (at least 3: one held first frame, one being
  // compressed, one being read).
  std::size_t ringSize = 3;
  // The smallest file that shows the same frames instead of whole frames,
  // made as the settings say.
  bool optimize = false;
  OptimizeSettings settings;
  // finish() leaves the complete file uncommitted: commit() puts it in
  // place, abandon() removes it.
  bool holdFile = false;
  // Files the run reads (0: not known): an optimised run of a few measures
  // every frame against a plain join.
  std::int64_t files = 0;
};

class FrameStream {
 public:
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

  // Colours the files can show, seen before their pixels are read: an
  // optimised animation builds its global colour table from them.
  void setSeriesColours(SeriesColours colours) { seriesColours_ = std::move(colours); }

  // A cleared frame buffer for the next image. When every buffer is taken
  // the oldest waiting frame is compressed here first.
  Frame8& freeFrame();

  // Give back a buffer from freeFrame that holds no frame to append.
  void discard(Frame8& frame) { pool_.giveBack(&frame); }

  // Lay the first frame out on a screen of width x height (shared cells
  // kept, the others 0), as appending a second frame to a record does.
  void fitFirstFrame(std::int32_t width, std::int32_t height);

  // Append `frame` (a buffer from freeFrame) as the next frame, shown with
  // `own` colours or, when null, the animation's, for `delay` hundredths of
  // a second (negative: the options' delay). The buffer is the stream's
  // until the frame is compressed.
  void addFrame(Frame8& frame, const FrameColours* own, std::int32_t delay = -1);

  std::int32_t frames() const { return frames_; }
  // The output was created (after open()).
  bool opened() const;

  // Everything after the last frame, and the writer's reports on the
  // console: the missing colour map, the failed open, the transparency
  // line. Ok when the file is complete and in place; NoColourMap or
  // NoFreeUnit after a warning, nothing left behind; OpenFailed after the
  // report of the open; WriteFailed (a write or the close) with the file's
  // name and the system's reason, for the caller to tell on standard error.
  // With no frame at all the screen is emptyWidth x emptyHeight.
  RunResult finish(std::int32_t emptyWidth = 0, std::int32_t emptyHeight = 0);

  // Stop without a file: the helper ends, the temporary file is removed.
  void abandon();

  // A file held complete by finish() (StreamOptions::holdFile) put in
  // place; WriteFailed with the system's reason when that fails.
  RunResult commit();

  // Bytes that went to the file.
  std::uint64_t bytesWritten() const { return written_; }

  // An optimised file that may have come out no smaller than a plain join
  // of the same frames would: its size is not clearly below the plain
  // file's, measured from frames encoded plain (all of a short series)
  // and estimated for the others from what their files spent on them.
  bool plainMayBeSmaller() const;

 private:
  // Where the output file is in its life.
  enum class State {
    Closed,       // open() not called yet
    NoUnit,       // no unit was free: nothing to write to
    OpenFailed,   // the sink could not be created
    Open,         // created; bytes go out as frames are done
    WriteFailed,  // a write failed: nothing more goes out
    Complete,     // complete, held until commit() or abandon()
    Committed,    // complete and in place
    Abandoned,    // stopped without a file
  };

  struct Job {
    Frame8* frame = nullptr;  // plain frames: the buffer until compressed
    std::size_t total = 0;    // pixels of the frame
    std::int32_t codeSize = 0;
    std::size_t headBytes = 0;  // the frame head, built before the job runs
    // Optimised frames: the plan of a decided frame.
    bool optimised = false;
    bool loops = false;  // the plan is the first frame's, of an animation
    std::int32_t delay = 0;
    FramePlan plan;
    // A plain frame encoded only to learn its size (optimised runs).
    bool countOnly = false;
    std::uint64_t packedBytes = 0;
    Bytes bytes;  // what goes to the file, in frame order
  };

  // How a plain join would write a frame of an optimised run: its code
  // size, and whether it is encoded to learn its size.
  struct PlainNote {
    bool sample = false;
    std::int32_t codeSize = 0;
  };

  void queueFirst();
  Job newJob();
  void queue(Frame8& frame, const FrameColours* own, std::int32_t delay, PlainNote note);
  // `frame` null: no frame follows, the last one is decided.
  void queueOptimised(Frame8* frame, const FrameColours* own, std::int32_t delay, PlainNote note);
  PlainNote notePlainFrame(const Frame8& frame, const FrameColours* own);
  // The plain join's size as known so far (see plainMayBeSmaller).
  std::uint64_t plainEstimate() const;
  void submitPlan(Job&& job);
  void holdForPalette(Job&& job);
  void buildPalette(bool allSeen);
  void countPlain(Frame8& frame, std::int32_t codeSize);
  void takeDone(Job& job);
  void queuePlain(Frame8& frame, const FrameColours* own, std::int32_t delay);
  void runJob(Job& job, int lane);
  void runPlain(Job& job, int lane);
  void runOptimised(Job& job, int lane);
  void writeHead(std::int32_t width, std::int32_t height);
  void writeDoneFrames();
  void put(const Bytes& bytes);
  bool accepting() const { return haveColours_ && state_ == State::Open; }

  ByteSink& sink_;
  const std::string name_;
  std::ostream& console_;
  const StreamOptions options_;
  State state_ = State::Closed;
  std::int32_t openStatus_ = -1;
  std::string failReason_;

  // The animation's colours.
  bool haveColours_ = false;
  Bytes globalRgb_;
  std::int32_t bits_ = 1;
  std::int32_t transparent_ = -1;

  std::int32_t frames_ = 0;
  std::int32_t codeSize_ = 0;    // the plain writer's code size variable
  bool headDone_ = false;        // the file head is out, or frame 1's job writes it
  Frame8* heldFirst_ = nullptr;  // frame 1 until the looping block is known
  FrameColours heldOwn_;
  bool heldHasOwn_ = false;
  std::int32_t heldDelay_ = 0;
  PlainNote heldNote_;

  FramePool pool_;
  LZWEncoder lzw_[2];  // per lane: the caller's, the helper's
  PlanEncoder planEncoders_[2];

  // The optimiser, on the reading thread; the global colour table it
  // decides with the first frame, read by the encoding jobs after that.
  bool optimising_ = false;
  FrameOptimizer optimiser_;
  GlobalPalette global_;
  SeriesColours seriesColours_;
  // Delays of the frames the optimiser holds, until their plans come out.
  std::deque<std::int32_t> plannedDelays_;
  // The first decided frames, held until the global colour table is built
  // from what they draw, and the colours the later of them draw.
  std::vector<Job> heldPlans_;
  std::size_t heldCodes_ = 0;
  bool paletteBuilt_ = false;
  std::vector<std::vector<ColourKey>> drawn_;  // per held frame after the first

  std::vector<Bytes> spare_;  // byte buffers of written frames, for the next ones
  std::uint64_t written_ = 0;
  // Optimised runs: what a plain join of the frames would write. Its blocks
  // but the image data are counted exactly; the image data of the sampled
  // frames is encoded plain, that of the others estimated from what their
  // files spent on it, scaled as for the sampled frames.
  std::uint64_t plainBlocks_ = 0;
  std::uint64_t sampledPlain_ = 0;   // image data of the sampled frames, encoded plain
  std::uint64_t sampledPacked_ = 0;  // ... and as their files have it
  std::uint64_t otherPacked_ = 0;    // the others' image data as their files have it
  bool plainEstimated_ = false;      // some frame's image data is estimated
  std::int32_t plainCodeSize_ = 0;   // the plain writer's code size variable
  OrderedWorker<Job> worker_;
};

}  // namespace gifjoin
