#pragma once
// A resource viewer's window on raw Win32: a virtual list view for a table or lines (it asks for
// the rows it draws), a tree view that asks for a branch's lines as it is opened, a read-only
// edit control for text, a picture control that draws the picture scaled and scrolled, a find
// bar, a status line and the command row (zoom, channels, mipmap, the saves), all at the window's
// DPI. One object per window, found from its window procedure through GWLP_USERDATA; the texts
// are UTF-8 and reach the controls as UTF-16.

#include "ViewerWindow.h"

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace vellocar::win32 {

// Draws the sort arrow of a report list's header on column (up when ascending), and none on
// the others; a column past the last marks none.
void MarkSortedColumn(HWND list, std::size_t column, bool ascending);

class Win32Viewer final : public ui::ViewerWindow {
public:
    // Creates the window, hidden, owned by owner: it stays in front of it and goes with it. It is
    // placed beside owner on owner's monitor, or cascaded from the viewer opened last. docked: a
    // child window filling owner (a browser's pane) instead, which owner keeps at its own size.
    // Raises EVellocarError when the system refuses to create it.
    Win32Viewer(HINSTANCE instance, HWND owner, const std::string& title, ui::ViewerEvents& events,
                bool docked = false);
    ~Win32Viewer() override;
    Win32Viewer(const Win32Viewer&) = delete;
    Win32Viewer& operator=(const Win32Viewer&) = delete;

    void ShowRows(const ui::ViewerRows& rows, bool monospace) override;
    void ShowText(const std::string& text) override;
    void ShowPicture(const ui::ViewerPicture& picture) override;
    void SetPictureScale(double scale, ui::ViewerZoom zoom) override;
    void SetStatus(const std::string& text) override;
    void ShowPictureCommands(bool shown) override;
    void Raise() override;
    void ShowTree(const ui::ViewerTree& tree) override;
    void RowsChanged(std::size_t sortColumn, bool ascending) override;
    void SelectRow(std::size_t row) override;
    void SelectNode(ui::ViewerTree::Node node) override;
    void SetPictureChoices(const std::vector<std::string>& mips, std::size_t mip, ui::ViewerChannels channels) override;
    void ShowConvertedSave(const std::string& caption) override;
    void ShowTalkTableCommand(bool shown) override;

    HWND Window() const { return hwnd_; }
    HWND View() const { return view_; } // the control now shown
    HWND StatusLine() const { return status_; }
    HWND FindEdit() const { return findEdit_; } // shown while the find bar is open

    // Tab, Escape and the buttons' keys in a viewer's window, as a dialog has them, and the find
    // keys (Ctrl+F, Enter and F3 with or without Shift, Escape closing the bar first): true when
    // msg was for one and has been handled. The message loops ask it of every message. In a
    // docked viewer, the find keys and Escape (which closes it) only.
    static bool DialogMessage(MSG& msg);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandlePicture(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Notify(const NMHDR& header, LPARAM lParam);
    void Command(int id, int code);
    // A key of the find bar's (see DialogMessage): true when it was one.
    bool FindKey(const MSG& msg);
    void OpenFind();
    void CloseFind();
    void KeepSelectionInSight();
    void Find(bool forward);
    // The tree's lines under item (node's children), inserted the first time it is opened.
    void InsertChildren(HTREEITEM item, ui::ViewerTree::Node node);
    std::wstring TreeLine(ui::ViewerTree::Node node) const;
    void MarkSortColumn();
    void PointAt(int x, int y);
    void PointAgain();
    // Where the window first shows: beside owner, or cascaded from the viewer opened last.
    void PlaceBeside(HWND owner, HWND previous);
    // Takes the window down and frees the fonts.
    void Release();
    void CreateChildren();
    // Fonts and places at the window's DPI.
    void ApplyDpi();
    void Place();
    // The command row's controls in their places; the top of the views below them.
    int PlaceCommands(int width);
    bool CommandShown(int id) const;
    int CommandWidth(std::size_t index) const;
    void Show(HWND view);
    void ApplyColumns();
    void UpdateScrollBars();
    void Scroll(int bar, int request, int delta = 0);
    // Where the picture is drawn in its control, at its scale and scroll.
    RECT PictureRect() const;
    void Paint();
    void ReportArea();
    int Px(int value) const;

    HINSTANCE instance_;
    bool docked_ = false;
    HWND hwnd_ = nullptr;
    ui::ViewerEvents* events_ = nullptr; // set once the window is built
    std::array<HWND, 11> commands_{}; // in the order of kCommands
    HWND list_ = nullptr, edit_ = nullptr, picture_ = nullptr, tree_ = nullptr, status_ = nullptr, view_ = nullptr;
    HWND findLabel_ = nullptr, findEdit_ = nullptr;
    HFONT font_ = nullptr, fixedFont_ = nullptr;
    int dpi_ = 96;
    const ui::ViewerRows* rows_ = nullptr;
    bool monospace_ = false;
    std::size_t sortColumn_ = SIZE_MAX; // none marked
    bool ascending_ = true;
    const ui::ViewerTree* treeData_ = nullptr;
    // The tree's lines inserted so far, by node: a branch's lines are inserted when it is opened.
    std::unordered_map<ui::ViewerTree::Node, HTREEITEM> items_;
    bool pictureCommands_ = false, talkTable_ = false, findShown_ = false;
    std::wstring convertedCaption_;
    std::vector<std::uint32_t> pixels_;
    int width_ = 0, height_ = 0;
    double scale_ = 1;
    ui::ViewerZoom zoom_ = ui::ViewerZoom::Fit;
    int scrollX_ = 0, scrollY_ = 0;
    bool tracking_ = false; // TrackMouseEvent asked for the picture's WM_MOUSELEAVE
    int pointedX_ = -1, pointedY_ = -1;
};

} // namespace vellocar::win32
