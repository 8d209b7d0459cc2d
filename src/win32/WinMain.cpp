// vellocar.exe: the program's entry. It creates the one main window, lets TForm1 preset its
// dialogs, runs the message loop until the window is closed, and then frees the models. Started
// for a browser ("--browse [PATH]", or a HAK, MOD or ERF from Explorer's "Open with"), it opens
// that browser with the main window hidden, and ends when the last browser closes.

#include "Browser.h"
#include "Main.h"
#include "Utf16.h"
#include "Win32Browser.h"
#include "Win32Services.h"
#include "Win32Toolkit.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

// The program's arguments as UTF-8, its name first: a path outside the code page stays whole.
std::vector<std::string> Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) arguments.push_back(vellocar::win32::Utf8(wide[i]));
        LocalFree(wide);
    }
    return arguments;
}

// Full, as a dialog gives it: a relative name would be read against whatever the current folder
// is later. "" (the game the search finds) stays "".
std::string FullPath(const std::string& path) {
    if (path.empty()) return path;
    const std::wstring given = vellocar::win32::Wide(path);
    const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(given.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return path;
    full.resize(written);
    return vellocar::win32::Utf8(full);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    const std::string title(vellocar::ui::kMainWindow.ApplicationTitle);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    // The browse-for-folder dialog needs COM on this thread, and dragging a browser's rows out
    // to Explorer needs OLE.
    const HRESULT ole = OleInitialize(nullptr);

    int exitCode = 0;
    try {
        vellocar::win32::Win32Toolkit toolkit(instance);
        {
            vellocar::ui::TForm1 form(toolkit);
            toolkit.Attach(&form);
            form.Created();
            if (const auto browse = vellocar::ui::BrowseArgument(Arguments())) {
                form.BrowseGiven(FullPath(*browse));
                // Nothing could be opened (the form has said why): nothing to wait for.
                const bool shown =
                    IsWindowVisible(toolkit.MainWindow()) || vellocar::win32::Win32Browser::OpenCount() > 0;
                exitCode = shown ? toolkit.Run() : 1;
            } else {
                toolkit.Show(showCommand);
                // "vellocar.exe FILE" (Explorer's "Open with", a KEY dropped on the program's icon).
                if (const auto key = vellocar::win32::KeyFileArgument(__argc, __argv)) toolkit.OpenKeyFile(*key);
                exitCode = toolkit.Run();
            }
            toolkit.Attach(nullptr);
        } // the form's destructor frees the BIF model, then the KEY model
    } catch (const std::exception& error) {
        MessageBoxA(nullptr, error.what(), title.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
        exitCode = 1;
    }

    if (SUCCEEDED(ole)) OleUninitialize();
    return exitCode;
}
