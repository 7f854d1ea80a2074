// The code reader's refill: the next sub-block lands in the window behind
// the two bytes carried over from the one before. Never allocates.
#include "gif/code_reader.h"

#include "general/console.h"

namespace gifjoin {

std::int32_t CodeReader::refillAndRead(const GIFImage& image, SubBlockReader& blocks,
                                       std::int32_t width, std::int32_t& status) {
  if (dataEnded) {
    if (bitPos >= bitEnd) {
      writeLine(*blocks.console, ListLine().text(" ran off the end of my bits").str());
    }
    return -1;
  }
  // A sub-block shorter than one code leaves too few bits; load the next
  // one too (the two carried bytes always hold what is still unread).
  do {
    const auto last = static_cast<std::size_t>(windowBytes);
    window[0] = window[last - 2];
    window[1] = window[last - 1];
    std::int32_t count = 0;
    get_data_block(blocks, image, &window[2], count, status);
    if (status != 0) return -1;
    blocks.imageBytes += static_cast<std::uint64_t>(count) + 1;
    if (count == 0) dataEnded = true;
    windowBytes = count + 2;
    bitPos = bitPos - bitEnd + 16;
    bitEnd = 8 * windowBytes;
  } while (!dataEnded && bitPos + width > bitEnd);
  const std::int32_t code = extract(bitPos, width);
  bitPos += width;
  return code;
}

}  // namespace gifjoin
