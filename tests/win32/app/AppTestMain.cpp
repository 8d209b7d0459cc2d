// The app tests' entry. Besides the GoogleTest cases it has two helper modes:
//   --hold-window READY STOP   for the screenshot script, which cannot reach the window itself:
//                              start the program, write its window's screen rectangle
//                              ("x y width height") to READY once it shows, and close it when
//                              the file STOP appears (or after a minute)
//   --shell-log LOG TARGET     for the credit line's test, as the prefix's handler of links:
//                              append TARGET, the link the shell was asked to open, to LOG

#include "AppDriver.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

namespace {

int HoldWindow(const std::string& ready, const std::string& stop) {
    using namespace vellocar::test::win32;
    App app(AppPath());
    if (!app.Main()) return 2;
    // Let the first paint finish before anyone looks.
    RedrawWindow(app.Main(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r;
    GetWindowRect(app.Main(), &r);
    {
        std::ofstream out(ready + ".part");
        out << r.left << ' ' << r.top << ' ' << (r.right - r.left) << ' ' << (r.bottom - r.top) << '\n';
    }
    MoveFileA((ready + ".part").c_str(), ready.c_str());
    WaitFor([&] { return GetFileAttributesA(stop.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60s);
    return app.Close() == DWORD{0} ? 0 : 3;
}

} // namespace

int main(int argc, char** argv) {
    // Rectangles of the program's window in the screen's own pixels, at any DPI.
    SetProcessDPIAware();
    if (argc == 4 && std::strcmp(argv[1], "--hold-window") == 0)
        return HoldWindow(vellocar::test::win32::WindowsPath(argv[2]), vellocar::test::win32::WindowsPath(argv[3]));
    if (argc == 4 && std::strcmp(argv[1], "--shell-log") == 0) {
        std::ofstream(argv[2], std::ios::binary | std::ios::app) << argv[3] << '\n';
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
