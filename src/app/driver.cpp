// The driver: the dialogue, the read-and-append loop over the series and the
// final write. Statuses of the reads are reported by the reader itself; the
// loop goes on with the next index whatever happened.
#include "app/driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <unordered_map>

#include "app/dialogue.h"
#include "app/file_report.h"
#include "app/progress.h"
#include "general/console.h"
#include "general/diagnostics.h"
#include "general/run_failure.h"
#include "general/text_field.h"
#include "general/units.h"
#include "gif/add_image.h"
#include "gif/colour_scan.h"
#include "gif/frame_optimizer.h"
#include "gif/frame_stream.h"
#include "gif/gif_image.h"
#include "gif/read.h"
#include "gif/write.h"

namespace gifjoin {

std::string seriesName(const std::string& baseName, std::int64_t index) {
  std::string name(trimRight(baseName));
  name += '_';
  name += std::to_string(index);
  name += ".gif";
  return makeField(name);
}

std::string animatedName(const std::string& baseName) {
  return makeField(std::string(trimRight(baseName)) + "_Animated.gif");
}

std::int64_t InputNames::size() const {
  if (request_.listed) return static_cast<std::int64_t>(request_.files.size());
  return std::max<std::int64_t>(
      0, std::int64_t{request_.higherIndex} - std::int64_t{request_.lowerIndex} + 1);
}

std::string InputNames::operator[](std::int64_t position) const {
  if (request_.listed) return makeField(request_.files[static_cast<std::size_t>(position)]);
  const std::int64_t index = std::int64_t{request_.lowerIndex} + position;
  return request_.namePattern.empty() ? seriesName(request_.baseName, index)
                                      : patternName(request_.namePattern, index);
}

namespace {

// The level a --max-size run tries first when the lossless file does not
// fit (without --lossy=N, which is tried first instead).
constexpr std::int32_t kFirstTriedLevel = 20;

// The opaque colours of the first image's colour table of a file, read
// without decoding a pixel; empty when the file shows none that way.
std::vector<ColourKey> tableColours(const std::string& name, JoinIo& io,
                                    std::vector<std::uint8_t>& rgb) {
  std::int32_t transparent = -1;
  // Most files reach their first image's table in the first kilobytes;
  // long extensions before it need more.
  ColourScan scan = ColourScan::NeedMore;
  for (std::size_t n = 4096; scan == ColourScan::NeedMore && n <= (std::size_t{1} << 20); n *= 16) {
    const std::vector<std::uint8_t> head = io.peek(name, n);
    scan = scanFirstImageColours(head, rgb, transparent);
    if (head.size() < n && scan == ColourScan::NeedMore) break;
  }
  std::vector<ColourKey> colours;
  if (scan != ColourScan::Found) return colours;
  const KeyTable keys = keyTable(rgb, transparent);
  const std::size_t entries = std::min<std::size_t>(rgb.size() / 3, 256);
  for (std::size_t v = 0; v < entries; ++v) {
    if (keys[v] != kTransparentKey) colours.push_back(keys[v]);
  }
  std::sort(colours.begin(), colours.end());
  colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
  return colours;
}

// The colours of the series' files, from their colour tables, read before
// any pixel: those of the files after the first with how many files list
// each (none when they do not fit in one table of 256 entries), and the
// table most files share when two or more do. Shared tables are told apart
// by a hash of their colours, so a long series costs a few bytes a file.
SeriesColours seriesColours(const InputNames& names, JoinIo& io) {
  SeriesColours series;
  bool fits = true;
  std::unordered_map<ColourKey, std::size_t> seen;  // position in series.later
  struct Table {
    std::uint32_t files = 0;
    std::int64_t first = 0;  // the first file that lists it
  };
  std::unordered_map<std::uint64_t, Table> tables;
  std::vector<std::uint8_t> rgb;
  for (std::int64_t i = 0; i < names.size(); ++i) {
    const std::vector<ColourKey> colours = tableColours(std::string(trimRight(names[i])), io, rgb);
    if (colours.empty()) continue;
    std::uint64_t hash = 14695981039346656037u;  // FNV-1a over the sorted colours
    for (const ColourKey key : colours) hash = (hash ^ key) * 1099511628211u;
    Table& table = tables[hash];
    if (table.files++ == 0) table.first = i;
    if (i == 0) series.firstListed = colours;
    if (i == 0 || !fits) continue;
    for (const ColourKey key : colours) {
      const auto [at, isNew] = seen.try_emplace(key, series.later.size());
      if (isNew) series.later.push_back({key, 0});
      ++series.later[at->second].files;
    }
    fits = series.later.size() <= 256;
  }
  if (!fits) series.later.clear();
  const Table* most = nullptr;
  for (const auto& [hash, table] : tables) {
    if (most == nullptr || table.files > most->files ||
        (table.files == most->files && table.first < most->first)) {
      most = &table;
    }
  }
  if (most != nullptr && most->files >= 2) {
    series.shared = tableColours(std::string(trimRight(names[most->first])), io, rgb);
    series.sharedFiles = most->files;
  }
  return series;
}

// The screen and first image of a file, from its first bytes; false when
// they cannot be found that way.
bool peekLayout(JoinIo& io, std::string_view name, FileLayout& layout) {
  for (std::size_t n = 4096; n <= (std::size_t{1} << 20); n *= 16) {
    const std::vector<std::uint8_t> head = io.peek(name, n);
    const LayoutScan scan = scanLayout(head, layout);
    if (scan != LayoutScan::NeedMore) return scan == LayoutScan::Found;
    if (head.size() < n) break;
  }
  return false;
}

// Swallows the console of a quiet run.
class NullBuffer final : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// The delay of each frame as it is appended, and how many are so short
// that browsers show them longer.
class Delays {
 public:
  Delays(const JoinRequest& request, JoinIo& io)
      : request_(request), io_(io), clock_(request.frameRate) {}

