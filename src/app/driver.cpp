// The driver: the dialogue, the read-and-append loop over the series and the
// final write. Statuses of the reads are reported by the reader itself; the
// loop goes on with the next index whatever happened.
#include "app/driver.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <unordered_set>

#include "app/dialogue.h"
#include "app/file_report.h"
#include "general/console.h"
#include "general/diagnostics.h"
#include "general/run_failure.h"
#include "general/text_field.h"
#include "gif/add_image.h"
#include "gif/colour_scan.h"
#include "gif/frame_optimizer.h"
#include "gif/frame_stream.h"
#include "gif/gif_image.h"
#include "gif/read.h"

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

namespace {

// The opaque colours the files after the first can show, from their colour
// tables, read before any pixel; empty when they do not fit in one table of
// 256 entries.
std::vector<ColourKey> laterColours(const JoinRequest& request, JoinIo& io) {
  std::vector<ColourKey> colours;
  std::unordered_set<ColourKey> seen;
  std::vector<std::uint8_t> rgb;
  for (std::int64_t i = std::int64_t{request.lowerIndex} + 1; i <= request.higherIndex; ++i) {
    const std::string name(trimRight(request.namePattern.empty()
                                         ? seriesName(request.baseName, i)
                                         : patternName(request.namePattern, i)));
    std::int32_t transparent = -1;
    // Most files reach their first image's table in the first kilobytes;
    // long extensions before it need more.
    ColourScan scan = ColourScan::NeedMore;
    for (std::size_t n = 4096; scan == ColourScan::NeedMore && n <= (std::size_t{1} << 20);
         n *= 16) {
      const std::vector<std::uint8_t> head = io.peek(name, n);
      scan = scanFirstImageColours(head, rgb, transparent);
      if (head.size() < n && scan == ColourScan::NeedMore) break;
    }
    if (scan != ColourScan::Found) continue;
    const KeyTable keys = keyTable(rgb, transparent);
    const std::size_t entries = std::min<std::size_t>(rgb.size() / 3, 256);
    for (std::size_t v = 0; v < entries; ++v) {
      if (keys[v] == kTransparentKey || !seen.insert(keys[v]).second) continue;
      colours.push_back(keys[v]);
      if (colours.size() > 256) return {};
    }
  }
  return colours;
}

// Read every file of the series into the stream: the first file into the
// animation record (screen, colours, transparency), the first image of
// every further file into a frame of the stream, which appends it when its
// size is the screen's. CannotHoldImage when the run must stop (an image
// that could not be held was reported).
RunResult readSeries(const JoinRequest& request, JoinIo& io, GIFImage& animation,
                     FrameStream& stream, std::int64_t& notJoined) {
  GIFImage frameImage;
  // The reader's tables and windows are large; keep them off the stack.
  const auto reader = std::make_unique<GifReader>(io.console());
  std::int32_t readStatus = 0;
  const int verbose = request.verbose ? 1 : 0;
  // Files not joined whole: named on standard error in quiet runs, and
  // counted for a strict run.
  auto noteOutcome = [&](std::string_view name, const FileOutcome& outcome) {
    if (!isProblem(outcome)) return;
    ++notJoined;
    if (!request.verbose) {
      io.console().flush();
      io.errors() << problemLine(name, outcome) << '\n';
    }
  };

  for (std::int64_t i = request.lowerIndex; i <= request.higherIndex; ++i) {
    const std::string gifName = request.namePattern.empty() ? seriesName(request.baseName, i)
                                                            : patternName(request.namePattern, i);
    FileOutcome outcome;
    outcome.found = io.exists(trimRight(gifName));
    const bool first = i == request.lowerIndex;
    Frame8& frame = stream.freeFrame();
    // The first file is read straight into the animation.
    GIFImage& record = first ? animation : frameImage;
    RunResult read = ReadGIFImage(record, *reader, io.input(trimRight(gifName)), gifName, 1,
                                  readStatus, verbose, &frame);
    if (read.stopsRun()) {
      stream.discard(frame);
      return read;
    }
    outcome.status = readStatus;
    outcome.hasImage = frame.present;
    outcome.width = frame.width;
    outcome.height = frame.height;
    if (first) {
      stream.setAnimation(animation);
      if (frame.present) {
        stream.addFrame(frame, nullptr);
      } else {
        stream.discard(frame);
      }
    } else if (frame.present) {
      // A file that could not be read far enough has no frame to append.
      outcome.screenWidth = animation.screenWidth;
      outcome.screenHeight = animation.screenHeight;
      if (acceptsFrame(animation, frame.width, frame.height, io.console())) {
        // Appending a second frame lays the first out on the screen.
        if (stream.frames() == 1)
          stream.fitFirstFrame(animation.screenWidth, animation.screenHeight);
        const FrameColours colours = coloursOf(frameImage);
        stream.addFrame(frame, &colours);
      } else {
        outcome.refused = true;
        stream.discard(frame);
      }
    } else {
      stream.discard(frame);
    }
    frameImage.reset();
    noteOutcome(trimRight(gifName), outcome);
  }
  return {};
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
  return std::filesystem::is_regular_file(std::string(name), ec);
}

std::ostream& FileIo::console() {
  return gifjoin::console();
}

std::ostream& FileIo::errors() {
  return std::cerr;
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
  GIFImage animation;
  animation.reset();
  StreamOptions options;
  options.delay = request.delay;
  options.loopCount = request.loopCount;
  options.verbose = request.verbose;
  options.optimize = request.optimize;
  std::ostream& out = io.console();
  FrameStream stream(io.output(), gifName, out, options);
  if (request.optimize) stream.setLaterColours(laterColours(request, io));
  // Frames go out while the series is read; the file appears only when
  // complete, and a failed open is reported after the reading.
  stream.open();

  std::int64_t notJoined = 0;
  RunResult read;
  try {
    read = readSeries(request, io, animation, stream, notJoined);
  } catch (const std::bad_alloc&) {
    // Memory that could not be had anywhere below (a frame, a record, the
    // encoder's tables) ends the run as an image that cannot be held.
    read = {Failure::CannotHoldImage};
    writeErrorReport(out, makeField(failureText(read)), kAddImageRoutine);
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
  const RunResult result = stream.finish();
  if (result.stopsRun()) {
    out.flush();
    if (result.failure == Failure::WriteFailed) io.errors() << failureText(result) << std::endl;
    return kExitNotWritten;
  }
  if (request.verbose) {
    writeLine(out, ListLine()
                       .text("This should have written an animated Gif to:")
                       .text(trimRight(gifName))
                       .str());
  }
  out.flush();
  return result.ok() ? kExitWritten : kExitNotWritten;
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
