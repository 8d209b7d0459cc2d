// The percentage a progress display shows.

#include "base/Progress.h"

#include <algorithm>

namespace vellocar {

int ProgressPercent(int first, int last, int position) {
    const std::int64_t span = std::int64_t{last} - first;
    if (span <= 0) return 0;
    const std::int64_t done = std::int64_t{position} - first;
    return static_cast<int>(std::clamp<std::int64_t>(done * 100 / span, 0, 100));
}

} // namespace vellocar
