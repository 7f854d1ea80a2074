// Parsing of the command line. Short options may be bundled (-qd7); a value
// follows its option directly, as the next argument, or after '=' for a long
// option. Options and operands may come in any order.
#include "app/cli.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "app/file_report.h"
#include "general/text_field.h"

namespace gifjoin {

namespace {

enum class Option { Pattern, Output, Delay, Loop, Quiet, Strict, Optimize, Help, Version };

struct OptionInfo {
  char shortName;
  std::string_view longName;
  bool takesValue;
  Option option;
};

constexpr OptionInfo kOptions[] = {
    {'p', "pattern", true, Option::Pattern},    {'o', "output", true, Option::Output},
    {'d', "delay", true, Option::Delay},        {'l', "loop", true, Option::Loop},
    {'q', "quiet", false, Option::Quiet},       {'s', "strict", false, Option::Strict},
    {'O', "optimize", false, Option::Optimize}, {'h', "help", false, Option::Help},
    {'V', "version", false, Option::Version},
};

const OptionInfo* findShort(char name) {
  for (const auto& option : kOptions) {
    if (option.shortName == name) return &option;
  }
  return nullptr;
}

const OptionInfo* findLong(std::string_view name) {
  for (const auto& option : kOptions) {
    if (option.longName == name) return &option;
  }
  return nullptr;
}

enum class IntegerResult { Ok, NotInteger, OutOfRange };

// An optional sign and decimal digits, nothing else, within [low, high].
IntegerResult parseInteger(std::string_view text, std::int64_t low, std::int64_t high,
                           std::int64_t& value) {
  std::string_view digits = text;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
  if (digits.empty()) return IntegerResult::NotInteger;
  for (const char c : digits) {
    if (c < '0' || c > '9') return IntegerResult::NotInteger;
  }
  // from_chars takes a minus sign but no plus sign.
  if (text[0] == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return IntegerResult::OutOfRange;
  }
  return IntegerResult::Ok;
}

std::string quoted(std::string_view text) {
  std::string out(1, '\'');
  out += text;
  out += '\'';
  return out;
}

// A dash followed by a digit is a negative number, not an option.
bool looksLikeOption(std::string_view arg) {
  return arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
}

class Parser {
 public:
  explicit Parser(std::span<const std::string_view> args) : args_(args) {}

  CommandLine run() {
    bool optionsEnded = false;
    for (next_ = 0; next_ < args_.size();) {
      const std::string_view arg = args_[next_++];
      if (!optionsEnded && arg == "--") {
        optionsEnded = true;
      } else if (optionsEnded || !looksLikeOption(arg)) {
        operands_.push_back(arg);
      } else if (arg.starts_with("--")) {
        if (!longOption(arg.substr(2))) return result_;
      } else if (!shortOptions(arg.substr(1))) {
        return result_;
      }
    }
    // A pattern takes the place of the base name.
    JoinRequest& request = result_.request;
    const bool patterned = !request.namePattern.empty();
    const std::size_t wanted = patterned ? 2 : 3;
    if (operands_.size() < wanted) {
      static constexpr const char* kMissing[] = {
          "missing the base name, the lower and the higher index",
          "missing the lower and the higher index", "missing the higher index"};
      return fail(kMissing[operands_.size() + 3 - wanted]);
    }
    if (operands_.size() > wanted) {
      return fail("too many operands: " + quoted(operands_[wanted]) + " follows the higher index" +
                  (patterned ? " (the pattern takes the place of the base name)" : ""));
    }
    request.baseName = makeField(patterned ? std::string_view() : operands_[0]);
    if (!index("lower index", operands_[wanted - 2], request.lowerIndex) ||
        !index("higher index", operands_[wanted - 1], request.higherIndex)) {
      return result_;
    }
    result_.action = CommandLine::Action::Join;
    return result_;
  }

 private:
  // False when parsing ends here (an error, help or version).
  bool longOption(std::string_view body) {
    const std::size_t equals = body.find('=');
    const std::string_view name = body.substr(0, equals);
    const OptionInfo* option = findLong(name);
    const std::string shown = "--" + std::string(name);
    if (option == nullptr) return failed("unknown option " + quoted(shown));
    if (equals != std::string_view::npos) {
      if (!option->takesValue) return failed("option " + quoted(shown) + " takes no value");
      return apply(*option, shown, body.substr(equals + 1));
    }
    return applyWithNextValue(*option, shown);
  }

  bool shortOptions(std::string_view bundle) {
    for (std::size_t i = 0; i < bundle.size(); ++i) {
      const OptionInfo* option = findShort(bundle[i]);
      const std::string shown = std::string("-") + bundle[i];
      if (option == nullptr) return failed("unknown option " + quoted(shown));
      if (option->takesValue) {
        if (i + 1 < bundle.size()) return apply(*option, shown, bundle.substr(i + 1));
        return applyWithNextValue(*option, shown);
      }
      if (!apply(*option, shown, {})) return false;
    }
    return true;
  }

