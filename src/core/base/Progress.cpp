// The gauge's percentage and the resource list that keeps its lines in memory.

#include "Progress.h"

#include <algorithm>
#include <cstdint>

namespace vellocar {

int GaugePercent(int minValue, int maxValue, int progress) {
    const std::int64_t span = std::int64_t{maxValue} - minValue;
    if (span <= 0) return 0;
    const std::int64_t done = std::int64_t{progress} - minValue;
    return static_cast<int>(std::clamp<std::int64_t>(done * 100 / span, 0, 100));
}

void TStringResourceList::Clear() {
    lines_.clear();
    selected_.clear();
}

void TStringResourceList::Add(const std::string& line) {
    lines_.push_back(line);
    selected_.push_back(false);
}

int TStringResourceList::Count() const { return static_cast<int>(lines_.size()); }

std::string TStringResourceList::Line(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= lines_.size()) return {};
    return lines_[static_cast<std::size_t>(index)];
}

bool TStringResourceList::Selected(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= selected_.size()) return false;
    return selected_[static_cast<std::size_t>(index)];
}

void TStringResourceList::SetSelected(int index, bool selected) {
    if (index < 0 || static_cast<std::size_t>(index) >= selected_.size()) return;
    selected_[static_cast<std::size_t>(index)] = selected;
}

} // namespace vellocar
