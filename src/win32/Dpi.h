#pragma once
// Dots per inch. The layout is drawn for 96 DPI; on a screen at 150 % or 200 % the window
// scales every position, size and font by DPI/96 itself, so that Windows has nothing to stretch.
// The functions that report a window's or a monitor's DPI came with Windows 8.1 and 10: they
// are looked up when first needed, and where they are missing the system's DPI stands in, so
// that the program still starts on Windows 7 and 8.

#include <windows.h>

namespace vellocar::win32 {

inline constexpr int kLayoutDpi = 96;

// A layout value at dpi, rounded to the nearest pixel as the system rounds (MulDiv).
inline int Scale(int value, int dpi) { return MulDiv(value, dpi, kLayoutDpi); }

// The DPI the window is drawn at: its own (Windows 10), else its monitor's (Windows 8.1), else
// the system's.
int WindowDpi(HWND hwnd);

// The window rectangle, at the origin, whose client area is width x height at dpi.
RECT FrameForClient(int width, int height, DWORD style, DWORD exStyle, int dpi);

// A system metric (SM_CXICON, ...) at dpi.
int SystemMetric(int index, int dpi);

} // namespace vellocar::win32
