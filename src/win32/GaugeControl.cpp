// The gauge control: its window class, its range and position, and its painting.

#include "GaugeControl.h"

#include "base/Progress.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace vellocar::win32 {

namespace {
constexpr COLORREF kSilver = RGB(192, 192, 192);
}

void GaugeControl::Register(HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExA(instance, kClassName, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &GaugeControl::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassExA(&wc);
}

HWND GaugeControl::Create(HWND parent, int id, int left, int top, int width, int height, DWORD style) {
    auto* instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
    Register(instance);
    hwnd_ = CreateWindowExA(0, kClassName, "", WS_CHILD | style, left, top, width, height, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
    return hwnd_;
}

void GaugeControl::SetMin(int value) {
    min_ = value;
    Changed();
}

void GaugeControl::SetMax(int value) {
    max_ = value;
    Changed();
}

void GaugeControl::SetProgress(int value) {
    progress_ = value;
    Changed();
}

void GaugeControl::Changed() {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void GaugeControl::Paint(HDC dc, const RECT& client) const {
    const int percent = ProgressPercent(min_, max_, progress_);
    const int width = client.right - client.left;
    RECT bar = client;
    bar.right = client.left + width * percent / 100;
    RECT rest = client;
    rest.left = bar.right;

    HBRUSH barBrush = GetSysColorBrush(COLOR_MENUHILIGHT);
    FillRect(dc, &bar, barBrush);
    HBRUSH silver = CreateSolidBrush(kSilver);
    FillRect(dc, &rest, silver);
    DeleteObject(silver);

    // The text is drawn twice, each time clipped to one part, so that it stays readable both
    // on the bar and on the silver.
    const std::string text = std::to_string(percent) + "%";
    HGDIOBJ oldFont = font_ ? SelectObject(dc, font_) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    RECT whole = client;
    const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, bar.left, bar.top, bar.right, bar.bottom);
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    DrawTextA(dc, text.c_str(), -1, &whole, format);
    RestoreDC(dc, saved);
    IntersectClipRect(dc, rest.left, rest.top, rest.right, rest.bottom);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextA(dc, text.c_str(), -1, &whole, format);
    if (oldFont) SelectObject(dc, oldFont);
}

LRESULT CALLBACK GaugeControl::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<GaugeControl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_ERASEBKGND:
            return 1; // WM_PAINT covers every pixel
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (self) {
                RECT client;
                GetClientRect(hwnd, &client);
                self->Paint(dc, client);
            }
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            if (self) {
                RECT client;
                GetClientRect(hwnd, &client);
                self->Paint(reinterpret_cast<HDC>(wParam), client);
            }
            return 0;
        case WM_SETFONT:
            if (self) self->font_ = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_GETFONT:
            return self ? reinterpret_cast<LRESULT>(self->font_) : 0;
        case WM_NCDESTROY:
            if (self) self->hwnd_ = nullptr;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            break;
        default:
            break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

} // namespace vellocar::win32
