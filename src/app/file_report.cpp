// Per-file problem lines, the strict run's closing line and input names
// made from a printf-like pattern.
#include "app/file_report.h"

#include <algorithm>
#include <system_error>

#include "general/text_field.h"

namespace gifjoin {

namespace {

// Padding beyond this many characters cannot change the first 255
// characters of a name (a sign and 20 digits at most follow the padding).
constexpr std::size_t kWidthCap = kFieldLength + 32;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// A FORMAT taken apart around its conversion.
struct Pattern {
  std::string before;  // literal text, each %% already one percent sign
  std::string after;
  std::size_t width = 0;
  bool zeros = false;
  int conversions = 0;
  std::string unusable;  // the first % form that is not ours, as written
};

// The extent of a % form other than ours starting at `start`, for the
// message: flags, width, precision and length, then the conversion
// character (with the rest of its UTF-8 sequence), if any.
std::size_t otherFormEnd(std::string_view format, std::size_t start) {
  constexpr std::string_view kFlagsAndWidth = "-+ #'0123456789.*$";
  constexpr std::string_view kLengths = "hlLqjzt";
  std::size_t end = start + 1;
  while (end < format.size() && kFlagsAndWidth.find(format[end]) != std::string_view::npos) ++end;
  while (end < format.size() && kLengths.find(format[end]) != std::string_view::npos) ++end;
  if (end < format.size()) {
    const auto lead = static_cast<unsigned char>(format[end++]);
    if (lead >= 0xC0) {
      while (end < format.size() && (static_cast<unsigned char>(format[end]) & 0xC0) == 0x80) {
        ++end;
      }
    }
  }
  return end;
}

Pattern readPattern(std::string_view format) {
  Pattern pattern;
  for (std::size_t i = 0; i < format.size();) {
    std::string& literal = pattern.conversions == 0 ? pattern.before : pattern.after;
    if (format[i] != '%') {
      literal += format[i++];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      literal += '%';
      i += 2;
      continue;
    }
    // %d, %Nd or %0Nd: digits only between the percent sign and the d.
    std::size_t end = i + 1;
    while (end < format.size() && isDigit(format[end])) ++end;
    if (end < format.size() && format[end] == 'd') {
      if (++pattern.conversions == 1) {
        pattern.zeros = end > i + 1 && format[i + 1] == '0';
        for (std::size_t k = i + 1; k < end; ++k) {
          pattern.width = std::min(kWidthCap, pattern.width * 10 + (format[k] - '0'));
        }
      }
      i = end + 1;
      continue;
    }
    end = otherFormEnd(format, i);
    if (pattern.unusable.empty()) pattern.unusable = format.substr(i, end - i);
    i = end;
  }
  return pattern;
}

// The index as printf's %d with the pattern's width and padding: a minus
// sign in front of the zeros, behind the blanks.
std::string convert(const Pattern& pattern, std::int64_t index) {
  const bool negative = index < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(index) : static_cast<std::uint64_t>(index);
  const std::string digits = std::to_string(magnitude);
  const std::size_t used = digits.size() + (negative ? 1 : 0);
  const std::size_t pad = pattern.width > used ? pattern.width - used : 0;
  std::string text;
  if (!pattern.zeros) text.append(pad, ' ');
  if (negative) text += '-';
  if (pattern.zeros) text.append(pad, '0');
  return text + digits;
}

std::string size(std::int32_t width, std::int32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// What went wrong with a file that was found.
std::string whatWentWrong(const FileOutcome& outcome) {
  // Positive statuses are system error numbers; the others mean that the
  // file ended early or its data made no sense, which the reader reports.
  const std::string error =
      outcome.status > 0 ? " (" + std::generic_category().message(outcome.status) + ")" : "";
  if (!outcome.hasImage) return "nothing readable" + error + "; left out";
  const std::string reason = outcome.status > 0 ? "read error" + error : "cut short";
  if (outcome.refused) {
    std::string line = outcome.status != 0 ? reason + "; " : "";
    line += "left out: " + size(outcome.width, outcome.height);
    if (outcome.screenWidth > 0 && outcome.screenHeight > 0) {
      return line + ", the animation is " + size(outcome.screenWidth, outcome.screenHeight) +
             " (--any-size keeps it)";
    }
    return line + ", the first file gave no animation to add it to";
  }
  return reason + "; frame kept as read";
}

// Why the pattern cannot be used; empty when it can.
std::string problemOf(const Pattern& pattern) {
  if (!pattern.unusable.empty()) {
    return "has the unusable form '" + pattern.unusable +
           "' (the index takes %d, %Nd or %0Nd; %% is a percent sign)";
  }
  if (pattern.conversions == 0) return "has no conversion for the index (%d, %Nd or %0Nd)";
  if (pattern.conversions > 1) {
    return "has " + std::to_string(pattern.conversions) +
           " conversions; it takes exactly one, for the index";
  }
  return {};
}

}  // namespace

bool isProblem(const FileOutcome& outcome) {
  return !outcome.found || outcome.status != 0 || !outcome.hasImage || outcome.refused;
}

std::string problemLine(std::string_view name, const FileOutcome& outcome) {
  std::string line = "gifjoin: ";
  line += name;
  line += ": ";
  if (!outcome.found) return line + "missing";
  return line + whatWentWrong(outcome);
}

std::string strictFailureLine(std::int64_t notJoined) {
  return "gifjoin: " + std::to_string(notJoined) + (notJoined == 1 ? " file" : " files") +
         " not joined whole; no output written (--strict)";
}

std::string patternProblem(std::string_view format) {
  return problemOf(readPattern(format));
}

std::string patternName(std::string_view format, std::int64_t index) {
  const Pattern pattern = readPattern(format);
  if (!problemOf(pattern).empty()) return makeField(format);
  return makeField(pattern.before + convert(pattern, index) + pattern.after);
}

std::string patternAnimatedName(std::string_view format) {
  const Pattern pattern = readPattern(format);
  if (!problemOf(pattern).empty()) return makeField(format);
  return makeField(pattern.before + "Animated" + pattern.after);
}

}  // namespace gifjoin
