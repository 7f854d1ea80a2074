// Block loop of the GIF reader (placeholder until the reader lands).
#include "read.h"

#include "../general/text_field.h"

namespace gifjoin {

void ReadGIFImage(GIFImage& image, GifReader& /*reader*/, std::string_view gifFileName,
                  std::int32_t /*imageNumber*/, std::int32_t& status, int /*verbose*/) {
  image.reset();
  image.fileName = makeField(gifFileName);
  status = -1;
}

}  // namespace gifjoin
