// The window's and the system's DPI, through the functions of newer systems where they exist.

#include "Dpi.h"

namespace vellocar::win32 {

namespace {

// The signatures of the functions that older systems lack; declared here, so that nothing
// links against them by name.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int kEffectiveDpi = 0; // MDT_EFFECTIVE_DPI

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through the one function-pointer type that converts to every other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

struct DpiFunctions {
    GetDpiForWindowFn GetDpiForWindow;
    AdjustWindowRectExForDpiFn AdjustWindowRectExForDpi;
    GetSystemMetricsForDpiFn GetSystemMetricsForDpi;
    GetDpiForMonitorFn GetDpiForMonitor;
};

const DpiFunctions& Functions() {
    static const DpiFunctions functions = [] {
        HMODULE user32 = GetModuleHandleA("user32.dll");
        // Only from the system folder: a shcore.dll beside the program is never loaded. (Windows 7
        // without its loader update refuses the flag, and it has no shcore.dll anyway.)
        HMODULE shcore = LoadLibraryExA("shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return DpiFunctions{Lookup<GetDpiForWindowFn>(user32, "GetDpiForWindow"),
                            Lookup<AdjustWindowRectExForDpiFn>(user32, "AdjustWindowRectExForDpi"),
                            Lookup<GetSystemMetricsForDpiFn>(user32, "GetSystemMetricsForDpi"),
                            Lookup<GetDpiForMonitorFn>(shcore, "GetDpiForMonitor")};
    }();
    return functions;
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : kLayoutDpi;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kLayoutDpi;
}

} // namespace

int WindowDpi(HWND hwnd) {
    const DpiFunctions& f = Functions();
    if (f.GetDpiForWindow) {
        if (const UINT dpi = f.GetDpiForWindow(hwnd); dpi > 0) return static_cast<int>(dpi);
    }
    if (f.GetDpiForMonitor) {
        UINT x = 0, y = 0;
        if (SUCCEEDED(f.GetDpiForMonitor(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), kEffectiveDpi, &x, &y)) &&
            x > 0)
            return static_cast<int>(x);
    }
    return SystemDpi();
}

RECT FrameForClient(int width, int height, DWORD style, DWORD exStyle, int dpi) {
    RECT frame{0, 0, width, height};
    const DpiFunctions& f = Functions();
    if (!f.AdjustWindowRectExForDpi ||
        !f.AdjustWindowRectExForDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
        frame = RECT{0, 0, width, height};
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    }
    return frame;
}

int SystemMetric(int index, int dpi) {
    const DpiFunctions& f = Functions();
    if (f.GetSystemMetricsForDpi) return f.GetSystemMetricsForDpi(index, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

} // namespace vellocar::win32
