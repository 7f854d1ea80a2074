// Parsing of the command line. Short options may be bundled (-qd7); a value
// follows its option directly, as the next argument, or after '=' for a long
// option. Options and operands may come in any order.
#include "app/cli.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "app/file_list.h"
#include "app/file_report.h"
#include "general/text_field.h"

namespace gifjoin {

namespace {

// Windows shells hand * and ? on as they were typed: the tool expands them.
#if defined(_WIN32)
constexpr bool kExpandWildcards = true;
#else
constexpr bool kExpandWildcards = false;
#endif

enum class Option {
  Pattern,
  Files,
  AsGiven,
  Output,
  Delay,
  FrameRate,
  KeepDelays,
  LastDelay,
  Loop,
  Quiet,
  Strict,
  Optimize,
  AnySize,
  Pieces,
  Canvas,
  Align,
  Fill,
  Lossy,
  MaxSize,
  Help,
  Version
};

struct OptionInfo {
  char shortName;  // '\0': long only
  std::string_view longName;
  bool takesValue;
  Option option;
  bool valueOptional = false;  // a long option whose value, if any, follows '='
};

constexpr OptionInfo kOptions[] = {
    {'p', "pattern", true, Option::Pattern},
    {'f', "files", false, Option::Files},
    {'\0', "as-given", false, Option::AsGiven},
    {'o', "output", true, Option::Output},
    {'d', "delay", true, Option::Delay},
    {'r', "fps", true, Option::FrameRate},
    {'\0', "keep-delays", false, Option::KeepDelays},
    {'\0', "last-delay", true, Option::LastDelay},
    {'l', "loop", true, Option::Loop},
    {'q', "quiet", false, Option::Quiet},
    {'s', "strict", false, Option::Strict},
    {'O', "optimize", false, Option::Optimize},
    {'\0', "any-size", false, Option::AnySize},
    {'\0', "pieces", false, Option::Pieces},
    {'\0', "canvas", true, Option::Canvas},
    {'\0', "align", true, Option::Align},
    {'\0', "fill", true, Option::Fill},
    {'\0', "lossy", true, Option::Lossy, true},
    {'\0', "max-size", true, Option::MaxSize},
    {'h', "help", false, Option::Help},
    {'V', "version", false, Option::Version},
};

const OptionInfo* findShort(char name) {
  for (const auto& option : kOptions) {
    if (option.shortName != '\0' && option.shortName == name) return &option;
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

// A size in bytes: digits, with k (1000) or M (1000000) after them, a
// decimal point allowed with those ("1.5M"). At least one byte.
std::optional<std::uint64_t> parseSize(std::string_view text) {
  std::uint64_t scale = 1;
  if (!text.empty() && (text.back() == 'k' || text.back() == 'K')) {
    scale = 1000;
  } else if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) {
    scale = 1000000;
  }
  if (scale > 1) text.remove_suffix(1);
  std::uint64_t whole = 0;
  std::uint64_t fraction = 0;
  std::uint64_t fractionScale = 1;
  bool dot = false;
  bool digits = false;
  for (const char c : text) {
    if (c == '.' && !dot && scale > 1) {
      dot = true;
    } else if (c >= '0' && c <= '9') {
      digits = true;
      if (dot) {
        if (fractionScale < 1000000) {
          fraction = fraction * 10 + static_cast<std::uint64_t>(c - '0');
          fractionScale *= 10;
        }
      } else {
        whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
        if (whole > (std::uint64_t{1} << 40)) return std::nullopt;
      }
    } else {
      return std::nullopt;
    }
  }
  const std::uint64_t bytes = whole * scale + fraction * scale / fractionScale;
  if (!digits || bytes == 0) return std::nullopt;
  return bytes;
}

std::string quoted(std::string_view text) {
  std::string out(1, '\'');
  out += text;
  out += '\'';
  return out;
}

// WxH with whole numbers from 1 to 65535.
bool parseSize(std::string_view text, std::int32_t& width, std::int32_t& height) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return false;
  std::int64_t w = 0, h = 0;
  if (parseInteger(text.substr(0, x), 1, 65535, w) != IntegerResult::Ok ||
      parseInteger(text.substr(x + 1), 1, 65535, h) != IntegerResult::Ok) {
    return false;
  }
  if (text[0] == '+' || text[0] == '-' || text[x + 1] == '+' || text[x + 1] == '-') return false;
  width = static_cast<std::int32_t>(w);
  height = static_cast<std::int32_t>(h);
  return true;
}

// center, top-left, top, ..., bottom-right: the edges a picture keeps to.
bool parseAlign(std::string_view text, Edge& horizontal, Edge& vertical) {
  static constexpr struct {
    std::string_view name;
    Edge horizontal, vertical;
  } kPlaces[] = {
      {"center", Edge::Middle, Edge::Middle}, {"centre", Edge::Middle, Edge::Middle},
      {"top-left", Edge::Start, Edge::Start}, {"top", Edge::Middle, Edge::Start},
      {"top-right", Edge::End, Edge::Start},  {"left", Edge::Start, Edge::Middle},
      {"right", Edge::End, Edge::Middle},     {"bottom-left", Edge::Start, Edge::End},
      {"bottom", Edge::Middle, Edge::End},    {"bottom-right", Edge::End, Edge::End},
  };
  for (const auto& place : kPlaces) {
    if (place.name == text) {
      horizontal = place.horizontal;
      vertical = place.vertical;
      return true;
    }
  }
  return false;
}

// corner, transparent or #RRGGBB.
bool parseFill(std::string_view text, PlacementOptions& placement) {
  if (text == "corner") {
    placement.fill = PlacementOptions::Fill::Corner;
    return true;
  }
  if (text == "transparent") {
    placement.fill = PlacementOptions::Fill::Transparent;
    return true;
  }
  if (text.size() != 7 || text[0] != '#') return false;
  std::uint32_t rgb = 0;
  for (const char c : text.substr(1)) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return false;
    rgb = rgb * 16 + static_cast<std::uint32_t>(digit);
  }
  placement.fill = PlacementOptions::Fill::Colour;
  placement.colour = kOpaqueBits | (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16);
  return true;
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
    JoinRequest& request = result_.request;
    if (!consistent()) return result_;
    if (request.listed) return files();
    // A pattern takes the place of the base name.
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
  // Options that exclude one another, and those that need another.
  bool consistent() {
    const JoinRequest& request = result_.request;
    const std::string* timing = nullptr;
    for (const std::string* given : {&delayGiven_, &rateGiven_, &keepGiven_}) {
      if (given->empty()) continue;
      if (timing != nullptr) {
        return failed("the options " + quoted(*timing) + " and " + quoted(*given) +
                      " exclude one another");
      }
      timing = given;
    }
    if (request.listed && !patternGiven_.empty()) {
      return failed("the options " + quoted(patternGiven_) + " and " + quoted(filesGiven_) +
                    " exclude one another");
    }
    if (!asGivenGiven_.empty() && !request.listed) {
      return failed("option " + quoted(asGivenGiven_) + " is for a list of files (-f)");
    }
    if (!anySizeGiven_.empty() && !piecesGiven_.empty()) {
      return failed("the options " + quoted(anySizeGiven_) + " and " + quoted(piecesGiven_) +
                    " exclude one another");
    }
    if (!placementGiven_.empty() && request.frames == JoinRequest::Frames::SameSize) {
      return failed("option " + quoted(placementGiven_) + " is for --any-size and --pieces");
    }
    // Pieces of an animation keep its timing unless told otherwise.
    if (request.frames == JoinRequest::Frames::Pieces && timing == nullptr) {
      result_.request.timing = JoinRequest::Timing::FileDelays;
    }
    return true;
  }

