// Standard output gathered and escaped, the lines on stderr, and the gauge of a job.

#include "Output.h"

#include "TerminalText.h"

#include <cstdio>
#include <utility>

namespace vellocar::cli {

namespace {

// A long listing goes out in pieces of about this size, so that its memory stays flat however
// many lines it has.
constexpr std::size_t kFlushAt = 1 << 16;

} // namespace

void Output::Line(std::string_view text) {
    if (escape_) {
        OwnLine(Escaped(text));
    } else {
        OwnLine(text);
    }
}

void Output::Fields(std::initializer_list<std::string> fields) { Fields(std::span(fields.begin(), fields.size())); }

void Output::Fields(std::span<const std::string> fields) {
    std::string line;
    for (const std::string& field : fields) {
        if (&field != fields.data()) line += '\t';
        line += escape_ ? Escaped(field) : field;
    }
    OwnLine(line);
}

void Output::OwnLine(std::string_view text) {
    buffer_.append(text);
    buffer_ += '\n';
    if (buffer_.size() >= kFlushAt) Write();
}

bool Output::Flush() {
    Write();
    return std::fflush(stdout) == 0 && ok_;
}

void Output::Write() {
    if (!buffer_.empty()) ok_ = std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) == buffer_.size() && ok_;
    buffer_.clear();
}

std::function<void(const std::string&)> WaitNotice() {
    return [shown = std::string()](const std::string& message) mutable {
        if (!message.empty() && message != shown) Complain(message);
        shown = message;
    };
}

void Complain(std::string_view message) {
    std::string line;
    line.append(kProgram).append(": ").append(Escaped(message)) += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

JobGauge::JobGauge(std::string label, bool wanted)
    : console_(stderr, std::move(label)), shown_(wanted && IsTerminal(stderr)) {}

TProgress JobGauge::Progress() {
    if (!shown_) return {};
    return [this](std::uint64_t done, std::uint64_t total) {
        console_.SetMinValue(0);
        console_.SetMaxValue(ClampToInt(total - 1));
        console_.SetProgress(ClampToInt(done));
        console_.Show();
        console_.RepaintNow();
    };
}

} // namespace vellocar::cli
