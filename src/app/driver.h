// The run of the tool: read a numbered series of GIF files, append the
// first image of every further file to the first file's animation, and
// write the animation as one GIF file.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

namespace gifjoin {

// Exit statuses of the tool.
inline constexpr int kExitWritten = 0;     // the output file was written
inline constexpr int kExitNotWritten = 1;  // no output, or a fatal error
inline constexpr int kExitBadAnswers = 2;  // unusable answers or arguments

struct JoinRequest {
  std::string baseName;  // blank-padded 255-character field
  std::int32_t lowerIndex = 0;
  std::int32_t higherIndex = 0;
  std::string outputName;  // empty: base name + "_Animated.gif"
  std::int32_t delay = 30;
  std::int32_t loopCount = 65535;
  bool verbose = true;  // false: no progress lines and no final line
  // Input names from a printf-like FORMAT with one integer conversion
  // instead of base name + "_" + index + ".gif" (command line only).
  std::string namePattern;
  // Any file missing, unreadable or refused fails the run: nothing written.
  bool strict = false;
};

// base name (trailing blanks removed) + "_" + index + ".gif", as a field.
std::string seriesName(const std::string& baseName, std::int64_t index);
// base name (trailing blanks removed) + "_Animated.gif", as a field.
std::string animatedName(const std::string& baseName);

// Read, append and write; writes the final line when verbose. Returns the
// exit status.
int runJoin(const JoinRequest& request);

// The whole dialogue on `in`, then the run. Returns the exit status.
int runDialogue(std::istream& in);

}  // namespace gifjoin
