// The main window's controls on Win32: each made from its row of the layout, placed and given
// its font at the window's DPI, and the Toolkit's calls on them.

#include "Win32Toolkit.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "ControlIds.h"
#include "Dpi.h"

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

constexpr UINT_PTR kLinkSubclassId = 1;
// What a list reserves per expected line for its text: a resource line is at most 20 bytes.
constexpr LPARAM kReservedBytesPerLine = 24;

std::size_t Index(ControlId id) { return static_cast<std::size_t>(id); }

// A control's place at a DPI: each of the layout's numbers scaled on its own, so that controls
// of one size in the layout keep one size on the screen.
struct Placement {
    int Left, Top, Width, Height;
};
Placement PlacementOf(const ControlSpec& desc, int dpi) {
    return {Scale(desc.Left, dpi), Scale(desc.Top, dpi), Scale(desc.Width, dpi), Scale(desc.Height, dpi)};
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

// ---- Creation and scale -------------------------------------------------------------------------

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

void Win32Toolkit::PlaceControls() {
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

// ---- The Toolkit's calls on the controls --------------------------------------------------------

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
        throw EVellocarError("Cannot add " + Quoted(line) + " to the list: not enough memory");
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

std::string Win32Toolkit::ListLine(ControlId id, int index) const { return ListBoxLine(Control(id), index); }

std::string Win32Toolkit::ListBoxLine(HWND list, int index) {
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

} // namespace vellocar::win32
