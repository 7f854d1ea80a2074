// GIF writer (placeholder until the writer lands).
#include "write.h"

namespace gifjoin {

bool writeGIFImage(GIFImage& /*image*/, std::string_view /*fileName*/,
                   const WriteOptions& /*options*/) {
  return false;
}

}  // namespace gifjoin
