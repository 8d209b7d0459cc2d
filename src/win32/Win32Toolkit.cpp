#include "Win32Toolkit.h"

#include "ControlIds.h"
#include "Dpi.h"
#include "Errors.h"
#include "Main.h"
#include "Win32Services.h"
#include "resource.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vellocar::win32 {

using ui::ControlId;
using ui::ControlKind;
using ui::ControlSpec;
using ui::kLayout;
using ui::LayoutOf;

namespace {

// The system's link colour, unless it can hardly be told from the button face the credit line
// stands on: Wine's default theme makes it a light grey, and the line would read as disabled.
// Then the classic link blue of Windows' default theme stands in.
COLORREF LinkColour() {
    const COLORREF link = GetSysColor(COLOR_HOTLIGHT);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const auto luma = [](COLORREF c) { return (299 * GetRValue(c) + 587 * GetGValue(c) + 114 * GetBValue(c)) / 1000; };
    const int difference = luma(link) > luma(face) ? luma(link) - luma(face) : luma(face) - luma(link);
    return difference < 64 ? RGB(0, 102, 204) : link;
}

constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kMainExStyle = WS_EX_CONTROLPARENT;
constexpr UINT_PTR kLinkSubclassId = 1;
// The text of a ListBox1 row starts this far from the row's left edge.
constexpr int kListTextIndent = 2;
// What a list reserves per expected line for its text: a resource line is at most 20 bytes.
constexpr LPARAM kReservedBytesPerLine = 24;
// Windows 10 (1703) asks with it what size the window wants at a new DPI.
constexpr UINT kGetDpiScaledSize = 0x02E4; // WM_GETDPISCALEDSIZE

// A control's place at a DPI: each of the layout's numbers scaled on its own, so that controls
// of one size in the layout keep one size on the screen.
struct Placement {
    int Left, Top, Width, Height;
};
Placement PlacementOf(const ControlSpec& desc, int dpi) {
    return {Scale(desc.Left, dpi), Scale(desc.Top, dpi), Scale(desc.Width, dpi), Scale(desc.Height, dpi)};
}

std::size_t Index(ControlId id) { return static_cast<std::size_t>(id); }

// Which kLayout row a child-window identifier belongs to, if any.
std::optional<ControlId> ControlFromWindowId(int windowId) {
    const int index = windowId - kFirstControlWindowId;
    if (index < 0 || index >= static_cast<int>(ui::kControlCount)) return std::nullopt;
    return static_cast<ControlId>(index);
}

// The order in which the controls are created, which is also their z-order (the first one
// created lies on top) and so the order of the Tab key: the gauge on top of everything it
// covers, then the tab stops in their tab order, then the rest as listed, with the bevels at
// the bottom so that the labels on them stay visible.
std::vector<const ControlSpec*> CreationOrder() {
    std::vector<const ControlSpec*> order;
    for (const auto& desc : kLayout)
        if (desc.Kind == ControlKind::Gauge) order.push_back(&desc);
    std::vector<const ControlSpec*> tabStops;
    for (const auto& desc : kLayout)
        if (desc.TabOrder >= 0) tabStops.push_back(&desc);
    std::sort(tabStops.begin(), tabStops.end(),
              [](const ControlSpec* a, const ControlSpec* b) { return a->TabOrder < b->TabOrder; });
    order.insert(order.end(), tabStops.begin(), tabStops.end());
    for (const auto& desc : kLayout)
        if (desc.TabOrder < 0 && desc.Kind != ControlKind::Gauge && desc.Kind != ControlKind::Bevel)
            order.push_back(&desc);
    for (const auto& desc : kLayout)
        if (desc.Kind == ControlKind::Bevel) order.push_back(&desc);
    return order;
}

// The outline face that takes the place of a bitmap one away from 96 DPI.
constexpr std::string_view kOutlineStandIn = "Microsoft Sans Serif";

// The size of text in font on the screen, and the font's metrics when asked.
SIZE TextExtent(HFONT font, const std::string& text, TEXTMETRICA* metrics = nullptr) {
    SIZE size{};
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (metrics) GetTextMetricsA(dc, metrics);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size;
}

std::string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthA(hwnd);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int got = GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

} // namespace

