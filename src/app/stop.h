// Ending the process from inside a run: the error report, then exit status
// 1. It lives with the driver because only the driver may end the process;
// the GIF and general layers report and return instead.
#pragma once

#include <optional>
#include <string_view>

#include "general/diagnostics.h"

namespace gifjoin {

// Report (as writeErrorReport does) and end the process with exit status 1,
// after the console is flushed.
[[noreturn]] void writeErrorAndStop(std::string_view message, OptText routineName = std::nullopt,
                                    std::optional<int> unit = std::nullopt);

}  // namespace gifjoin
