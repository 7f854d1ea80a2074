// Data sub-blocks: a count byte and that many data bytes, a sequence ended
// by a count of 0. The sub-block reader reads them from the input of the
// file being read and reports failed reads on its console.
#pragma once

#include <cstdint>
#include <ostream>

#include "general/byte_source.h"
#include "gif/gif_image.h"

namespace gifjoin {

struct SubBlockReader {
  ByteSource* source = nullptr;  // the input of the file being read
  std::ostream* console = nullptr;
  bool zeroDataBlock = false;  // the last sub-block read was the terminator
  // Bytes of image data read (sub-blocks with their count bytes), counted
  // by the code reader and the decoder: what the file spent on its images.
  std::uint64_t imageBytes = 0;
};

// Read one data sub-block into `buffer` (room for 255 bytes). `count` gets
// the announced number of data bytes and blocks.zeroDataBlock tells whether
// it was the terminator. On a failed count byte `count` and zeroDataBlock
// are left as they were. Reports name the record's file.
void get_data_block(SubBlockReader& blocks, const GIFImage& image, std::uint8_t* buffer,
                    std::int32_t& count, std::int32_t& status);

}  // namespace gifjoin
