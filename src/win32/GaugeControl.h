#pragma once
// Gauge1: a borderless horizontal bar on silver, filled in the system's menu-highlight colour,
// with the percentage done centred on it. A small window class of its own, so that the bar and
// its text repaint together and at once while the work runs on the window's thread.

#include <windows.h>

namespace vellocar::win32 {

class GaugeControl {
public:
    // Registers the window class once per process.
    static void Register(HINSTANCE instance);
    static constexpr const char* kClassName = "VellocarGauge";

    // Creates the control as a child of parent; the object lives as long as the window does
    // not outlive it (the owner destroys the window first).
    HWND Create(HWND parent, int id, int left, int top, int width, int height, DWORD style);
    HWND Handle() const { return hwnd_; }

    void SetMin(int value);
    void SetMax(int value);
    void SetProgress(int value);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc, const RECT& client) const;
    void Changed();

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    int min_ = 0;
    int max_ = 100;
    int progress_ = 0;
};

} // namespace vellocar::win32
