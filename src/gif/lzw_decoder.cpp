// LZW decoding of one image's codes: clear and end codes, the string table,
// the value stack, code width growth and the corrupt-table report. The bulk
// path writes well-formed strings straight into the output and hands every
// other code to the one-value-per-call logic, so both paths agree exactly.
#include "gif/lzw_decoder.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "general/console.h"
#include "general/text_field.h"

namespace gifjoin {

void LzwDecoder::resetTable() {
  // Only entries below nextCode were assigned since the table last started
  // (a new decoder's are all zero); the ones above need no clearing. The
  // literal entries below the clear code never change after init.
  const auto literals = static_cast<std::size_t>(std::min(clearCode, kTableSize));
  const auto assigned = static_cast<std::size_t>(std::clamp(nextCode, 0, kTableSize));
  if (assigned > literals) {
    const auto from = static_cast<std::ptrdiff_t>(literals);
    const auto to = static_cast<std::ptrdiff_t>(assigned);
    std::fill(table.begin() + from, table.begin() + to, Entry{0, 0});
    std::fill(length.begin() + from, length.begin() + to, std::uint16_t{0});
  }
  codeWidth = minCodeSize + 1;
  stackTop = 1;
  nextCode = clearCode + 2;
  codeLimit = 2 * clearCode;
}

std::int32_t LzwDecoder::init(CodeReader& codes, std::int32_t minimumCodeSize) {
  // Kept on purpose: a code size above 12 changes nothing, not even the code
  // reader, so the next image starts from the window as it was left.
  if (minimumCodeSize < 0 || minimumCodeSize > kMaxMinCodeSize) return -1;
  minCodeSize = minimumCodeSize;
  clearCode = 1 << minCodeSize;
  endCode = clearCode + 1;
  // Literal entries of a wider previous alphabet lie below its nextCode and
  // are cleared with the assigned ones.
  resetTable();
  const auto literals = static_cast<std::size_t>(std::min(clearCode, kTableSize));
  for (std::size_t code = 0; code < literals; ++code) {
    table[code] = Entry{0, static_cast<std::uint16_t>(code)};
    length[code] = 1;
    firstOf_[code] = static_cast<std::uint16_t>(code);
  }
  codes.reset();
  freshStart = true;
  return 0;
}

void LzwDecoder::addEntry(std::int32_t prefix, std::int32_t suffix) {
  if (nextCode > kTableSize - 1) return;  // table full: frozen until a clear code
  const auto slot = static_cast<std::size_t>(nextCode);
  table[slot] = Entry{static_cast<std::int16_t>(prefix), static_cast<std::uint16_t>(suffix)};
  copyRun_[slot] = 0;
  const bool wellFormed =
      static_cast<std::uint32_t>(prefix) < static_cast<std::uint32_t>(nextCode) &&
      length[static_cast<std::size_t>(prefix)] != 0;
  length[slot] = wellFormed
                     ? static_cast<std::uint16_t>(length[static_cast<std::size_t>(prefix)] + 1)
                     : std::uint16_t{0};
  firstOf_[slot] = wellFormed ? firstOf_[static_cast<std::size_t>(prefix)] : std::uint16_t{0};
  ++nextCode;
  if (nextCode >= codeLimit && codeLimit != kTableSize) {
    ++codeWidth;
    codeLimit *= 2;
  }
}

std::int32_t LzwDecoder::corruptTable(std::int32_t code, std::int32_t prefix, const GIFImage& image,
                                      std::ostream& console) {
  writeLine(console,
            "code =" + rightAligned(code, 6) + ", table(0,code) =" + rightAligned(prefix, 6));
  writeLine(console, "circular table entry in file");
  writeLine(console, trimRight(image.fileName));
  writeLine(console, "this is a serious error.");
  return -2;
}

// The end code: skip what is left of the image data up to its terminator,
// unless the terminator has already been read.
std::int32_t LzwDecoder::endOfData(const GIFImage& image, SubBlockReader& blocks,
                                   std::int32_t& status) {
  if (blocks.zeroDataBlock) return -2;
  for (;;) {
    std::int32_t count = 0;
    get_data_block(blocks, image, skipBuffer_.data(), count, status);
    if (status != 0 || count == 0) return -2;
  }
}

// The first code of a string, right after the start or a clear code: clear
// codes are skipped, an end code ends the data, any other code (even one
// that is no value) is returned as it is.
std::int32_t LzwDecoder::startString(const GIFImage& image, CodeReader& codes,
                                     SubBlockReader& blocks, std::int32_t& status) {
  std::int32_t code = 0;
  do {
    code = codes.read(image, blocks, codeWidth, status);
    firstValue = code;
    prevCode = code;
  } while (code == clearCode);
  if (code == endCode) return endOfData(image, blocks, status);
  return code;
}

std::int32_t LzwDecoder::handleCode(std::int32_t code, const GIFImage& image, CodeReader& codes,
                                    SubBlockReader& blocks, std::int32_t& status) {
  if (code == clearCode) {
    resetTable();
    return startString(image, codes, blocks, status);
  }
  if (code == endCode) return endOfData(image, blocks, status);
  return dataCode(code, image, blocks);
}

// A data code: push its string (last value first), add the new table entry
// and return the string's first value; the rest stays on the stack.
std::int32_t LzwDecoder::dataCode(std::int32_t inCode, const GIFImage& image,
                                  SubBlockReader& blocks) {
  std::int32_t code = inCode;
  if (code >= nextCode) {
    // The string being defined by this very code (or an undefined code):
    // the previous string followed by its own first value.
    push(firstValue);
    code = prevCode;
  }
  while (code >= clearCode || code < 0) {
    // Codes outside the table (13-bit codes, or no previous code at all)
    // and chains that would overflow the stack are corrupt tables too.
    if (code < 0 || code >= kTableSize) return corruptTable(code, 0, image, *blocks.console);
    const Entry entry = table[static_cast<std::size_t>(code)];
    if (stackTop > kStackSize) return corruptTable(code, entry.prefix, image, *blocks.console);
    push(entry.suffix);
    if (entry.prefix == code) return corruptTable(code, entry.prefix, image, *blocks.console);
    code = entry.prefix;
  }
  const Entry entry = table[static_cast<std::size_t>(code)];
  if (stackTop > kStackSize) return corruptTable(code, entry.prefix, image, *blocks.console);
  firstValue = entry.suffix;
  push(firstValue);
  addEntry(prevCode, firstValue);
  prevCode = inCode;
  return pop();
}

std::int32_t LzwDecoder::next(const GIFImage& image, CodeReader& codes, SubBlockReader& blocks,
                              std::int32_t& status) {
  if (freshStart) {
    freshStart = false;
    return startString(image, codes, blocks, status);
  }
  if (stackTop > 1) return pop();
  const std::int32_t code = codes.read(image, blocks, codeWidth, status);
  if (code < 0) return code;
  return handleCode(code, image, codes, blocks, status);
}

std::int32_t LzwDecoder::skipRest(const GIFImage& image, CodeReader& codes, SubBlockReader& blocks,
                                  std::int32_t& status) {
  stackTop = 1;  // values still waiting are dropped like all the others
  if (freshStart) {
    freshStart = false;
    const std::int32_t value = startString(image, codes, blocks, status);
    if (value < 0) return value;
  }
  for (;;) {
    const std::int32_t code = codes.read(image, blocks, codeWidth, status);
    if (code < 0) return code;
    if (code != clearCode && code != endCode) {
      // A well-formed string, or the previous well-formed string followed
      // by its own first value (any code from nextCode on): its first value
      // and the new entry are all that is left of it.
      const auto known = static_cast<std::size_t>(code);
      const auto prev = static_cast<std::size_t>(prevCode);
      if (code < nextCode && length[known] != 0) {
        firstValue = firstOf_[known];
      } else if (code >= nextCode && prevCode >= 0 && prevCode < nextCode && length[prev] != 0) {
        firstValue = firstOf_[prev];
      } else {
        const std::int32_t value = dataCode(code, image, blocks);
        if (value < 0) return value;
        stackTop = 1;
        continue;
      }
      addEntry(prevCode, firstValue);
      prevCode = code;
      continue;
    }
    const std::int32_t value = handleCode(code, image, codes, blocks, status);
    if (value < 0) return value;
    stackTop = 1;
  }
}

namespace {

// Copy `size` values between places of the output that do not overlap. The
// strings of dithered images are mostly a few values long: two overlapping
// fixed-size copies cover them without a library call, and never write
// outside the string.
template <typename Value>
inline void copyValues(const Value* from, std::int32_t size, Value* to) {
  const auto bytes = static_cast<std::size_t>(size) * sizeof(Value);
  const auto* src = reinterpret_cast<const unsigned char*>(from);
  auto* dst = reinterpret_cast<unsigned char*>(to);
  const auto twoCopies = [&](auto head, auto tail) {
    constexpr std::size_t k = sizeof(head);
    std::memcpy(&head, src, k);
    std::memcpy(&tail, src + bytes - k, k);
    std::memcpy(dst, &head, k);
    std::memcpy(dst + bytes - k, &tail, k);
  };
  if (bytes > 32) {
    std::memcpy(dst, src, bytes);
    return;
  }
  if (bytes >= 4) {
    if (bytes < 8) {
      twoCopies(std::uint32_t{}, std::uint32_t{});
    } else if (bytes <= 16) {
      twoCopies(std::uint64_t{}, std::uint64_t{});
    } else {
      twoCopies(std::array<std::uint64_t, 2>{}, std::array<std::uint64_t, 2>{});
    }
    return;
  }
  if (bytes >= 2) {
    twoCopies(std::uint16_t{}, std::uint16_t{});
    return;
  }
  if (bytes == 1) *dst = *src;
}

}  // namespace

// The hot loop, entered with an empty stack. Codes whose whole string is
// well-formed and fits into the room left are written straight into `out`:
// copied from an earlier place of the output where the same string was
// written, or else walked back to front through the table. Any other code
// goes through handleCode, after which the caller drains what it left on
// the stack. The state lives in locals here because stores into `out` could
// otherwise alias it.
template <typename Value>
std::int32_t LzwDecoder::fastRun(const GIFImage& image, CodeReader& codes, SubBlockReader& blocks,
                                 Value* out, std::int32_t n, std::int32_t count, std::int32_t& stop,
                                 std::int32_t& status) {
  const std::int32_t clear = clearCode;
  std::int32_t width = codeWidth;
  std::int32_t nextEntry = nextCode;
  std::int32_t limit = codeLimit;
  std::int32_t prev = prevCode;
  std::int32_t first = firstValue;
  std::int32_t pos = codes.bitPos;
  std::int32_t end = codes.bitEnd;
  Entry* const tab = table.data();
  std::uint16_t* const len = length.data();
  std::uint16_t* const firstOf = firstOf_.data();
  const void** const copyAt = copyAt_.data();
  std::uint32_t* const copyRun = copyRun_.data();
  const std::uint32_t run = run_;
  // Where the previous code's string starts in `out`; -1 when unknown.
  std::int32_t prevStart = -1;

  const auto saveState = [&] {
    codeWidth = width;
    nextCode = nextEntry;
    codeLimit = limit;
    prevCode = prev;
    firstValue = first;
    codes.bitPos = pos;
  };
  // New entry: the previous string plus `suffix`. Written in `out` it is the
  // previous code's string followed by the current string's first value.
  const auto define = [&](std::int32_t suffix) {
    if (nextEntry > kTableSize - 1) return;
    tab[nextEntry] = Entry{static_cast<std::int16_t>(prev), static_cast<std::uint16_t>(suffix)};
    const bool wellFormed =
        static_cast<std::uint32_t>(prev) < static_cast<std::uint32_t>(nextEntry) && len[prev] != 0;
    len[nextEntry] = wellFormed ? static_cast<std::uint16_t>(len[prev] + 1) : std::uint16_t{0};
    firstOf[nextEntry] = wellFormed ? firstOf[prev] : std::uint16_t{0};
    copyAt[nextEntry] = prevStart >= 0 ? out + prevStart : nullptr;
    copyRun[nextEntry] = wellFormed && prevStart >= 0 ? run : 0;
    ++nextEntry;
    if (nextEntry >= limit && limit != kTableSize) {
      ++width;
      limit *= 2;
    }
  };
  // Write the well-formed string of `code` (`size` values) at `out + at`;
  // returns its first value (from the table: narrow output may not hold it).
  const auto writeString = [&](std::int32_t code, std::int32_t at, std::int32_t size) {
    if (code >= clear && copyRun[code] == run) {
      copyValues(static_cast<const Value*>(copyAt[code]), size, out + at);
      return static_cast<std::int32_t>(firstOf[code]);
    }
    Value* p = out + at + size - 1;
    while (code >= clear) {
      const Entry entry = tab[code];
      *p-- = static_cast<Value>(entry.suffix);
      code = entry.prefix;
    }
    *p = static_cast<Value>(code);
    return code;
  };

  while (n < count) {
    std::int32_t code = 0;
    if (pos + width < end) {
      code = codes.extract(pos, width);
      pos += width;
    } else {
      codes.bitPos = pos;
      code = codes.read(image, blocks, width, status);
      pos = codes.bitPos;
      end = codes.bitEnd;
      if (code < 0) {
        saveState();
        stop = code;
        return n;
      }
    }
    const std::int32_t room = count - n;
    if (code < nextEntry && len[code] != 0 && len[code] <= room) {
      const std::int32_t size = len[code];
      first = writeString(code, n, size);
      define(first);
      prev = code;
      prevStart = n;
      n += size;
      continue;
    }
    if (code == nextEntry &&
        static_cast<std::uint32_t>(prev) < static_cast<std::uint32_t>(nextEntry) &&
        len[prev] != 0 && len[prev] < room && first >= 0) {
      // The previous string followed by its own first value.
      const std::int32_t size = len[prev];
      out[n + size] = static_cast<Value>(first);
      if (prevStart >= 0) {
        copyValues(out + prevStart, size, out + n);
        first = firstOf[prev];
      } else {
        first = writeString(prev, n, size);
      }
      define(first);
      prev = code;
      prevStart = n;
      n += size + 1;
      continue;
    }
    saveState();
    const std::int32_t value = handleCode(code, image, codes, blocks, status);
    if (value < 0) {
      stop = value;
      return n;
    }
    out[n++] = static_cast<Value>(value);
    return n;
  }
  saveState();
  return n;
}

void LzwDecoder::newOutputArea() {
  ++run_;
  if (run_ == 0) {  // wrapped round: forget every old mark
    copyRun_.fill(0);
    run_ = 1;
  }
}

template <typename Value>
std::int32_t LzwDecoder::decodeRun(const GIFImage& image, CodeReader& codes, SubBlockReader& blocks,
                                   Value* out, std::int32_t count, std::int32_t& stop,
                                   std::int32_t& status, bool sameOutput) {
  stop = 0;
  // Strings are copied only from output that is still there untouched.
  if (!sameOutput) newOutputArea();
  std::int32_t n = 0;
  while (n < count) {
    if (stackTop > 1 || freshStart) {
      const std::int32_t value = next(image, codes, blocks, status);
      if (value < 0) {
        stop = value;
        return n;
      }
      out[n++] = static_cast<Value>(value);
      continue;
    }
    n = fastRun(image, codes, blocks, out, n, count, stop, status);
    if (stop < 0) return n;
  }
  return n;
}

// The record's 32-bit pixels and the run's 8-bit frames (values kept
// modulo 256, which is all the writer's colour tables can tell apart).
template std::int32_t LzwDecoder::decodeRun(const GIFImage&, CodeReader&, SubBlockReader&,
                                            std::int32_t*, std::int32_t, std::int32_t&,
                                            std::int32_t&, bool);
template std::int32_t LzwDecoder::decodeRun(const GIFImage&, CodeReader&, SubBlockReader&,
                                            std::uint8_t*, std::int32_t, std::int32_t&,
                                            std::int32_t&, bool);

}  // namespace gifjoin
