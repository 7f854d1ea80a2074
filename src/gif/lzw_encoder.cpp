// LZW encoder: the direct-lookup string table and the compression loop. Codes start at codeSize + 1
// bits, widen when the next code to assign needs another bit, and the table starts again with a
// clear code once code 4095 is assigned and the next string is not found.
#include "gif/lzw_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>
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

// Clearing::WhenWorse counts the pixels of the strings emitted in windows
// of kWindow codes: a full table is kept while each window covers at least
// 7/8 of what the last window before it filled covered.
constexpr std::uint32_t kWindow = 512;
struct Windows {
  explicit Windows(Clearing clearing) : sixteenths(clearing == Clearing::Never ? 0 : 14) {}
  std::uint32_t codes = 0;
  std::uint32_t pixels = 0;
  std::uint32_t before = 0;  // the last window before the table filled
  std::uint32_t sixteenths;  // worse below this share of `before`; 0: never
  // Count a string of `length` pixels; true when the table, full, should
  // start again.
  bool count(std::uint32_t length, bool full) {
    pixels += length;
    if (++codes < kWindow) return false;
    const bool worse = full && pixels * 16 < before * sixteenths;
    if (!full) before = pixels;
    codes = 0;
    pixels = 0;
    return worse;
  }
};

// Values read through a table of 256 from 16-bit codes.
struct LookedUp {
  const std::uint16_t* codes;
  const std::uint8_t* lookup;
  std::uint8_t operator[](std::size_t i) const { return lookup[codes[i]]; }
};

// Where the run that pixel `from` - 1 begins goes on to, at least: any
// index up to the run's end will do. Codes equal to the one before have
// its value, and pass four at a time.
inline std::size_t sameAhead(const std::uint8_t*, std::size_t from, std::size_t) {
  return from;
}
inline std::size_t sameAhead(LookedUp pixels, std::size_t from, std::size_t count) {
  const std::uint16_t code = pixels.codes[from - 1];
  const std::uint64_t four = code * std::uint64_t{0x0001000100010001u};
  while (from + 4 <= count) {
    std::uint64_t word = 0;
    std::memcpy(&word, pixels.codes + from, sizeof word);
    if (word != four) break;
    from += 4;
  }
  return from;
}
template <typename Pixels>
std::size_t sameAhead(Pixels, std::size_t from, std::size_t) {
  return from;
}

}  // namespace

std::uint16_t* LZWEncoder::childTable() {
  if (!child_) {  // kept all zero between frames
    child_.reset(
        static_cast<std::uint16_t*>(std::calloc(std::size_t{256} << 12, sizeof(std::uint16_t))));
    if (!child_) throw std::bad_alloc();
  }
  return child_.get();
}

std::uint16_t* LZWEncoder::beginImage(std::int32_t& codeSize, std::vector<std::uint8_t>& out,
                                      std::size_t expected) {
  codeSize = raisedCodeSize(codeSize);
  std::uint16_t* const child = childTable();
  out.push_back(static_cast<std::uint8_t>(codeSize));
  out.reserve(out.size() + expected + 64);
  buffer_.init_buffer(out);
  return child;
}

void LZWEncoder::endImage(std::uint32_t endCode, std::int32_t width) {
  buffer_.put_code(endCode, width);
  buffer_.write_data_block();
  buffer_.free_buffer();
}

