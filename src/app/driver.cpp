// The driver: the dialogue, the read-and-append loop over the series and the
// final write. Statuses of the reads are reported by the reader itself; the
// loop goes on with the next index whatever happened.
#include "driver.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>

#include "app/dialogue.h"
#include "app/file_report.h"
#include "general/console.h"
#include "general/text_field.h"
#include "gif/add_image.h"
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

namespace {

// Room for the whole series is reserved once the first frame's size is
// known; the reservation is address space only until frames arrive.
constexpr std::int64_t kReserveLimitBytes = std::int64_t{16} << 30;

void reserveSeries(GIFImage& animation, std::int64_t files) {
  PixelArray& pixels = animation.pixels;
  if (!pixels.present() || pixels.width() != animation.screenWidth ||
      pixels.height() != animation.screenHeight || pixels.framePixels() == 0) {
    return;
  }
  const std::int64_t frameBytes = static_cast<std::int64_t>(pixels.framePixels()) * 4;
  const std::int64_t frames = std::min(files, kReserveLimitBytes / frameBytes);
  if (frames > 1) pixels.reserveFrames(static_cast<std::int32_t>(frames));
}

// A further file whose image has the screen size is decoded straight into
// the animation's next frame, which addImage then takes as it stands: such
// a frame is always accepted, so the slot is either filled and appended or
// left untouched (and zero) for the next file.
void offerFrameSlot(GIFImage& animation, GifReader& reader) {
  PixelArray& pixels = animation.pixels;
  if (!pixels.present() || pixels.width() != animation.screenWidth ||
      pixels.height() != animation.screenHeight || pixels.framePixels() == 0) {
    return;
  }
  reader.frameSlot = pixels.nextFrameStorage();
  reader.frameSlotWidth = animation.screenWidth;
  reader.frameSlotHeight = animation.screenHeight;
}

// The compressor's helper reads frames of the animation while further files
// are read; whatever may move the frame store (growth, or fitting the first
// frame to the screen) waits until the helper is off it.
std::unique_lock<std::mutex> holdStoreIfItMayMove(const GIFImage& animation,
                                                  FrameCompressor& compressor) {
  const PixelArray& pixels = animation.pixels;
  const bool fits = pixels.hasRoomForNextFrame() && pixels.width() == animation.screenWidth &&
                    pixels.height() == animation.screenHeight;
  if (fits) return {};
  return compressor.holdStore();
}

}  // namespace

int runJoin(const JoinRequest& request) {
  GIFImage animation;
  GIFImage frameImage;
  // The reader's tables and windows are large; keep them off the stack.
  const auto reader = std::make_unique<GifReader>();
  // Declared after the records it reads, so that it stops before they go.
  FrameCompressor compressor;
  std::int32_t readStatus = 0;
  const int verbose = request.verbose ? 1 : 0;
  // Files not joined whole: named on standard error in quiet runs, and
  // counted for a strict run.
  std::int64_t notJoined = 0;
  auto noteOutcome = [&](std::string_view name, const FileOutcome& outcome) {
    if (!isProblem(outcome)) return;
    ++notJoined;
    if (!request.verbose) {
      console().flush();
      std::cerr << problemLine(name, outcome) << '\n';
    }
  };

  animation.reset();
  if (request.lowerIndex <= request.higherIndex) {
    const std::int64_t files =
        std::int64_t{request.higherIndex} - std::int64_t{request.lowerIndex} + 1;
    for (std::int64_t i = request.lowerIndex; i <= request.higherIndex; ++i) {
      const std::string gifName = request.namePattern.empty() ? seriesName(request.baseName, i)
                                                              : patternName(request.namePattern, i);
      FileOutcome outcome;
      {
        std::error_code ec;
        outcome.found = std::filesystem::is_regular_file(std::string(trimRight(gifName)), ec);
      }
      if (i == request.lowerIndex) {
        ReadGIFImage(animation, *reader, gifName, 1, readStatus, verbose);
        outcome.status = readStatus;
        outcome.hasImage = animation.pixels.present();
        if (outcome.hasImage) {
          outcome.width = animation.pixels.width();
          outcome.height = animation.pixels.height();
        }
        noteOutcome(trimRight(gifName), outcome);
        reserveSeries(animation, files);
        continue;
      }
      frameImage.reset();
      {
        const auto hold = holdStoreIfItMayMove(animation, compressor);
        offerFrameSlot(animation, *reader);
      }
      ReadGIFImage(frameImage, *reader, gifName, 1, readStatus, verbose);
      reader->frameSlot = nullptr;
      outcome.status = readStatus;
      // A file that could not be read far enough has no frame to append.
      if (frameImage.pixels.present()) {
        outcome.hasImage = true;
        outcome.width = frameImage.pixels.width();
        outcome.height = frameImage.pixels.height();
        outcome.screenWidth = animation.screenWidth;
        outcome.screenHeight = animation.screenHeight;
        const std::int32_t before = animation.numFrames;
        const auto hold = holdStoreIfItMayMove(animation, compressor);
        addImage(animation, frameImage.pixels.frame(1), frameImage.pixels.width(),
                 frameImage.pixels.height());
        outcome.refused = animation.numFrames == before;
      }
      noteOutcome(trimRight(gifName), outcome);
      frameImage.reset();
      // Appended frames are final: compress them while the series is read.
      if (animation.numFrames >= 2) compressor.framesReady(animation, animation.numFrames);
    }
  }
  animation.setDelayTime(request.delay);
  if (request.strict && notJoined > 0) {
    compressor.stop();
    console().flush();
    std::cerr << strictFailureLine(notJoined) << '\n';
    return kExitNotWritten;
  }
  // The output name is a 255-character field like every other name.
  const std::string gifName = !request.outputName.empty() ? makeField(request.outputName)
                              : request.namePattern.empty()
                                  ? animatedName(request.baseName)
                                  : patternAnimatedName(request.namePattern);
  WriteOptions options;
  options.loopCount = request.loopCount;
  options.verbose = request.verbose;
  options.compressor = &compressor;
  const bool written = writeGIFImage(animation, gifName, options);
  if (request.verbose) {
    writeLine(ListLine()
                  .text("This should have written an animated Gif to:")
                  .text(trimRight(gifName))
                  .str());
  }
  console().flush();
  return written ? kExitWritten : kExitNotWritten;
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
        std::cerr << "gifjoin: the " << index.what << " \"" << item
                  << "\" is not an integer (a whole number from -2147483648 to 2147483647)\n";
        return kExitBadAnswers;
    }
  }
  return runJoin(request);
}

}  // namespace gifjoin
