// The LZW decoder of the GIF reader: turns the codes of one image into its
// pixel values, one value per call (`next`) or many at once straight into
// the pixel rows (`decodeRun`), both giving exactly the same values, reports
// and state.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "gif/code_reader.h"
#include "gif/data_blocks.h"
#include "gif/gif_image.h"

namespace gifjoin {

class LzwDecoder {
 public:
  static constexpr std::int32_t kTableSize = 4096;
  static constexpr std::int32_t kStackSize = 8192;
  static constexpr std::int32_t kMaxMinCodeSize = 12;

  // table(0, code) is `prefix`, table(1, code) is `suffix`: the string of a
  // code is the string of its prefix followed by its suffix value.
  struct Entry {
    std::int16_t prefix;
    std::uint16_t suffix;
    bool operator==(const Entry&) const = default;
  };

  // Start a new image: 0, or -1 (nothing changed, code reader untouched)
  // for a minimum code size above 12.
  std::int32_t init(CodeReader& codes, std::int32_t minimumCodeSize);

  // One decoding call: the next pixel value, -1 when no code could be read,
  // -2 at the end code or a corrupt table.
  std::int32_t next(const GIFImage& image, CodeReader& codes, SubBlockReader& blocks,
                    std::int32_t& status);

  // Decode up to `count` values into `out`: exactly the values that as many
  // calls of `next` would return, stopping at the first negative one, which
  // is left in `stop` (0 when `count` values were stored). Returns the
  // number stored. The state afterwards is that of the equivalent calls.
  // `sameOutput` tells that `out` lies in the same array as the output of
  // the previous run and that nothing has changed that output since, so
  // strings written there may be copied from it.
  // Values are stored as `Value` (std::int32_t or std::uint8_t; the 8-bit
  // form keeps each value modulo 256).
  template <typename Value>
  std::int32_t decodeRun(const GIFImage& image, CodeReader& codes, SubBlockReader& blocks,
                         Value* out, std::int32_t count, std::int32_t& stop, std::int32_t& status,
                         bool sameOutput = false);

  // Read past the rest of the image's codes without producing its values:
  // the codes read, the state afterwards and every report are those of
  // calls of `next` until one returns a negative value, which is returned.
  // Well-formed strings are not walked, so data whose strings are long
  // cost time in proportion to their codes, not to the values they stand
  // for (up to 4096 per code).
  std::int32_t skipRest(const GIFImage& image, CodeReader& codes, SubBlockReader& blocks,
                        std::int32_t& status);

  // Decoder state: plain fields, as the code reader's are, owned by the
  // reading code for one image at a time.
  std::int32_t minCodeSize = 0;
  std::int32_t clearCode = 0;
  std::int32_t endCode = 0;
  std::int32_t codeWidth = 0;
  std::int32_t nextCode = 0;
  std::int32_t codeLimit = 0;
  std::int32_t firstValue = 0;
  std::int32_t prevCode = 0;
  bool freshStart = false;
  std::array<Entry, kTableSize> table{};
  // Length of each code's string when the string is well-formed (every
  // prefix a smaller well-formed code, ending in a value below the clear
  // code); 0 otherwise. Covers every 13-bit code so that any code can index
  // it; entries from 4096 on stay 0.
  std::array<std::uint16_t, std::size_t{1} << 13> length{};
  // Slots 1 to stackTop - 1 hold values waiting to be returned, the top one
  // first; slot s is stack[s - 1].
  std::array<std::int32_t, kStackSize> stack{};
  std::int32_t stackTop = 1;

 private:
  void resetTable();
  std::int32_t startString(const GIFImage& image, CodeReader& codes, SubBlockReader& blocks,
                           std::int32_t& status);
  std::int32_t handleCode(std::int32_t code, const GIFImage& image, CodeReader& codes,
                          SubBlockReader& blocks, std::int32_t& status);
  std::int32_t endOfData(const GIFImage& image, SubBlockReader& blocks, std::int32_t& status);
  std::int32_t dataCode(std::int32_t inCode, const GIFImage& image, SubBlockReader& blocks);
  std::int32_t corruptTable(std::int32_t code, std::int32_t prefix, const GIFImage& image,
                            std::ostream& console);
  template <typename Value>
  std::int32_t fastRun(const GIFImage& image, CodeReader& codes, SubBlockReader& blocks, Value* out,
                       std::int32_t n, std::int32_t count, std::int32_t& stop,
                       std::int32_t& status);
  void push(std::int32_t value) {
    stack[static_cast<std::size_t>(stackTop - 1)] = value;
    ++stackTop;
  }
  std::int32_t pop() {
    --stackTop;
    return stack[static_cast<std::size_t>(stackTop - 1)];
  }
  void addEntry(std::int32_t prefix, std::int32_t suffix);
  void newOutputArea();

  std::array<std::uint8_t, 260> skipBuffer_{};
  // First value of each code's string where `length` is not 0; kept beside
  // the table so that skipRest needs no walk.
  std::array<std::uint16_t, kTableSize> firstOf_{};
  // A cache of the bulk path, not part of the decoder's state: where the
  // string of `code` was written during the output area `copyRun_[code]`.
  std::array<const void*, kTableSize> copyAt_{};
  std::array<std::uint32_t, kTableSize> copyRun_{};
  std::uint32_t run_ = 0;
};

}  // namespace gifjoin
