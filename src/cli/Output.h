#pragma once
// What the tool tells its caller: its exit status, its standard output (gathered, and escaped
// on a terminal), its lines on stderr, and the progress bar of a long job.

#include "base/Progress.h"
#include "ConsoleGauge.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace vellocar::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1; // a failure, a resource skipped or not found, a problem found
inline constexpr int kExitUsage = 2;

inline constexpr std::string_view kProgram = "vellocar-cli";

// Standard output collects everything and is written once at the end: a listing of 20,000
// lines must not cost 20,000 writes. On a terminal each line is escaped (names from a KEY are
// bytes from a file); into a pipe or a file the lines go as they are, as ls does it, so that a
// script gets the exact names to pass back.
class Output {
public:
    explicit Output(bool escape) : escape_(escape) {}
    // A line that may quote names.
    void Line(std::string_view text);
    // A line of tab-separated fields that may quote names: on a terminal each field is escaped
    // and the tabs between them stay tabs.
    void Fields(std::initializer_list<std::string> fields);
    void Fields(std::span<const std::string> fields);
    // A line of the program's own text only (the help shows \xHH, which must stay as written).
    void OwnLine(std::string_view text);
    // False when the text could not be written (a closed pipe, a full disk).
    bool Flush();

private:
    void Write();

    bool escape_;
    bool ok_ = true;
    std::string buffer_;
};

// One line on stderr, "vellocar-cli: <message>". Messages quote names from files and from the
// command line, so the whole line is escaped, wherever stderr goes: a log file is read on a
// terminal too.
void Complain(std::string_view message);

// What a wait for another build of the same files tells the caller: each message once on
// stderr, not ten times a second; a script that waits should know why.
std::function<void(const std::string&)> WaitNotice();

// The progress of a long job: a bar on stderr where it is wanted and stderr is a terminal, else
// nothing.
class JobGauge {
public:
    JobGauge(std::string label, bool wanted);
    // What the job tells its progress to; nothing when no bar is shown.
    TProgress Progress();
    // Wipes the bar, so that the lines after the job start on a clean row.
    void Finish() { console_.Finish(); }

private:
    TConsoleGauge console_;
    bool shown_;
};

} // namespace vellocar::cli
