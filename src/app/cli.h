// The command line: `gifjoin [options] BASENAME LOWER HIGHER`, with a
// pattern of names `gifjoin [options] -p FORMAT LOWER HIGHER`, or with the
// files themselves `gifjoin [options] -f -o OUTPUT FILE...`, turned into a
// join request, a request for help or the version, or the reason why the
// arguments cannot be used. The parser prints nothing (on Windows it looks
// for the files that * and ? in a file operand stand for).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/driver.h"

namespace gifjoin {

struct CommandLine {
  enum class Action { Join, Help, Version, Error };
  Action action = Action::Error;
  JoinRequest request;  // Action::Join
  std::string error;    // Action::Error: one line naming the problem
};

// Parses the arguments after the program name. Options and operands may be
// mixed; `--` ends the options. An argument of a dash followed by a digit
// is an operand (a negative index), never an option. The first --help or
// --version wins over everything after it.
CommandLine parseCommandLine(std::span<const std::string_view> args);

// The text of --help (fits an 80-by-24 screen) and of --version.
std::string helpText();
std::string versionText();

// The lossy level of --lossy without a value.
inline constexpr std::int32_t kDefaultLossy = 20;

// The line that follows an error message on standard error.
inline constexpr std::string_view kHelpHint = "Try 'gifjoin --help' for more information.";

}  // namespace gifjoin
