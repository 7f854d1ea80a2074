// Fuzz target: a whole run of the tool on a series of one to four files cut
// from the input at every "JOIN" token, all in memory, as a plain run, with
// --any-size or with --pieces (the input's last byte chooses, and the fill
// and alignment). The run must end without a sanitizer report; when it says
// it wrote the animation, that file must read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/driver.h"
#include "fuzz_common.h"
#include "general/byte_source.h"
#include "general/text_field.h"
#include "gif/gif_image.h"
#include "gif/placement.h"
#include "gif/read.h"

using namespace gifjoin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto reader = std::make_unique<GifReader>(fuzz::nowhere());
  if (fuzz::declaresLargeImage(data, size)) return -1;

  fuzz::MemoryJoinIo io;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  constexpr std::string_view kToken = "JOIN";
  const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
  JoinRequest request;
  request.frames = static_cast<JoinRequest::Frames>(choice % 3);
  request.placement.fill = static_cast<PlacementOptions::Fill>(choice / 3 % 3);
  request.placement.horizontal = static_cast<Edge>(choice / 9 % 3);
  request.placement.vertical = static_cast<Edge>(choice / 27 % 3);
  // A canvas holds the largest pictures the files declare: left out when
  // large, like large images.
  std::uint64_t widest = 0, highest = 0;
  std::int32_t files = 0;
  for (std::size_t at = 0; files < 4;) {
    const std::size_t end = std::min(input.find(kToken, at), input.size());
    ++files;
    io.add("walk_" + std::to_string(files) + ".gif", {data + at, end - at});
    FileLayout layout;
    if (scanLayout({data + at, end - at}, layout) == LayoutScan::Found) {
      widest = std::max<std::uint64_t>(widest, layout.pictureWidth());
      highest = std::max<std::uint64_t>(highest, layout.pictureHeight());
    }
    if (end == input.size()) break;
    at = end + kToken.size();
  }
  if (request.frames != JoinRequest::Frames::SameSize && widest * highest > (1u << 22)) return -1;

  request.baseName = makeField("walk");
  request.lowerIndex = 1;
  request.higherIndex = files;
  // Nothing here may stop the run: the harness lets no huge image through.
  if (runJoin(request, io) != kExitWritten) return 0;

  // A written file reads back, unless the animation held no frame at all
  // (header, screen, colour table and trailer only).
  const std::vector<std::uint8_t>& output = io.written().bytes();
  GIFImage back;
  std::int32_t status = 0;
  MemorySource source(output);
  if (!ReadGIFImage(back, *reader, source, "walk_Animated.gif", 1, status, 0).ok()) {
    std::abort();
  }
  if (status != 0) {
    if (output.size() < 13 || output.size() != 13 + 3 * (std::size_t{2} << (output[10] & 7)) + 1) {
      std::abort();
    }
  }
  return 0;
}
