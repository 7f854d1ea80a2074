// The streaming GIF writer: the file head, then every frame in order
// (whole, or as the optimiser decided it), then the trailer, written
// through the caller's byte sink. Only the caller's thread touches the sink
// and the console; jobs on the helper thread only compress.
#include "gif/frame_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "general/console.h"
#include "general/diagnostics.h"
#include "general/run_failure.h"
#include "general/text_field.h"
#include "gif/writer_texts.h"

namespace gifjoin {

namespace {

std::uint8_t low8(std::int32_t v) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(v));
}

}  // namespace

FrameStream::FrameStream(ByteSink& sink, std::string_view fileName, std::ostream& console,
                         const StreamOptions& options)
    : sink_(sink),
      name_(trimRight(fileName)),
      console_(console),
      options_(options),
      pool_(std::max<std::size_t>(options.ringSize, 3)),
      worker_([this](Job& job, int lane) { runJob(job, lane); }) {}

FrameStream::~FrameStream() {
  if (state_ == State::Open || state_ == State::Complete) abandon();
  worker_.stop();
}

void FrameStream::open() {
  if (state_ != State::Closed) return;
  if (sink_.take(true) <= 0) {
    state_ = State::NoUnit;
    return;
  }
  openStatus_ = sink_.open(name_);
  state_ = openStatus_ == 0 ? State::Open : State::OpenFailed;
}

bool FrameStream::opened() const {
  return state_ == State::Open || state_ == State::Complete || state_ == State::WriteFailed;
}

void FrameStream::setAnimation(const GIFImage& animation) {
  haveColours_ = animation.hasColormap() && animation.colormapEntries() >= 1;
  transparent_ = animation.transparentColorIndex;
  if (!haveColours_) return;
  const std::int32_t entries = animation.colormapEntries();
  globalRgb_.clear();
  globalRgb_.reserve(static_cast<std::size_t>(entries) * 3);
  for (std::int32_t i = 0; i < entries; ++i) {
    for (int c = 1; c <= 3; ++c) globalRgb_.push_back(low8(animation.colormap(c, i)));
  }
  bits_ = colourTableBits(entries - 1);
  codeSize_ = bits_;
}

Frame8& FrameStream::freeFrame() {
  for (;;) {
    writeDoneFrames();
    if (Frame8* frame = pool_.tryTake()) return *frame;
    if (worker_.runOneHere()) continue;
    // Every buffer is held by a frame the helper is working on.
    pool_.waitForReturn();
  }
}

void FrameStream::fitFirstFrame(std::int32_t width, std::int32_t height) {
  Frame8* frame = heldFirst_;
  if (frame == nullptr || (frame->width == width && frame->height == height)) return;
  const auto oldWidth = static_cast<std::size_t>(frame->width);
  const auto newWidth = static_cast<std::size_t>(std::max(width, 0));
  const std::size_t rows = std::min<std::size_t>(frame->height, std::max(height, 0));
  const std::size_t columns = std::min(oldWidth, newWidth);
  // Only rows that hold written values carry anything over; the fitted
  // frame holds values up to the last of them.
  std::size_t carried = 0;
  if (oldWidth > 0 && columns > 0) {
    carried = std::min(rows, (frame->written + oldWidth - 1) / oldWidth);
  }
  Bytes fitted(carried * newWidth, 0);
  for (std::size_t y = 0; y < carried; ++y) {
    const std::size_t from = y * oldWidth;
    const std::size_t take = std::min(columns, frame->written - std::min(frame->written, from));
    if (take > 0) std::memcpy(fitted.data() + y * newWidth, frame->data() + from, take);
  }
  frame->written = 0;
  if (!frame->reserve(fitted.size())) throw std::bad_alloc();
  if (!fitted.empty()) std::memcpy(frame->data(), fitted.data(), fitted.size());
  frame->written = fitted.size();
  frame->width = std::max(width, 0);
  frame->height = std::max(height, 0);
}

void FrameStream::addFrame(Frame8& frame, const FrameColours* own, std::int32_t delay) {
  if (delay < 0) delay = options_.delay;
  ++frames_;
  const PlainNote note = options_.optimize ? notePlainFrame(frame, own) : PlainNote{};
  if (!accepting()) {
    pool_.giveBack(&frame);
    return;
  }
  if (frames_ == 1) {
    // The looping block comes before the first frame and is written only
    // for more than one frame: hold the first until that is known.
    heldFirst_ = &frame;
    heldHasOwn_ = own != nullptr;
    if (own != nullptr) heldOwn_ = *own;
    heldDelay_ = delay;
    heldNote_ = note;
    return;
  }
  if (frames_ == 2) queueFirst();
  queue(frame, own, delay, note);
  writeDoneFrames();
}

