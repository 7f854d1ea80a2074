// Extension blocks: the label byte, then data sub-blocks into the reader's
// persistent 256-byte extension buffer. Sets the graphic control fields of
// the record; reads past every other kind after its verbose line.
#include "gif/extensions.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "general/console.h"
#include "general/diagnostics.h"
#include "general/text_field.h"
#include "gif/data_blocks.h"
#include "gif/open.h"
#include "gif/reader_state.h"

namespace gifjoin {

namespace {

constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kCommentLabel = 0xFE;
constexpr std::uint8_t kApplicationLabel = 0xFF;
constexpr std::uint8_t kPlainTextLabel = 0x01;

std::string_view extensionName(std::uint8_t label) {
  switch (label) {
    case kGraphicControlLabel:
      return "graphic control extension";
    case kCommentLabel:
      return "comment extension";
    case kApplicationLabel:
      return "application extension";
    case kPlainTextLabel:
      return "plain text extension";
    default:
      return "unknown extension";
  }
}

// Read sub-blocks up to and including the terminator. False after a failed
// read (already reported by get_data_block).
bool discardSubBlocks(GIFImage& image, GifReader& reader, std::int32_t& status) {
  std::int32_t count = 0;
  do {
    get_data_block(reader.blocks, image, reader.extensionBuffer.data(), count, status);
    if (status != 0) return false;
  } while (count != 0);
  return true;
}

}  // namespace

void do_extension(GIFImage& image, GifReader& reader, std::int32_t& status, int verbose) {
  std::array<std::uint8_t, 1> label{};
  status = read_bytes(label, *reader.blocks.source);
  if (status != 0) {
    checkIOStatus(reader.console(), status, image.fileName, makeField("Problem reading extension."),
                  "RasterImageModule::do_extension", "READ");
    return;
  }
  std::uint8_t* const buffer = reader.extensionBuffer.data();
  std::int32_t count = 0;
  switch (label[0]) {
    case kGraphicControlLabel: {
      get_data_block(reader.blocks, image, buffer, count, status);
      if (status != 0) return;
      // Bytes that a short first sub-block lacks count as 0.
      std::array<std::uint8_t, 4> data{};
      std::copy_n(buffer, std::min(count, 4), data.begin());
      const std::uint8_t packed = data[0];
      // Kept on purpose: the user input bit is not read; every graphic
      // control extension gives 0, which the fields' readers rely on.
      image.userInputFlag = 0;
      image.disposalMethod = (packed >> 2) & 7;
      image.delayTime = data[1] + 256 * data[2];
      if ((packed & 1) != 0) image.transparentColorIndex = data[3];
      // A terminator as the first sub-block ends the extension there.
      if (count != 0 && !discardSubBlocks(image, reader, status)) return;
      break;
    }
    case kCommentLabel:
      for (;;) {
        get_data_block(reader.blocks, image, buffer, count, status);
        if (status != 0) return;
        if (count == 0) break;
        if (verbose != 0) {
          const std::string_view text(reinterpret_cast<const char*>(buffer),
                                      static_cast<std::size_t>(count));
          writeLine(reader.console(), ListLine().text(" gif comment: ").text(text).str());
        }
      }
      break;
    case kApplicationLabel:
    case kPlainTextLabel:
      if (!discardSubBlocks(image, reader, status)) return;
      break;
    default:
      writeLine(reader.console(),
                ListLine().text(" unknown extension ").integer(label[0]).text(" label").str());
      if (!discardSubBlocks(image, reader, status)) return;
      break;
  }
  if (verbose != 0) {
    writeLine(reader.console(),
              ListLine().text("read_gif: extension ").text(extensionName(label[0])).str());
  }
  status = 0;
}

}  // namespace gifjoin