  // The delay of the next frame, from the file `name`.
  std::int32_t next(std::string_view name) {
    switch (request_.timing) {
      case JoinRequest::Timing::FrameRate:
        return clock_.next();
      case JoinRequest::Timing::FileDelays:
        return fileDelay(name);
      case JoinRequest::Timing::Fixed:
        break;
    }
    return request_.delay;
  }

  // Note a delay as it goes into the file.
  std::int32_t used(std::int32_t delay) {
    if (delay <= 1) ++short_;
    return delay;
  }
  std::int64_t shortOnes() const { return short_; }

 private:
  // The delay of the file's first image (the reader goes on to the next
  // image's extensions, so its record may hold a later one).
  std::int32_t fileDelay(std::string_view name) {
    std::int32_t delay = request_.delay;
    for (std::size_t n = 4096; n <= (std::size_t{1} << 20); n *= 16) {
      const std::vector<std::uint8_t> head = io_.peek(name, n);
      const HeadDelay found = firstImageDelay(head, delay);
      if (found == HeadDelay::Found) return delay;
      if (found == HeadDelay::NoDelay || head.size() < n) break;
    }
    return request_.delay;
  }

  const JoinRequest& request_;
  JoinIo& io_;
  FrameClock clock_;
  std::int64_t short_ = 0;
};

// Read every file of the series into the stream: the first file into the
// animation record (screen, colours, transparency), the first image of
// every further file into a frame of the stream, which appends it when its
// size is the screen's. With a composer (--any-size, --pieces) every image
// is read first and then composed into a canvas-sized frame, unless it is
// that frame as it stands. CannotHoldImage when the run must stop (an image
// that could not be held was reported).
RunResult readSeries(const JoinRequest& request, const InputNames& names, JoinIo& io,
                     std::ostream& out, GIFImage& animation, FrameStream& stream, Delays& delays,
                     std::int64_t& notJoined, Composer* composer) {
  GIFImage frameImage;
  Frame8 image;  // a file's image before it is composed
  // The reader's tables and windows are large; keep them off the stack.
  const auto reader = std::make_unique<GifReader>(out);
  std::int32_t readStatus = 0;
  const int verbose = request.verbose ? 1 : 0;
  ProgressLine progress(io.errors(), names.size(), !request.verbose && io.errorsOnTerminal());
  // Files not joined whole: named on standard error in quiet runs, and
  // counted for a strict run.
  auto noteOutcome = [&](std::string_view name, const FileOutcome& outcome) {
    if (!isProblem(outcome)) return;
    ++notJoined;
    if (!request.verbose) {
      progress.clear();
      io.errors() << problemLine(name, outcome) << '\n';
    }
  };
  // With a last delay of its own, the frame that came last is held back
  // until the next one is known to follow it.
  const bool holdLast = request.lastDelay >= 0;
  struct Held {
    Frame8* frame = nullptr;
    FrameColours colours;
    bool hasColours = false;
    std::int32_t delay = 0;
  } held;
  auto release = [&](std::int32_t delay) {
    if (held.frame == nullptr) return;
    stream.addFrame(*held.frame, held.hasColours ? &held.colours : nullptr, delays.used(delay));
    held.frame = nullptr;
  };
  auto append = [&](Frame8& frame, const FrameColours* own, std::int32_t delay, bool first) {
    release(held.delay);
    // Appending a second frame lays the first out on the screen.
    if (!first && stream.frames() == 1) {
      if (composer != nullptr) {
        stream.fitFirstFrame(composer->width(), composer->height());
      } else {
        stream.fitFirstFrame(animation.screenWidth, animation.screenHeight);
      }
    }
    if (!holdLast) {
      stream.addFrame(frame, own, delays.used(delay));
      return;
    }
    held.frame = &frame;
    held.hasColours = own != nullptr;
    if (own != nullptr) held.colours = *own;
    held.delay = delay;
  };

  for (std::int64_t i = 0; i < names.size(); ++i) {
    const std::string gifName = names[i];
    FileOutcome outcome;
    outcome.found = io.exists(trimRight(gifName));
    const bool first = i == 0;
    Frame8& frame = stream.freeFrame();
    FileLayout layout;
    bool laidOut = false;
    bool direct = true;
    if (composer != nullptr) {
      laidOut = peekLayout(io, trimRight(gifName), layout);
      direct = laidOut && composer->direct(layout);
      image.clear();
    }
    Frame8& target = direct ? frame : image;
    // The first file is read straight into the animation.
    GIFImage& record = first ? animation : frameImage;
    const std::uint64_t packedBefore = reader->blocks.imageBytes;
    RunResult read = ReadGIFImage(record, *reader, io.input(trimRight(gifName)), gifName, 1,
                                  readStatus, verbose, &target);
    // What the file spent on the image, for a frame read as the file has it.
    if (direct) frame.packedBytes = reader->blocks.imageBytes - packedBefore;
    if (read.stopsRun()) {
      stream.discard(frame);
      if (held.frame != nullptr) stream.discard(*held.frame);
      progress.clear();
      if (!request.verbose) {
        io.errors() << "gifjoin: " << trimRight(gifName) << ": " << trimRight(failureText(read))
                    << "; no output written\n";
      }
      return read;
    }
    outcome.status = readStatus;
    outcome.hasImage = target.present;
    outcome.width = target.width;
    outcome.height = target.height;
    if (composer != nullptr) {
      if (first) stream.setAnimation(animation);
      if (target.present) {
        FrameColours colours = coloursOf(record);
        // A file without colours shows with the animation's.
        if (colours.rgb.empty()) colours.rgb = coloursOf(animation).rgb;
        if (!laidOut) {
          // Bytes past the first megabyte: the layout the reader saw.
          layout = FileLayout{.screenWidth = record.screenWidth,
                              .screenHeight = record.screenHeight,
                              .width = target.width,
                              .height = target.height,
                              .transparent = record.transparentColorIndex};
        }
        // The first image's own transparency, as a viewer of the file has it.
        colours.transparentColorIndex = layout.transparent;
        if (!direct) composer->compose(image, layout, colours, frame);
        append(frame, &colours, delays.next(trimRight(gifName)), first);
      } else {
        stream.discard(frame);
      }
    } else if (first) {
      stream.setAnimation(animation);
      if (frame.present) {
        append(frame, nullptr, delays.next(trimRight(gifName)), true);
      } else {
        stream.discard(frame);
      }
    } else if (frame.present) {
      // A file that could not be read far enough has no frame to append.
      outcome.screenWidth = animation.screenWidth;
      outcome.screenHeight = animation.screenHeight;
      if (acceptsFrame(animation, frame.width, frame.height, out)) {
        const FrameColours colours = coloursOf(frameImage);
        append(frame, &colours, delays.next(trimRight(gifName)), false);
      } else {
        outcome.refused = true;
        stream.discard(frame);
      }
    } else {
      stream.discard(frame);
    }
    frameImage.reset();
    noteOutcome(trimRight(gifName), outcome);
    progress.update(i + 1);
  }
  release(request.lastDelay);
  return {};
}

// Why a quiet run wrote nothing, for standard error, when nothing else
// said so.
void reportNotWritten(JoinIo& io, const FrameStream& stream, std::string_view gifName,
                      bool hasColours, std::int64_t files) {
  if (files == 0) {
    io.errors() << "gifjoin: " << gifName << ": not written: no input files\n";
  } else if (!hasColours) {
    io.errors() << "gifjoin: " << gifName
                << ": not written: the first file gave no colour map (nothing readable)\n";
  } else if (!stream.opened()) {
    io.errors() << kWriteFailedText << gifName << '\n';
  }
}

// What the canvas cut and what frames could not show exactly, one line
// each on standard error.
void reportPlacement(JoinIo& io, const CanvasSize& canvas, const PlacementNotes& notes) {
  auto count = [](std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + (n == 1 ? one : many);
  };
  if (canvas.cut() > 0) {
    io.errors() << "gifjoin: " << count(canvas.cut(), " picture is", " pictures are")
                << " larger than the canvas, " << canvas.width() << "x" << canvas.height()
                << ", and cut to it\n";
  }
  if (notes.opaqueNothing > 0) {
    io.errors() << "gifjoin: " << count(notes.opaqueNothing, " frame has", " frames have")
                << " no colour index left for transparency; what shows nothing there is shown in"
                   " the colour of the image's top-left pixel\n";
  }
  if (notes.nearestColours > 0) {
    io.errors() << "gifjoin: " << count(notes.nearestColours, " frame has", " frames have")
                << " more than 256 colours; those that do not fit are shown as the nearest of the"
                   " frame's colour table\n";
  }
}

// The files of a run read again without a word: nothing on the console or
// standard error, the output going to `output`.
class QuietIo final : public JoinIo {
 public:
  QuietIo(JoinIo& io, ByteSink& output) : io_(io), output_(output), nothing_(&null_) {}
  ByteSource& input(std::string_view name) override { return io_.input(name); }
  bool exists(std::string_view name) override { return io_.exists(name); }
  ByteSink& output() override { return output_; }
  std::ostream& console() override { return nothing_; }
  std::ostream& errors() override { return nothing_; }
  std::vector<std::uint8_t> peek(std::string_view name, std::size_t n) override {
    return io_.peek(name, n);
  }