// ---- Creation --------------------------------------------------------------------------------

Win32Toolkit::Win32Toolkit(HINSTANCE instance) : instance_(instance) {
    iconLarge_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_VELLOCAR), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    iconSmall_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_VELLOCAR), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Toolkit::WindowProc;
    wc.hInstance = instance;
    wc.hIcon = iconLarge_;
    wc.hIconSm = iconSmall_;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kMainWindowClass;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw EVellocarError("Cannot register the main window's class");

    // Created at the layout's size; once it is known which monitor the window is on, it takes
    // that monitor's scale.
    const RECT frame =
        FrameForClient(ui::kMainWindow.ClientWidth, ui::kMainWindow.ClientHeight, kMainStyle, kMainExStyle, kLayoutDpi);
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

Win32Toolkit::~Win32Toolkit() { ReleaseResources(); }

void Win32Toolkit::ReleaseResources() {
    form_ = nullptr;
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

void Win32Toolkit::FitClientArea() {
    const int width = Scale(ui::kMainWindow.ClientWidth, dpi_);
    const int height = Scale(ui::kMainWindow.ClientHeight, dpi_);
    const RECT frame = FrameForClient(width, height, kMainStyle, kMainExStyle, dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame's size depends on the visual style; whatever it is, the client area is exact.
    RECT client;
    GetClientRect(hwnd_, &client);
    const int dw = width - (client.right - client.left);
    const int dh = height - (client.bottom - client.top);
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

    // Every control moves, sizes and takes its font anew; the lists keep their lines, their
    // selection and the line at their top. The fonts of the old scale go once none uses them.
    auto oldFonts = std::move(fonts_);
    fonts_.clear();
    for (const auto& desc : kLayout) {
        HWND control = Control(desc.Id);
        if (!control) continue; // a change while the window is still being built
        const bool list = desc.Kind == ControlKind::ListSingle || desc.Kind == ControlKind::ListMulti;
        const auto top = list ? SendMessageA(control, LB_GETTOPINDEX, 0, 0) : 0;
        const Placement at = PlacementOf(desc, dpi_);
        SetWindowPos(control, nullptr, at.Left, at.Top, at.Width, at.Height, SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyFont(desc);
        if (list) SendMessageA(control, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
    }
    for (auto& [key, font] : oldFonts) DeleteObject(font);
    LoadWindowIcons();
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

HFONT Win32Toolkit::Font(const ui::FontSpec& desc, bool underline) {
    const int height = Scale(desc.HeightPx, dpi_);
    const auto key = std::make_tuple(height, desc.Bold, desc.Italic, underline, desc.Face);
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
    const auto create = [&](std::string_view faceName) {
        const std::string face(faceName);
        // A negative height asks for the character height, not the cell height.
        return CreateFontA(-height, 0, 0, 0, desc.Bold ? FW_BOLD : FW_NORMAL, desc.Italic, underline, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    };
    HFONT font = create(desc.Face);
    // A bitmap face ("MS Sans Serif") has pixels only for the sizes it was drawn at: right at 96
    // DPI, where the layout was made with it, but coarse or far too small at 150 % or 200 %.
    // There the outline face Windows ships in its place stands in.
    if (dpi_ != kLayoutDpi && font) {
        TEXTMETRICA metrics{};
        TextExtent(font, "", &metrics);
        if ((metrics.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE)) == 0) {
            DeleteObject(font);
            font = create(kOutlineStandIn);
        }
    }
    fonts_.emplace(key, font);
    return font;
}

void Win32Toolkit::CreateControls() {
    for (const ControlSpec* desc : CreationOrder()) {
        HWND control = CreateControl(*desc);
        if (!control) throw EVellocarError("Cannot create the control " + std::string(desc->Name));
        controls_[Index(desc->Id)] = control;
        ApplyFont(*desc);
        if (desc->Kind == ControlKind::LinkLabel)
            SetWindowSubclass(control, &Win32Toolkit::LinkProc, kLinkSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
}

void Win32Toolkit::ApplyFont(const ControlSpec& desc) {
    HWND control = Control(desc.Id);
    HFONT font = Font(desc.Font, underlined_[Index(desc.Id)]);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // A new font resets a list's row height, so the height comes after it.
    if (desc.Kind == ControlKind::ListSingle || desc.Kind == ControlKind::ListMulti)
        SendMessageA(control, LB_SETITEMHEIGHT, 0, MAKELPARAM(Scale(desc.ItemHeight, dpi_), 0));
    // A label never cuts its caption short: where the face that stands in is wider than the
    // layout's, the label grows to the right, keeping its place and height (at 96 DPI every
    // caption fits as laid out).
    if (desc.Kind == ControlKind::Label || desc.Kind == ControlKind::LinkLabel) {
        const Placement at = PlacementOf(desc, dpi_);
        const int needed = static_cast<int>(TextExtent(font, WindowText(control)).cx);
        if (needed > at.Width)
            SetWindowPos(control, nullptr, 0, 0, needed, at.Height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

HWND Win32Toolkit::CreateControl(const ControlSpec& desc) {
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (desc.Visible) style |= WS_VISIBLE;
    if (!desc.Enabled) style |= WS_DISABLED;
    if (desc.TabOrder >= 0) style |= WS_TABSTOP;
    DWORD exStyle = 0;
    const char* windowClass = WC_STATICA;
    const Placement at = PlacementOf(desc, dpi_);

    switch (desc.Kind) {
        case ControlKind::Label:
            style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
            break;
        case ControlKind::LinkLabel:
            style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY;
            break;
        case ControlKind::Button:
            windowClass = WC_BUTTONA;
            style |= BS_PUSHBUTTON;
            break;
        case ControlKind::StatusPanel:
            style |= SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX;
            exStyle |= WS_EX_STATICEDGE;
            break;
        case ControlKind::Bevel:
            style |= SS_OWNERDRAW;
            break;
        case ControlKind::ListSingle:
            windowClass = WC_LISTBOXA;
            style |= WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::ListMulti:
            windowClass = WC_LISTBOXA;
            style |= WS_VSCROLL | LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Gauge:
            return gauge_.Create(hwnd_, ControlWindowId(desc.Id), at.Left, at.Top, at.Width, at.Height, style);
    }
    const std::string caption(desc.Caption);
    return CreateWindowExA(exStyle, windowClass, caption.c_str(), style, at.Left, at.Top, at.Width, at.Height, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlWindowId(desc.Id))), instance_, nullptr);
}

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
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

// ---- Events ----------------------------------------------------------------------------------

template <typename Call>
void Win32Toolkit::ToForm(Call&& call) {
    if (!form_) return;
    ++handlerDepth_;
    try {
        call(*form_);
    } catch (const std::exception& error) {
        // TForm1's entry points handle their own errors; this is the last line of defence.
        try {
            if (form_) form_->HandleException(error);
        } catch (...) {}
    } catch (...) {}
    --handlerDepth_;
    if (handlerDepth_ == 0 && closePending_) {
        closePending_ = false;
        if (hwnd_) DestroyWindow(hwnd_);
    }
}

void Win32Toolkit::OpenKeyFile(const std::string& path) {
    ToForm([&path](ui::TForm1& form) { form.KeyFileGiven(path); });
}

bool Win32Toolkit::Dispatch(ControlId id) const {
    // Wine delivers a button's click even when the button is disabled.
    return IsWindowEnabled(Control(id)) != FALSE;
}

void Win32Toolkit::OnCommand(int id, int code, HWND from) {
    if (!from && code == 0 && id >= kFirstMenuCommandId) {
        for (const auto& item : ui::kPopupMenu1)
            if (MenuCommandId(item.Id) == id) ToForm([&](ui::TForm1& form) { form.MenuItemClicked(item.Id); });
        return;
    }
    const auto control = ControlFromWindowId(id);
    if (!control || from != Control(*control)) return;
    switch (LayoutOf(*control).Kind) {
        case ControlKind::Button:
            if (code == BN_CLICKED && Dispatch(*control)) ToForm([&](ui::TForm1& form) { form.Clicked(*control); });
            break;
        case ControlKind::LinkLabel:
        case ControlKind::Label:
            if (code == STN_CLICKED) ToForm([&](ui::TForm1& form) { form.Clicked(*control); });
            break;
        case ControlKind::ListSingle:
        case ControlKind::ListMulti:
            if (code == LBN_SELCHANGE && Dispatch(*control))
                ToForm([&](ui::TForm1& form) { form.SelectionChanged(*control); });
            break;
        default:
            break;
    }
}

void Win32Toolkit::DrawListItem(const DRAWITEMSTRUCT& item) const {
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    if (item.itemAction == ODA_FOCUS) {
        DrawFocusRect(dc, &rc);
        return;
    }
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    FillRect(dc, &rc, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (item.itemID != static_cast<UINT>(-1)) {
        const auto length = SendMessageA(item.hwndItem, LB_GETTEXTLEN, item.itemID, 0);
        std::string text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, '\0');
        if (length > 0) {
            SendMessageA(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
            text.resize(static_cast<std::size_t>(length));
        } else {
            text.clear();
        }
        const int color = disabled ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT;
        SetTextColor(dc, GetSysColor(color));
        SetBkMode(dc, TRANSPARENT);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0)));
        RECT textRect = rc;
        textRect.left += Scale(kListTextIndent, dpi_);
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
    }
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &rc);
}

void Win32Toolkit::DrawBevel(const DRAWITEMSTRUCT& item) const {
    RECT rc = item.rcItem;
    FillRect(item.hDC, &rc, GetSysColorBrush(COLOR_BTNFACE));
    // A lowered line along the top edge only: shadow above, highlight below.
    DrawEdge(item.hDC, &rc, EDGE_ETCHED, BF_TOP);
}

LRESULT Win32Toolkit::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) return 0;
            OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case DM_GETDEFID: {
            // Enter presses the focused button, as in a dialog.
            HWND focus = GetFocus();
            const auto control = ControlFromWindowId(GetDlgCtrlID(focus));
            if (focus && control && Control(*control) == focus && LayoutOf(*control).Kind == ControlKind::Button &&
                IsWindowEnabled(focus))
                return MAKELRESULT(ControlWindowId(*control), DC_HASDEFID);
            return 0;
        }
        case WM_MEASUREITEM: {
            auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (const auto control = ControlFromWindowId(static_cast<int>(measure->CtlID))) {
                measure->itemHeight = static_cast<UINT>(Scale(LayoutOf(*control).ItemHeight, dpi_));
                return TRUE;
            }
            break;
        }
        case WM_DRAWITEM: {
            const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (draw->CtlType == ODT_LISTBOX)
                DrawListItem(*draw);
            else if (draw->CtlType == ODT_STATIC)
                DrawBevel(*draw);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            if (reinterpret_cast<HWND>(lParam) == Control(ControlId::Label6)) SetTextColor(dc, LinkColour());
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == Control(ControlId::Label6) && LOWORD(lParam) == HTCLIENT) {
                SetCursor(LoadCursor(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            // Keep the focus where it was when the window was left, as a dialog does.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
            } else {
                HWND target =
                    lastFocus_ && IsWindowEnabled(lastFocus_) ? lastFocus_ : GetNextDlgTabItem(hwnd_, nullptr, FALSE);
                if (target) SetFocus(target);
            }
            return 0;
        case kGetDpiScaledSize: {
            // The size the window wants at the new scale, so that the rectangle WM_DPICHANGED
            // then suggests is already exact.
            const int dpi = static_cast<int>(wParam);
            if (dpi <= 0 || lParam == 0) break;
            const RECT frame = FrameForClient(Scale(ui::kMainWindow.ClientWidth, dpi),
                                              Scale(ui::kMainWindow.ClientHeight, dpi), kMainStyle, kMainExStyle, dpi);
            auto* size = reinterpret_cast<SIZE*>(lParam);
            size->cx = frame.right - frame.left;
            size->cy = frame.bottom - frame.top;
            return TRUE;
        }
        case WM_DPICHANGED: {
            const int dpi = LOWORD(wParam);
            if (dpi <= 0 || lParam == 0) break;
            Rescale(dpi, *reinterpret_cast<const RECT*>(lParam));
            return 0;
        }
        case WM_DROPFILES: {
            auto drop = reinterpret_cast<HDROP>(wParam);
            const auto path = FirstDroppedFile(drop);
            DragFinish(drop);
            if (path) OpenKeyFile(*path);
            return 0;
        }
        case WM_CLOSE:
            // A handler on the stack (a build's listing handles messages) still uses the window;
            // it closes once that handler has returned.
            if (handlerDepth_ > 0) {
                closePending_ = true;
                return 0;
            }
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            form_ = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Win32Toolkit::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32Toolkit*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->controls_.fill(nullptr);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    try {
        return self->Handle(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's code; the events themselves are guarded in
        // ToForm, so only the painting's allocations can get here.
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK Win32Toolkit::LinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclassId,
                                        DWORD_PTR data) {
    auto* self = reinterpret_cast<Win32Toolkit*>(data);
    switch (message) {
        case WM_MOUSEMOVE:
            if (!self->mouseInLink_) {
                self->mouseInLink_ = true;
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
                TrackMouseEvent(&track);
                self->ToForm([](ui::TForm1& form) { form.MouseEnter(ControlId::Label6); });
            }
            break;
        case WM_MOUSELEAVE:
            self->mouseInLink_ = false;
            self->ToForm([](ui::TForm1& form) { form.MouseLeave(ControlId::Label6); });
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, &Win32Toolkit::LinkProc, subclassId);
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

// ---- Controls --------------------------------------------------------------------------------

void Win32Toolkit::SetCaption(ControlId id, const std::string& text) { SetWindowTextA(Control(id), text.c_str()); }

std::string Win32Toolkit::Caption(ControlId id) const { return WindowText(Control(id)); }

void Win32Toolkit::SetEnabled(ControlId id, bool enabled) {
    HWND control = Control(id);
    HWND focus = GetFocus();
    EnableWindow(control, enabled);
    if (!enabled && focus == control && hwnd_) {
        // A disabled control that kept the focus would leave the keyboard with nowhere to go;
        // the focus comes back to it when it is enabled again while no one else took it.
        if (!focusBeforeDisable_) focusBeforeDisable_ = control;
        HWND next = GetNextDlgTabItem(hwnd_, control, FALSE);
        SetFocus(next && next != control ? next : hwnd_);
    } else if (enabled && control == focusBeforeDisable_) {
        focusBeforeDisable_ = nullptr;
        if ((!focus || focus == hwnd_ || !IsWindowEnabled(focus)) && GetActiveWindow() == hwnd_) SetFocus(control);
    }
}

bool Win32Toolkit::Enabled(ControlId id) const { return IsWindowEnabled(Control(id)) != FALSE; }

void Win32Toolkit::SetVisible(ControlId id, bool visible) { ShowWindow(Control(id), visible ? SW_SHOWNA : SW_HIDE); }

bool Win32Toolkit::Visible(ControlId id) const { return (GetWindowLongPtrA(Control(id), GWL_STYLE) & WS_VISIBLE) != 0; }

void Win32Toolkit::SetUnderline(ControlId id, bool underline) {
    underlined_[Index(id)] = underline;
    SendMessageA(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(Font(LayoutOf(id).Font, underline)), TRUE);
}

void Win32Toolkit::ListClear(ControlId id) { SendMessageA(Control(id), LB_RESETCONTENT, 0, 0); }

void Win32Toolkit::ListAdd(ControlId id, const std::string& line) {
    const auto result = SendMessageA(Control(id), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    // A line the list could not take would silently drop a file from a build.
    if (result == LB_ERR || result == LB_ERRSPACE)
        throw EVellocarError("Cannot add \"" + line + "\" to the list: not enough memory");
}

void Win32Toolkit::ListBeginUpdate(ControlId id, int expectedLines) {
    if (listUpdates_[Index(id)]++ > 0) return;
    HWND list = Control(id);
    // A list box draws again after every line it is given (under Wine that took a minute for
    // 11,000 lines); with redraw off it only stores them.
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    // Room for the lines in one allocation instead of many growing ones. Only a hint: a list
    // that cannot reserve it still takes the lines one by one, and ListAdd reports a refusal.
    if (expectedLines > 0)
        SendMessageA(list, LB_INITSTORAGE, static_cast<WPARAM>(expectedLines),
                     static_cast<LPARAM>(expectedLines) * kReservedBytesPerLine);
}

void Win32Toolkit::ListEndUpdate(ControlId id) {
    int& depth = listUpdates_[Index(id)];
    if (depth == 0 || --depth > 0) return;
    HWND list = Control(id);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
}

int Win32Toolkit::ListCount(ControlId id) const {
    const auto count = SendMessageA(Control(id), LB_GETCOUNT, 0, 0);
    return count < 0 ? 0 : static_cast<int>(count);
}

std::string Win32Toolkit::ListLine(ControlId id, int index) const {
    HWND list = Control(id);
    const auto length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const auto got = SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

bool Win32Toolkit::ListSelected(ControlId id, int index) const {
    return SendMessageA(Control(id), LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
}

int Win32Toolkit::ListItemIndex(ControlId id) const {
    HWND list = Control(id);
    if (LayoutOf(id).Kind == ControlKind::ListMulti) {
        const auto caret = SendMessageA(list, LB_GETCARETINDEX, 0, 0);
        return caret >= 0 && ListSelected(id, static_cast<int>(caret)) ? static_cast<int>(caret) : -1;
    }
    const auto index = SendMessageA(list, LB_GETCURSEL, 0, 0);
    return index < 0 ? -1 : static_cast<int>(index);
}

void Win32Toolkit::RepaintGauge() {
    HWND gauge = Control(ControlId::Gauge1);
    InvalidateRect(gauge, nullptr, FALSE);
    UpdateWindow(gauge);
}

void Win32Toolkit::PopupMenuBelow(ControlId anchor) {
    RECT below;
    GetWindowRect(Control(anchor), &below);
    TrackPopupMenu(popup_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, below.left, below.bottom, 0, hwnd_, nullptr);
}

// ---- Services --------------------------------------------------------------------------------

std::optional<std::string> Win32Toolkit::RunFileDialog(const ui::FileDialogSpec& dialog) {
    return win32::RunFileDialog(hwnd_, dialog);
}

std::optional<std::string> Win32Toolkit::BrowseForFolder(const std::string& prompt, const std::string& initialFolder) {
    return win32::BrowseForFolder(hwnd_, prompt, initialFolder);
}

ui::MessageAnswer Win32Toolkit::ShowMessage(const std::string& text, const std::string& title, ui::MessageKind kind) {
    return win32::ShowMessage(hwnd_, text, title, kind);
}

std::optional<std::string> Win32Toolkit::ReadRegistryString(const std::string& key, const std::string& value) {
    return win32::ReadRegistryString(HKEY_LOCAL_MACHINE, key, value);
}

void Win32Toolkit::ShellOpen(const std::string& target) { win32::ShellOpen(hwnd_, target); }

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
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

} // namespace vellocar::win32
