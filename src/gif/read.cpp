// The block loop of the GIF reader: one introducer byte at a time, with
// extensions, image descriptors, local colour tables and rasters handed to
// their readers, up to the trailer, the image after the wanted one or the
// first failure. The file's unit is given back on every return.
#include "gif/read.h"

#include <array>
#include <string>

#include "general/console.h"
#include "general/diagnostics.h"
#include "general/text_field.h"
#include "gif/extensions.h"
#include "gif/open.h"
#include "gif/raster.h"

namespace gifjoin {

namespace {

constexpr std::string_view kRoutine = "RasterImageModule::ReadGIFImage";

constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;

// Gives the input back however the loop ends.
class SourceRelease {
 public:
  explicit SourceRelease(ByteSource& source) : source_(source) {}
  ~SourceRelease() { source_.release(); }
  SourceRelease(const SourceRelease&) = delete;
  SourceRelease& operator=(const SourceRelease&) = delete;

 private:
  ByteSource& source_;
};

// Image descriptor, local colour table and raster of one image. False when
// the loop must return.
bool readImageBlock(GIFImage& image, GifReader& reader, std::string_view gifFileName,
                    bool skipImage, std::int32_t& status, int verbose, Frame8* destination) {
  std::array<std::uint8_t, 9> descriptor{};
  status = read_bytes(descriptor, *reader.blocks.source);
  if (checkIOStatus(reader.console(), status, gifFileName, makeField("Cannot read width/height!"),
                    kRoutine, "READ")) {
    return false;
  }
  const std::uint8_t packed = descriptor[8];
  image.useLocalColormap = (packed >> 7) & 1;
  if (image.useLocalColormap != 0) {
    image.numColors = 2 << (packed & 7);
    // Kept on purpose: progress output worded as a warning, written for every
    // local table, because scripts match the reader's fixed console lines.
    if (verbose != 0) {
      writeWarning(reader.console(),
                   makeField("Error in local colour map, size=" + std::to_string(image.numColors)),
                   kRoutine);
    }
    image.releaseColormap();
    image.allocateColormap(image.numColors);
    read_colormap(image, reader, status);
    if (checkIOStatus(reader.console(), status, gifFileName,
                      makeField(" Error reading local color map: Aborting read operation."),
                      kRoutine, "READ")) {
      return false;
    }
  }
  const std::int32_t width = to_uint16(descriptor[4], descriptor[5]);
  const std::int32_t height = to_uint16(descriptor[6], descriptor[7]);
  const std::int32_t interlaced = (packed >> 6) & 1;
  read_image(image, reader, width, height, interlaced, skipImage ? 1 : 0, verbose, status,
             destination);
  return status == 0 && reader.failure == Failure::None;
}

}  // namespace

RunResult ReadGIFImage(GIFImage& image, GifReader& reader, ByteSource& source,
                       std::string_view gifFileName, std::int32_t imageNumber, std::int32_t& status,
                       int verbose, Frame8* destination) {
  image.reset();
  reader.failure = Failure::None;
  reader.blocks.source = &source;
  reader.blocks.zeroDataBlock = false;
  image.fileName = makeField(gifFileName);
  std::ostream& out = reader.console();

  const SourceRelease giveBack(source);
  openGIF(image, reader, status, verbose);
  if (checkIOStatus(out, status, gifFileName, makeField("Could not open GIF image."), kRoutine,
                    "READ")) {
    return {};
  }

  std::int32_t imageCount = 0;
  for (;;) {
    std::array<std::uint8_t, 1> introducer{};
    status = read_bytes(introducer, source);
    if (status != 0) {
      writeWarning(
          out,
          makeField("Error while reading buffer from " + std::string(trimRight(gifFileName)) +
                    ". Exit status = " + std::to_string(status)),
          kRoutine);
      return {};
    }
    switch (introducer[0]) {
      case kTrailer:
        if (imageNumber > imageCount) {
          // Kept on purpose: no blanks around the count; the text is fixed.
          writeWarning(out,
                       makeField("Only" + std::to_string(imageCount) + "image(s) found in file."),
                       kRoutine);
          status = -1;
        }
        source.release();
        return {};
      case kExtensionIntroducer:
        do_extension(image, reader, status, verbose);
        if (status != 0) return {};
        break;
      case kImageSeparator:
        ++imageCount;
        if (imageCount > imageNumber) return {};  // the wanted image is read
        if (!readImageBlock(image, reader, gifFileName, imageCount != imageNumber, status, verbose,
                            destination)) {
          return {reader.failure};
        }
        break;
      default:
        writeLine(out, ListLine().text("ignoring bogus character ").integer(introducer[0]).str());
        break;
    }
  }
}

}  // namespace gifjoin
