// Test helpers for hand-made GIF files: a byte builder for headers, blocks
// and sub-blocks, least-significant-bit-first code packing, a small LZW
// encoder (with or without clear codes when its table is full) and
// temporary files that remove themselves.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gifjoin::testing {

using Bytes = std::vector<std::uint8_t>;

// A code and the number of bits it is written with.
struct Code {
  int value;
  int width;
};

// Pack codes into bytes, first bit of the stream lowest; the last byte is
// padded with zero bits.
inline Bytes packCodes(const std::vector<Code>& codes) {
  Bytes out;
  std::uint32_t accumulator = 0;
  int bits = 0;
  for (const Code& code : codes) {
    accumulator |= static_cast<std::uint32_t>(code.value) << bits;
    bits += code.width;
    while (bits >= 8) {
      out.push_back(static_cast<std::uint8_t>(accumulator & 0xFF));
      accumulator >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) out.push_back(static_cast<std::uint8_t>(accumulator & 0xFF));
  return out;
}

struct LzwOptions {
  bool clearAtStart = true;   // begin with a clear code
  bool clearWhenFull = true;  // clear when the table is full; else keep it frozen
  bool endCode = true;        // finish with the end code
};

// LZW codes of `values` (each below 2^minCodeSize) with the width a reader
// reads each of them with.
inline std::vector<Code> lzwCodes(const std::vector<int>& values, int minCodeSize,
                                  LzwOptions options = {}) {
  const int clear = 1 << minCodeSize;
  const int end = clear + 1;
  // The reader's view: its next table entry and code width.
  int readerNext = clear + 2;
  int readerWidth = minCodeSize + 1;
  int readerLimit = 2 * clear;
  bool firstOfString = true;
  std::vector<Code> codes;
  const auto emit = [&](int code) {
    codes.push_back({code, readerWidth});
    if (code == clear) {
      readerNext = clear + 2;
      readerWidth = minCodeSize + 1;
      readerLimit = 2 * clear;
      firstOfString = true;
      return;
    }
    if (code == end) return;
    if (firstOfString) {
      firstOfString = false;
      return;
    }
    if (readerNext <= 4095) {
      ++readerNext;
      if (readerNext >= readerLimit && readerLimit != 4096) {
        ++readerWidth;
        readerLimit *= 2;
      }
    }
  };

  std::map<std::pair<int, int>, int> dictionary;
  int next = clear + 2;
  if (options.clearAtStart) emit(clear);
  if (!values.empty()) {
    int prefix = values[0];
    for (std::size_t i = 1; i < values.size(); ++i) {
      const auto key = std::make_pair(prefix, values[i]);
      const auto found = dictionary.find(key);
      if (found != dictionary.end()) {
        prefix = found->second;
        continue;
      }
      emit(prefix);
      if (next < 4096) {
        dictionary[key] = next++;
      } else if (options.clearWhenFull) {
        emit(clear);
        dictionary.clear();
        next = clear + 2;
      }
      prefix = values[i];
    }
    emit(prefix);
  }
  if (options.endCode) emit(end);
  return codes;
}

inline Bytes lzwEncode(const std::vector<int>& values, int minCodeSize, LzwOptions options = {}) {
  return packCodes(lzwCodes(values, minCodeSize, options));
}

// Builder of a GIF byte sequence, block by block.
class GifBytes {
 public:
  GifBytes& raw(std::initializer_list<int> bytes) {
    for (int b : bytes) bytes_.push_back(static_cast<std::uint8_t>(b));
    return *this;
  }
  GifBytes& raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  GifBytes& text(std::string_view text) {
    for (char c : text) bytes_.push_back(static_cast<std::uint8_t>(c));
    return *this;
  }
  GifBytes& u16(int value) { return raw({value & 0xFF, (value >> 8) & 0xFF}); }

  GifBytes& header(std::string_view signature = "GIF89a") { return text(signature); }
  // Logical screen descriptor.
  GifBytes& screen(int width, int height, int packed = 0, int background = 0, int aspect = 0) {
    u16(width).u16(height);
    return raw({packed, background, aspect});
  }
  // A colour table whose entry i is (i, 255 - i, 3i) modulo 256.
  GifBytes& colorTable(int entries) {
    for (int i = 0; i < entries; ++i) raw({i & 0xFF, (255 - i) & 0xFF, (3 * i) & 0xFF});
    return *this;
  }
  // `data` as sub-blocks of at most `chunk` bytes, then the terminator.
  GifBytes& subBlocks(const Bytes& data, std::size_t chunk = 255) {
    for (std::size_t at = 0; at < data.size(); at += chunk) {
      const std::size_t n = std::min(chunk, data.size() - at);
      bytes_.push_back(static_cast<std::uint8_t>(n));
      bytes_.insert(bytes_.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                    data.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    bytes_.push_back(0);
    return *this;
  }
  GifBytes& extension(int label, const std::vector<Bytes>& blocks) {
    raw({0x21, label});
    for (const Bytes& block : blocks) {
      bytes_.push_back(static_cast<std::uint8_t>(block.size()));
      raw(block);
    }
    bytes_.push_back(0);
    return *this;
  }
  GifBytes& graphicControl(int packed, int delay, int transparent) {
    return extension(
        0xF9,
        {{static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(delay & 0xFF),
          static_cast<std::uint8_t>((delay >> 8) & 0xFF), static_cast<std::uint8_t>(transparent)}});
  }
  GifBytes& comment(const std::vector<std::string>& texts) {
    std::vector<Bytes> blocks;
    for (const std::string& t : texts) blocks.emplace_back(t.begin(), t.end());
    return extension(0xFE, blocks);
  }
  GifBytes& imageDescriptor(int width, int height, int packed = 0, int left = 0, int top = 0) {
    raw({0x2C});
    u16(left).u16(top).u16(width).u16(height);
    return raw({packed});
  }
  // Code size byte and the code bytes as sub-blocks.
  GifBytes& imageData(int minCodeSize, const Bytes& codeBytes, std::size_t chunk = 255) {
    raw({minCodeSize});
    return subBlocks(codeBytes, chunk);
  }
  // Descriptor and data of a whole image of the given values.
  GifBytes& image(int width, int height, const std::vector<int>& values, int minCodeSize,
                  int packed = 0) {
    imageDescriptor(width, height, packed);
    return imageData(minCodeSize, lzwEncode(values, minCodeSize));
  }
  GifBytes& trailer() { return raw({0x3B}); }

  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A file in the temporary directory holding the given bytes; removed when
// the object goes.
class TempFile {
 public:
  explicit TempFile(const Bytes& bytes, std::string_view suffix = ".gif") {
    static std::atomic<unsigned> counter{0};
    std::random_device seed;
    path_ =
        (std::filesystem::temp_directory_path() / ("gifjoin_test_" + std::to_string(seed()) + "_" +
                                                   std::to_string(counter++) + std::string(suffix)))
            .string();
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace gifjoin::testing
