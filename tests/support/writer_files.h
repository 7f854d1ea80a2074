// Files and console for the writer's tests: a scratch directory removed at
// the end, whole-file reads, captured console lines and a stop handler that
// throws so a test can see the run being ended.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "general/console.h"
#include "general/diagnostics.h"

namespace gifjoin::testing {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "gifjoin-writer-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // Names of the entries, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> readFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

// Unit 6 goes to a string while the capture lives.
class ConsoleCapture {
 public:
  ConsoleCapture() : previous_(setConsole(&stream_)) {}
  ~ConsoleCapture() { setConsole(previous_); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;
  std::string text() const { return stream_.str(); }

 private:
  std::ostringstream stream_;
  std::ostream* previous_;
};

// Thrown instead of ending the process.
struct RunStopped {
  int status;
};

class ThrowOnStop {
 public:
  ThrowOnStop() : previous_(setStopHandler([](int status) { throw RunStopped{status}; })) {}
  ~ThrowOnStop() { setStopHandler(previous_); }
  ThrowOnStop(const ThrowOnStop&) = delete;
  ThrowOnStop& operator=(const ThrowOnStop&) = delete;

 private:
  StopHandler previous_;
};

}  // namespace gifjoin::testing
