// Warning, error and input/output-failure reports with their exact layouts.
// Reports go to standard output (unit 6) unless the caller names a unit.
#include "diagnostics.h"

#include <array>
#include <cstdlib>
#include <string>

#include "console.h"
#include "text_field.h"
#include "units.h"

namespace gifjoin {

namespace {

StopHandler g_stopHandler = nullptr;

void lineTo(int unit, std::string_view text) {
  if (unit == kStandardOutput) {
    writeLine(text);
    return;
  }
  std::string line(text);
  line += '\n';
  units().write(unit, reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
}

void flushUnit(int unit) {
  if (unit == kStandardOutput) console().flush();
}

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

}  // namespace

void writeWarning(std::string_view message, OptText routineName, std::optional<int> unit) {
  const int u = unit.value_or(kStandardOutput);
  if (routineName) {
    lineTo(u, "WARNING in subroutine " + std::string(trimBoth(*routineName)) + ".");
  } else {
    lineTo(u, "Serious WARNING in program:");
  }
  lineTo(u, message);
  lineTo(u, kContinueBanner);
  flushUnit(u);
}

void writeErrorAndStop(std::string_view message, OptText routineName, std::optional<int> unit) {
  writeErrorReport(message, routineName, unit);
  stopProgram(1);
}

void writeErrorReport(std::string_view message, OptText routineName, std::optional<int> unit) {
  const int u = unit.value_or(kStandardOutput);
  if (routineName) {
    lineTo(u, "ERROR in subroutine " + std::string(trimBoth(*routineName)) + ".");
  } else {
    lineTo(u, "Serious ERROR in program:");
  }
  writeLine(" " + std::string(trimRight(message)));
  lineTo(u, message);
  lineTo(u, kTerminateBanner);
  flushUnit(u);
  if (unit && *unit != kStandardOutput) units().close(*unit);
}

bool checkIOStatus(std::int32_t status, std::string_view fileName, OptText message,
                   OptText routineName, OptText operation, std::optional<int> unit) {
  if (status == 0) return false;
  const int u = unit.value_or(kStandardOutput);
  const Operation& op = lookUp(operation);
  if (routineName) {
    lineTo(u, "WARNING in subroutine " + std::string(trimBoth(*routineName)) + ".");
  }
  lineTo(u, " ERROR WHILE " + std::string(op.action) + " " + std::string(trimBoth(fileName)) + ".");
  if (message) lineTo(u, *message);
  lineTo(u, makeField(op.hint));
  return true;
}

StopHandler setStopHandler(StopHandler handler) {
  StopHandler previous = g_stopHandler;
  g_stopHandler = handler;
  return previous;
}

void stopProgram(int exitStatus) {
  console().flush();
  if (g_stopHandler != nullptr) g_stopHandler(exitStatus);
  std::exit(exitStatus);
}

}  // namespace gifjoin
