// The table of lossy levels.
#include "gif/optimize_settings.h"

#include <algorithm>

namespace gifjoin {

OptimizeSettings lossySettings(std::int32_t n) {
  OptimizeSettings settings;
  n = std::clamp(n, 0, kMaxLossy);
  settings.lossy = n;
  // Three tenths of the bound for the strings, the rest for pixels that
  // stay: the best of the shares measured on video, photo and chart series.
  settings.stringsWithin = n * 3 / 10;
  settings.unchangedWithin = n - settings.stringsWithin;
  return settings;
}

}  // namespace gifjoin