template <Clearing kClearing, typename Pixels>
void LZWEncoder::encodeValues(Pixels pixels, std::size_t count, std::size_t total,
                              std::int32_t& codeSize, std::vector<std::uint8_t>& out) {
  // Worst case a little over 1.5 bytes per pixel; reserving about half a
  // byte per pixel covers typical images in one growth.
  std::uint16_t* const child = beginImage(codeSize, out, total / 2);
  const std::int32_t shift = codeSize;
  const std::uint32_t mask = (1u << shift) - 1;
  const std::uint32_t clearCode = mask + 1;
  const std::uint32_t endCode = clearCode + 1;
  constexpr std::uint32_t kMaxCode = kLzwCodes - 1;

  // Rung k of every value's ladder side by side: short ladders, which are
  // the most, share a few pages. Rung 0 (the value itself) is never stored.
  constexpr std::size_t kValues = 256;
  if (!ladder_) ladder_.reset(new std::uint16_t[kLzwCodes * kValues]);
  std::uint16_t* const ladder = ladder_.get();

  Windows windows(kClearing);
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
    if constexpr (kClearing != Clearing::WhenFull) {
      std::fill_n(length_.begin(), clearCode, std::uint16_t{1});
      windows = Windows(kClearing);
    }
  };
  clearTable();

  // The string prefix + value was not found: emit the prefix and give the
  // string the next code (in the probed free slot), or start a fresh table
  // when every code is taken (Clearing::WhenFull) or when the full table
  // has started to do worse (Clearing::WhenWorse).
  auto notFound = [&](std::uint32_t prefix, std::uint32_t value, std::uint32_t cell) {
    buffer_.put_code(prefix, width);
    if constexpr (kClearing != Clearing::WhenFull) {
      if (windows.count(length_[prefix], nextCode > kMaxCode)) {
        buffer_.put_code(clearCode, width);
        clearTable();
        return;
      }
      if (nextCode > kMaxCode) return;
      length_[nextCode] = static_cast<std::uint16_t>(length_[prefix] + 1);
    } else if (nextCode > kMaxCode) {
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
        std::size_t end = sameAhead(pixels, i + 2, count);
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
  endImage(endCode, width);
  clearTable();
}

void LZWEncoder::encode(const std::int32_t* pixels, std::size_t count, std::int32_t& codeSize,
                        std::vector<std::uint8_t>& out) {
  encodeValues<Clearing::WhenFull>(pixels, count, count, codeSize, out);
}

void LZWEncoder::encode(const std::uint8_t* pixels, std::size_t count, std::size_t total,
                        std::int32_t& codeSize, std::vector<std::uint8_t>& out, Clearing clearing) {
  if (clearing == Clearing::WhenWorse) {
    encodeValues<Clearing::WhenWorse>(pixels, count, std::max(count, total), codeSize, out);
  } else if (clearing == Clearing::Never) {
    encodeValues<Clearing::Never>(pixels, count, std::max(count, total), codeSize, out);
  } else {
    encodeValues<Clearing::WhenFull>(pixels, count, std::max(count, total), codeSize, out);
  }
}

void LZWEncoder::encode(const std::uint16_t* codes, const std::uint8_t* lookup, std::size_t count,
                        std::int32_t& codeSize, std::vector<std::uint8_t>& out, Clearing clearing) {
  if (clearing == Clearing::WhenWorse) {
    encodeValues<Clearing::WhenWorse>(LookedUp{codes, lookup}, count, count, codeSize, out);
  } else if (clearing == Clearing::Never) {
    encodeValues<Clearing::Never>(LookedUp{codes, lookup}, count, count, codeSize, out);
  } else {
    encodeValues<Clearing::WhenFull>(LookedUp{codes, lookup}, count, count, codeSize, out);
  }
}

namespace {
// Strings a choosing match follows at once. Eight keep nearly all of the
// gain of following every one; more cost time for nothing.
constexpr std::size_t kFollowed = 8;
}  // namespace

// Each code is emitted for the longest string the table knows that the
// pixels from there on can be read as, taking either value of each pixel:
// the strings that match so far are followed side by side (each code has
// one prefix and one value, so they never meet). Of the longest, the
// newest code is kept: its string is the one most like what came lately.
// A string starting on a choice takes the value that reaches further, and
// on a tie the value of the pixel before, so runs go on.
template <typename Pixels>
void LZWEncoder::choosingValues(Pixels first, Pixels second, std::size_t count,
                                std::int32_t& codeSize, std::vector<std::uint8_t>& out,
                                Clearing clearing) {
  std::uint16_t* const child = beginImage(codeSize, out, count / 4);
  const std::uint32_t clearCode = 1u << codeSize;
  const std::uint32_t endCode = clearCode + 1;
  constexpr std::uint32_t kMaxCode = kLzwCodes - 1;

  std::uint32_t nextCode = clearCode + 2;
  std::int32_t width = codeSize + 1;
  std::uint32_t widthLimit = (1u << width) - 1;
  Windows windows(clearing);
  auto clearTable = [&] {
    for (std::uint32_t c = clearCode + 2; c < nextCode; ++c) child[cellOf_[c]] = 0;
    nextCode = clearCode + 2;
    width = codeSize + 1;
    widthLimit = (1u << width) - 1;
    std::fill_n(length_.begin(), clearCode, std::uint16_t{1});
    windows = Windows(clearing);
  };
  clearTable();
  buffer_.put_code(clearCode, width);

  std::array<std::uint16_t, kFollowed> held{};
  std::array<std::uint16_t, kFollowed> grown{};
  // How many pixels from `start` the longest string beginning with `root`
  // takes; its code goes to `end`.
  auto longest = [&](std::uint32_t root, std::size_t start, std::uint32_t& end) {
    std::uint16_t* now = held.data();
    std::uint16_t* then = grown.data();
    now[0] = static_cast<std::uint16_t>(root);
    std::size_t strings = 1;
    std::size_t j = start + 1;
    for (; j < count; ++j) {
      const std::uint32_t v = first[j];
      const std::uint32_t w = second[j];
      std::size_t kept = 0;
      for (std::size_t s = 0; s < strings && kept < kFollowed; ++s) {
        const std::uint32_t byFirst = child[v << 12 | now[s]];
        if (byFirst != 0) then[kept++] = static_cast<std::uint16_t>(byFirst);
        if (w != v && kept < kFollowed) {
          const std::uint32_t bySecond = child[w << 12 | now[s]];
          if (bySecond != 0) then[kept++] = static_cast<std::uint16_t>(bySecond);
        }
      }
      if (kept == 0) break;
      std::swap(now, then);
      strings = kept;
    }
    end = *std::max_element(now, now + strings);
    return j - start;
  };

  std::size_t i = 0;
  bool pending = false;  // `prefix` waits to be emitted
  std::uint32_t prefix = 0;
  std::uint32_t before = count > 0 ? first[0] : 0;  // value of the last pixel without a choice
  while (i < count) {
    if (pending) {
      const bool full = nextCode > kMaxCode;
      if (clearing == Clearing::WhenFull ? full : windows.count(length_[prefix], full)) {
        buffer_.put_code(prefix, width);
        buffer_.put_code(clearCode, width);
        clearTable();
        pending = false;
      }
    }
    // The string that begins here with `root`, as the table will know it
    // once the pending prefix has taken root as its next value.
    auto from = [&](std::uint32_t root, std::uint32_t& end) {
      if (!pending || nextCode > kMaxCode) return longest(root, i, end);
      const std::uint32_t cell = root << 12 | prefix;
      child[cell] = static_cast<std::uint16_t>(nextCode);
      const std::size_t length = longest(root, i, end);
      child[cell] = 0;
      return length;
    };
    std::uint32_t root = first[i];
    std::uint32_t end = 0;
    std::size_t length = from(root, end);
    const std::uint32_t other = second[i];
    if (other != root) {
      std::uint32_t otherEnd = 0;
      const std::size_t otherLength = from(other, otherEnd);
      if (otherLength > length || (otherLength == length && other == before)) {
        root = other;
        end = otherEnd;
        length = otherLength;
      }
    }
    if (pending && nextCode > kMaxCode) {
      buffer_.put_code(prefix, width);  // the full table kept
    } else if (pending) {
      buffer_.put_code(prefix, width);
      length_[nextCode] = static_cast<std::uint16_t>(length_[prefix] + 1);
      if (nextCode > widthLimit) {
        ++width;
        widthLimit = 2 * widthLimit + 1;
      }
      const std::uint32_t cell = root << 12 | prefix;
      child[cell] = static_cast<std::uint16_t>(nextCode);
      cellOf_[nextCode] = cell;
      ++nextCode;
    }
    prefix = end;
    pending = true;
    i += length;
    if (first[i - 1] == second[i - 1]) before = first[i - 1];
  }
  if (pending) buffer_.put_code(prefix, width);
  endImage(endCode, width);
  clearTable();
}

void LZWEncoder::encodeChoosing(const std::uint16_t* codes, const std::uint8_t* first,
                                const std::uint8_t* second, std::size_t count,
                                std::int32_t& codeSize, std::vector<std::uint8_t>& out,
                                Clearing clearing) {
  choosingValues(LookedUp{codes, first}, LookedUp{codes, second}, count, codeSize, out, clearing);
}

void LZWEncoder::encodeChoosing(const std::uint8_t* first, const std::uint8_t* second,
                                std::size_t count, std::int32_t& codeSize,
                                std::vector<std::uint8_t>& out, Clearing clearing) {
  choosingValues(first, second, count, codeSize, out, clearing);
}

// Greedy matching within a bound: each pixel extends the string with its
// own value when the table knows that string, else with the nearest value
// of near[v] it knows; only when none is known is the string emitted and
// the pixel's own value starts the next one.
template <Clearing kClearing>
void LZWEncoder::nearValues(const std::uint16_t* codes, const std::uint8_t* lookup,
                            std::size_t count, std::int32_t& codeSize,
                            std::vector<std::uint8_t>& out, const NearValues& near) {
  std::uint16_t* const child = beginImage(codeSize, out, count / 4);
  const std::uint32_t mask = (1u << codeSize) - 1;
  const std::uint32_t clearCode = mask + 1;
  const std::uint32_t endCode = clearCode + 1;
  constexpr std::uint32_t kMaxCode = kLzwCodes - 1;
  std::uint32_t nextCode = clearCode + 2;
  std::int32_t width = codeSize + 1;
  std::uint32_t widthLimit = (1u << width) - 1;
  Windows windows(kClearing);
  auto clearTable = [&] {
    for (std::uint32_t c = clearCode + 2; c < nextCode; ++c) child[cellOf_[c]] = 0;
    nextCode = clearCode + 2;
    width = codeSize + 1;
    widthLimit = (1u << width) - 1;
    if constexpr (kClearing != Clearing::WhenFull) {
      std::fill_n(length_.begin(), clearCode, std::uint16_t{1});
      windows = Windows(kClearing);
    }
  };
  clearTable();
  auto notFound = [&](std::uint32_t prefix, std::uint32_t cell) {
    buffer_.put_code(prefix, width);
    if constexpr (kClearing != Clearing::WhenFull) {
      if (windows.count(length_[prefix], nextCode > kMaxCode)) {
        buffer_.put_code(clearCode, width);
        clearTable();
        return;
      }
      if (nextCode > kMaxCode) return;
      length_[nextCode] = static_cast<std::uint16_t>(length_[prefix] + 1);
    } else if (nextCode > kMaxCode) {
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
    ++nextCode;
  };
  buffer_.put_code(clearCode, width);
  if (count > 0) {
    std::uint32_t prefix = lookup[codes[0]] & mask;
    for (std::size_t i = 1; i < count; ++i) {
      const std::uint32_t value = lookup[codes[i]] & mask;
      std::uint32_t found = child[value << 12 | prefix];
      if (found == 0) {
        const std::uint8_t* other = near[value].data();
        for (; *other != value && found == 0; ++other) found = child[*other << 12 | prefix];
      }
      if (found != 0) {
        prefix = found;
      } else {
        notFound(prefix, value << 12 | prefix);
        prefix = value;
      }
    }
    buffer_.put_code(prefix, width);
  }
  endImage(endCode, width);
  clearTable();
}

void LZWEncoder::encodeNear(const std::uint16_t* codes, const std::uint8_t* lookup,
                            std::size_t count, std::int32_t& codeSize,
                            std::vector<std::uint8_t>& out, Clearing clearing,
                            const NearValues& near) {
  codeSize = raisedCodeSize(codeSize);
  if (clearing == Clearing::WhenWorse) {
    nearValues<Clearing::WhenWorse>(codes, lookup, count, codeSize, out, near);
  } else if (clearing == Clearing::Never) {
    nearValues<Clearing::Never>(codes, lookup, count, codeSize, out, near);
  } else {
    nearValues<Clearing::WhenFull>(codes, lookup, count, codeSize, out, near);
  }
}

}  // namespace gifjoin
