#include "general/free_unit.h"

#include "general/diagnostics.h"
#include "general/units.h"

namespace gifjoin {

int getFreeUnit() {
  for (int u = UnitRegistry::kHighestUnit; u >= UnitRegistry::kLowestSearched; --u) {
    if (!units().isConnected(u)) return u;
  }
  writeWarning("No free logical unit numbers are available...you are in serious trouble!",
               "utils::getFreeUnit");
  return -1;
}

}  // namespace gifjoin
