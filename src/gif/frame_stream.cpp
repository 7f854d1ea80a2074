// The streaming GIF writer: file head, per-frame graphic control extension,
// image descriptor (with a local colour table for frames whose colours
// differ from the animation's) and LZW data, written in frame order through
// the caller's byte sink. Only the caller's thread touches the sink and the
// console; the helper thread only compresses.
#include "frame_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "general/console.h"
#include "general/diagnostics.h"
#include "general/text_field.h"
#include "write.h"

namespace gifjoin {

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

// 2^bits entries of a colour table; entries beyond the map repeat its last
// colour.
void appendTable(Bytes& out, const Bytes& rgb, std::int32_t bits) {
  const std::int32_t last = static_cast<std::int32_t>(rgb.size() / 3) - 1;
  for (std::int32_t i = 0; i < (1 << bits); ++i) {
    const auto j = static_cast<std::size_t>(std::min(i, last)) * 3;
    out.insert(out.end(), rgb.begin() + static_cast<std::ptrdiff_t>(j),
               rgb.begin() + static_cast<std::ptrdiff_t>(j + 3));
  }
}

}  // namespace

std::int32_t colourTableBits(std::int32_t lastIndex) {
  for (std::int32_t b = 1; b <= 8; ++b) {
    if (lastIndex <= (1 << b) - 1) return b;
  }
  return 8;
}

FrameStream::FrameStream(ByteSink& sink, std::string_view fileName, std::ostream& console,
                         const StreamOptions& options)
    : sink_(sink), name_(trimRight(fileName)), console_(console), options_(options) {
  const std::size_t ring = std::max<std::size_t>(options_.ringSize, 3);
  for (std::size_t i = 0; i < ring; ++i) ring_.push_back(std::make_unique<Frame8>());
  busy_.assign(ring, false);
}

FrameStream::~FrameStream() {
  if (!finished_) abandon();
}

void FrameStream::open() {
  if (tried_) return;
  tried_ = true;
  if (sink_.take(true) <= 0) {
    noUnit_ = true;
    return;
  }
  openStatus_ = sink_.open(name_);
}

std::string FrameStream::failureLine() const {
  return std::string(kWriteFailedText) + name_ + ": " + failReason_;
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
    {
      std::lock_guard lock(mutex_);
      for (std::size_t i = 0; i < ring_.size(); ++i) {
        if (!busy_[i]) {
          busy_[i] = true;
          ring_[i]->clear();
          return *ring_[i];
        }
      }
    }
    if (compressOldestHere()) continue;
    // Every buffer is held by a frame the helper is compressing.
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
      return std::find(busy_.begin(), busy_.end(), false) != busy_.end() ||
             (!jobs_.empty() && jobs_.front().done);
    });
  }
}

void FrameStream::release(Frame8* frame) {
  std::lock_guard lock(mutex_);
  releaseLocked(frame);
}

void FrameStream::releaseLocked(const Frame8* frame) {
  for (std::size_t i = 0; i < ring_.size(); ++i) {
    if (ring_[i].get() == frame) busy_[i] = false;
  }
}