  bool applyWithNextValue(const OptionInfo& option, const std::string& shown) {
    if (!option.takesValue) return apply(option, shown, {});
    if (next_ >= args_.size()) return failed("option " + quoted(shown) + " needs a value");
    return apply(option, shown, args_[next_++]);
  }

  bool apply(const OptionInfo& option, const std::string& shown, std::string_view value) {
    JoinRequest& request = result_.request;
    switch (option.option) {
      case Option::Pattern: {
        const std::string problem = patternProblem(value);
        if (!problem.empty()) {
          return failed("the pattern " + quoted(value) + " given with " + quoted(shown) + " " +
                        problem);
        }
        request.namePattern = std::string(value);
        return true;
      }
      case Option::Output:
        if (trimRight(makeField(value)).empty()) {
          return failed("the output name given with " + quoted(shown) + " is empty");
        }
        request.outputName = std::string(value);
        return true;
      case Option::Delay:
        return limited("delay", shown, value, request.delay);
      case Option::Loop:
        return limited("loop count", shown, value, request.loopCount);
      case Option::Quiet:
        request.verbose = false;
        return true;
      case Option::Strict:
        request.strict = true;
        return true;
      case Option::Optimize:
        request.optimize = true;
        return true;
      case Option::Help:
        result_.action = CommandLine::Action::Help;
        return false;
      case Option::Version:
        result_.action = CommandLine::Action::Version;
        return false;
    }
    return false;
  }

  // A value of a 16-bit field of the output file.
  bool limited(const char* what, const std::string& shown, std::string_view value,
               std::int32_t& target) {
    std::int64_t parsed = 0;
    switch (parseInteger(value, 0, 65535, parsed)) {
      case IntegerResult::Ok:
        target = static_cast<std::int32_t>(parsed);
        return true;
      case IntegerResult::NotInteger:
        return failed(std::string("the ") + what + " " + quoted(value) + " given with " +
                      quoted(shown) + " is not a whole number");
      case IntegerResult::OutOfRange:
        break;
    }
    return failed(std::string("the ") + what + " " + quoted(value) + " given with " +
                  quoted(shown) + " is out of range (0 to 65535)");
  }

  bool index(const char* what, std::string_view text, std::int32_t& target) {
    std::int64_t parsed = 0;
    if (parseInteger(text, std::numeric_limits<std::int32_t>::min(),
                     std::numeric_limits<std::int32_t>::max(), parsed) != IntegerResult::Ok) {
      return failed(std::string("the ") + what + " " + quoted(text) + std::string(kNotAnIndex));
    }
    target = static_cast<std::int32_t>(parsed);
    return true;
  }

  bool failed(std::string message) {
    fail(std::move(message));
    return false;
  }

  CommandLine fail(std::string message) {
    result_.action = CommandLine::Action::Error;
    result_.error = std::move(message);
    return result_;
  }

  std::span<const std::string_view> args_;
  std::size_t next_ = 0;
  std::vector<std::string_view> operands_;
  CommandLine result_;
};

}  // namespace

CommandLine parseCommandLine(std::span<const std::string_view> args) {
  return Parser(args).run();
}

std::string helpText() {
  return "Usage: gifjoin [OPTION]... BASENAME LOWER HIGHER\n"
         "  or:  gifjoin [OPTION]... -p FORMAT LOWER HIGHER\n"
         "Join BASENAME_LOWER.gif ... BASENAME_HIGHER.gif into one animated GIF,\n"
         "BASENAME_Animated.gif. Without arguments, gifjoin asks for the three values.\n"
         "\n"
         "  -p, --pattern=FORMAT  read the names FORMAT gives instead (see below)\n"
         "  -o, --output=FILE     write FILE instead of BASENAME_Animated.gif\n"
         "  -d, --delay=CS        delay of every frame in hundredths of a second,\n"
         "                        0 to 65535 (default 30)\n"
         "  -l, --loop=N          loop count of the animation, 0 to 65535; 0 loops\n"
         "                        forever (default 65535)\n"
         "  -q, --quiet           no progress lines and no final line; warnings stay,\n"
         "                        and each file not joined whole is named on stderr\n"
         "  -s, --strict          a file not joined whole fails the run: no output\n"
         "  -O, --optimize        smallest file: each frame drawn only where it changes\n"
         "  -h, --help            show this help and exit (-V, --version: the version)\n"
         "  --                    end of options, for a BASENAME that starts with '-'\n"
         "\n"
         "LOWER and HIGHER are whole numbers; an argument such as -2 is an index.\n"
         "FORMAT has one %d, %Nd or %0Nd for the index (%% is a percent sign); the\n"
         "output is FORMAT with Animated there: gifjoin -p frame_%03d.gif 1 200 joins\n"
         "frame_001.gif ... frame_200.gif into frame_Animated.gif.\n"
         "Exit status: 0 written, 1 not written, 2 unusable arguments.\n"
         "Example: gifjoin -d 7 -l 0 -o walk.gif walk 1 8\n";
}

std::string versionText() {
  return std::string("gifjoin ") + GIFJOIN_VERSION + "\n";
}

}  // namespace gifjoin
