// Fuzz target: an optimised join (-O) of a small series made from the
// input, all in memory, judged the way a viewer shows it. The animation as
// giflib decodes it and tests/support/compose.h composes it must show
// exactly what the plain join shows, frame by frame; and where every file's
// image fills the screen, each frame must look exactly as its file does
// alone, with the default delay.
//
// The series reach the hard cases of -O: full 256-entry tables with no free
// index, each file's table derived from the one before with a few entries
// changed, made near or swapped (pixels kept or moved with them), dark
// greys one step apart and repeated colours, every pixel changing, the
// transparent index on and off, and degenerate images (0 wide or high,
// smaller or larger than the screen, at offsets; screens of 0).
//
// Input, one byte each unless said; past its end the input reads zeros:
//   frames-1 (% 8), screen width (% 33), screen height (% 33)
//   per file:
//     flags (below)
//     table:    fresh:   entries-1 (from 0xC0 on: 256), style, salt
//               derived: edit count (low 6 bits) and kind (high 2 bits),
//                        then an (index, value) pair per edit
//     [transparent index]                     with kControl and kTransparent
//     [left, top, width, height]              with kPlaced (else the screen)
//     fill: kind (low 2 bits) and its bytes:  keep the values | x, y, w, h and
//           w*h values | step and offset of a ramp | seed and colours of runs
// A file's values stay from file to file where it keeps them; the same
// values give the same indices as long as the colour count stays.
//
// With FUZZ_OPTIMIZE_DUMP=DIR set, the series is written to DIR as
// f_1.gif ... f_N.gif, for a look with gifjoin -O and bench/check_render.py.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
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
constexpr int kDerived = 0x01;      // the table before, edited (the first file: fresh)
constexpr int kPlaced = 0x02;       // an image of its own size and place
constexpr int kControl = 0x04;      // a graphic control extension ...
constexpr int kTransparent = 0x08;  // ... with a transparent index
constexpr int kDisposal = 0x30;     // its disposal, of no effect on a file alone
constexpr int kLocal = 0x40;        // a local colour table, no global one
constexpr int kWide = 0x80;         // minimum code size 8, indices to the table's end

// Kinds of table edits.
constexpr int kSet = 0;   // entry = colourOf(value)
constexpr int kSwap = 1;  // entries index and value swapped, pixels kept
constexpr int kMove = 2;  // ... and the pixels moved with them: the same look
constexpr int kNear = 3;  // entry a step or two away in each channel

constexpr int kMaxSide = 36;  // images and the values kept between files

using Rgb = std::array<std::uint8_t, 3>;

// A colour of one byte: dark greys one step apart, greys four apart (both
// sets holding black, (4,4,4) and so on, so colours repeat), near-black
// colours, and spread colours.
Rgb colourOf(int v) {
  v &= 0xFF;
  if (v < 64) return {Rgb::value_type(v), Rgb::value_type(v), Rgb::value_type(v)};
  if (v < 128) {
    const auto g = static_cast<std::uint8_t>((v - 64) * 4);
    return {g, g, g};
  }
  if (v < 160)
    return {Rgb::value_type(v & 3), Rgb::value_type(v >> 2 & 3), Rgb::value_type(v >> 4 & 1)};
  return {Rgb::value_type(v * 37), Rgb::value_type(v * 91 + 7), Rgb::value_type(v * 53 + 11)};
}

// A fresh table of 2^bits entries.
std::vector<Rgb> freshTable(int bits, int style, int salt) {
  std::vector<Rgb> table;
  for (int j = 0; j < (1 << bits); ++j) {
    const int h = j * 73 + salt * 151;
    switch (style & 3) {
      case 0:  // distinct colours
        table.push_back(
            {Rgb::value_type(j + salt), Rgb::value_type(j * 7 ^ salt), Rgb::value_type(255 - j)});
        break;
      case 1:  // the one-byte colours in order: dark greys side by side
        table.push_back(colourOf(j + salt));
        break;
      case 2:  // 64 colours at most: repeats within and across tables
        table.push_back({Rgb::value_type((h & 3) * 85), Rgb::value_type((h >> 2 & 3) * 85),
                         Rgb::value_type((h >> 4 & 3) * 85)});
        break;
      default:  // the one-byte colours scattered, some twice
        table.push_back(colourOf(h >> 3 ^ h));
        break;
    }
  }
  return table;
}

