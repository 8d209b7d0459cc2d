#pragma once
// The main window on raw Win32: every control built from kLayout, the window's notifications
// turned into calls of TForm1's entry points, and the Toolkit services over the system's
// dialogs. One object per window, found from the window procedure through GWLP_USERDATA.

#include "GaugeControl.h"
#include "Toolkit.h"

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <map>
#include <string>
#include <tuple>

namespace vellocar::ui {
class TForm1;
}

namespace vellocar::win32 {

class Win32Toolkit : public ui::Toolkit {
public:
    // Creates the window and its controls, hidden. Raises EVellocarError when the system
    // refuses to create them.
    explicit Win32Toolkit(HINSTANCE instance);
    ~Win32Toolkit() override;
    Win32Toolkit(const Win32Toolkit&) = delete;
    Win32Toolkit& operator=(const Win32Toolkit&) = delete;

    // Events go to form from now on; nullptr stops them.
    void Attach(ui::TForm1* form) { form_ = form; }
    // Shows the window, centred on its monitor the first time.
    void Show(int showCommand);
    // The message loop; returns the quit code once the window has been destroyed.
    int Run();
    // A KEY named from outside the window (the command line, a drop): to the form's
    // KeyFileGiven, as the window's own events go.
    void OpenKeyFile(const std::string& path);

    HWND MainWindow() const { return hwnd_; }
    HWND Control(ui::ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }
    // The DPI the window is laid out for: its monitor's when it was created, then what the
    // last WM_DPICHANGED said.
    int Dpi() const { return dpi_; }

    // Toolkit
    void SetCaption(ui::ControlId id, const std::string& text) override;
    std::string Caption(ui::ControlId id) const override;
    void SetEnabled(ui::ControlId id, bool enabled) override;
    bool Enabled(ui::ControlId id) const override;
    void SetVisible(ui::ControlId id, bool visible) override;
    bool Visible(ui::ControlId id) const override;
    void SetUnderline(ui::ControlId id, bool underline) override;

    void ListClear(ui::ControlId id) override;
    void ListAdd(ui::ControlId id, const std::string& line) override;
    int ListCount(ui::ControlId id) const override;
    std::string ListLine(ui::ControlId id, int index) const override;
    bool ListSelected(ui::ControlId id, int index) const override;
    int ListItemIndex(ui::ControlId id) const override;
    void ListBeginUpdate(ui::ControlId id, int expectedLines) override;
    void ListEndUpdate(ui::ControlId id) override;

    void SetGaugeMin(int value) override { gauge_.SetMin(value); }
    void SetGaugeMax(int value) override { gauge_.SetMax(value); }
    void SetGaugeProgress(int value) override { gauge_.SetProgress(value); }
    void RepaintGauge() override;

    void PopupMenuBelow(ui::ControlId anchor) override;
    std::optional<std::size_t> RunContextMenu(const std::vector<std::string>& items) override;
    std::unique_ptr<ui::ViewerWindow> OpenViewerWindow(const std::string& title, ui::ViewerEvents& events) override;
    std::unique_ptr<ui::BrowserWindow> OpenBrowserWindow(const std::string& title, ui::BrowserEvents& events) override;

    std::optional<std::string> RunFileDialog(const ui::FileDialogSpec& dialog) override;
    std::optional<std::string> BrowseForFolder(const std::string& prompt, const std::string& initialFolder) override;
    ui::MessageAnswer ShowMessage(const std::string& text, const std::string& title, ui::MessageKind kind) override;
    std::optional<std::string> ReadRegistryString(const std::string& key, const std::string& value) override;
    void ShellOpen(const std::string& target) override;
    void RepaintNow() override;
    void ProcessMessages() override;

private:
    // The window the system's dialogs are owned by: the browser in front, else the main window.
    HWND DialogOwner() const;
    // The window's life (Win32Toolkit.cpp).
    void RegisterMainClass();
    void ReleaseResources();
    // The window rectangle whose client area is the layout's at dpi.
    static RECT FrameAt(int dpi);
    // Sizes the window so that its client area is the layout's at the window's DPI, exactly.
    void FitClientArea();
    // The title bar's and the taskbar's icons at the window's DPI.
    void LoadWindowIcons();
    // WM_DPICHANGED: the window moved to a monitor of another scale (or the scale changed).
    void Rescale(int dpi, const RECT& suggested);

    // The controls (Win32Controls.cpp).
    void CreateControls();
    HWND CreateControl(const ui::ControlSpec& desc);
    // Every control in its place and with its font at the window's DPI.
    void PlaceControls();
    // The control's font and a list's row height, at the window's DPI.
    void ApplyFont(const ui::ControlSpec& desc);
    HFONT Font(const ui::FontSpec& desc, bool underline);
    static std::string ListBoxLine(HWND list, int index);

    // The messages (Win32Events.cpp).
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclassId,
                                     DWORD_PTR self);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code, HWND from);
    void FilesDropped(HDROP drop);
    // WM_CONTEXTMENU from ListBox1 or ListBox2 (at, in screen pixels; -1, -1 from the keyboard):
    // false when it came from another control.
    bool ListMenuAsked(HWND from, LPARAM at);
    void CloseAsked();
    void Activated(bool active);
    // DM_GETDEFID: the focused button, which Enter presses; 0 when no button has the focus.
    LRESULT DefaultButton() const;
    // WM_CTLCOLORSTATIC: the labels' background brush, and the credit line's colour.
    LRESULT StaticColours(HDC dc, HWND control) const;
    // WM_MEASUREITEM, WM_SETCURSOR, WM_GETDPISCALEDSIZE: false when the message is not the
    // window's to answer (the system's default answer then).
    bool MeasureItem(MEASUREITEMSTRUCT& measure) const;
    bool SetLinkCursor(HWND under, UINT hitTest) const;
    bool ScaledSize(int dpi, SIZE* size) const;
    void DrawItem(const DRAWITEMSTRUCT& item) const;
    void DrawListItem(const DRAWITEMSTRUCT& item) const;
    void DrawBevel(const DRAWITEMSTRUCT& item) const;
    bool Dispatch(ui::ControlId id) const;
    // Runs one call into the form; exceptions never leave it, and a close asked for while a
    // handler runs waits until the outermost one returns.
    template <typename Call>
    void ToForm(Call&& call);

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    ui::TForm1* form_ = nullptr;
    std::array<HWND, ui::kControlCount> controls_{};
    std::array<bool, ui::kControlCount> underlined_{};
    std::array<int, ui::kControlCount> listUpdates_{}; // open ListBeginUpdate calls per list
    GaugeControl gauge_;
    HMENU popup_ = nullptr;
    HICON iconLarge_ = nullptr; // the class's, at the system's DPI
    HICON iconSmall_ = nullptr;
    HICON windowIconLarge_ = nullptr; // the window's own, at its DPI
    HICON windowIconSmall_ = nullptr;
    int dpi_ = 96;
    std::map<std::tuple<int, bool, bool, bool, std::string_view>, HFONT> fonts_;
    bool mouseInLink_ = false;
    int handlerDepth_ = 0;
    bool closePending_ = false;
    bool shownOnce_ = false;
    HWND lastFocus_ = nullptr;
    HWND focusBeforeDisable_ = nullptr;
    POINT contextMenuAt_{}; // where the next context menu shows, in screen pixels
};

} // namespace vellocar::win32