  // -f: every operand is an input file.
  CommandLine files() {
    JoinRequest& request = result_.request;
    if (operands_.empty()) return fail("missing the input files");
    if (request.outputName.empty()) {
      return fail("a list of files has no default output name: name one with -o FILE");
    }
    for (const std::string_view operand : operands_) {
      if (kExpandWildcards) {
        for (std::string& name : expandWildcards(std::string(operand))) {
          request.files.push_back(std::move(name));
        }
      } else {
        request.files.emplace_back(operand);
      }
    }
    if (!asGiven_) sortNaturally(request.files);
    result_.action = CommandLine::Action::Join;
    return result_;
  }

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
    if (option->valueOptional) return apply(*option, shown, {});
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
        patternGiven_ = shown;
        return true;
      }
      case Option::Files:
        request.listed = true;
        filesGiven_ = shown;
        return true;
      case Option::AsGiven:
        asGiven_ = true;
        asGivenGiven_ = shown;
        return true;
      case Option::Output:
        if (trimRight(makeField(value)).empty()) {
          return failed("the output name given with " + quoted(shown) + " is empty");
        }
        request.outputName = std::string(value);
        return true;
      case Option::Delay:
        delayGiven_ = shown;
        return limited("delay", shown, value, request.delay);
      case Option::FrameRate: {
        rateGiven_ = shown;
        const std::optional<FrameRate> rate = parseFrameRate(value);
        if (!rate) {
          return failed(
              "the frame rate " + quoted(value) + " given with " + quoted(shown) +
              (isDecimalNumber(value)
                   ? " is out of range (" + std::string(kFrameRateRange) + ", at most six decimals)"
                   : std::string(" is not a number")));
        }
        request.timing = JoinRequest::Timing::FrameRate;
        request.frameRate = *rate;
        return true;
      }
      case Option::KeepDelays:
        keepGiven_ = shown;
        request.timing = JoinRequest::Timing::FileDelays;
        return true;
      case Option::LastDelay:
        return limited("last delay", shown, value, request.lastDelay);
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
      case Option::AnySize:
        request.frames = JoinRequest::Frames::AnySize;
        anySizeGiven_ = shown;
        return true;
      case Option::Pieces:
        request.frames = JoinRequest::Frames::Pieces;
        piecesGiven_ = shown;
        return true;
      case Option::Canvas:
        placementGiven_ = shown;
        if (value == "largest") {
          request.placement.canvas = PlacementOptions::Canvas::Largest;
        } else if (value == "first") {
          request.placement.canvas = PlacementOptions::Canvas::First;
        } else if (parseSize(value, request.placement.width, request.placement.height)) {
          request.placement.canvas = PlacementOptions::Canvas::Fixed;
        } else {
          return failed("the canvas " + quoted(value) + " given with " + quoted(shown) +
                        " is not largest, first or WIDTHxHEIGHT (1 to 65535 each)");
        }
        return true;
      case Option::Align:
        placementGiven_ = shown;
        if (!parseAlign(value, request.placement.horizontal, request.placement.vertical)) {
          return failed("the alignment " + quoted(value) + " given with " + quoted(shown) +
                        " is not center, top, bottom, left, right, top-left, top-right,"
                        " bottom-left or bottom-right");
        }
        return true;
      case Option::Fill:
        placementGiven_ = shown;
        if (!parseFill(value, request.placement)) {
          return failed("the fill " + quoted(value) + " given with " + quoted(shown) +
                        " is not corner, transparent or a colour #RRGGBB");
        }
        return true;
      case Option::Lossy: {
        std::int64_t level = kDefaultLossy;
        if (!value.empty() && parseInteger(value, 0, kMaxLossy, level) != IntegerResult::Ok) {
          return failed("the lossy level " + quoted(value) + " given with " + quoted(shown) +
                        " is not a whole number from 0 to " + std::to_string(kMaxLossy));
        }
        request.optimize = true;
        request.settings = lossySettings(static_cast<std::int32_t>(level));
        return true;
      }
      case Option::MaxSize: {
        const std::optional<std::uint64_t> size = parseSize(value);
        if (!size) {
          return failed("the size " + quoted(value) + " given with " + quoted(shown) +
                        " is not a size (bytes, or a number with k or M: 500k, 10M)");
        }
        request.optimize = true;
        request.maxSize = *size;
        return true;
      }
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
  bool asGiven_ = false;
  // How each option that conflicts with another was written; empty: not given.
  std::string delayGiven_, rateGiven_, keepGiven_, patternGiven_, filesGiven_, asGivenGiven_;
  std::string anySizeGiven_, piecesGiven_, placementGiven_;
};

}  // namespace

