// Data sub-blocks: one read for the count byte and one for the data of each
// sub-block, straight into the caller's buffer. Reports read failures;
// never allocates.
#include "gif/data_blocks.h"

#include <string>

#include "general/diagnostics.h"
#include "general/text_field.h"

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

void get_data_block(SubBlockReader& blocks, const GIFImage& image, std::uint8_t* buffer,
                    std::int32_t& count, std::int32_t& status) {
  std::uint8_t countByte = 0;
  status = blocks.source->read(&countByte, 1);
  if (status != 0) {
    checkIOStatus(*blocks.console, status, image.fileName, countMessage(), kRoutine, "READ");
    return;
  }
  count = countByte;
  blocks.zeroDataBlock = count == 0;
  if (count == 0) return;
  status = blocks.source->read(buffer, static_cast<std::size_t>(count));
  if (status != 0) {
    checkIOStatus(*blocks.console, status, image.fileName, dataMessage(), kRoutine, "READ");
  }
}

}  // namespace gifjoin
