// The adapters of the window's list and gauge: each call passed on to the toolkit.

#include "ControlAdapters.h"

namespace vellocar::ui {

// ---- ListBoxResourceList ----------------------------------------------------------------------

void ListBoxResourceList::Clear() {
    lines_.clear();
    toolkit_.ListClear(ControlId::ListBox2);
}
void ListBoxResourceList::Add(const std::string& line) {
    lines_.push_back(line);
    toolkit_.ListAdd(ControlId::ListBox2, line);
}
void ListBoxResourceList::AddAll(const std::vector<std::string>& lines) {
    const ListUpdate update(toolkit_, ControlId::ListBox2, lines.size());
    lines_.reserve(lines_.size() + lines.size());
    for (const std::string& line : lines) Add(line);
}
int ListBoxResourceList::Count() const { return static_cast<int>(lines_.size()); }
std::string ListBoxResourceList::Line(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < lines_.size() ? lines_[static_cast<std::size_t>(index)]
                                                                         : std::string();
}
bool ListBoxResourceList::Selected(int index) const { return toolkit_.ListSelected(ControlId::ListBox2, index); }

// ---- GaugeAdapter -----------------------------------------------------------------------------

void GaugeAdapter::SetMinValue(int value) {
    min_ = value;
    ApplyRange();
}
void GaugeAdapter::SetMaxValue(int value) {
    max_ = value;
    ApplyRange();
}
void GaugeAdapter::SetProgress(int value) {
    if (RangeValid()) toolkit_.SetGaugeProgress(value);
}
void GaugeAdapter::Show() {
    if (RangeValid()) toolkit_.SetVisible(ControlId::Gauge1, true);
}
void GaugeAdapter::RepaintNow() {
    if (RangeValid()) toolkit_.RepaintGauge();
}
void GaugeAdapter::ApplyRange() {
    if (!RangeValid()) return;
    toolkit_.SetGaugeMin(min_);
    toolkit_.SetGaugeMax(max_);
}

} // namespace vellocar::ui
