// GIF writer for a whole image record: its frames go through the streaming
// writer one after another, so the record and the run share one layout of
// the file, one set of reports and one way of committing the output.
#include "gif/write.h"

#include <string>

#include "general/text_field.h"
#include "gif/frame_stream.h"

namespace gifjoin {

std::array<std::uint8_t, 2> uint16_to_chars(std::int32_t n) {
  const auto v = static_cast<std::uint32_t>(n);
  return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>((v >> 8) & 0xFF)};
}

RunResult writeGIFImage(GIFImage& image, ByteSink& sink, std::string_view fileName,
                        std::ostream& console, const WriteOptions& options) {
  // A copy: the caller may pass the record's own file name.
  const std::string name(trimRight(fileName));
  StreamOptions streamOptions;
  streamOptions.delay = image.delayTime;
  streamOptions.loopCount = options.loopCount;
  streamOptions.verbose = options.verbose;
  streamOptions.threads = options.encodeThreads;
  FrameStream stream(sink, name, console, streamOptions);
  stream.setAnimation(image);
  if (image.hasColormap() && image.colormapEntries() >= 1) {
    stream.open();
    if (stream.opened()) image.fileName = makeField(name);
  }

  const PixelArray& pixels = image.pixels;
  for (std::int32_t k = 1; k <= image.numFrames && stream.opened(); ++k) {
    Frame8& frame = stream.freeFrame();
    // A frame the record does not hold is written as a frame without pixels.
    frame.present = pixels.present() && k <= pixels.frames();
    frame.width = pixels.width();
    frame.height = pixels.height();
    if (frame.present) {
      const std::size_t count = pixels.framePixels();
      if (!frame.reserve(count)) throw std::bad_alloc();
      const std::int32_t* values = pixels.frame(k);
      std::uint8_t* out = frame.data();
      for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(values[i]);
      frame.written = count;
    }
    const auto index = static_cast<std::size_t>(k - 1);
    const bool own = index < image.frameColours.size() && image.frameColours[index].has_value();
    stream.addFrame(frame, own ? &*image.frameColours[index] : nullptr);
  }
  return stream.finish(pixels.width(), pixels.height());
}

}  // namespace gifjoin
