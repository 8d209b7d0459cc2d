#pragma once
// The two controls that the archive operations show their work through. The window lends its
// resource list and its gauge; the command-line tool and the tests supply their own.

#include <string>
#include <vector>

namespace vellocar {

// The resource list: filled by TNWNBifFile::Open, read by ExtractSelected (which lines are
// selected) and by BuildFrom (the names to pack, in list order). Lines keep the order in
// which they were added.
class TResourceList {
public:
    virtual ~TResourceList() = default;
    virtual void Clear() = 0;
    virtual void Add(const std::string& line) = 0;
    // Every line at once, in order: a list that shows thousands of lines draws them once.
    virtual void AddAll(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) Add(line);
    }
    virtual int Count() const = 0;
    virtual std::string Line(int index) const = 0;
    virtual bool Selected(int index) const = 0;
};

// The progress gauge. RepaintNow must show the new position at once, because the work runs
// on the window's own thread.
class TGauge {
public:
    virtual ~TGauge() = default;
    virtual void SetMinValue(int value) = 0;
    virtual void SetMaxValue(int value) = 0;
    virtual void SetProgress(int value) = 0;
    virtual void Show() = 0;
    virtual void RepaintNow() = 0;
};

// How far a gauge with this range and position stands, in whole percent from 0 to 100 (cut,
// not rounded, so that 100 shows only when the last step is reached). An empty or inverted range stands at 0; a
// position outside the range counts as its nearer end.
int GaugePercent(int minValue, int maxValue, int progress);

// A list that keeps its lines in memory; what the command-line tool and tests use.
class TStringResourceList : public TResourceList {
public:
    void Clear() override;
    void Add(const std::string& line) override;
    int Count() const override;
    std::string Line(int index) const override;
    bool Selected(int index) const override;
    void SetSelected(int index, bool selected);

    const std::vector<std::string>& Lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    std::vector<bool> selected_;
};

// A gauge that shows nothing.
class TNullGauge : public TGauge {
public:
    void SetMinValue(int) override {}
    void SetMaxValue(int) override {}
    void SetProgress(int) override {}
    void Show() override {}
    void RepaintNow() override {}
};

} // namespace vellocar
