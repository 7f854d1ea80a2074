// Test helpers: capture what the tool writes to its console.
#pragma once

#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "general/console.h"

namespace gifjoin::testing {

class ConsoleCapture {
 public:
  ConsoleCapture() { previous_ = setConsole(&stream_); }
  ~ConsoleCapture() { setConsole(previous_); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;
  std::string text() const { return stream_.str(); }
  void clear() { stream_.str(""); }

 private:
  std::ostringstream stream_;
  std::ostream* previous_ = nullptr;
};

// A console that always writes where console() points at the moment of
// writing, for objects made before a ConsoleCapture that must write into it.
class FollowingBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    console().put(traits_type::to_char_type(c));
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    console().write(s, n);
    return n;
  }
  int sync() override {
    console().flush();
    return 0;
  }
};

inline std::ostream& followingConsole() {
  static FollowingBuffer buffer;
  static std::ostream stream(&buffer);
  return stream;
}

inline std::string padded(std::string text) {
  text.resize(255, ' ');
  return text;
}

}  // namespace gifjoin::testing
