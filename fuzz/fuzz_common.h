// Shared parts of the fuzz targets: the filter for inputs that declare
// large images; the console to nowhere and the run's files in memory come
// from the tests' support.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/memory_io.h"

namespace gifjoin::fuzz {

using testing::MemoryJoinIo;
using testing::nowhere;

inline std::uint32_t u16At(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

// The reader may allocate width x height values for any image descriptor
// it meets (up to 2^30 - 1 of them, 4 GiB). A fuzz input must not: every
// byte 0x2C that could start a descriptor is taken as one, and an input
// where any of them declares more than `limit` pixels is left out.
inline bool declaresLargeImage(const std::uint8_t* data, std::size_t size,
                               std::uint64_t limit = std::uint64_t{1} << 22) {
  for (std::size_t i = 13; i + 9 <= size; ++i) {
    if (data[i] != 0x2C) continue;
    const std::uint64_t width = u16At(data + i + 5);
    const std::uint64_t height = u16At(data + i + 7);
    if (width * height > limit) return true;
  }
  return false;
}

}  // namespace gifjoin::fuzz
