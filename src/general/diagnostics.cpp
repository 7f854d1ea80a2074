// Warning, error and input/output-failure reports with their exact layouts.
// Reports go to standard output (unit 6) unless the caller names a unit.
#include "general/diagnostics.h"

#include <array>
#include <string>

#include "general/console.h"
#include "general/text_field.h"
#include "general/units.h"

namespace gifjoin {

namespace {

// Where a report goes: a stream the caller hands over, or a unit (6 is the
// console, any other an open file).
class Destination {
 public:
  explicit Destination(std::ostream& stream) : stream_(&stream) {}
  explicit Destination(std::optional<int> unit) {
    const int u = unit.value_or(kStandardOutput);
    if (u == kStandardOutput) {
      stream_ = &console();
    } else {
      unit_ = u;
    }
  }
  void line(std::string_view text) const {
    if (stream_ != nullptr) {
      writeLine(*stream_, text);
      return;
    }
    std::string line(text);
    line += '\n';
    units().write(unit_, reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
  }
  void flush() const {
    if (stream_ != nullptr) stream_->flush();
  }
  // The message line an error report writes to the console as well.
  std::ostream& console() const { return stream_ != nullptr ? *stream_ : gifjoin::console(); }
  int unit() const { return unit_; }

 private:
  std::ostream* stream_ = nullptr;
  int unit_ = 0;
};

struct Operation {
  std::string_view code;
  std::string_view action;
  std::string_view hint;
};

constexpr std::string_view kFileHint = "--> PLEASE CHECK IF THE FILE EXISTS!";
constexpr std::array<Operation, 8> kOperations{{
    {"CLOSE", "CLOSING", kFileHint},
    {"OPEN", "OPENING", kFileHint},
    {"READ", "READING FROM", kFileHint},
    {"READPARAM", "READING PARAMETER", "--> PLEASE CHECK IF THE OPTION IS SPELLED CORRECTLY!"},
    {"REWIND", "REWINDING", kFileHint},
    {"REWRITE", "REWRITING", kFileHint},
    {"WRITE", "WRITING TO", kFileHint},
    {"", "DOING SOME KINCKY STUFF, I DO NOT WANT TO MENTION, TO", kFileHint},
}};

const Operation& lookUp(OptText operation) {
  if (operation) {
    const std::string_view selector = trimRight(trimLeft(*operation));
    for (std::size_t i = 0; i + 1 < kOperations.size(); ++i) {
      if (kOperations[i].code == selector) return kOperations[i];
    }
  }
  return kOperations.back();
}

void warningTo(const Destination& to, std::string_view message, OptText routineName) {
  if (routineName) {
    to.line("WARNING in subroutine " + std::string(trimBoth(*routineName)) + ".");
  } else {
    to.line("Serious WARNING in program:");
  }
  to.line(message);
  to.line(kContinueBanner);
  to.flush();
}

void errorTo(const Destination& to, std::string_view message, OptText routineName) {
  if (routineName) {
    to.line("ERROR in subroutine " + std::string(trimBoth(*routineName)) + ".");
  } else {
    to.line("Serious ERROR in program:");
  }
  std::string echo(" ");
  echo += trimRight(message);
  writeLine(to.console(), echo);
  to.line(message);
  to.line(kTerminateBanner);
  to.flush();
}

bool ioStatusTo(const Destination& to, std::int32_t status, std::string_view fileName,
                OptText message, OptText routineName, OptText operation) {
  if (status == 0) return false;
  const Operation& op = lookUp(operation);
  if (routineName) {
    to.line("WARNING in subroutine " + std::string(trimBoth(*routineName)) + ".");
  }
  to.line(" ERROR WHILE " + std::string(op.action) + " " + std::string(trimBoth(fileName)) + ".");
  if (message) to.line(*message);
  to.line(makeField(op.hint));
  return true;
}

}  // namespace

void writeWarning(std::string_view message, OptText routineName, std::optional<int> unit) {
  warningTo(Destination(unit), message, routineName);
}

void writeWarning(std::ostream& out, std::string_view message, OptText routineName) {
  warningTo(Destination(out), message, routineName);
}

void writeErrorReport(std::string_view message, OptText routineName, std::optional<int> unit) {
  const Destination to(unit);
  errorTo(to, message, routineName);
  if (to.unit() != 0) units().close(to.unit());
}

void writeErrorReport(std::ostream& out, std::string_view message, OptText routineName) {
  errorTo(Destination(out), message, routineName);
}

bool checkIOStatus(std::int32_t status, std::string_view fileName, OptText message,
                   OptText routineName, OptText operation, std::optional<int> unit) {
  return ioStatusTo(Destination(unit), status, fileName, message, routineName, operation);
}

bool checkIOStatus(std::ostream& out, std::int32_t status, std::string_view fileName,
                   OptText message, OptText routineName, OptText operation) {
  return ioStatusTo(Destination(out), status, fileName, message, routineName, operation);
}

}  // namespace gifjoin
