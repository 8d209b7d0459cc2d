// What reaches the main window on Win32: the window procedure, a handler for each message it
// answers itself, the owner-drawn list rows and bevels, and every event passed on to TForm1.

#include "Win32Toolkit.h"

#include "ControlIds.h"
#include "Dpi.h"
#include "Main.h"
#include "Win32Services.h"

#include <commctrl.h>
#include <windowsx.h>

#include <optional>
#include <string>

namespace vellocar::win32 {

using ui::ControlId;
using ui::ControlKind;
using ui::LayoutOf;

namespace {

// The text of a ListBox1 row starts this far from the row's left edge.
constexpr int kListTextIndent = 2;
// Windows 10 (1703) asks with it what size the window wants at a new DPI.
constexpr UINT kGetDpiScaledSize = 0x02E4; // WM_GETDPISCALEDSIZE

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

// Which kLayout row a child-window identifier belongs to, if any.
std::optional<ControlId> ControlFromWindowId(int windowId) {
    const int index = windowId - kFirstControlWindowId;
    if (index < 0 || index >= static_cast<int>(ui::kControlCount)) return std::nullopt;
    return static_cast<ControlId>(index);
}

} // namespace

// ---- The window procedures ----------------------------------------------------------------------

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

LRESULT Win32Toolkit::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // Enter with no button focused comes as IDOK, Escape as IDCANCEL: neither has a
            // command in this window, but Enter opens the resource list's line.
            if (LOWORD(wParam) == IDOK && GetFocus() == Control(ControlId::ListBox2) && Dispatch(ControlId::ListBox2)) {
                const auto caret = static_cast<int>(SendMessageA(GetFocus(), LB_GETCARETINDEX, 0, 0));
                ToForm([caret](ui::TForm1& form) { form.LineOpened(ControlId::ListBox2, caret); });
            }
            if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
                OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case DM_GETDEFID:
            return DefaultButton();
        case WM_MEASUREITEM:
            if (MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) return TRUE;
            break;
        case WM_DRAWITEM:
            DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLORSTATIC:
            return StaticColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_SETCURSOR:
            if (SetLinkCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return TRUE;
            break;
        case WM_ACTIVATE:
            Activated(LOWORD(wParam) != WA_INACTIVE);
            return 0;
        case kGetDpiScaledSize:
            if (ScaledSize(static_cast<int>(wParam), reinterpret_cast<SIZE*>(lParam))) return TRUE;
            break;
        case WM_DPICHANGED:
            if (LOWORD(wParam) == 0 || lParam == 0) break;
            Rescale(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_CONTEXTMENU:
            if (ListMenuAsked(reinterpret_cast<HWND>(wParam), lParam)) return 0;
            break;
        case WM_DROPFILES:
            FilesDropped(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_CLOSE:
            CloseAsked();
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

// ---- Events for the form ------------------------------------------------------------------------

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
            if (code == LBN_DBLCLK && Dispatch(*control)) {
                const auto caret = static_cast<int>(SendMessageA(from, LB_GETCARETINDEX, 0, 0));
                ToForm([&](ui::TForm1& form) { form.LineOpened(*control, caret); });
            }
            break;
        default:
            break;
    }
}

void Win32Toolkit::FilesDropped(HDROP drop) {
    const auto path = FirstDroppedFile(drop);
    DragFinish(drop);
    if (path) OpenKeyFile(*path);
}

bool Win32Toolkit::ListMenuAsked(HWND from, LPARAM at) {
    ControlId list = ControlId::ListBox2;
    if (from == Control(ControlId::ListBox1))
        list = ControlId::ListBox1;
    else if (from != Control(ControlId::ListBox2))
        return false;
    if (!Dispatch(list)) return false;
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    int line = -1;
    if (point.x == -1 && point.y == -1) {
        // The menu key: the caret's line, the menu below it.
        line = static_cast<int>(SendMessageA(from, LB_GETCARETINDEX, 0, 0));
        RECT item{};
        if (line < 0 ||
            SendMessageA(from, LB_GETITEMRECT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(&item)) == LB_ERR)
            return true;
        point = {item.left, item.bottom};
        ClientToScreen(from, &point);
    } else {
        POINT inList = point;
        ScreenToClient(from, &inList);
        const auto hit = SendMessageA(from, LB_ITEMFROMPOINT, 0, MAKELPARAM(inList.x, inList.y));
        if (HIWORD(hit) == 0) line = LOWORD(hit); // the line under the pointer, not past the last one
    }
    contextMenuAt_ = point;
    ToForm([list, line](ui::TForm1& form) { form.LineMenuAsked(list, line); });
    return true;
}

void Win32Toolkit::CloseAsked() {
    // A handler on the stack (a build's listing handles messages) still uses the window; it
    // closes once that handler has returned.
    if (handlerDepth_ > 0) {
        closePending_ = true;
        return;
    }
    DestroyWindow(hwnd_);
}

// ---- The window's own answers -------------------------------------------------------------------

LRESULT Win32Toolkit::DefaultButton() const {
    // Enter presses the focused button, as in a dialog.
    HWND focus = GetFocus();
    const auto control = ControlFromWindowId(GetDlgCtrlID(focus));
    if (focus && control && Control(*control) == focus && LayoutOf(*control).Kind == ControlKind::Button &&
        IsWindowEnabled(focus))
        return MAKELRESULT(ControlWindowId(*control), DC_HASDEFID);
    return 0;
}

bool Win32Toolkit::MeasureItem(MEASUREITEMSTRUCT& measure) const {
    const auto control = ControlFromWindowId(static_cast<int>(measure.CtlID));
    if (!control) return false;
    measure.itemHeight = static_cast<UINT>(Scale(LayoutOf(*control).ItemHeight, dpi_));
    return true;
}

LRESULT Win32Toolkit::StaticColours(HDC dc, HWND control) const {
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    if (control == Control(ControlId::Label6)) SetTextColor(dc, LinkColour());
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

bool Win32Toolkit::SetLinkCursor(HWND under, UINT hitTest) const {
    if (under != Control(ControlId::Label6) || hitTest != HTCLIENT) return false;
    SetCursor(LoadCursor(nullptr, IDC_HAND));
    return true;
}

void Win32Toolkit::Activated(bool active) {
    // Keep the focus where it was when the window was left, as a dialog does.
    if (!active) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
        return;
    }
    HWND target = lastFocus_ && IsWindowEnabled(lastFocus_) ? lastFocus_ : GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (target) SetFocus(target);
}

bool Win32Toolkit::ScaledSize(int dpi, SIZE* size) const {
    // The size the window wants at the new scale, so that the rectangle WM_DPICHANGED then
    // suggests is already exact.
    if (dpi <= 0 || !size) return false;
    const RECT frame = FrameAt(dpi);
    size->cx = frame.right - frame.left;
    size->cy = frame.bottom - frame.top;
    return true;
}

// ---- Owner-drawn controls -----------------------------------------------------------------------

void Win32Toolkit::DrawItem(const DRAWITEMSTRUCT& item) const {
    if (item.CtlType == ODT_LISTBOX)
        DrawListItem(item);
    else if (item.CtlType == ODT_STATIC)
        DrawBevel(item);
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
        const std::string text = ListBoxLine(item.hwndItem, static_cast<int>(item.itemID));
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

} // namespace vellocar::win32