CommandLine parseCommandLine(std::span<const std::string_view> args) {
  return Parser(args).run();
}

std::string helpText() {
  return "Usage: gifjoin [OPTION]... BASENAME LOWER HIGHER  (BASENAME_LOWER.gif ...)\n"
         "  or:  gifjoin [OPTION]... -p FORMAT LOWER HIGHER (FORMAT: frame_%03d.gif)\n"
         "  or:  gifjoin [OPTION]... -f -o OUTPUT FILE...   (in natural order of names)\n"
         "Join GIF files into one animated GIF. Without arguments, gifjoin asks.\n"
         "\n"
         " -p, --pattern=FORMAT  names from FORMAT: one %d, %Nd or %0Nd for the index\n"
         " -f, --files           the operands are the files; --as-given: in that order\n"
         " -o, --output=FILE     write FILE (default BASENAME_Animated.gif)\n"
         " -d, --delay=CS        delay of every frame in hundredths of a second (30)\n"
         " -r, --fps=N           delays for N frames per second (25, 29.97, ...)\n"
         "     --keep-delays     each file's own delay; -d where a file has none\n"
         "     --last-delay=CS   delay of the last frame\n"
         " -l, --loop=N          loop count, 0 to 65535; 0 loops forever (65535)\n"
         " -q, --quiet           nothing on stdout; files not joined whole on stderr\n"
         " -s, --strict          a file not joined whole fails the run: no output\n"
         " -O, --optimize        smallest file: each frame drawn only where it changes\n"
         "     --lossy[=N]       -O, colours within N (20); --max-size=SIZE: fit SIZE\n"
         "     --any-size        every file a frame: its picture placed on one canvas\n"
         "     --pieces          the files are pieces of one animation, drawn in turn\n"
         "   --canvas=largest|first|WxH  --align=center|top|top-left|...|bottom-right\n"
         "   --fill=corner|transparent|#RRGGBB    (the first of each is the default)\n"
         " -h, --help            this help; -V, --version; -- ends the options\n"
         "Exit status: 0 written, 1 not written, 2 unusable arguments. Example:\n"
         "  gifjoin -q --any-size --max-size=10M -r 10 -f -o plots.gif plots/*.gif\n";
}

std::string versionText() {
  return std::string("gifjoin ") + GIFJOIN_VERSION + "\n";
}

}  // namespace gifjoin
