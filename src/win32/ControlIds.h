#pragma once
// The child-window identifiers of the main window's controls and of the popup menu's items.
// The window procedure maps notifications back to ControlId/MenuItemId through them, and the
// tests that drive the program from another process find each control with GetDlgItem.

#include "Layout.h"

namespace vellocar::win32 {

// Away from IDOK (1) and IDCANCEL (2), which the dialog manager sends for Enter and Escape.
inline constexpr int kFirstControlWindowId = 100;
inline constexpr int kFirstMenuCommandId = 200;

constexpr int ControlWindowId(ui::ControlId id) { return kFirstControlWindowId + static_cast<int>(id); }

constexpr int MenuCommandId(ui::MenuItemId id) { return kFirstMenuCommandId + static_cast<int>(id); }

// The main window's class name, for FindWindow.
inline constexpr const char* kMainWindowClass = "VellocarMainWindow";

} // namespace vellocar::win32
