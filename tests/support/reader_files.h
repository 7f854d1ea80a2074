// Test helpers for the GIF reader: byte sequences opened on a file unit the
// way openGIF leaves them, and a record named like a file of a series.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "general/text_field.h"
#include "general/units.h"
#include "gif/gif_image.h"
#include "gif/read.h"
#include "support/console_capture.h"
#include "support/gif_bytes.h"

namespace gifjoin::testing {

// The bytes in a temporary file, open on a free unit that becomes the
// reader's gifUnit; the unit is given back at the end.
class OpenBytes {
 public:
  OpenBytes(GifReader& reader, const Bytes& bytes) : file_(bytes) {
    unit_ = getFreeUnit();
    units().openForReading(unit_, file_.path());
    reader.gifUnit = unit_;
  }
  ~OpenBytes() { units().release(unit_); }
  OpenBytes(const OpenBytes&) = delete;
  OpenBytes& operator=(const OpenBytes&) = delete;

  int unit() const { return unit_; }
  const std::string& path() const { return file_.path(); }

  // Everything not read yet (reading it).
  Bytes rest() const {
    Bytes out;
    std::uint8_t byte = 0;
    while (units().read(unit_, &byte, 1) == 0) out.push_back(byte);
    return out;
  }

 private:
  TempFile file_;
  int unit_ = -1;
};

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
