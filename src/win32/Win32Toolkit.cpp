// The main window on Win32, its life: the window made at its monitor's DPI and fitted to the
// layout, made anew at another DPI, shown, its message loop run, and taken down; and the
// system's dialogs behind the Toolkit's services.

#include "Win32Toolkit.h"

#include "base/Errors.h"
#include "ControlIds.h"
#include "Dpi.h"
#include "MachineRegistry.h"
#include "resource.h"
#include "Win32Browser.h"
#include "Win32Services.h"
#include "Win32Viewer.h"

#include <string>

namespace vellocar::win32 {

namespace {
constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kMainExStyle = WS_EX_CONTROLPARENT;
} // namespace

// ---- Creation and end ---------------------------------------------------------------------------

Win32Toolkit::Win32Toolkit(HINSTANCE instance) : instance_(instance) {
    RegisterMainClass();
    // Created at the layout's size; once it is known which monitor the window is on, it takes
    // that monitor's scale.
    const RECT frame = FrameAt(kLayoutDpi);
    const std::string caption(ui::kMainWindow.Caption);
    hwnd_ = CreateWindowExA(kMainExStyle, kMainWindowClass, caption.c_str(), kMainStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (!hwnd_) throw EVellocarError("Cannot create the main window");
    // A KEY dragged from Explorer onto the window opens as from the Open dialog.
    DragAcceptFiles(hwnd_, TRUE);
    dpi_ = WindowDpi(hwnd_);
    FitClientArea();
    LoadWindowIcons();

    try {
        CreateControls();
    } catch (...) {
        // The destructor will not run for a half-built object: take the window down now,
        // so that no message reaches it through its pointer to this object.
        ReleaseResources();
        throw;
    }

    popup_ = CreatePopupMenu();
    for (const auto& item : ui::kPopupMenu1) {
        const std::string text(item.Caption);
        AppendMenuA(popup_, MF_STRING, static_cast<UINT_PTR>(MenuCommandId(item.Id)), text.c_str());
    }
}

void Win32Toolkit::RegisterMainClass() {
    iconLarge_ = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_VELLOCAR), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    iconSmall_ = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_VELLOCAR), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Toolkit::WindowProc;
    wc.hInstance = instance_;
    wc.hIcon = iconLarge_;
    wc.hIconSm = iconSmall_;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kMainWindowClass;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw EVellocarError("Cannot register the main window's class");
}

Win32Toolkit::~Win32Toolkit() { ReleaseResources(); }

void Win32Toolkit::ReleaseResources() {
    form_ = nullptr;
    Win32Browser::WhenLastClosed(nullptr);
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    if (popup_) DestroyMenu(popup_);
    popup_ = nullptr;
    for (auto& [key, font] : fonts_) DeleteObject(font);
    fonts_.clear();
    for (HICON* icon : {&iconLarge_, &iconSmall_, &windowIconLarge_, &windowIconSmall_}) {
        if (*icon) DestroyIcon(*icon);
        *icon = nullptr;
    }
}

// ---- Size and scale -----------------------------------------------------------------------------

RECT Win32Toolkit::FrameAt(int dpi) {
    return FrameForClient(Scale(ui::kMainWindow.ClientWidth, dpi), Scale(ui::kMainWindow.ClientHeight, dpi), kMainStyle,
                          kMainExStyle, dpi);
}

