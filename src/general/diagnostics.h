// The three uniform reports of the tool: warnings that let the run go on,
// errors that stop it, and failed input/output operations on a named file.
// Every fixed text of these reports is defined here once.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

namespace gifjoin {

inline constexpr std::string_view kContinueBanner = "  ---=== TRYING TO CONTINUE PROGRAM ===--- ";
inline constexpr std::string_view kTerminateBanner = "  ---=== TERMINATING PROGRAM ===--- ";

using OptText = std::optional<std::string_view>;

// What a GIF operation tells its caller about the run: go on, or stop
// after the fatal report that has been written (the caller ends the run
// with exit status 1, once it has stopped whatever else is running).
enum class [[nodiscard]] RunStatus{Continue, Stop};

// Each report goes to a unit (6, the console, by default) or to the stream
// that the caller hands over.

// Report and carry on. Flushes the unit.
void writeWarning(std::string_view message, OptText routineName = std::nullopt,
                  std::optional<int> unit = std::nullopt);
void writeWarning(std::ostream& out, std::string_view message, OptText routineName = std::nullopt);

// The report of writeErrorAndStop without the stop.
void writeErrorReport(std::string_view message, OptText routineName = std::nullopt,
                      std::optional<int> unit = std::nullopt);
void writeErrorReport(std::ostream& out, std::string_view message,
                      OptText routineName = std::nullopt);

// Report and end the run with exit status 1.
[[noreturn]] void writeErrorAndStop(std::string_view message, OptText routineName = std::nullopt,
                                    std::optional<int> unit = std::nullopt);

// After an input/output statement: when status is not 0, report which
// operation failed on which file and return true.
bool checkIOStatus(std::int32_t status, std::string_view fileName, OptText message = std::nullopt,
                   OptText routineName = std::nullopt, OptText operation = std::nullopt,
                   std::optional<int> unit = std::nullopt);
bool checkIOStatus(std::ostream& out, std::int32_t status, std::string_view fileName,
                   OptText message = std::nullopt, OptText routineName = std::nullopt,
                   OptText operation = std::nullopt);

// Ending the run. The default handler flushes the console and exits; tests
// and fuzz harnesses install one that throws instead.
using StopHandler = void (*)(int exitStatus);
StopHandler setStopHandler(StopHandler handler);
[[noreturn]] void stopProgram(int exitStatus);

}  // namespace gifjoin
