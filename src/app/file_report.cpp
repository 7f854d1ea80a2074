// Per-file problem lines, the strict run's closing line and input names
// made from a printf-like pattern.
#include "app/file_report.h"

#include "general/text_field.h"

namespace gifjoin {

bool isProblem(const FileOutcome& outcome) {
  return !outcome.found || outcome.status != 0 || !outcome.hasImage || outcome.refused;
}

std::string problemLine(std::string_view name, const FileOutcome& outcome) {
  std::string line = "gifjoin: ";
  line += name;
  line += ": ";
  if (!outcome.found) return line + "missing";
  return line + "not joined";
}

std::string strictFailureLine(std::int64_t notJoined) {
  return "gifjoin: " + std::to_string(notJoined) + " file(s) not joined; no output written";
}

std::string patternName(std::string_view format, std::int64_t index) {
  return makeField(std::string(format) + std::to_string(index));
}

std::string patternAnimatedName(std::string_view format) {
  return makeField(std::string(format) + "Animated");
}

}  // namespace gifjoin