void Win32Toolkit::FitClientArea() {
    const RECT frame = FrameAt(dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame's size depends on the visual style; whatever it is, the client area is exact.
    RECT client;
    GetClientRect(hwnd_, &client);
    const int dw = Scale(ui::kMainWindow.ClientWidth, dpi_) - (client.right - client.left);
    const int dh = Scale(ui::kMainWindow.ClientHeight, dpi_) - (client.bottom - client.top);
    if (dw != 0 || dh != 0) {
        RECT window;
        GetWindowRect(hwnd_, &window);
        SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + dw, window.bottom - window.top + dh,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Win32Toolkit::LoadWindowIcons() {
    // The class carries icons too, but a window's own are what the title bar, the taskbar and
    // Alt+Tab ask; the icon file holds an image for each common scale.
    const auto load = [this](int width, int height) {
        return static_cast<HICON>(
            LoadImageA(instance_, MAKEINTRESOURCEA(IDI_VELLOCAR), IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
    };
    HICON large = load(SystemMetric(SM_CXICON, dpi_), SystemMetric(SM_CYICON, dpi_));
    HICON little = load(SystemMetric(SM_CXSMICON, dpi_), SystemMetric(SM_CYSMICON, dpi_));
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(little));
    // The window no longer shows the ones it had.
    if (windowIconLarge_) DestroyIcon(windowIconLarge_);
    if (windowIconSmall_) DestroyIcon(windowIconSmall_);
    windowIconLarge_ = large;
    windowIconSmall_ = little;
}

void Win32Toolkit::Rescale(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    // The system's rectangle keeps the window where the user is taking it; the client area is
    // then made exact, and the window stays as fixed as before.
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    FitClientArea();
    PlaceControls();
    LoadWindowIcons();
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

// ---- Showing and running ------------------------------------------------------------------------

void Win32Toolkit::Show(int showCommand) {
    if (!shownOnce_) {
        shownOnce_ = true;
        RECT window;
        GetWindowRect(hwnd_, &window);
        const int width = window.right - window.left;
        const int height = window.bottom - window.top;
        // On the monitor the window was made for (the one the program was started from), whose
        // scale it already has.
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoA(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
        const RECT& screen = monitor.rcMonitor;
        const int x = screen.left + (screen.right - screen.left - width) / 2;
        const int y = screen.top + (screen.bottom - screen.top - height) / 2;
        SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    if (!GetFocus() || GetAncestor(GetFocus(), GA_ROOT) != hwnd_) SetFocus(GetNextDlgTabItem(hwnd_, nullptr, FALSE));
}

int Win32Toolkit::Run() {
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (hwnd_ && IsDialogMessageA(hwnd_, &msg)) continue;
        if (Win32Viewer::DialogMessage(msg)) continue;
        if (Win32Browser::DialogMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void Win32Toolkit::RepaintNow() {
    if (hwnd_) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Win32Toolkit::ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The loop that owns the quit message must still see it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (hwnd_ && IsDialogMessageA(hwnd_, &msg)) continue;
        if (Win32Viewer::DialogMessage(msg)) continue;
        if (Win32Browser::DialogMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// ---- Services -----------------------------------------------------------------------------------

HWND Win32Toolkit::DialogOwner() const {
    // A browser's dialogs stand over the browser (the main window may be hidden); the rest over
    // the main window, as always.
    HWND active = GetActiveWindow();
    return active && Win32Browser::IsBrowserWindow(active) ? active : hwnd_;
}

std::optional<std::string> Win32Toolkit::RunFileDialog(const ui::FileDialogSpec& dialog) {
    return win32::RunFileDialog(DialogOwner(), dialog);
}

std::optional<std::string> Win32Toolkit::BrowseForFolder(const std::string& prompt, const std::string& initialFolder) {
    return win32::BrowseForFolder(DialogOwner(), prompt, initialFolder);
}

ui::MessageAnswer Win32Toolkit::ShowMessage(const std::string& text, const std::string& title, ui::MessageKind kind) {
    return win32::ShowMessage(DialogOwner(), text, title, kind);
}

std::optional<std::string> Win32Toolkit::ReadRegistryString(const std::string& key, const std::string& value) {
    return game::MachineRegistryString(key, value);
}

void Win32Toolkit::ShellOpen(const std::string& target) { win32::ShellOpen(DialogOwner(), target); }

std::optional<std::size_t> Win32Toolkit::RunContextMenu(const std::vector<std::string>& items) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return std::nullopt;
    for (std::size_t i = 0; i < items.size(); ++i)
        AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(i + 1), items[i].c_str());
    const BOOL chosen = TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                       contextMenuAt_.x, contextMenuAt_.y, 0, hwnd_, nullptr);
    DestroyMenu(menu);
    if (chosen <= 0) return std::nullopt;
    return static_cast<std::size_t>(chosen - 1);
}

std::unique_ptr<ui::ViewerWindow> Win32Toolkit::OpenViewerWindow(const std::string& title, ui::ViewerEvents& events) {
    return std::make_unique<Win32Viewer>(instance_, hwnd_, title, events);
}

std::unique_ptr<ui::BrowserWindow> Win32Toolkit::OpenBrowserWindow(const std::string& title,
                                                                   ui::BrowserEvents& events) {
    // Started for a browser, the program has no other window on screen: it ends with the last one.
    Win32Browser::WhenLastClosed([this] {
        if (!hwnd_ || !IsWindowVisible(hwnd_)) PostQuitMessage(0);
    });
    return std::make_unique<Win32Browser>(instance_, hwnd_, title, events);
}

} // namespace vellocar::win32
