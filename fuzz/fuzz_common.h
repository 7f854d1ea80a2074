// Shared parts of the fuzz targets: a scratch file that holds one input
// (in memory where the system has /dev/shm), a console that swallows every
// line, and a stop handler that unwinds instead of ending the process.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <streambuf>
#include <string>

#include "general/console.h"
#include "general/diagnostics.h"

namespace gifjoin::fuzz {

// A stop of the run (writeErrorAndStop, a failed output file) seen by the
// harness.
struct Stopped {
  int status;
};

inline void throwStopped(int status) {
  throw Stopped{status};
}

class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Console to nowhere, stops that throw: set once per process.
inline void quietProcess() {
  static NullBuffer buffer;
  static std::ostream nowhere(&buffer);
  setConsole(&nowhere);
  setStopHandler(&throwStopped);
}

// A path of our own for this process's scratch files, in memory if the
// system offers it.
inline std::string scratchPath(const char* tag) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/gifjoin_fuzz_" + tag + "_" + std::to_string(getpid()) + ".gif";
}

inline bool writeWhole(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

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
