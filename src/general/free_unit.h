// Handing out file units: the highest unit no file is connected to. Sits
// above the diagnostics, which it warns through when none is left.
#pragma once

namespace gifjoin {

// Highest unconnected unit from 100 down to 7, or -1 with a warning.
int getFreeUnit();

}  // namespace gifjoin
