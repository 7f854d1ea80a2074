// LZW encoder: the direct-lookup string table and the compression loop. Codes start at codeSize + 1
// bits, widen when the next code to assign needs another bit, and the table starts again with a
// clear code once code 4095 is assigned and the next string is not found.
#include "gif/lzw_encoder.h"

#include <algorithm>
#include <new>

namespace gifjoin {

// ---- LZWEncoder ------------------------------------------------------------

namespace {

// A hint to bring a table cell into the cache; nothing where the compiler
// offers no such hint.
inline void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// Values read through a table of 256 from 16-bit codes.
struct LookedUp {
  const std::uint16_t* codes;
  const std::uint8_t* lookup;
  std::uint8_t operator[](std::size_t i) const { return lookup[codes[i]]; }
};

}  // namespace

std::uint16_t* LZWEncoder::childTable() {
  if (!child_) {  // kept all zero between frames
    child_.reset(
        static_cast<std::uint16_t*>(std::calloc(std::size_t{256} << 12, sizeof(std::uint16_t))));
    if (!child_) throw std::bad_alloc();
  }
  return child_.get();
}

template <typename Pixels>
void LZWEncoder::encodeValues(Pixels pixels, std::size_t count, std::size_t total,
                              std::int32_t& codeSize, std::vector<std::uint8_t>& out) {
  codeSize = raisedCodeSize(codeSize);
  const std::int32_t shift = codeSize;
  const std::uint32_t mask = (1u << shift) - 1;
  const std::uint32_t clearCode = mask + 1;
  const std::uint32_t endCode = clearCode + 1;
  constexpr std::uint32_t kMaxCode = kLzwCodes - 1;

  std::uint16_t* const child = childTable();

  out.push_back(static_cast<std::uint8_t>(codeSize));
  // Worst case a little over 1.5 bytes per pixel; reserving about half a
  // byte per pixel covers typical images in one growth.
  out.reserve(out.size() + total / 2 + 64);
  buffer_.init_buffer(out);

  // Rung k of every value's ladder side by side: short ladders, which are
  // the most, share a few pages. Rung 0 (the value itself) is never stored.
  constexpr std::size_t kValues = 256;
  if (!ladder_) ladder_.reset(new std::uint16_t[kLzwCodes * kValues]);
  std::uint16_t* const ladder = ladder_.get();

  std::uint32_t nextCode = clearCode + 2;
  std::int32_t width = codeSize + 1;
  std::uint32_t widthLimit = (1u << width) - 1;
  auto clearTable = [&] {
    for (std::uint32_t c = clearCode + 2; c < nextCode; ++c) child[cellOf_[c]] = 0;
    nextCode = clearCode + 2;
    width = codeSize + 1;
    widthLimit = (1u << width) - 1;
    std::fill_n(ladderLength_.begin(), mask + 1, std::uint16_t{1});
    for (std::uint32_t v = 0; v <= mask; ++v) ladderTop_[v] = static_cast<std::uint16_t>(v);
  };
  clearTable();

  // The string prefix + value was not found: emit the prefix and give the
  // string the next code (in the probed free slot), or start a fresh table
  // when every code is taken.
  auto notFound = [&](std::uint32_t prefix, std::uint32_t value, std::uint32_t cell) {
    buffer_.put_code(prefix, width);
    if (nextCode > kMaxCode) {
      buffer_.put_code(clearCode, width);
      clearTable();
      return;
    }
    if (nextCode > widthLimit) {
      ++width;
      widthLimit = 2 * widthLimit + 1;
    }
    child[cell] = static_cast<std::uint16_t>(nextCode);
    cellOf_[nextCode] = cell;
    if (ladderTop_[value] == prefix) {
      const std::uint32_t rungs = ladderLength_[value];
      ladder[rungs * kValues + value] = static_cast<std::uint16_t>(nextCode);
      ladderLength_[value] = static_cast<std::uint16_t>(rungs + 1);
      ladderTop_[value] = static_cast<std::uint16_t>(nextCode);
    }
    ++nextCode;
  };
  // prefix is the string of one `value`, and `left` more pixels of that
  // value follow: climb the ladder of that value's strings instead of
  // looking up each pixel.
  auto climb = [&](std::uint32_t& prefix, std::uint32_t value, std::size_t left) {
    const std::uint16_t* const rung = ladder + value;
    while (left > 0) {
      const std::size_t top = ladderLength_[value];
      if (left < top) {  // the whole rest of the run extends the string
        prefix = rung[left * kValues];
        break;
      }
      // top - 1 pixels reach the longest string; the next one is new.
      const std::uint32_t longest = top == 1 ? value : rung[(top - 1) * kValues];
      notFound(longest, value, (value << 12) | longest);
      prefix = value;
      left -= top;
    }
  };
  buffer_.put_code(clearCode, width);
  if (total > 0) {
    std::uint32_t prefix = count > 0 ? static_cast<std::uint32_t>(pixels[0]) & mask : 0;
    std::size_t i = 1;
    while (i < count) {
      const std::uint32_t value = static_cast<std::uint32_t>(pixels[i]) & mask;
      if (prefix == value && i + 1 < count &&
          (static_cast<std::uint32_t>(pixels[i + 1]) & mask) == value) {
        // The string is the single value and a run of it follows: climb the
        // ladder of that value's strings instead of looking up each pixel.
        std::size_t end = i + 2;
        while (end < count && (static_cast<std::uint32_t>(pixels[end]) & mask) == value) ++end;
        // A run of zeros that reaches the unheld rest goes on to the end.
        if (end == count && value == 0) end = total;
        climb(prefix, value, end - i);
        i = end;
        continue;
      }
      const std::uint32_t cell = (value << 12) | prefix;
      if (i + 1 < count) {
        // When prefix + value is new, value is the next prefix: fetch that
        // cell while this lookup is still on its way.
        prefetch(child + ((static_cast<std::uint32_t>(pixels[i + 1]) & mask) << 12 | value));
      }
      const std::uint32_t found = child[cell];
      if (found != 0) {
        prefix = found;
      } else {
        notFound(prefix, value, cell);
        prefix = value;
      }
      ++i;
    }
    // The rest of the frame is zeros: single steps until the string is the
    // single value 0, then one climb of its ladder for all that is left.
    while (i < total && prefix != 0) {
      const std::uint32_t cell = prefix;  // value 0
      const std::uint32_t found = child[cell];
      if (found != 0) {
        prefix = found;
      } else {
        notFound(prefix, 0, cell);
        prefix = 0;
      }
      ++i;
    }
    if (i < total) climb(prefix, 0, total - i);
    buffer_.put_code(prefix, width);
  }
  buffer_.put_code(endCode, width);
  buffer_.write_data_block();
  buffer_.free_buffer();
  clearTable();
}

void LZWEncoder::encode(const std::int32_t* pixels, std::size_t count, std::int32_t& codeSize,
                        std::vector<std::uint8_t>& out) {
  encodeValues(pixels, count, count, codeSize, out);
}

void LZWEncoder::encode(const std::uint8_t* pixels, std::size_t count, std::size_t total,
                        std::int32_t& codeSize, std::vector<std::uint8_t>& out) {
  encodeValues(pixels, count, std::max(count, total), codeSize, out);
}

void LZWEncoder::encode(const std::uint16_t* codes, const std::uint8_t* lookup, std::size_t count,
                        std::int32_t& codeSize, std::vector<std::uint8_t>& out) {
  encodeValues(LookedUp{codes, lookup}, count, count, codeSize, out);
}

namespace {
// Pixels a choice looks ahead at.
constexpr std::size_t kLookAhead = 32;
}  // namespace

template <typename Pixels>
void LZWEncoder::choosingValues(Pixels first, Pixels second, std::size_t count,
                                std::int32_t& codeSize, std::vector<std::uint8_t>& out) {
  codeSize = raisedCodeSize(codeSize);
  const std::uint32_t clearCode = 1u << codeSize;
  const std::uint32_t endCode = clearCode + 1;
  constexpr std::uint32_t kMaxCode = kLzwCodes - 1;
  std::uint16_t* const child = childTable();
  out.push_back(static_cast<std::uint8_t>(codeSize));
  out.reserve(out.size() + count / 4 + 64);
  buffer_.init_buffer(out);

  std::uint32_t nextCode = clearCode + 2;
  std::int32_t width = codeSize + 1;
  std::uint32_t widthLimit = (1u << width) - 1;
  auto clearTable = [&] {
    for (std::uint32_t c = clearCode + 2; c < nextCode; ++c) child[cellOf_[c]] = 0;
    nextCode = clearCode + 2;
    width = codeSize + 1;
    widthLimit = (1u << width) - 1;
  };
  buffer_.put_code(clearCode, width);
  if (count > 0) {
    std::uint32_t prefix = first[0];
    std::uint32_t last = prefix;  // the value written for the pixel before
    // How many pixels after i the string `code` (which ends with pixel i)
    // goes on with, taking at each pixel the first value that the table
    // knows; at most kLookAhead.
    auto reach = [&](std::uint32_t code, std::size_t i) {
      std::size_t n = 0;
      for (std::size_t j = i + 1; j < count && n < kLookAhead; ++j, ++n) {
        std::uint32_t found = child[std::uint32_t{first[j]} << 12 | code];
        if (found == 0) found = child[std::uint32_t{second[j]} << 12 | code];
        if (found == 0) break;
        code = found;
      }
      return n;
    };
    for (std::size_t i = 1; i < count; ++i) {
      const std::uint32_t v = first[i];
      const std::uint32_t w = second[i];
      const std::uint32_t byFirst = child[v << 12 | prefix];
      if (w == v) {
        if (byFirst != 0) {
          prefix = byFirst;
          last = v;
          continue;
        }
      } else {
        const std::uint32_t bySecond = child[w << 12 | prefix];
        if (byFirst != 0 || bySecond != 0) {
          // Both go on: take the string that goes on further.
          const bool takeSecond =
              byFirst == 0 || (bySecond != 0 && reach(bySecond, i) > reach(byFirst, i));
          prefix = takeSecond ? bySecond : byFirst;
          last = takeSecond ? w : v;
          continue;
        }
      }
      // A new string: it starts with the value whose string goes on
      // further, else with the value of the pixel before, so runs go on.
      std::uint32_t x = v;
      if (w != v) {
        const std::size_t byV = reach(v, i);
        const std::size_t byW = reach(w, i);
        x = byV != byW ? (byW > byV ? w : v) : (w == last ? w : v);
      }
      buffer_.put_code(prefix, width);
      if (nextCode > kMaxCode) {
        buffer_.put_code(clearCode, width);
        clearTable();
      } else {
        if (nextCode > widthLimit) {
          ++width;
          widthLimit = 2 * widthLimit + 1;
        }
        const std::uint32_t cell = x << 12 | prefix;
        child[cell] = static_cast<std::uint16_t>(nextCode);
        cellOf_[nextCode] = cell;
        ++nextCode;
      }
      prefix = x;
      last = x;
    }
    buffer_.put_code(prefix, width);
  }
  buffer_.put_code(endCode, width);
  buffer_.write_data_block();
  buffer_.free_buffer();
  clearTable();
}

void LZWEncoder::encodeChoosing(const std::uint16_t* codes, const std::uint8_t* first,
                                const std::uint8_t* second, std::size_t count,
                                std::int32_t& codeSize, std::vector<std::uint8_t>& out) {
  choosingValues(LookedUp{codes, first}, LookedUp{codes, second}, count, codeSize, out);
}

void LZWEncoder::encodeChoosing(const std::uint8_t* first, const std::uint8_t* second,
                                std::size_t count, std::int32_t& codeSize,
                                std::vector<std::uint8_t>& out) {
  choosingValues(first, second, count, codeSize, out);
}

}  // namespace gifjoin
