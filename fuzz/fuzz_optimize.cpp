// Fuzz target: an optimised join (-O) of a small valid series made from the
// input, all in memory, judged the way a viewer shows it. The animation as
// giflib decodes it and tests/support/compose.h composes it must have one
// frame per file, each looking exactly as its file does alone, with the
// default delay.
//
// Input: frames, width, height; then per file a flag byte, colour count,
// colour salt, transparent index and the rectangle that changes from the
// file before (the whole image for the first file), then the pixels of that
// rectangle. Past its end the input reads zeros.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/driver.h"
#include "general/text_field.h"
#include "support/compose.h"
#include "support/gif_bytes.h"
#include "support/memory_io.h"

using namespace gifjoin;
using testing::Bytes;

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  int byte() { return at_ < size_ ? data_[at_++] : 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Flag bits of a file.
constexpr int kSharedColours = 0x01;  // the first file's colour table
constexpr int kCoarse = 0x02;         // 64 colours at most: repeats within and across tables
constexpr int kControl = 0x04;        // a graphic control extension ...
constexpr int kTransparent = 0x08;    // ... with a transparent index
constexpr int kDisposal = 0x30;       // its disposal, of no effect on a file alone
constexpr int kLocal = 0x40;          // a local colour table, no global one
constexpr int kWide = 0x80;           // minimum code size 8, indices to the table's end

// Colour table bytes, 2^bits entries.
Bytes colourTable(int bits, int salt, bool coarse) {
  Bytes table;
  for (int j = 0; j < (1 << bits); ++j) {
    const int h = j * 73 + salt * 151;
    if (coarse) {
      table.insert(table.end(), {static_cast<std::uint8_t>((h & 3) * 85),
                                 static_cast<std::uint8_t>((h >> 2 & 3) * 85),
                                 static_cast<std::uint8_t>((h >> 4 & 3) * 85)});
    } else {
      table.insert(table.end(),
                   {static_cast<std::uint8_t>(j + salt), static_cast<std::uint8_t>(j * 7 ^ salt),
                    static_cast<std::uint8_t>(255 - j)});
    }
  }
  return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const int frames = 1 + in.byte() % 5;
  const int width = 1 + in.byte() % 16;
  const int height = 1 + in.byte() % 16;

  std::vector<Bytes> files;
  std::vector<int> pixels(static_cast<std::size_t>(width * height), 0);  // input bytes
  int firstEntries = 0;
  Bytes firstTable;
  for (int k = 0; k < frames; ++k) {
    const int flags = in.byte();
    const bool shared = k > 0 && (flags & kSharedColours) != 0;
    const int entries = shared ? firstEntries : 1 + in.byte();
    int bits = 1;
    while ((1 << bits) < entries) ++bits;
    const Bytes table = shared ? firstTable : colourTable(bits, in.byte(), (flags & kCoarse) != 0);
    if (k == 0) {
      firstEntries = entries;
      firstTable = table;
    }
    const int transparent = in.byte();
    const int x = k == 0 ? 0 : in.byte() % width, y = k == 0 ? 0 : in.byte() % height;
    const int w = k == 0 ? width : 1 + in.byte() % (width - x);
    const int h = k == 0 ? height : 1 + in.byte() % (height - y);
    const int codeSize = (flags & kWide) != 0 ? 8 : std::max(2, bits);
    for (int row = y; row < y + h; ++row) {
      for (int col = x; col < x + w; ++col)
        pixels[static_cast<std::size_t>(row * width + col)] = in.byte();
    }
    // The same bytes give the same indices as long as the colour count stays.
    std::vector<int> indices(pixels);
    for (int& v : indices) v %= (flags & kWide) != 0 ? 1 << bits : entries;

    testing::GifBytes g;
    const bool local = (flags & kLocal) != 0;
    g.header().screen(width, height, local ? 0 : 0xF0 | (bits - 1));
    if (!local) g.raw(table);
    if ((flags & kControl) != 0) {
      g.graphicControl((flags & kDisposal) >> 2 | (flags & kTransparent) >> 3, 0, transparent);
    }
    g.imageDescriptor(width, height, local ? 0x80 | (bits - 1) : 0);
    if (local) g.raw(table);
    g.imageData(codeSize, testing::lzwEncode(indices, codeSize)).trailer();
    files.push_back(g.bytes());
  }
  testing::MemoryJoinIo io;
  for (int k = 0; k < frames; ++k)
    io.add("f_" + std::to_string(k + 1) + ".gif", files[static_cast<std::size_t>(k)]);

  JoinRequest request;
  request.baseName = makeField("f");
  request.lowerIndex = 1;
  request.higherIndex = frames;
  request.verbose = false;
  request.optimize = true;
  if (runJoin(request, io) != kExitWritten) std::abort();

  const testing::GifPtr output = testing::decodeGif(io.written().bytes());
  if (output == nullptr) std::abort();
  const testing::Animation shown = testing::compose(output.get());
  if (shown.frames.size() != files.size()) std::abort();
  for (std::size_t k = 0; k < files.size(); ++k) {
    const testing::GifPtr input = testing::decodeGif(files[k]);
    if (input == nullptr) std::abort();
    if (shown.frames[k] != testing::renderAlone(input.get()) || shown.delays[k] != 30) std::abort();
  }
  return 0;
}
