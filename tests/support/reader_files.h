// Test helpers for the GIF reader: byte sequences opened on a file unit the
// way openGIF leaves them, and a record named like a file of a series.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "general/byte_source.h"
#include "general/text_field.h"
#include "general/units.h"
#include "gif/gif_image.h"
#include "gif/read.h"
#include "gif/reader_state.h"
#include "support/console_capture.h"
#include "support/gif_bytes.h"

namespace gifjoin::testing {

// The bytes as the reader's input, positioned at their start, the way
// openGIF leaves a file for the layers below it.
class OpenBytes {
 public:
  OpenBytes(GifReader& reader, const Bytes& bytes) : bytes_(bytes), source_(bytes_) {
    (void)source_.open("");
    reader.blocks.source = &source_;
  }
  OpenBytes(const OpenBytes&) = delete;
  OpenBytes& operator=(const OpenBytes&) = delete;

  ByteSource& source() { return source_; }

  // Everything not read yet (reading it).
  Bytes rest() {
    Bytes out;
    std::uint8_t byte = 0;
    while (source_.read(&byte, 1) == 0) out.push_back(byte);
    return out;
  }

 private:
  Bytes bytes_;
  MemorySource source_;
};

// The code reader as the decoder calls it: `init` starts a new image and
// returns 0; otherwise the next code of `codeWidth` bits or -1.
inline std::int32_t read_code(GIFImage& image, GifReader& reader, std::int32_t codeWidth, bool init,
                              std::int32_t& status) {
  if (init) {
    reader.codes.reset();
    return 0;
  }
  return reader.codes.read(image, reader.blocks, codeWidth, status);
}

// A reset record whose fileName is the given name as a 255-character field.
inline GIFImage namedRecord(std::string_view name = "pics_2.gif") {
  GIFImage image;
  image.reset();
  image.fileName = makeField(name);
  return image;
}

// The report of checkIOStatus with a routine name (message as given).
inline std::string ioReport(std::string_view routine, std::string_view action,
                            std::string_view file, std::string_view message) {
  return "WARNING in subroutine " + std::string(routine) + ".\n ERROR WHILE " +
         std::string(action) + " " + std::string(file) + ".\n" + std::string(message) + "\n" +
         padded("--> PLEASE CHECK IF THE FILE EXISTS!") + "\n";
}

// The report of writeWarning with a routine name.
inline std::string warningReport(std::string_view routine, std::string_view message) {
  return "WARNING in subroutine " + std::string(routine) + ".\n" + std::string(message) +
         "\n  ---=== TRYING TO CONTINUE PROGRAM ===--- \n";
}

}  // namespace gifjoin::testing