FrameStream::PlainNote FrameStream::notePlainFrame(const Frame8& frame, const FrameColours* own) {
  // The blocks queuePlain writes around the frame's image data.
  constexpr std::uint64_t kControlAndDescriptor = 8 + 10;
  PlainNote note;
  plainBlocks_ += kControlAndDescriptor;
  if (own != nullptr && !own->rgb.empty() && own->rgb != globalRgb_) {
    const std::int32_t bits = colourTableBits(static_cast<std::int32_t>(own->rgb.size() / 3) - 1);
    plainBlocks_ += std::uint64_t{3} << bits;
    note.codeSize = bits;
  } else {
    if (frames_ == 1) plainCodeSize_ = bits_;
    note.codeSize = plainCodeSize_;
    plainCodeSize_ = raisedCodeSize(plainCodeSize_);
  }
  // A frame made from its file (placed on a canvas) has no size of its file
  // to go by: it is measured.
  // Later frames are measured only while the optimised file is not far
  // below the plain join: far below it, the estimate need not be close.
  const OptimizeSettings& settings = options_.settings;
  const bool few = options_.files > 0 && options_.files <= settings.plainMeasuredFiles;
  const bool near = written_ * 100 >= plainEstimate() * settings.plainNearPercent;
  note.sample = few || frames_ <= 2 || (frames_ % settings.plainSampleEvery == 0 && near) ||
                (frame.present && frame.packedBytes == 0);
  if (!note.sample) {
    constexpr std::uint64_t kCodeSizeByte = 1;
    plainEstimated_ = true;
    plainBlocks_ += kCodeSizeByte;
    otherPacked_ += frame.packedBytes;
  }
  return note;
}

std::uint64_t FrameStream::plainEstimate() const {
  constexpr std::uint64_t kHeadAndTrailer = 13 + 1;
  constexpr std::uint64_t kLoopingBlock = 19;
  std::uint64_t plain = plainBlocks_ + kHeadAndTrailer + (std::uint64_t{3} << bits_) +
                        (frames_ > 1 ? kLoopingBlock : 0) + sampledPlain_;
  // The others' image data, scaled as our encoding of the sampled frames
  // compares with their files' (in thousandths, to keep to whole numbers).
  const std::uint64_t scale = sampledPacked_ > 0 ? sampledPlain_ * 1000 / sampledPacked_ : 1000;
  return plain + otherPacked_ * scale / 1000;
}

bool FrameStream::plainMayBeSmaller() const {
  if (!optimising_) return false;
  const std::uint64_t plain = plainEstimate();
  if (!plainEstimated_) return written_ >= plain;  // every frame measured
  return written_ * 1000 >= plain * options_.settings.clearlySmallerPerMille;
}

void FrameStream::countPlain(Frame8& frame, std::int32_t codeSize) {
  Job job = newJob();
  job.frame = &frame;
  job.countOnly = true;
  job.codeSize = codeSize;
  job.total = frame.present ? frame.pixels() : 0;
  job.packedBytes = frame.packedBytes;
  worker_.submit(std::move(job),
                 options_.threads >= 2 && job.total >= options_.settings.helperMinPixels);
}

void FrameStream::takeDone(Job& job) {
  if (job.countOnly) {
    constexpr std::uint64_t kCodeSizeByte = 1;
    sampledPlain_ += job.bytes.size();
    // The code size byte is counted with the blocks for the others.
    sampledPacked_ += job.packedBytes + kCodeSizeByte;
  } else {
    put(job.bytes);
  }
}

void FrameStream::queueFirst() {
  Frame8* first = std::exchange(heldFirst_, nullptr);
  optimising_ = options_.optimize &&
                optimiser_.start(first->width, first->height, options_.settings.unchangedWithin);
  if (!optimising_) writeHead(first->width, first->height);
  headDone_ = true;
  queue(*first, heldHasOwn_ ? &heldOwn_ : nullptr, heldDelay_, heldNote_);
}

void FrameStream::writeHead(std::int32_t width, std::int32_t height) {
  Bytes out;
  appendFileHead(out, width, height, globalRgb_, bits_, transparent_ >= 0 ? low8(transparent_) : 0);
  if (frames_ > 1) appendLoopingBlock(out, options_.loopCount);
  headDone_ = true;
  put(out);
}

