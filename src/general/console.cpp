// Console stream selection and list-directed line layout.
#include "general/console.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#if defined(_WIN32)
#include <io.h>

#include "general/windows_api.h"

#include <cstdlib>
#include <streambuf>
#include <string>
#elif defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace gifjoin {

namespace {
std::ostream* g_console = nullptr;

#if defined(_WIN32)
// Answers typed on a Windows console: read as UTF-16 and given out as
// UTF-8, whatever the console's input code page can carry.
class WideConsoleInput final : public std::streambuf {
 public:
  explicit WideConsoleInput(HANDLE console) : console_(console) {}

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    wchar_t wide[1024];
    DWORD count = 0;
    if (pending_ != 0) wide[0] = pending_;
    const DWORD kept = pending_ != 0 ? 1 : 0;
    pending_ = 0;
    if (!::ReadConsoleW(console_, wide + kept, 1023, &count, nullptr) || count == 0) {
      return traits_type::eof();
    }
    count += kept;
    // A pair of surrogates cut by the buffer's end waits for its second half.
    if (count > 1 && wide[count - 1] >= 0xD800 && wide[count - 1] <= 0xDBFF) {
      pending_ = wide[--count];
    }
    const int wideCount = static_cast<int>(count);
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, wideCount, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return traits_type::eof();
    text_.resize(static_cast<std::size_t>(n));
    ::WideCharToMultiByte(CP_UTF8, 0, wide, wideCount, text_.data(), n, nullptr, nullptr);
    // Ctrl+Z at the start of a line ends the input, as it does for the C
    // library's console input.
    if (text_[0] == '\x1a') return traits_type::eof();
    setg(text_.data(), text_.data(), text_.data() + text_.size());
    return traits_type::to_int_type(*gptr());
  }

 private:
  HANDLE console_;
  wchar_t pending_ = 0;
  std::string text_;
};

UINT g_outputCodePage = 0;
UINT g_inputCodePage = 0;

void restoreCodePages() {
  if (g_outputCodePage != 0) ::SetConsoleOutputCP(g_outputCodePage);
  if (g_inputCodePage != 0) ::SetConsoleCP(g_inputCodePage);
}
#endif
}  // namespace

void useUtf8Console() {
#if defined(_WIN32)
  g_outputCodePage = ::GetConsoleOutputCP();
  g_inputCodePage = ::GetConsoleCP();
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
  std::atexit(restoreCodePages);
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (input != INVALID_HANDLE_VALUE && ::GetConsoleMode(input, &mode)) {
    static WideConsoleInput wide(input);
    std::cin.rdbuf(&wide);
  }
#endif
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
