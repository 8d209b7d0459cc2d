// vellocar.exe: the program's entry. It creates the one main window, lets TForm1 preset its
// dialogs, runs the message loop until the window is closed, and then frees the models.

#include "Main.h"
#include "Win32Services.h"
#include "Win32Toolkit.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <exception>
#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    const std::string title(vellocar::ui::kMainWindow.ApplicationTitle);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    // The browse-for-folder dialog needs COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    int exitCode = 0;
    try {
        vellocar::win32::Win32Toolkit toolkit(instance);
        {
            vellocar::ui::TForm1 form(toolkit);
            toolkit.Attach(&form);
            form.Created();
            toolkit.Show(showCommand);
            // "vellocar.exe FILE" (Explorer's "Open with", a KEY dropped on the program's icon).
            if (const auto key = vellocar::win32::KeyFileArgument(__argc, __argv)) toolkit.OpenKeyFile(*key);
            exitCode = toolkit.Run();
            toolkit.Attach(nullptr);
        } // the form's destructor frees the BIF model, then the KEY model
    } catch (const std::exception& error) {
        MessageBoxA(nullptr, error.what(), title.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
        exitCode = 1;
    }

    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
}