 private:
  JoinIo& io_;
  ByteSink& output_;
  NullBuffer null_;
  std::ostream nothing_;
};

StreamOptions streamOptions(const JoinRequest& request) {
  StreamOptions options;
  options.delay = request.delay;
  options.loopCount = request.loopCount;
  options.verbose = request.verbose;
  options.optimize = request.optimize;
  options.settings = request.settings;
  // A held last frame takes a buffer of its own.
  if (request.lastDelay >= 0) options.ringSize = 4;
  return options;
}

// The series read again, quietly, into `sink` as `request` asks (with the
// series' colours read before, for an optimised run); the file is held
// complete. Null when the run could not be made.
std::unique_ptr<FrameStream> joinAgain(const JoinRequest& request, const InputNames& names,
                                       JoinIo& io, ByteSink& sink, std::string_view gifName,
                                       const CanvasSize& canvas, const SeriesColours* colours) {
  QuietIo quiet(io, sink);
  StreamOptions options = streamOptions(request);
  options.holdFile = true;
  auto stream = std::make_unique<FrameStream>(sink, gifName, quiet.console(), options);
  if (colours != nullptr) stream->setSeriesColours(*colours);
  stream->open();
  GIFImage animation;
  animation.reset();
  Delays delays(request, quiet);
  std::int64_t notJoined = 0;
  const bool placing = request.frames != JoinRequest::Frames::SameSize;
  Composer composer(request.placement, canvas.width(), canvas.height(),
                    request.frames == JoinRequest::Frames::Pieces);
  RunResult read;
  try {
    read = readSeries(request, names, quiet, quiet.console(), animation, *stream, delays, notJoined,
                      placing ? &composer : nullptr);
  } catch (const std::bad_alloc&) {
    read = {Failure::CannotHoldImage};
  }
  if (read.stopsRun() || !stream->finish().ok()) {
    stream->abandon();
    return nullptr;
  }
  return stream;
}

// The optimised file, held complete in `optimised`, is put in place unless
// a plain join of the same files comes out smaller: where the optimised
// file is not clearly the smaller, the plain join is made beside it,
// quietly, and the smaller of the two is kept.
RunResult keepSmaller(const JoinRequest& request, const InputNames& names, JoinIo& io,
                      FrameStream& optimised, std::string_view gifName, const CanvasSize& canvas) {
  ByteSink* spare = io.spareOutput();
  if (spare == nullptr || !optimised.plainMayBeSmaller()) return optimised.commit();
  JoinRequest plainRequest = request;
  plainRequest.optimize = false;
  plainRequest.verbose = false;
  const std::unique_ptr<FrameStream> plain =
      joinAgain(plainRequest, names, io, *spare, gifName, canvas, nullptr);
  if (plain && plain->bytesWritten() < optimised.bytesWritten()) {
    // Should the plain file fail to go in place, the run fails as any
    // failed write does.
    optimised.abandon();
    return plain->commit();
  }
  if (plain) plain->abandon();
  return optimised.commit();
}

// One try of a --max-size run: the series read again, quietly, into
// `sink` with the settings of lossy level `level`; the file is held
// complete. Null when the try could not be made.
std::unique_ptr<FrameStream> tryLevel(const JoinRequest& request, const InputNames& names,
                                      JoinIo& io, ByteSink& sink, std::string_view gifName,
                                      std::int32_t level, const SeriesColours& colours,
                                      const CanvasSize& canvas) {
  JoinRequest tried = request;
  tried.verbose = false;
  tried.settings = lossySettings(level);
  return joinAgain(tried, names, io, sink, gifName, canvas, &colours);
}

// --max-size: the lossless file, held complete in `lossless`, is kept when
// it fits; else lossy levels are tried, each guessed from the sizes the
// tries before gave (log-size against level), until a file fits at 0.9 to
// 1 times the limit or the levels between one that fits and one that does
// not are used up. The least lossy file that fits is put in place; when
// even the strongest level does not fit, nothing is.
RunResult fitSize(const JoinRequest& request, const InputNames& names, JoinIo& io,
                  FrameStream& lossless, std::string_view gifName, const SeriesColours& colours,
                  const CanvasSize& canvas) {
  const std::uint64_t limit = request.maxSize;
  const std::string shownName(trimRight(gifName));
  if (lossless.bytesWritten() <= limit) {
    if (request.verbose) {
      io.errors() << "gifjoin: " << shownName << ": " << lossless.bytesWritten()
                  << " bytes, lossless (--max-size=" << limit << ")\n";
    }
    return lossless.commit();
  }
  struct Try {
    std::int32_t level = 0;
    std::uint64_t size = 0;
  };
  Try above{0, lossless.bytesWritten()};  // the strongest level known not to fit
  Try before = above;                     // the try before it, for the slope
  std::optional<Try> fits;
  lossless.abandon();
  // Tries go to the two outputs in turn, so that the best one so far stays
  // held while the next is made; with one output the best is made again.
  ByteSink* sinks[2] = {&io.output(), io.spareOutput()};
  std::unique_ptr<FrameStream> best;
  int next = 0;
  const double target = std::log(static_cast<double>(limit) * 0.95);
  std::int32_t level = request.settings.lossy > 0 ? request.settings.lossy : kFirstTriedLevel;
  constexpr int kMostTries = 7;
  for (int tries = 0; tries < kMostTries; ++tries) {
    ByteSink& sink = sinks[next] != nullptr ? *sinks[next] : io.output();
    if (sinks[1] == nullptr && best) {
      best->abandon();
      best.reset();
    }
    std::unique_ptr<FrameStream> made =
        tryLevel(request, names, io, sink, gifName, level, colours, canvas);
    if (!made) break;
    const Try now{level, made->bytesWritten()};
    if (now.size <= limit) {
      fits = now;
      if (best) best->abandon();
      best = std::move(made);
      next ^= 1;
      if (now.size * 10 >= limit * 9) break;
    } else {
      made->abandon();
      before = above;
      above = now;
      if (level >= kMaxLossy) break;
    }
    // The next level, from the line through two tries in log-size.
    const Try low = above;
    const Try high = fits ? *fits : before;
    double guess = 0;
    if (fits) {
      if (fits->level - above.level <= 1) break;
      const double span =
          std::log(static_cast<double>(low.size)) - std::log(static_cast<double>(high.size));
      guess = low.level + (high.level - low.level) *
                              (std::log(static_cast<double>(low.size)) - target) /
                              std::max(span, 1e-9);
      level = std::clamp(static_cast<std::int32_t>(std::lround(guess)), above.level + 1,
                         fits->level - 1);
    } else {
      const double drop =
          std::log(static_cast<double>(before.size)) - std::log(static_cast<double>(above.size));
      const double need = std::log(static_cast<double>(above.size)) - target;
      guess = above.level > before.level && drop > 0
                  ? above.level + (above.level - before.level) * need / drop
                  : 2.0 * above.level;
      level = std::clamp(static_cast<std::int32_t>(std::lround(guess)), above.level + 1, kMaxLossy);
    }
  }
  if (!fits) {
    if (best) best->abandon();
    io.errors() << "gifjoin: " << shownName << ": not written: the smallest file reached was "
                << above.size << " bytes (--lossy=" << above.level
                << "), above --max-size=" << limit
                << "; fewer frames or a smaller picture (or a lower frame rate) could help\n";
    return {Failure::NotFitting};
  }
  if (!best) {
    best = tryLevel(request, names, io, io.output(), gifName, fits->level, colours, canvas);
    if (!best) return {Failure::NotFitting};
  }
  if (request.verbose) {
    io.errors() << "gifjoin: " << shownName << ": " << best->bytesWritten()
                << " bytes with --lossy=" << fits->level << " (--max-size=" << limit << ")\n";
  }
  return best->commit();
}

}  // namespace

std::vector<std::uint8_t> FileIo::peek(std::string_view name, std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  std::FILE* file = std::fopen(std::string(name).c_str(), "rb");
  if (file == nullptr) return {};
  bytes.resize(std::fread(bytes.data(), 1, n, file));
  std::fclose(file);
  return bytes;
}

bool FileIo::exists(std::string_view name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(pathOf(name), ec);
}

std::ostream& FileIo::console() {
  return gifjoin::console();
}

std::ostream& FileIo::errors() {
  return std::cerr;
}

bool FileIo::errorsOnTerminal() {
  return standardErrorIsTerminal();
}

int runJoin(const JoinRequest& request) {
  FileIo io;
  return runJoin(request, io);
}

int runJoin(const JoinRequest& request, JoinIo& io) {
  // The output name is a 255-character field like every other name.
  const std::string gifName = !request.outputName.empty() ? makeField(request.outputName)
                              : request.namePattern.empty()
                                  ? animatedName(request.baseName)
                                  : patternAnimatedName(request.namePattern);
  const InputNames names(request);
  GIFImage animation;
  animation.reset();
  StreamOptions options = streamOptions(request);
  options.holdFile = request.optimize;
  options.files = names.size();
  // A quiet run writes nothing on the console.
  NullBuffer nothing;
  std::ostream quiet(&nothing);
  std::ostream& out = request.verbose ? io.console() : quiet;
  FrameStream stream(io.output(), gifName, out, options);
  SeriesColours colours;
  if (request.optimize) colours = seriesColours(names, io);
  if (request.maxSize > 0)
    stream.setSeriesColours(colours);
  else if (request.optimize)
    stream.setSeriesColours(std::move(colours));
  // Frames go out while the series is read; the file appears only when
  // complete, and a failed open is reported after the reading.
  stream.open();

  // Frames of any size: the canvas from every file's screen and first
  // image, read before the first frame.
  const bool placing = request.frames != JoinRequest::Frames::SameSize;
  CanvasSize canvas(request.placement);
  if (placing) {
    FileLayout layout;
    for (std::int64_t i = 0; i < names.size(); ++i) {
      if (peekLayout(io, trimRight(names[i]), layout)) canvas.add(layout);
    }
  }
  Composer composer(request.placement, canvas.width(), canvas.height(),
                    request.frames == JoinRequest::Frames::Pieces);

  std::int64_t notJoined = 0;
  Delays delays(request, io);
  RunResult read;
  try {
    read = readSeries(request, names, io, out, animation, stream, delays, notJoined,
                      placing ? &composer : nullptr);
  } catch (const std::bad_alloc&) {
    // Memory that could not be had anywhere below (a frame, a record, the
    // encoder's tables) ends the run as an image that cannot be held.
    read = {Failure::CannotHoldImage};
    writeErrorReport(out, makeField(failureText(read)), kAddImageRoutine);
    if (!request.verbose) io.errors() << "gifjoin: " << trimRight(failureText(read)) << '\n';
  }
  if (read.stopsRun()) {
    stream.abandon();
    out.flush();
    return kExitNotWritten;
  }
  animation.setDelayTime(request.delay);
  if (request.strict && notJoined > 0) {
    stream.abandon();
    out.flush();
    io.errors() << strictFailureLine(notJoined) << '\n';
    return kExitNotWritten;
  }
  RunResult result = stream.finish();
  if (result.ok() && request.maxSize > 0) {
    result = fitSize(request, names, io, stream, gifName, colours, canvas);
  } else if (result.ok() && request.optimize) {
    result = keepSmaller(request, names, io, stream, gifName, canvas);
  }
  if (result.stopsRun()) {
    out.flush();
    if (result.failure == Failure::NotFitting) return kExitNotWritten;
    if (result.failure == Failure::WriteFailed) {
      io.errors() << failureText(result) << std::endl;
    } else if (!request.verbose) {
      reportNotWritten(io, stream, trimRight(gifName), true, names.size());
    }
    return kExitNotWritten;
  }
  if (request.verbose) {
    writeLine(out, ListLine()
                       .text("This should have written an animated Gif to:")
                       .text(trimRight(gifName))
                       .str());
  }
  out.flush();
  if (!result.ok()) {
    if (!request.verbose) {
      reportNotWritten(io, stream, trimRight(gifName), animation.hasColormap(), names.size());
    }
    return kExitNotWritten;
  }
  // Runs that choose their timing in the new ways hear of frames that
  // browsers slow down; a plain -d is taken as it was asked.
  const bool timed =
      request.listed || request.timing != JoinRequest::Timing::Fixed || request.lastDelay >= 0;
  if (placing) reportPlacement(io, canvas, composer.notes());
  if (timed && delays.shortOnes() > 0) {
    const std::int64_t n = delays.shortOnes();
    io.errors() << "gifjoin: " << n << (n == 1 ? " frame has" : " frames have")
                << " a delay of 0 or 1 hundredth of a second; browsers show "
                << (n == 1 ? "it" : "them") << " for 10 hundredths\n";
  }
  return kExitWritten;
}

int runDialogue(std::istream& in) {
  for (const char* line : kHeaderLines) writeLine(ListLine().text(line).str());
  AnswerReader answers(in);
  JoinRequest request;

  writeLine(ListLine().text(kPromptBaseName).str());
  console().flush();
  const auto name = answers.readName();
  if (!name) {
    std::cerr << "gifjoin: standard input ended before the base name was given\n";
    return kExitBadAnswers;
  }
  request.baseName = *name;

  const struct {
    const char* prompt;
    const char* what;
    std::int32_t* value;
  } indices[] = {{kPromptLowerIndex, "lower index", &request.lowerIndex},
                 {kPromptHigherIndex, "higher index", &request.higherIndex}};
  for (const auto& index : indices) {
    writeLine(ListLine().text(index.prompt).str());
    console().flush();
    std::string item;
    switch (answers.readIndex(*index.value, item)) {
      case AnswerReader::IndexResult::Ok:
        break;
      case AnswerReader::IndexResult::EndOfInput:
        std::cerr << "gifjoin: standard input ended before the " << index.what << " was given\n";
        return kExitBadAnswers;
      case AnswerReader::IndexResult::NotInteger:
        std::cerr << "gifjoin: the " << index.what << " \"" << item << "\"" << kNotAnIndex << '\n';
        return kExitBadAnswers;
    }
  }
  return runJoin(request);
}

}  // namespace gifjoin
