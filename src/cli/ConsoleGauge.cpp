// The console progress bar: its drawing and its wiping.

#include "ConsoleGauge.h"

#include "base/Progress.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace vellocar::cli {

namespace {
constexpr int kBarWidth = 40;
}

TConsoleGauge::TConsoleGauge(std::FILE* out, std::string label) : out_(out), label_(std::move(label)) {}

TConsoleGauge::~TConsoleGauge() { Finish(); }

int TConsoleGauge::Percent() const { return ProgressPercent(min_, max_, progress_); }

void TConsoleGauge::RepaintNow() {
    if (!visible_) return;
    const int percent = Percent();
    if (percent == shownPercent_) return;
    shownPercent_ = percent;

    const int filled = percent * kBarWidth / 100;
    std::string line = "\r";
    if (!label_.empty()) line += label_ + " ";
    line += '[';
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    line += "] ";
    const std::string number = std::to_string(percent);
    line.append(3 - std::min<std::size_t>(3, number.size()), ' ');
    line += number + "%";

    // One write per bar: stderr is unbuffered, and a bar split over several writes flickers.
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
    drawnWidth_ = line.size() - 1;
}

void TConsoleGauge::Finish() {
    if (drawnWidth_ == 0) return;
    std::string blank = "\r";
    blank.append(drawnWidth_, ' ');
    blank += '\r';
    std::fwrite(blank.data(), 1, blank.size(), out_);
    std::fflush(out_);
    drawnWidth_ = 0;
    shownPercent_ = -1;
}

} // namespace vellocar::cli
