// The three uniform reports of the tool: warnings that let the run go on,
// errors that stop it, and failed input/output operations on a named file.
// Every fixed text of these reports is defined here once. Nothing here ends
// the process: the one stop that does lives with the driver (src/app).
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

namespace gifjoin {

inline constexpr std::string_view kContinueBanner = "  ---=== TRYING TO CONTINUE PROGRAM ===--- ";
inline constexpr std::string_view kTerminateBanner = "  ---=== TERMINATING PROGRAM ===--- ";

using OptText = std::optional<std::string_view>;

// Each report goes to a unit (6, the console, by default) or to the stream
// that the caller hands over.

// Report and carry on. Flushes the unit.
void writeWarning(std::string_view message, OptText routineName = std::nullopt,
                  std::optional<int> unit = std::nullopt);
void writeWarning(std::ostream& out, std::string_view message, OptText routineName = std::nullopt);

// The report of writeErrorAndStop (src/app/stop.h) without the stop. A
// given unit other than 6 is closed after the report.
void writeErrorReport(std::string_view message, OptText routineName = std::nullopt,
                      std::optional<int> unit = std::nullopt);
void writeErrorReport(std::ostream& out, std::string_view message,
                      OptText routineName = std::nullopt);

// After an input/output statement: when status is not 0, report which
// operation failed on which file and return true.
bool checkIOStatus(std::int32_t status, std::string_view fileName, OptText message = std::nullopt,
                   OptText routineName = std::nullopt, OptText operation = std::nullopt,
                   std::optional<int> unit = std::nullopt);
bool checkIOStatus(std::ostream& out, std::int32_t status, std::string_view fileName,
                   OptText message = std::nullopt, OptText routineName = std::nullopt,
                   OptText operation = std::nullopt);

}  // namespace gifjoin
