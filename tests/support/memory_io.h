// A console that swallows every line, and a whole run's files in memory:
// for fuzz targets, benchmarks and tests that need no files on disk.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <span>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "app/driver.h"
#include "general/byte_source.h"

namespace gifjoin::testing {

class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// A console that swallows every line.
inline std::ostream& nowhere() {
  static NullBuffer buffer;
  static std::ostream stream(&buffer);
  return stream;
}

// A run's files in memory: inputs by name, the output collected.
class MemoryJoinIo final : public JoinIo {
 public:
  void add(const std::string& name, std::span<const std::uint8_t> bytes) { files_[name] = bytes; }
  ByteSource& input(std::string_view name) override {
    const auto found = files_.find(std::string(name));
    source_.emplace(found != files_.end() ? found->second : std::span<const std::uint8_t>{},
                    found == files_.end());
    return *source_;
  }
  bool exists(std::string_view name) override { return files_.count(std::string(name)) != 0; }
  ByteSink& output() override { return sink_; }
  std::ostream& console() override { return *console_; }
  std::ostream& errors() override { return nowhere(); }
  std::vector<std::uint8_t> peek(std::string_view name, std::size_t n) override {
    const auto found = files_.find(std::string(name));
    if (found == files_.end()) return {};
    const std::span<const std::uint8_t> bytes =
        found->second.first(std::min(n, found->second.size()));
    return {bytes.begin(), bytes.end()};
  }
  const MemorySink& written() const { return sink_; }
  // Where console lines go (nowhere unless set).
  void setConsole(std::ostream& out) { console_ = &out; }

 private:
  std::map<std::string, std::span<const std::uint8_t>> files_;
  std::optional<MemorySource> source_;
  MemorySink sink_;
  std::ostream* console_ = &nowhere();
};

}  // namespace gifjoin::testing
