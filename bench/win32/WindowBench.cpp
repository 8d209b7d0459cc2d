// Times the real vellocar.exe filling its lists, driven from this second process as a user
// would (the test driver of tests/win32/app), under Wine or on Windows.
//
//   vellocar_window_bench APP.exe KEY FOLDER LINES RUNS [READY STOP]
//
// Each run opens KEY, then:
//   bif     from choosing the KEY's first BIF to ListBox2 holding LINES lines (LB_GETCOUNT);
//   folder  from pressing OK on the build's source folder FOLDER to ListBox2 holding LINES
//           lines; the build is then stopped at its save dialog (cancelled).
// Prints one line per measurement: "bif 0.512" (seconds). With READY and STOP, the window is
// left with the BIF's resources listed after the last run, its screen rectangle written to
// READY, until the file STOP appears (for a screenshot).

#include "AppDriver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using namespace vellocar::test::win32;
using vellocar::ui::ControlId;
using Clock = std::chrono::steady_clock;

constexpr auto kFillPatience = std::chrono::minutes(5);

// The list's line count, waiting for the program to answer as long as it is busy.
long Count(HWND list) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 1000, &count)) return -1;
    return static_cast<long>(count);
}

// Seconds from start until the list holds lines lines; negative on time-out.
double UntilCount(HWND list, long lines, Clock::time_point start) {
    while (Clock::now() - start < kFillPatience) {
        if (Count(list) == lines) return std::chrono::duration<double>(Clock::now() - start).count();
        Sleep(1);
    }
    return -1;
}

bool Fail(const std::string& what) {
    std::fprintf(stderr, "window bench: %s\n", what.c_str());
    return false;
}

bool OpenKey(App& app, const std::string& key) {
    app.Click(ControlId::OpenKeyFileButton);
    std::string why;
    if (!app.AnswerFileDialog(key, &why)) return Fail("open KEY: " + why);
    if (!app.WaitForCaption(ControlId::KeyStatPanel, "Done")) return Fail("the KEY did not open");
    // Opening a KEY empties the resource list: the next fill starts from nothing.
    return WaitFor([&] { return Count(app.Control(ControlId::ListBox2)) == 0; }) ||
        Fail("the resource list was not emptied");
}

bool ChooseBif(App& app, long lines) {
    const Clock::time_point start = Clock::now();
    app.ChooseLine(ControlId::ListBox1, 0);
    const double seconds = UntilCount(app.Control(ControlId::ListBox2), lines, start);
    if (seconds < 0) return Fail("the BIF's resources were not listed");
    if (!app.WaitForCaption(ControlId::BifStatPanel, "Done")) return Fail("the BIF did not open");
    std::printf("bif %.3f\n", seconds);
    return true;
}

bool ListFolder(App& app, const std::string& folder, long lines) {
    app.Click(ControlId::BuildButton);
    std::string why;
    Clock::time_point start;
    if (!app.AnswerFolderDialog(folder, "Select source directory:", &why, &start)) return Fail("source folder: " + why);
    const double seconds = UntilCount(app.Control(ControlId::ListBox2), lines, start);
    if (seconds < 0) return Fail("the folder was not listed");
    // Stop the build at its first save dialog.
    auto save = app.WaitForDialog(IsFileDialog, kFillPatience);
    if (!save) return Fail("no save dialog after the listing");
    PostMessageA(GetDlgItem(save->Window, IDCANCEL), BM_CLICK, 0, 0);
    if (!app.WaitForCaption(ControlId::BuildStatPanel, "Done")) return Fail("the build did not end");
    std::printf("folder %.3f\n", seconds);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6 && argc != 8) {
        std::fprintf(stderr, "usage: %s APP.exe KEY FOLDER LINES RUNS [READY STOP]\n", argv[0]);
        return 2;
    }
    const std::string key = WindowsPath(argv[2]);
    const std::string folder = WindowsPath(argv[3]);
    const long lines = std::atol(argv[4]);
    const int runs = std::atoi(argv[5]);

    App app(WindowsPath(argv[1]));
    if (!app.Main()) {
        Fail("the program did not start");
        return 1;
    }
    for (int run = 0; run < runs; ++run) {
        if (!OpenKey(app, key) || !ChooseBif(app, lines)) return 1;
        if (!ListFolder(app, folder, lines)) return 1;
        std::fflush(stdout);
    }
    if (argc == 8) {
        if (!OpenKey(app, key) || !ChooseBif(app, lines)) return 1;
        RedrawWindow(app.Main(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        RECT r;
        GetWindowRect(app.Main(), &r);
        const std::string ready = WindowsPath(argv[6]);
        {
            std::ofstream out(ready + ".part");
            out << r.left << ' ' << r.top << ' ' << (r.right - r.left) << ' ' << (r.bottom - r.top) << '\n';
        }
        MoveFileA((ready + ".part").c_str(), ready.c_str());
        const std::string stop = WindowsPath(argv[7]);
        WaitFor([&] { return GetFileAttributesA(stop.c_str()) != INVALID_FILE_ATTRIBUTES; }, std::chrono::seconds(60));
    }
    return app.Close() == DWORD{0} ? 0 : 3;
}
