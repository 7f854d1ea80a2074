// Files for the writer's tests, on top of the shared scratch directory and
// console helpers: writing a file with given content and listing what a
// directory holds (to see that no temporary file is left behind).
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/console_capture.h"
#include "support/run_tool.h"

namespace gifjoin::testing {

inline void putFile(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

// Names of the directory's entries, sorted.
inline std::vector<std::string> entriesOf(const ScratchDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace gifjoin::testing
