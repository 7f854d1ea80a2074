// Fuzz target: a whole run of the tool on a series of one to four files cut
// from the input at every "JOIN" token. The run must end without a sanitizer
// report and give every unit back; when it says it wrote the animation,
// every frame of that file must read back whole.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "app/driver.h"
#include "fuzz_common.h"
#include "general/text_field.h"
#include "general/units.h"
#include "gif/gif_image.h"
#include "gif/read.h"

using namespace gifjoin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = (fuzz::quietProcess(), true);
  static const std::string dir = [] {
    std::string d = fuzz::scratchPath("join");
    d.resize(d.size() - 4);  // no ".gif"
    mkdir(d.c_str(), 0700);
    return d;
  }();
  static const auto reader = std::make_unique<GifReader>();
  (void)quiet;
  if (fuzz::declaresLargeImage(data, size)) return -1;

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  constexpr std::string_view kToken = "JOIN";
  std::int32_t files = 0;
  for (std::size_t at = 0; files < 4;) {
    const std::size_t end = std::min(input.find(kToken, at), input.size());
    ++files;
    const std::string name = dir + "/walk_" + std::to_string(files) + ".gif";
    if (!fuzz::writeWhole(name, data + at, end - at)) std::abort();
    if (end == input.size()) break;
    at = end + kToken.size();
  }

  JoinRequest request;
  request.baseName = makeField(dir + "/walk");
  request.lowerIndex = 1;
  request.higherIndex = files;
  int exitStatus = 0;
  try {
    exitStatus = runJoin(request);
  } catch (const fuzz::Stopped&) {
    std::abort();  // nothing here may end the run: no huge image, a writable scratch directory
  }
  if (units().openCount() != 0) std::abort();

  const std::string output = dir + "/walk_Animated.gif";
  if (exitStatus == kExitWritten) {
    GIFImage back;
    std::int32_t status = 0;
    ReadGIFImage(back, *reader, output, 1, status, 0);
    if (units().openCount() != 0) std::abort();
    // A written file reads back, unless the animation held no frame at all
    // (header, screen, colour table and trailer only).
    if (status != 0) {
      std::FILE* f = std::fopen(output.c_str(), "rb");
      std::uint8_t head[13] = {};
      const bool got = f != nullptr && std::fread(head, 1, sizeof head, f) == sizeof head;
      if (f != nullptr) std::fseek(f, 0, SEEK_END);
      const long length = f != nullptr ? std::ftell(f) : -1;
      if (f != nullptr) std::fclose(f);
      if (!got || length != 13 + 3 * (2L << (head[10] & 7)) + 1) std::abort();
    }
  }
  for (std::int32_t i = 1; i <= files; ++i)
    unlink((dir + "/walk_" + std::to_string(i) + ".gif").c_str());
  unlink(output.c_str());
  return 0;
}