void FrameStream::jobDoneLocked(Job& job) {
  job.done = true;
  releaseLocked(job.frame);
  job.frame = nullptr;
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

void FrameStream::addFrame(Frame8& frame, const FrameColours* own) {
  ++frames_;
  if (!accepting()) {
    release(&frame);
    return;
  }
  if (frames_ == 1) {
    // The looping block comes before the first frame and is written only
    // for more than one frame: hold the first until that is known.
    heldFirst_ = &frame;
    heldHasOwn_ = own != nullptr;
    if (own != nullptr) heldOwn_ = *own;
    return;
  }
  if (frames_ == 2) {
    Frame8* first = std::exchange(heldFirst_, nullptr);
    writeHead(first->width, first->height);
    queueFrame(*first, heldHasOwn_ ? &heldOwn_ : nullptr);
  }
  queueFrame(frame, own);
  writeDoneFrames();
}

void FrameStream::writeHead(std::int32_t width, std::int32_t height) {
  Bytes out;
  out.reserve(13 + 3 * 256 + 19);
  constexpr std::string_view kHeader = "GIF89a";
  out.insert(out.end(), kHeader.begin(), kHeader.end());
  appendUint16(out, width);
  appendUint16(out, height);
  out.push_back(static_cast<std::uint8_t>(0x80 + (bits_ - 1) * 16 + (bits_ - 1)));
  out.push_back(transparent_ >= 0 ? low8(transparent_) : 0);
  out.push_back(0);  // pixel aspect ratio: square pixels
  appendTable(out, globalRgb_, bits_);
  if (frames_ > 1) {
    constexpr std::string_view kLooping = "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
    out.insert(out.end(), kLooping.begin(), kLooping.end());
    appendUint16(out, options_.loopCount);
    out.push_back(0x00);
  }
  headWritten_ = true;
  put(out);
}

void FrameStream::queueFrame(Frame8& frame, const FrameColours* own) {
  Bytes bytes;
  if (!spareBytes_.empty()) {
    bytes = std::move(spareBytes_.back());
    spareBytes_.pop_back();
    bytes.clear();
  }
  // Graphic control extension: the frame's own transparency. A transparent
  // frame restores the background when it goes, so that nothing of the
  // frame before shows through its transparent pixels.
  const std::int32_t transparent = own != nullptr ? own->transparentColorIndex : transparent_;
  bytes.insert(bytes.end(), {0x21, 0xF9, 0x04});
  bytes.push_back(transparent >= 0 ? 0x09 : 0x08);
  appendUint16(bytes, options_.delay);
  bytes.push_back(transparent >= 0 ? low8(transparent) : 0);
  bytes.push_back(0x00);

  bytes.push_back(0x2C);
  appendUint16(bytes, 0);
  appendUint16(bytes, 0);
  appendUint16(bytes, frame.width);
  appendUint16(bytes, frame.height);
  // A frame whose file left colours other than the animation's carries
  // them as its local colour table.
  const bool ownTable = own != nullptr && !own->rgb.empty() && own->rgb != globalRgb_;
  std::int32_t codeSize = 0;
  if (ownTable) {
    const std::int32_t bits = colourTableBits(static_cast<std::int32_t>(own->rgb.size() / 3) - 1);
    bytes.push_back(static_cast<std::uint8_t>(0x80 | (bits - 1)));
    appendTable(bytes, own->rgb, bits);
    codeSize = bits;
  } else {
    // The descriptor shows the code size variable as it stands before the
    // frame; compressing raises it to at least 2 for every later frame.
    bytes.push_back(static_cast<std::uint8_t>((codeSize_ - 1) & 0x07));
    codeSize = codeSize_;
    codeSize_ = raisedCodeSize(codeSize_);
  }

  const std::size_t total = frame.present ? frame.pixels() : 0;
  bool help = false;
  {
    std::lock_guard lock(mutex_);
    Job& job = jobs_.emplace_back();
    job.frame = &frame;
    job.total = total;
    job.codeSize = codeSize;
    job.headBytes = bytes.size();
    job.bytes = std::move(bytes);
    help = options_.threads >= 2 && total >= kHelperMinPixels;
  }
  if (help) {
    startHelper();
    changed_.notify_all();
  }
}

void FrameStream::compress(Job& job, LZWEncoder& encoder) {
  Frame8& frame = *job.frame;
  std::int32_t codeSize = job.codeSize;
  encoder.encode(frame.data(), std::min(frame.written, job.total), job.total, codeSize, job.bytes);
  job.bytes.push_back(0x00);
}

bool FrameStream::compressOldestHere() {
  Job* job = nullptr;
  {
    std::lock_guard lock(mutex_);
    for (Job& candidate : jobs_) {
      if (candidate.queued) {
        candidate.queued = false;
        job = &candidate;
        break;
      }
    }
  }
  if (job == nullptr) return false;
  compress(*job, encoder_);
  {
    std::lock_guard lock(mutex_);
    jobDoneLocked(*job);
  }
  return true;
}

void FrameStream::startHelper() {
  if (!helper_.joinable()) helper_ = std::thread([this] { runHelper(); });
}

void FrameStream::runHelper() {
  LZWEncoder encoder;
  std::unique_lock lock(mutex_);
  for (;;) {
    Job* job = nullptr;
    changed_.wait(lock, [&] {
      if (stopping_) return true;
      for (Job& candidate : jobs_) {
        if (candidate.queued) {
          job = &candidate;
          return true;
        }
      }
      return false;
    });
    if (stopping_) return;
    job->queued = false;
    lock.unlock();
    bool compressed = true;
    try {
      compress(*job, encoder);
    } catch (const std::bad_alloc&) {
      compressed = false;
    }
    lock.lock();
    if (!compressed) {
      // No memory for the helper's tables: the frame goes back to the
      // queue for the caller's thread, and the helper ends.
      job->bytes.resize(job->headBytes);
      job->queued = true;
      changed_.notify_all();
      return;
    }
    jobDoneLocked(*job);
    changed_.notify_all();
  }
}

void FrameStream::stopHelper() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (helper_.joinable()) helper_.join();
  // A frame the helper was at is finished before it looks at the flag.
}

