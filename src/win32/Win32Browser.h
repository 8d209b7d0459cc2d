#pragma once
// The resource browser's window on raw Win32: a resizable top-level window with the commands in a
// row at the top, the filter and the count under them, the layers as a list of check boxes on the
// left, the resources as a virtual list view (it asks for the rows it draws) in the middle, the
// pane for a docked viewer on the right and a status line at the bottom, all at the window's DPI.
// One object per window, found from its window procedure through GWLP_USERDATA; texts are UTF-8
// and reach the controls as UTF-16.

#include "BrowserWindow.h"

#include <windows.h>
#include <commctrl.h>
#include <objidl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vellocar::win32 {

// The files as the shell's data object, which Explorer copies from when they are dropped on it
// (nullptr when none of them can be named to the shell); the caller releases it.
IDataObject* FilesDataObject(const std::vector<std::string>& files);

class Win32Browser final : public ui::BrowserWindow {
public:
    // Creates the window, hidden (Raise shows it), on the monitor of beside (or the primary one).
    // Raises EVellocarError when the system refuses to create it.
    Win32Browser(HINSTANCE instance, HWND beside, const std::string& title, ui::BrowserEvents& events);
    ~Win32Browser() override;
    Win32Browser(const Win32Browser&) = delete;
    Win32Browser& operator=(const Win32Browser&) = delete;

    void SetLayers(const std::vector<ui::BrowserLayer>& layers) override;
    void ShowRows(const ui::BrowserRows& rows, std::size_t sortColumn, bool ascending) override;
    std::vector<std::size_t> SelectedRows() const override;
    void SelectRow(std::size_t row) override;
    void SetCount(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void SetCommands(const std::vector<ui::BrowserCommandState>& commands) override;
    void SetClipboardText(const std::string& text) override;
    std::unique_ptr<ui::ViewerWindow> OpenDockedViewer(const std::string& title, ui::ViewerEvents& events) override;
    void Raise() override;

    HWND Window() const { return hwnd_; }
    HWND Layers() const { return layers_; }
    HWND Table() const { return table_; }
    HWND Filter() const { return filter_; }
    HWND Count() const { return count_; }
    HWND StatusLine() const { return status_; }
    HWND Pane() const { return pane_; }
    // The toolbar's buttons, in the order SetCommands gave them.
    const std::vector<HWND>& CommandButtons() const { return buttons_; }

    // The browser's keys in its windows (Ctrl+F, Enter on the table) and the dialog's (Tab,
    // Escape): true when msg was for one and has been handled. The message loops ask it of every
    // message.
    static bool DialogMessage(MSG& msg);
    // How many browser windows are open, and whether window is one of them.
    static std::size_t OpenCount();
    static bool IsBrowserWindow(HWND window);
    // Called after the last browser window has gone (the program ends then when it has no other
    // window on screen).
    static void WhenLastClosed(std::function<void()> closed);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PaneProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Notify(const NMHDR& header, LPARAM lParam);
    void Command(int id, int code);
    // A key of the browser's own (see DialogMessage): true when it was one.
    bool Key(const MSG& msg);
    void OpenFocusedRow();
    void ShowRowMenu(HWND from, LPARAM at);
    void Drag();
    // Takes the window down (after the message on the stack, when inside one) and frees the fonts.
    void Release();
    void CreateChildren();
    // Fonts, images, column widths and places at the window's DPI.
    void ApplyDpi(int oldDpi);
    void Place();
    int PlaceCommands(int width);
    void MarkSortColumn();
    void PaneChanged(bool holds);
    int Px(int value) const;
    int TextWidth(const std::wstring& text) const;

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    ui::BrowserEvents* events_ = nullptr; // set once the window is built
    HWND layers_ = nullptr, table_ = nullptr, filterLabel_ = nullptr, filter_ = nullptr, count_ = nullptr;
    HWND pane_ = nullptr, status_ = nullptr;
    std::vector<HWND> buttons_;
    std::vector<ui::BrowserCommandState> commands_;
    std::vector<std::wstring> tips_; // the layers' tooltips
    std::vector<std::wstring> titles_; // the table's columns
    HWND lastFocus_ = nullptr;
    HFONT font_ = nullptr;
    HIMAGELIST marks_ = nullptr; // the layers' warning mark
    int dpi_ = 96;
    const ui::BrowserRows* rows_ = nullptr;
    std::size_t sortColumn_ = SIZE_MAX;
    bool ascending_ = true;
    bool paneHolds_ = false;
    // While the program itself sets a box or a selection, the list's notifications are not the user's.
    bool quiet_ = false;
    bool selectionPending_ = false; // a selection change is on its way to the logic
    // Messages of this window on the stack; inside one, the window is taken down after it returns.
    int depth_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vellocar::win32
