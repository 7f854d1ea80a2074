// Console stream selection and list-directed line layout.
#include "console.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#if defined(_WIN32)
#include <io.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace gifjoin {

namespace {
std::ostream* g_console = nullptr;
}

std::ostream& console() {
  return g_console != nullptr ? *g_console : std::cout;
}

std::ostream* setConsole(std::ostream* stream) {
  std::ostream* previous = g_console;
  g_console = stream;
  return previous;
}

bool standardErrorIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#elif defined(__unix__) || defined(__APPLE__)
  return isatty(STDERR_FILENO) == 1;
#else
  return false;
#endif
}

std::string rightAligned(std::int64_t value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), ' ');
  return digits;
}

ListLine& ListLine::text(std::string_view t) {
  if (afterNumber_) line_ += ' ';
  line_ += t;
  afterNumber_ = false;
  return *this;
}

ListLine& ListLine::integer(std::int64_t value) {
  line_ += ' ';
  line_ += rightAligned(value, 11);
  afterNumber_ = true;
  return *this;
}

ListLine& ListLine::real(float value) {
  // Nine significant digits in fixed notation: the number of decimals
  // depends on where the first significant digit stands (0.500000000,
  // 1.01562500, 12.3456780).
  const double v = std::fabs(static_cast<double>(value));
  int decimals = 8;
  if (v != 0.0) decimals = 8 - static_cast<int>(std::floor(std::log10(v)));
  decimals = std::clamp(decimals, 0, 40);
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, static_cast<double>(value));
  line_ += ' ';
  line_ += buffer;
  afterNumber_ = true;
  return *this;
}

void writeLine(std::string_view line) {
  writeLine(console(), line);
}

void writeLine(std::ostream& out, std::string_view line) {
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.put('\n');
}

}  // namespace gifjoin
