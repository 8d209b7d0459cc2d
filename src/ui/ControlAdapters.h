#pragma once
// ListBox2 and Gauge1 as the BIF model sees them (TResourceList, TGauge), over the toolkit.

#include "BifModel.h"
#include "Toolkit.h"

#include <string>
#include <vector>

namespace vellocar::ui {

// ListBox2. A BIF's lines come all at once (AddAll), and the list shows them once, when they
// are all there. The lines are held here, as they were given: the window's logic reads them
// from this state, never back from the control (whose text a toolkit may have changed).
class ListBoxResourceList final : public TResourceList {
public:
    explicit ListBoxResourceList(Toolkit& toolkit) : toolkit_(toolkit) {}
    void Clear() override;
    void Add(const std::string& line) override;
    void AddAll(const std::vector<std::string>& lines) override;
    int Count() const override;
    std::string Line(int index) const override;
    bool Selected(int index) const override;

private:
    Toolkit& toolkit_;
    std::vector<std::string> lines_;
};

// Gauge1. A range whose maximum lies below its minimum (0 to -1 for an empty job) means there
// is nothing to show: the gauge is then left as it stands rather than handed a range that a
// native progress bar would reject or misdraw.
class GaugeAdapter final : public TGauge {
public:
    explicit GaugeAdapter(Toolkit& toolkit) : toolkit_(toolkit) {}
    void SetMinValue(int value) override;
    void SetMaxValue(int value) override;
    void SetProgress(int value) override;
    void Show() override;
    void RepaintNow() override;

private:
    bool RangeValid() const { return min_ <= max_; }
    void ApplyRange();

    Toolkit& toolkit_;
    int min_ = 0;
    int max_ = 100;
};

} // namespace vellocar::ui
