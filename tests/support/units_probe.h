// Looking at the file units from a test, through the registry's public
// interface: how many files are open, and closing them all.
#pragma once

#include "general/units.h"

namespace gifjoin::testing {

// Number of units 7..100 a file is open on.
inline int openUnitCount() {
  int count = 0;
  for (int u = 7; u <= UnitRegistry::kHighestUnit; ++u) count += units().isConnected(u) ? 1 : 0;
  return count;
}

// Close every file (written files are abandoned).
inline void releaseAllUnits() {
  for (int u = 0; u <= UnitRegistry::kHighestUnit; ++u) units().release(u);
}

}  // namespace gifjoin::testing
