// Fuzz target: arbitrary bytes read as a GIF file through ReadGIFImage, for
// an image number taken from the input's length (0 to 4). The read must end
// without a sanitizer report, give its unit back and leave a record whose
// pixel array matches its extents.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "general/units.h"
#include "gif/gif_image.h"
#include "gif/read.h"

using namespace gifjoin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = (fuzz::quietProcess(), true);
  static const std::string path = fuzz::scratchPath("read");
  static const auto reader = std::make_unique<GifReader>();
  (void)quiet;
  if (fuzz::declaresLargeImage(data, size)) return -1;  // not added to the corpus
  if (!fuzz::writeWhole(path, data, size)) std::abort();

  const auto imageNumber = static_cast<std::int32_t>(size % 5);
  GIFImage image;
  std::int32_t status = 0;
  try {
    ReadGIFImage(image, *reader, path, imageNumber, status, 1);
  } catch (const fuzz::Stopped&) {
    // Only an image that cannot be allocated stops the run, and the
    // harness never lets one through.
    std::abort();
  }
  if (units().openCount() != 0) std::abort();
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
