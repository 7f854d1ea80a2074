// Writes the seed corpora of the fuzz targets: for fuzz_read, small GIF
// files that between them use every feature the reader knows (both
// signatures, global and local colour tables, every extension kind,
// interlace, several images, odd sub-block sizes, minimum code sizes 2 to 8
// and 12, full code tables with and without clear codes, bogus bytes);
// for fuzz_roundtrip, a few records in that target's input layout; for
// fuzz_join, series of those files joined by the token "JOIN"; for
// fuzz_optimize, series in that target's input layout, each input that
// found a fault among them.
// Usage: make_seed_corpus READ_DIR ROUNDTRIP_DIR JOIN_DIR [OPTIMIZE_DIR]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/gif_bytes.h"

using gifjoin::testing::Bytes;
using gifjoin::testing::GifBytes;
using gifjoin::testing::lzwEncode;
using gifjoin::testing::LzwOptions;

namespace {

std::vector<int> ramp(int count, int colours, int seed = 0) {
  std::vector<int> v(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) v[static_cast<std::size_t>(i)] = (i * 7 + seed + i / 5) % colours;
  return v;
}

void save(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes) {
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void readSeeds(const std::filesystem::path& dir) {
  // Minimum code sizes 2 to 8 with a global table of matching size.
  for (int m = 2; m <= 8; ++m) {
    const int colours = 1 << m;
    GifBytes g;
    g.header("GIF89a").screen(12, 9, 0xF0 | (m - 1)).colorTable(colours);
    g.graphicControl(0x05, 10, 1).image(12, 9, ramp(108, colours, m), m).trailer();
    save(dir, "code_size_" + std::to_string(m) + ".gif", g.bytes());
  }
  // Minimum code size 12: 13-bit codes, nothing ever added to the table.
  {
    GifBytes g;
    g.header("GIF87a").screen(6, 4, 0x00);
    g.image(6, 4, ramp(24, 4096, 3), 12).trailer();
    save(dir, "code_size_12.gif", g.bytes());
  }
  // GIF87a with a local colour table and no global one.
  {
    GifBytes g;
    g.header("GIF87a").screen(5, 5, 0x00);
    g.imageDescriptor(5, 5, 0x82).colorTable(8);
    g.imageData(3, lzwEncode(ramp(25, 8), 3)).trailer();
    save(dir, "gif87a_local_table.gif", g.bytes());
  }
  // Interlaced images of heights that skip passes.
  for (int h : {1, 2, 3, 5, 10, 17}) {
    GifBytes g;
    g.header().screen(4, h, 0x81).colorTable(4);
    g.image(4, h, ramp(4 * h, 4, h), 2, 0x40).trailer();
    save(dir, "interlaced_h" + std::to_string(h) + ".gif", g.bytes());
  }
  // Every extension kind, an unknown label, a short graphic control block
  // and a comment in several sub-blocks, and a non-square aspect byte.
  {
    GifBytes g;
    g.header().screen(3, 3, 0x91, 1, 17).colorTable(4);
    g.comment({"made by gifjoin's seed writer", "second block"});
    g.extension(0xFF, {{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}, {1, 0, 0}});
    g.extension(0x01, {{0, 0, 0, 0, 3, 0, 3, 0, 8, 8, 1, 0}, {'h', 'i'}});
    g.extension(0x42, {{1, 2, 3}});
    g.extension(0xF9, {{0x01, 5}});
    g.extension(0xF9, {});
    g.image(3, 3, ramp(9, 4), 2).trailer();
    save(dir, "extensions.gif", g.bytes());
  }
  // Several images with local tables; the reader picks one by number.
  {
    GifBytes g;
    g.header().screen(8, 6, 0xF2).colorTable(8);
    for (int k = 0; k < 4; ++k) {
      g.graphicControl(0x08, 30 + k, 0);
      if (k % 2 == 1) {
        g.imageDescriptor(8, 6, 0x81).colorTable(4);
        g.imageData(2, lzwEncode(ramp(48, 4, k), 2));
      } else {
        g.image(8, 6, ramp(48, 8, k), 3);
      }
    }
    g.trailer();
    save(dir, "four_images.gif", g.bytes());
  }
  // Odd sub-block sizes: 1, 2, 7 and 254 data bytes per sub-block.
  for (std::size_t chunk : {1U, 2U, 7U, 254U}) {
    GifBytes g;
    g.header().screen(40, 30, 0xF7).colorTable(256);
    g.imageDescriptor(40, 30).imageData(8, lzwEncode(ramp(1200, 256, 9), 8), chunk).trailer();
    save(dir, "sub_blocks_" + std::to_string(chunk) + ".gif", g.bytes());
  }
  // A table that fills to 4096 codes: cleared, and kept frozen.
  for (bool clear : {true, false}) {
    LzwOptions options;
    options.clearWhenFull = clear;
    std::vector<int> values(9000);
    for (std::size_t i = 0; i < values.size(); ++i)
      values[i] = static_cast<int>((i * i + i / 3) % 16);
    GifBytes g;
    g.header().screen(100, 90, 0xF3).colorTable(16);
    g.imageDescriptor(100, 90).imageData(4, lzwEncode(values, 4, options)).trailer();
    save(dir, clear ? "full_table_cleared.gif" : "full_table_frozen.gif", g.bytes());
  }
  // Bogus bytes between blocks, an empty image, no trailer, surplus data,
  // and data that end early.
  {
    GifBytes g;
    g.header().screen(2, 2, 0x80).colorTable(2).raw({0x00, 0x7F});
    g.image(0, 2, {}, 2).image(2, 2, {0, 1, 1, 0}, 2);
    save(dir, "bogus_bytes_no_trailer.gif", g.bytes());
  }
  {
    GifBytes g;
    g.header().screen(2, 2, 0x80).colorTable(2);
    g.image(2, 2, ramp(10, 2), 2).image(3, 3, ramp(4, 2), 2).trailer();
    save(dir, "surplus_and_short_data.gif", g.bytes());
  }
}

void roundtripSeeds(const std::filesystem::path& dir) {
  // width-1, height-1, shape, colours-1, delay (2), transparent index, values.
  const std::vector<Bytes> seeds = {
      {0, 0, 0, 1, 0, 0, 0, 0, 0},
      {9, 9, 0x01, 255, 30, 0, 0, 1, 0, 2, 0, 3, 0},
      {63, 47, 0x06, 15, 100, 0, 5, 0xFF, 0xFF, 7, 1, 200, 0, 9, 0},
      {255, 200, 0x1A, 0, 0, 17, 3, 4, 5, 6, 7, 8, 9},
      {31, 31, 0x02, 2, 1, 1, 0, 0, 0, 1, 0, 2, 0, 3, 0, 2, 0, 1, 0},
  };
  for (std::size_t i = 0; i < seeds.size(); ++i) save(dir, "record_" + std::to_string(i), seeds[i]);
}

// Series for fuzz_join: each read seed followed by up to three others.
void joinSeeds(const std::filesystem::path& readDir, const std::filesystem::path& dir) {
  std::vector<Bytes> files;
  for (const auto& entry : std::filesystem::directory_iterator(readDir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    Bytes series = files[i];
    for (std::size_t k = 1; k <= i % 4; ++k) {
      const std::string_view token = "JOIN";
      series.insert(series.end(), token.begin(), token.end());
      const Bytes& next = files[(i + 3 * k) % files.size()];
      series.insert(series.end(), next.begin(), next.end());
    }
    save(dir, "series_" + std::to_string(i), series);
  }
}

// Series for fuzz_optimize, in its input layout (see fuzz_optimize.cpp).
void optimizeSeeds(const std::filesystem::path& dir) {
  const std::vector<std::pair<std::string, Bytes>> seeds = {
      // Pillow-like: full tables, each the one before with a few entries
      // set to dark greys, moved, or made near; every pixel changes last.
      {"full_tables_derived", {3,    32,   32, 0x00, 0xFF, 1, 0, 2,    1,  0,                    //
                               0x01, 0x06, 0,  4,    1,    0, 2, 4,    3,  1,  17, 3, 40, 0, 0,  //
                               0x01, 0x84, 1,  2,    5,    9, 4, 200,  30, 31, 0,                //
                               0x01, 0xC3, 0,  0x15, 2,    0, 3, 0x3F, 2,  3,  1}},
      // Textures with a transparent index, local tables, a changed rectangle.
      {"transparent_local",
       {2,    16,   12, 0x4C, 15, 3,   7,  3,  3,  5,  15,  //
        0x4D, 0x02, 3,  9,    4,  250, 4,  1,  2,  2,  4,  3,  1,  2,  3,  4,
        5,    6,    7,  8,    9,  10,  11, 12, 13, 14, 15, 16, 17, 18, 19, 20,  //
        0x7C, 200,  2,  9,    0,  3,   7,  8}},
      // Degenerate: one file, its image 0 wide on a 2x2 screen (a null
      // pointer to memcpy in b409608); a screen 0 wide; images smaller than
      // the screen at offsets.
      {"first_image_0_wide", {0, 2, 2, 0x02, 1, 0, 0, 0, 0, 0, 2, 0}},
      {"screen_0_wide",
       {2, 0, 3, 0x00, 3, 0, 0, 0, 0x01, 0x00, 0, 0x02, 7, 1, 1, 1, 3, 3, 2, 1, 0}},
      {"placed_images",
       {1, 10, 8, 0x02, 7, 2, 9, 3, 2, 5, 4, 3, 7, 8, 0x02, 7, 2, 9, 0, 0, 10, 8, 3, 8, 8}},
      // Colours added to a frame table's padding one index early (45673f5):
      // found by fuzz_optimize (minimised), and by a random search.
      {"found_padding_one_early_fuzzing",
       {0x82, 0x9D, 0x60, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x21, 0x4E, 0xF2,
        0x0C, 0x70, 0x61, 0x00, 0x00, 0xD9, 0x02, 0x00, 0x00, 0x47, 0x49, 0x54, 0x03,
        0x00, 0x30, 0x61, 0x00, 0x00, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0}},
      {"found_padding_one_early",
       {0x03, 0x08, 0x18, 0x00, 0x3F, 0x03, 0xBE, 0x02, 0x5F, 0x4A, 0x01, 0x0C, 0xC9,
        0xB6, 0x1B, 0x4E, 0x08, 0x06, 0xCB, 0x2C, 0xCA, 0xB5, 0x16, 0x1A, 0x9C, 0x13,
        0xE4, 0x49, 0x68, 0xA3, 0x57, 0xDA, 0xE1, 0xF4, 0xFF, 0x20, 0x01, 0x1C, 0x01,
        0xAC, 0xEC, 0xE2, 0x59, 0xA4, 0x7B, 0xA5, 0xDB, 0x03, 0xFE, 0xB8}},
  };
  for (const auto& [name, bytes] : seeds) save(dir, name, bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr,
                 "usage: make_seed_corpus READ_DIR ROUNDTRIP_DIR JOIN_DIR [OPTIMIZE_DIR]\n");
    return 2;
  }
  for (int i = 1; i < argc; ++i) std::filesystem::create_directories(argv[i]);
  readSeeds(argv[1]);
  roundtripSeeds(argv[2]);
  joinSeeds(argv[1], argv[3]);
  if (argc == 5) optimizeSeeds(argv[4]);
  return 0;
}
