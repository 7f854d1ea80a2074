// Fuzz target: arbitrary bytes read as a GIF file through ReadGIFImage, for
// an image number taken from the input's length (0 to 4). The read must end
// without a sanitizer report and leave a record whose pixel array matches
// its extents.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_common.h"
#include "general/byte_source.h"
#include "gif/gif_image.h"
#include "gif/read.h"

using namespace gifjoin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto reader = std::make_unique<GifReader>(fuzz::nowhere());
  if (fuzz::declaresLargeImage(data, size)) return -1;  // not added to the corpus

  const auto imageNumber = static_cast<std::int32_t>(size % 5);
  GIFImage image;
  std::int32_t status = 0;
  MemorySource source({data, size});
  // Only an image that cannot be held stops the run, and the harness never
  // lets one through.
  if (!ReadGIFImage(image, *reader, source, "fuzz.gif", imageNumber, status, 1).ok()) {
    std::abort();
  }
  if (image.pixels.present()) {
    // Touch the first and the last value: the array must be as large as its
    // extents say.
    const std::size_t n = image.pixels.framePixels();
    if (n > 0) {
      volatile std::int32_t first = image.pixels.frame(1)[0];
      volatile std::int32_t last = image.pixels.frame(1)[n - 1];
      (void)first;
      (void)last;
    }
  }
  return 0;
}
