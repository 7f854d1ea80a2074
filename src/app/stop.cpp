#include "app/stop.h"

#include <cstdlib>

#include "general/console.h"

namespace gifjoin {

void writeErrorAndStop(std::string_view message, OptText routineName, std::optional<int> unit) {
  writeErrorReport(message, routineName, unit);
  console().flush();
  std::exit(1);
}

}  // namespace gifjoin
