#pragma once
// Where the window puts things at a DPI: the layout's numbers times DPI/96 to the nearest pixel
// (at 96, exactly the layout); away from 96 a label may grow to fit the face that stands in.

#include "Layout.h"
#include <gtest/gtest.h>
#include <windows.h>

namespace vellocar::test::win32 {

inline void ExpectScaled(long long actual, int layoutValue, int dpi) {
    EXPECT_NEAR(static_cast<double>(actual), layoutValue * dpi / 96.0, 0.5) << "layout value " << layoutValue;
}

inline void ExpectPlacedAt(HWND control, const ui::ControlSpec& desc, int dpi) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    ExpectScaled(r.left, desc.Left, dpi);
    ExpectScaled(r.top, desc.Top, dpi);
    ExpectScaled(r.bottom - r.top, desc.Height, dpi);
    if (dpi == 96 || (desc.Kind != ui::ControlKind::Label && desc.Kind != ui::ControlKind::LinkLabel))
        ExpectScaled(r.right - r.left, desc.Width, dpi);
    EXPECT_GE(r.right - r.left, desc.Width * dpi / 96);
    if (desc.ItemHeight > 0) ExpectScaled(SendMessageA(control, LB_GETITEMHEIGHT, 0, 0), desc.ItemHeight, dpi);
    GetClientRect(GetParent(control), &r);
    ExpectScaled(r.right, ui::kMainWindow.ClientWidth, dpi);
    ExpectScaled(r.bottom, ui::kMainWindow.ClientHeight, dpi);
}

} // namespace vellocar::test::win32