FrameStream::Job FrameStream::newJob() {
  Job job;
  if (!spare_.empty()) {
    job.bytes = std::move(spare_.back());
    spare_.pop_back();
    job.bytes.clear();
  }
  return job;
}

void FrameStream::queue(Frame8& frame, const FrameColours* own, std::int32_t delay,
                        PlainNote note) {
  if (optimising_) {
    queueOptimised(&frame, own, delay, note);
  } else {
    queuePlain(frame, own, delay);
  }
}

void FrameStream::queueOptimised(Frame8* frame, const FrameColours* own, std::int32_t delay,
                                 PlainNote note) {
  // The optimiser looks at the frames here, in order, and gives the frame
  // buffer back at once; the frame before, now decided, is encoded by the
  // worker. When encoding falls behind, this thread takes its share.
  Job job = newJob();
  {
    const bool ownTable = own != nullptr && !own->rgb.empty();
    const KeyTable keys = keyTable(ownTable ? own->rgb : globalRgb_,
                                   own != nullptr ? own->transparentColorIndex : transparent_);
    job.optimised = true;
    const bool decided =
        frame != nullptr ? optimiser_.add(*frame, keys, job.plan) : optimiser_.finish(job.plan);
    if (frame != nullptr) {
      // A sampled frame's buffer goes back once it is encoded plain.
      if (note.sample) {
        countPlain(*frame, note.codeSize);
      } else {
        pool_.giveBack(frame);
      }
      plannedDelays_.push_back(delay);
    }
    if (!decided) return;
    // Plans come out in frame order, one for each frame.
    job.delay = plannedDelays_.front();
    plannedDelays_.pop_front();
    if (job.plan.number == 0) job.loops = frame != nullptr;  // a second frame came
    if (paletteBuilt_) {
      submitPlan(std::move(job));
    } else {
      holdForPalette(std::move(job));
    }
  }
}

void FrameStream::holdForPalette(Job&& job) {
  if (job.plan.number > 0) {
    // What the frame draws: the values of its changed pixels. Its codes
    // are counted here, once, instead of where it is encoded.
    scanPlan(job.plan);
    std::vector<ColourKey>& drawn = drawn_.emplace_back();
    for (std::size_t v = 0; v < 256; ++v) {
      const ColourKey key = job.plan.shown[v];
      if (job.plan.counts[v] == 0 || key == kTransparentKey) continue;
      if (std::find(drawn.begin(), drawn.end(), key) == drawn.end()) drawn.push_back(key);
    }
  }
  heldCodes_ += job.plan.codes.size();
  heldPlans_.push_back(std::move(job));
  if (heldPlans_.size() > options_.settings.paletteFrames ||
      heldCodes_ > options_.settings.paletteCodes)
    buildPalette(false);
}

void FrameStream::buildPalette(bool allSeen) {
  if (paletteBuilt_ || heldPlans_.empty()) return;
  global_.build(heldPlans_.front().plan, seriesColours_, drawn_, allSeen);
  paletteBuilt_ = true;
  for (Job& held : heldPlans_) submitPlan(std::move(held));
  heldPlans_.clear();
  drawn_.clear();
}

void FrameStream::submitPlan(Job&& job) {
  while (worker_.waiting() >= options_.settings.mostWaitingPlans && worker_.runOneHere())
    writeDoneFrames();
  const std::size_t pixels =
      static_cast<std::size_t>(optimiser_.width()) * static_cast<std::size_t>(optimiser_.height());
  worker_.submit(std::move(job),
                 options_.threads >= 2 && pixels >= options_.settings.helperMinPixels);
}

void FrameStream::queuePlain(Frame8& frame, const FrameColours* own, std::int32_t delay) {
  Job job = newJob();
  job.frame = &frame;
  // A transparent frame restores the background when it goes, so that
  // nothing of the frame before shows through its transparent pixels.
  const std::int32_t transparent = own != nullptr ? own->transparentColorIndex : transparent_;
  appendGraphicControl(job.bytes, Disposal::Background, delay, transparent);
  const FrameRect rect{0, 0, frame.width, frame.height};
  // A frame whose file left colours other than the animation's carries
  // them as its local colour table.
  if (own != nullptr && !own->rgb.empty() && own->rgb != globalRgb_) {
    const std::int32_t bits = colourTableBits(static_cast<std::int32_t>(own->rgb.size() / 3) - 1);
    appendImageWithTable(job.bytes, rect, own->rgb, bits);
    job.codeSize = bits;
  } else {
    // The descriptor shows the code size variable as it stands before the
    // frame; compressing raises it to at least 2 for every later frame.
    appendImageDescriptor(job.bytes, rect, static_cast<std::uint8_t>((codeSize_ - 1) & 0x07));
    job.codeSize = codeSize_;
    codeSize_ = raisedCodeSize(codeSize_);
  }
  job.total = frame.present ? frame.pixels() : 0;
  job.headBytes = job.bytes.size();
  const bool help = options_.threads >= 2 && job.total >= options_.settings.helperMinPixels;
  worker_.submit(std::move(job), help);
}

