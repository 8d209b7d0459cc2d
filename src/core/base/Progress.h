#pragma once
// How a long job (a build's data pass, an export) says how far it has come: before each of its
// steps it calls the caller's progress with the steps done so far and the steps in all, so
// that the window can move its gauge and the command line its bar. A job of no steps never
// calls it.

#include <cstdint>
#include <functional>
#include <limits>

namespace vellocar {

// done of total steps are behind (0 before the first; total - 1 before the last).
using TProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// How far a display that runs from first to last stands at position, in whole percent from 0
// to 100 (cut, not rounded, so that 100 shows only when the last step is reached). An empty or
// inverted range stands at 0; a position outside the range counts as its nearer end.
int ProgressPercent(int first, int last, int position);

// A count for a display that counts in int (a window's gauge), the largest int where it is more.
inline int ClampToInt(std::uint64_t value) {
    return value > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                               : static_cast<int>(value);
}

} // namespace vellocar
