#pragma once
// A progress bar on a console stream: "label [#####.....]  45%", redrawn in place with "\r".
// The archive code tells its progress once per resource; the bar is drawn again only when the
// whole percentage changes, so a 20,000-file job writes at most 101 bars.

#include <cstdio>
#include <string>

namespace vellocar::cli {

class TConsoleGauge {
public:
    // out must outlive the gauge. Nothing is written until Show and the first RepaintNow.
    TConsoleGauge(std::FILE* out, std::string label);
    ~TConsoleGauge();
    TConsoleGauge(const TConsoleGauge&) = delete;
    TConsoleGauge& operator=(const TConsoleGauge&) = delete;

    void SetMinValue(int value) { min_ = value; }
    void SetMaxValue(int value) { max_ = value; }
    void SetProgress(int value) { progress_ = value; }
    void Show() { visible_ = true; }
    // Draws the bar when its whole percentage has changed since it was last drawn.
    void RepaintNow();

    // Wipes a bar that was drawn, so that the next line starts on a clean row. Safe to call
    // more than once; the destructor calls it too (also when an error ends the work).
    void Finish();

    // The whole percentage the bar would show now: 0 to 100.
    int Percent() const;

private:
    std::FILE* out_;
    std::string label_;
    int min_ = 0;
    int max_ = 100;
    int progress_ = 0;
    bool visible_ = false;
    int shownPercent_ = -1;
    std::size_t drawnWidth_ = 0;
};

} // namespace vellocar::cli
