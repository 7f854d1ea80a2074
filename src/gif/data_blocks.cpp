// Data sub-blocks and the code reader's refill: one read for the count byte
// and one for the data of each sub-block, straight into the caller's buffer
// or the code reader's window. Reports read failures; never allocates.
#include "gif/data_blocks.h"

#include <string>

#include "general/console.h"
#include "general/diagnostics.h"
#include "general/text_field.h"
#include "general/units.h"
#include "gif/read.h"

namespace gifjoin {

namespace {

constexpr std::string_view kRoutine = "RasterImageModule::get_data_block";

const std::string& countMessage() {
  static const std::string message = makeField("Problem in count for data block.");
  return message;
}

const std::string& dataMessage() {
  static const std::string message = makeField("Problem reading data block.");
  return message;
}

}  // namespace

void get_data_block(GIFImage& image, int gifUnit, std::uint8_t* buffer, std::int32_t& count,
                    std::int32_t& status) {
  std::uint8_t countByte = 0;
  status = units().read(gifUnit, &countByte, 1);
  if (status != 0) {
    checkIOStatus(status, image.fileName, countMessage(), kRoutine, "READ");
    return;
  }
  count = countByte;
  image.zeroDataBlock = count == 0 ? 1 : 0;
  if (count == 0) return;
  status = units().read(gifUnit, buffer, static_cast<std::size_t>(count));
  if (status != 0) checkIOStatus(status, image.fileName, dataMessage(), kRoutine, "READ");
}

std::int32_t CodeReader::refillAndRead(GIFImage& image, int gifUnit, std::int32_t width,
                                       std::int32_t& status) {
  if (dataEnded) {
    if (bitPos >= bitEnd) writeLine(ListLine().text(" ran off the end of my bits").str());
    return -1;
  }
  // A sub-block shorter than one code leaves too few bits; load the next
  // one too (the two carried bytes always hold what is still unread).
  do {
    const auto last = static_cast<std::size_t>(windowBytes);
    window[0] = window[last - 2];
    window[1] = window[last - 1];
    std::int32_t count = 0;
    get_data_block(image, gifUnit, &window[2], count, status);
    if (status != 0) return -1;
    if (count == 0) dataEnded = true;
    windowBytes = count + 2;
    bitPos = bitPos - bitEnd + 16;
    bitEnd = 8 * windowBytes;
  } while (!dataEnded && bitPos + width > bitEnd);
  const std::int32_t code = extract(bitPos, width);
  bitPos += width;
  return code;
}

std::int32_t read_code(GIFImage& image, GifReader& reader, std::int32_t codeWidth, bool init,
                       std::int32_t& status) {
  if (init) {
    reader.codes.reset();
    return 0;
  }
  return reader.codes.read(image, reader.gifUnit, codeWidth, status);
}

}  // namespace gifjoin