void FrameStream::runJob(Job& job, int lane) {
  if (job.optimised) {
    runOptimised(job, lane);
  } else {
    runPlain(job, lane);
  }
}

void FrameStream::runPlain(Job& job, int lane) {
  job.bytes.resize(job.headBytes);
  Frame8& frame = *job.frame;
  std::int32_t codeSize = job.codeSize;
  lzw_[lane].encode(frame.data(), std::min(frame.written, job.total), job.total, codeSize,
                    job.bytes);
  job.bytes.push_back(kBlockTerminator);
  pool_.giveBack(job.frame);
  job.frame = nullptr;
}

void FrameStream::runOptimised(Job& job, int lane) {
  job.bytes.clear();
  if (job.plan.number == 0) {
    appendFileHead(job.bytes, optimiser_.width(), optimiser_.height(), global_.rgb(),
                   global_.bits(), 0);
    if (job.loops) appendLoopingBlock(job.bytes, options_.loopCount);
  }
  planEncoders_[lane].encode(job.plan, global_, job.delay, job.bytes, options_.settings);
}

void FrameStream::writeDoneFrames() {
  worker_.takeDone([&](Job& job) {
    takeDone(job);
    if (spare_.size() < 4) spare_.push_back(std::move(job.bytes));
    if (job.optimised) optimiser_.recycle(std::move(job.plan.codes));
  });
}

void FrameStream::put(const Bytes& bytes) {
  if (state_ != State::Open || bytes.empty()) return;
  if (sink_.write(bytes.data(), bytes.size()) == 0) {
    written_ += bytes.size();
    return;
  }
  state_ = State::WriteFailed;
  failReason_ = sink_.lastError();
}

RunResult FrameStream::finish(std::int32_t emptyWidth, std::int32_t emptyHeight) {
  if (!haveColours_) {
    abandon();
    const RunResult result{Failure::NoColourMap};
    writeWarning(console_, failureText(result), kWriterRoutine);
    return result;
  }
  open();
  if (state_ == State::NoUnit) {
    abandon();
    // Asked again, aloud: the registry says that none is free.
    if (sink_.take(false) > 0) sink_.abandon();
    const RunResult result{Failure::NoFreeUnit};
    writeWarning(console_, failureText(result), kWriterRoutine);
    return result;
  }
  if (state_ == State::OpenFailed) {
    abandon();
    checkIOStatus(console_, openStatus_, name_, std::nullopt, kWriterOpenRoutine, "OPEN");
    return {Failure::OpenFailed};
  }
  if (!headDone_) {
    // One frame (held until now) or none at all.
    if (heldFirst_ != nullptr) {
      queueFirst();
    } else {
      writeHead(emptyWidth, emptyHeight);
    }
  }
  // The last frame's plan is complete once no frame follows it.
  if (optimising_) {
    queueOptimised(nullptr, nullptr, 0, PlainNote{});
    buildPalette(true);
  }
  if (state_ == State::Open && transparent_ >= 0 && options_.verbose) {
    writeLine(console_, ListLine().text(kTransparentColorLabel).integer(transparent_).str());
  }
  // Whatever is still waiting is compressed here and beside the helper.
  worker_.drain([&](Job& job) { takeDone(job); });
  worker_.stop();
  put(Bytes{kTrailer});
  if (state_ == State::Open && options_.holdFile) {
    state_ = State::Complete;
    return {};
  }
  return commit();
}

RunResult FrameStream::commit() {
  if (state_ == State::Committed) return {};
  if ((state_ == State::Open || state_ == State::Complete) && sink_.commit() != 0) {
    state_ = State::WriteFailed;
    failReason_ = sink_.lastError();
  }
  if (state_ == State::WriteFailed) {
    sink_.abandon();
    return {Failure::WriteFailed, name_, failReason_};
  }
  state_ = State::Committed;
  return {};
}

void FrameStream::abandon() {
  worker_.stop();
  if (state_ == State::Open || state_ == State::Complete || state_ == State::WriteFailed) {
    sink_.abandon();
    state_ = State::Abandoned;
  }
  pool_.giveBackAll();
}

}  // namespace gifjoin
