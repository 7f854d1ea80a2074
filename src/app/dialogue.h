// The console dialogue: the three header lines, the three prompts, and the
// reading of the answers under list-directed rules.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>

namespace gifjoin {

// Reads answers line by line from a stream, one answer per fresh line.
class AnswerReader {
 public:
  explicit AnswerReader(std::istream& in) : in_(in) {}

  // The first item of the next non-blank line as text: up to a blank,
  // comma, slash or the line end, or a quoted text (doubled quotes stand
  // for one). Cut to 255 characters and padded with blanks.
  // nullopt when the input ends before a non-blank line.
  std::optional<std::string> readName();

  enum class IndexResult { Ok, NotInteger, EndOfInput };
  // The first item of the next non-blank line as a 32-bit integer. An empty
  // first item gives 0. `item` receives the offending text on NotInteger.
  IndexResult readIndex(std::int32_t& value, std::string& item);

 private:
  bool nextLine(std::string& line);  // next non-blank line, blanks normalised
  std::istream& in_;
};

// The header lines and prompts of the dialogue.
extern const char* const kHeaderLines[3];
extern const char* const kPromptBaseName;
extern const char* const kPromptLowerIndex;
extern const char* const kPromptHigherIndex;

}  // namespace gifjoin
