// Test helper: run the real gifjoin binary in a scratch directory with
// answers on standard input, and collect its output and exit status.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace gifjoin::testing {

struct ToolRun {
  int status = -1;
  std::string out;
};

inline std::string toolBinary() {
  const char* path = std::getenv("GIFJOIN_BINARY");
  return path != nullptr ? path : "gifjoin";
}

// A fresh directory below the system's temporary directory, removed with
// the object.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("gifjoin_" + tag + "_XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) std::abort();
    path_ = buffer.data();
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Runs `gifjoin ARGS < stdin` inside `dir`; standard error is discarded
// unless `keepStderr`.
inline ToolRun runTool(const ScratchDir& dir, const std::string& answers,
                       const std::string& args = "", bool keepStderr = false) {
  const std::string input = dir.file(".answers");
  std::ofstream(input, std::ios::binary) << answers;
  const std::string command = "cd '" + dir.path().string() + "' && '" + toolBinary() + "' " + args +
                              " < .answers" + (keepStderr ? " 2>&1" : " 2>/dev/null");
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

inline std::vector<unsigned char> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace gifjoin::testing