Bytes tableBytes(const std::vector<Rgb>& table) {
  Bytes out;
  for (const Rgb& c : table) out.insert(out.end(), c.begin(), c.end());
  return out;
}

// Splitmix-like numbers for runs of random values.
std::uint32_t mix(std::uint32_t& state) {
  state += 0x9E3779B9u;
  std::uint32_t z = state;
  z = (z ^ z >> 16) * 0x85EBCA6Bu;
  z = (z ^ z >> 13) * 0xC2B2AE35u;
  return z ^ z >> 16;
}

[[noreturn]] void fail(const char* what, std::size_t frame, long pixel) {
  std::fprintf(stderr, "fuzz_optimize: %s (frame %zu, pixel %ld)\n", what, frame + 1, pixel);
  std::abort();
}

struct Run {
  int status = 0;
  testing::GifPtr gif;
  testing::Animation shown;
};

Run join(const std::vector<Bytes>& files, bool optimize) {
  testing::MemoryJoinIo io;
  for (std::size_t k = 0; k < files.size(); ++k)
    io.add("f_" + std::to_string(k + 1) + ".gif", files[k]);
  JoinRequest request;
  request.baseName = makeField("f");
  request.lowerIndex = 1;
  request.higherIndex = static_cast<std::int32_t>(files.size());
  request.verbose = false;
  request.optimize = optimize;
  Run run;
  run.status = runJoin(request, io);
  if (run.status == kExitWritten) {
    run.gif = testing::decodeGif(io.written().bytes());
    if (run.gif != nullptr) run.shown = testing::compose(run.gif.get());
  }
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const int frames = 1 + in.byte() % 8;
  const int width = in.byte() % 33;
  const int height = in.byte() % 33;

  std::vector<Bytes> files;
  bool everyImageFills = true;                      // every image is the screen's size
  std::vector<int> values(kMaxSide * kMaxSide, 0);  // input values, kept between files
  std::vector<Rgb> table;
  int entries = 1;
  for (int k = 0; k < frames; ++k) {
    const int flags = in.byte();
    if (k == 0 || (flags & kDerived) == 0) {
      const int e = in.byte();
      entries = e >= 0xC0 ? 256 : 1 + e;  // a full table often
      int bits = 1;
      while ((1 << bits) < entries) ++bits;
      const int style = in.byte();
      table = freshTable(bits, style, in.byte());
    } else {
      const int edits = in.byte();
      const int kind = edits >> 6;
      const int n = static_cast<int>(table.size());
      for (int e = 0; e < (edits & 0x3F); ++e) {
        const int i = in.byte() % n, v = in.byte();
        if (kind == kSet) {
          table[i] = colourOf(v);
        } else if (kind == kNear) {
          for (int c = 0; c < 3; ++c)
            table[i][c] = static_cast<std::uint8_t>(table[i][c] + (v >> 2 * c & 3) - 1);
        } else if (kind == kSwap || kind == kMove) {
          const int j = v % n;
          std::swap(table[i], table[j]);
          // The pixels move with the entries (as far as the values reach).
          const int reach = (flags & kWide) != 0 ? n : entries;
          if (kind == kMove && i < reach && j < reach) {
            for (int& value : values) {
              value %= reach;
              if (value == i || value == j) value = value == i ? j : i;
            }
          }
        }
      }
    }
    int bits = 1;
    while ((1 << bits) < static_cast<int>(table.size())) ++bits;
    const int transparent = (flags & kControl) != 0 && (flags & kTransparent) != 0 ? in.byte() : 0;
    int left = 0, top = 0, w = width, h = height;
    if ((flags & kPlaced) != 0) {
      left = in.byte() % (width + 3);
      top = in.byte() % (height + 3);
      w = in.byte() % (kMaxSide + 1);
      h = in.byte() % (kMaxSide + 1);
    }
    w = std::min(w, kMaxSide);
    h = std::min(h, kMaxSide);
    if (w != width || h != height) everyImageFills = false;

    const int fill = in.byte();
    auto at = [](int x, int y) { return static_cast<std::size_t>(y * kMaxSide + x); };
    if ((fill & 3) == 1 && w > 0 && h > 0) {  // a rectangle of input values
      const int x = in.byte() % w, y = in.byte() % h;
      const int rw = 1 + in.byte() % (w - x), rh = 1 + in.byte() % (h - y);
      for (int row = y; row < y + rh; ++row) {
        for (int col = x; col < x + rw; ++col) values[at(col, row)] = in.byte();
      }
    } else if ((fill & 3) == 2) {  // a ramp: every index of a full table, every pixel new
      const int step = in.byte(), offset = in.byte();
      for (int i = 0; i < w * h; ++i) values[at(i % w, i / w)] = i * step + offset;
    } else if ((fill & 3) == 3) {  // runs of random values, as textures have them
      std::uint32_t state = static_cast<std::uint32_t>(in.byte());
      const std::uint32_t colours = 1 + static_cast<std::uint32_t>(in.byte());
      for (int i = 0; i < w * h;) {
        const int value = static_cast<int>(mix(state) % colours);
        for (int run = 1 + static_cast<int>(mix(state) % 12); run > 0 && i < w * h; --run, ++i)
          values[at(i % w, i / w)] = value;
      }
    }
    std::vector<int> indices;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x)
        indices.push_back(values[at(x, y)] % ((flags & kWide) != 0 ? 1 << bits : entries));
    }

    testing::GifBytes g;
    const bool local = (flags & kLocal) != 0;
    g.header().screen(width, height, local ? 0 : 0xF0 | (bits - 1));
    if (!local) g.raw(tableBytes(table));
    if ((flags & kControl) != 0) {
      g.graphicControl((flags & kDisposal) >> 2 | (flags & kTransparent) >> 3, 0, transparent);
    }
    g.imageDescriptor(w, h, local ? 0x80 | (bits - 1) : 0, left, top);
    if (local) g.raw(tableBytes(table));
    const int codeSize = (flags & kWide) != 0 ? 8 : std::max(2, bits);
    g.imageData(codeSize, testing::lzwEncode(indices, codeSize)).trailer();
    files.push_back(g.bytes());
  }

  if (const char* dir = std::getenv("FUZZ_OPTIMIZE_DUMP"); dir != nullptr) {
    for (std::size_t k = 0; k < files.size(); ++k) {
      std::ofstream(std::string(dir) + "/f_" + std::to_string(k + 1) + ".gif", std::ios::binary)
          .write(reinterpret_cast<const char*>(files[k].data()),
                 static_cast<std::streamsize>(files[k].size()));
    }
  }

  // -O must show what the plain join shows.
  const Run plain = join(files, false);
  const Run optimised = join(files, true);
  if (optimised.status != plain.status) fail("exit status differs from the plain join's", 0, -1);
  if (plain.status != kExitWritten || plain.gif == nullptr) return 0;
  if (optimised.gif == nullptr) fail("giflib cannot read the -O output", 0, -1);
  const testing::Animation& shown = optimised.shown;
  if (shown.width != plain.shown.width || shown.height != plain.shown.height)
    fail("screen differs from the plain join's", 0, -1);
  if (shown.frames.size() != plain.shown.frames.size())
    fail("frame count differs from the plain join's", shown.frames.size(), -1);
  for (std::size_t k = 0; k < shown.frames.size(); ++k) {
    const long p = testing::firstDifference(shown.frames[k], plain.shown.frames[k]);
    if (p >= 0) fail("frame differs from the plain join's", k, p);
    if (shown.delays[k] != plain.shown.delays[k]) fail("delay differs", k, -1);
  }
  // Where every image fills the screen, each frame is its file alone.
  if (!everyImageFills) return 0;
  if (shown.frames.size() != files.size()) fail("a frame is missing", shown.frames.size(), -1);
  for (std::size_t k = 0; k < files.size(); ++k) {
    const testing::GifPtr input = testing::decodeGif(files[k]);
    if (input == nullptr) fail("giflib cannot read an input", k, -1);
    const long p = testing::firstDifference(shown.frames[k], testing::renderAlone(input.get()));
    if (p >= 0) fail("frame differs from its file alone", k, p);
    if (shown.delays[k] != 30) fail("delay is not the default", k, -1);
  }
  return 0;
}
