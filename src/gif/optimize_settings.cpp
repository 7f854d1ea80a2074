// The table of lossy levels.
#include "gif/optimize_settings.h"

#include <algorithm>

namespace gifjoin {

OptimizeSettings lossySettings(std::int32_t n) {
  OptimizeSettings settings;
  n = std::clamp(n, 0, kMaxLossy);
  settings.lossy = n;
  settings.unchangedWithin = n;
  settings.stringsWithin = 0;
  return settings;
}

}  // namespace gifjoin
