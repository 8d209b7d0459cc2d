#pragma once
// A resource viewer's window on raw Win32: a virtual list view for a table or lines (it asks for
// the rows it draws), a read-only edit control for text, a picture control that draws the
// picture scaled and scrolled, a status line and the zoom and save buttons, all at the window's
// DPI. One object per window, found from its window procedure through GWLP_USERDATA; the texts
// are UTF-8 and reach the controls as UTF-16.

#include "ViewerWindow.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vellocar::win32 {

class Win32Viewer final : public ui::ViewerWindow {
public:
    // Creates the window, hidden, owned by owner: it stays in front of it and goes with it.
    // Raises EVellocarError when the system refuses to create it.
    Win32Viewer(HINSTANCE instance, HWND owner, const std::string& title, ui::ViewerEvents& events);
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
    // Not yet shown by this face.
    void ShowTree(const ui::ViewerTree&) override {}
    void RowsChanged(std::size_t, bool) override {}
    void SelectRow(std::size_t) override {}
    void SelectNode(ui::ViewerTree::Node) override {}
    void SetPictureChoices(const std::vector<std::string>&, std::size_t, ui::ViewerChannels) override {}
    void ShowConvertedSave(const std::string&) override {}
    void ShowTalkTableCommand(bool) override {}

    HWND Window() const { return hwnd_; }
    HWND View() const { return view_; } // the control now shown
    HWND StatusLine() const { return status_; }

    // Tab, Escape and the buttons' keys in a viewer's window, as a dialog has them: true when msg
    // was for one and has been handled. The message loops ask it of every message.
    static bool DialogMessage(MSG& msg);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandlePicture(UINT message, WPARAM wParam, LPARAM lParam);
    // Takes the window down and frees the fonts.
    void Release();
    void CreateChildren();
    // Fonts and places at the window's DPI.
    void ApplyDpi();
    void Place();
    void Show(HWND view);
    void ApplyColumns();
    void UpdateScrollBars();
    void Scroll(int bar, int request, int delta = 0);
    void Paint();
    void ReportArea();
    int Px(int value) const;

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    ui::ViewerEvents* events_ = nullptr; // set once the window is built
    std::array<HWND, 5> buttons_{};
    HWND list_ = nullptr, edit_ = nullptr, picture_ = nullptr, status_ = nullptr, view_ = nullptr;
    HFONT font_ = nullptr, fixedFont_ = nullptr;
    int dpi_ = 96;
    const ui::ViewerRows* rows_ = nullptr;
    bool monospace_ = false;
    std::vector<std::uint32_t> pixels_;
    int width_ = 0, height_ = 0;
    double scale_ = 1;
    ui::ViewerZoom zoom_ = ui::ViewerZoom::Fit;
    int scrollX_ = 0, scrollY_ = 0;
};

} // namespace vellocar::win32