void FrameStream::writeDoneFrames() {
  for (;;) {
    Bytes bytes;
    {
      std::lock_guard lock(mutex_);
      if (jobs_.empty() || !jobs_.front().done) return;
      bytes = std::move(jobs_.front().bytes);
      jobs_.pop_front();
    }
    put(bytes);
    spareBytes_.push_back(std::move(bytes));
  }
}

void FrameStream::put(const Bytes& bytes) {
  if (failed_ || openStatus_ != 0) return;
  if (sink_.write(bytes.data(), bytes.size()) == 0) return;
  failed_ = true;
  failReason_ = sink_.lastError();
}

FrameStream::Result FrameStream::finish(std::int32_t emptyWidth, std::int32_t emptyHeight) {
  finished_ = true;
  if (!haveColours_) {
    abandon();
    writeWarning(console_, kNoColormapMessage, kWriterRoutine);
    return Result::NotWritten;
  }
  open();
  if (noUnit_) {
    abandon();
    // Asked again, aloud: the registry says that none is free.
    if (sink_.take(false) > 0) sink_.abandon();
    writeWarning(console_, kNoUnitMessage, kWriterRoutine);
    return Result::NotWritten;
  }
  if (openStatus_ != 0) {
    abandon();
    checkIOStatus(console_, openStatus_, name_, std::nullopt, kWriterOpenRoutine, "OPEN");
    return Result::Failed;
  }
  if (!headWritten_) {
    // One frame (held until now) or none at all.
    Frame8* first = std::exchange(heldFirst_, nullptr);
    if (first != nullptr) {
      writeHead(first->width, first->height);
      queueFrame(*first, heldHasOwn_ ? &heldOwn_ : nullptr);
    } else {
      writeHead(emptyWidth, emptyHeight);
    }
  }
  const bool headOut = !failed_;
  if (headOut && transparent_ >= 0 && options_.verbose) {
    writeLine(console_, ListLine().text(kTransparentColorLabel).integer(transparent_).str());
  }
  // Whatever is still waiting is compressed here and beside the helper.
  for (;;) {
    while (compressOldestHere()) writeDoneFrames();
    std::unique_lock lock(mutex_);
    const auto allDone = [&] {
      return std::all_of(jobs_.begin(), jobs_.end(), [](const Job& job) { return job.done; });
    };
    changed_.wait(lock, [&] {
      return allDone() ||
             std::any_of(jobs_.begin(), jobs_.end(), [](const Job& job) { return job.queued; });
    });
    if (allDone()) break;
  }
  writeDoneFrames();
  stopHelper();
  put(Bytes{0x3B});
  if (!failed_ && sink_.commit() != 0) {
    failed_ = true;
    failReason_ = sink_.lastError();
  }
  if (failed_) {
    sink_.abandon();
    return Result::Failed;
  }
  openStatus_ = -1;  // committed: nothing left to abandon
  return Result::Written;
}

void FrameStream::abandon() {
  finished_ = true;
  stopHelper();
  if (openStatus_ == 0) sink_.abandon();
  openStatus_ = openStatus_ == 0 ? -1 : openStatus_;
  std::lock_guard lock(mutex_);
  jobs_.clear();
  busy_.assign(ring_.size(), false);
}

}  // namespace gifjoin
