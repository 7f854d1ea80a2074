// Where the tool's console lines go (standard output by default, a string
// stream in tests) and how list-directed lines are laid out.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace gifjoin {

// The stream that stands for unit 6 (standard output).
std::ostream& console();

// Redirect unit 6; nullptr restores std::cout. Returns the previous stream.
std::ostream* setConsole(std::ostream* stream);

// Makes the console carry UTF-8 text both ways for the rest of the run: on
// Windows its code pages become UTF-8 (given back at exit), and answers
// typed on it are read as wide characters and handed to std::cin as UTF-8.
// Elsewhere it does nothing.
void useUtf8Console();

// True when standard error is a terminal (a console on Windows); false
// where that cannot be told.
bool standardErrorIsTerminal();

// Builder for a list-directed line: one leading blank; a text directly
// after a text; an integer right-aligned in 11 columns after one blank; a
// text after a number after one blank.
class ListLine {
 public:
  ListLine& text(std::string_view t);
  ListLine& integer(std::int64_t value);
  // Single-precision real with nine significant digits in fixed notation.
  ListLine& real(float value);
  const std::string& str() const { return line_; }

 private:
  std::string line_ = " ";
  bool afterNumber_ = false;
};

// Write a line (text plus newline) to the console, or to `out`.
void writeLine(std::string_view line);
void writeLine(std::ostream& out, std::string_view line);

// Right-align a number in the given width (wider numbers are not cut).
std::string rightAligned(std::int64_t value, int width);

}  // namespace gifjoin
