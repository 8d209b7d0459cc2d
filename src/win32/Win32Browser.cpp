// The resource browser's window on Win32: its controls made and placed at the window's DPI, the
// table's rows asked of the logic as they are drawn, the layers' boxes, the commands, the filter,
// the row menu, the keys and the dragging of rows out to Explorer passed to the logic, and the
// pane that a docked viewer fills.

#include "Win32Browser.h"

#include "base/Errors.h"
#include "Dpi.h"
#include "resource.h"
#include "Utf16.h"
#include "Win32Viewer.h"

#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <climits>

namespace vellocar::win32 {

namespace {

constexpr const wchar_t* kBrowserClass = L"VellocarBrowser";
constexpr const wchar_t* kPaneClass = L"VellocarBrowserPane";

// Child identifiers: the controls, then the toolbar's buttons in the order of the commands.
enum : int { kLayersId = 30, kTableId, kFilterLabelId, kFilterId, kCountId, kPaneId, kStatusId, kFirstCommandId = 100 };
// The selection's changes, told once however many rows one click changed; a window taken down
// after the message that let it go has returned.
constexpr UINT kSelectionMessage = WM_APP + 1;
constexpr UINT kDestroyMessage = WM_APP + 2;

// The window's place at 96 DPI: its first client size (less where the screen is smaller), the
// margins, the rows and the panes.
constexpr int kStartWidth = 1100, kStartHeight = 700, kMinWidth = 640, kMinHeight = 400;
constexpr int kMargin = 8, kGap = 6, kGroupGap = 10, kButtonHeight = 25, kButtonPadding = 14, kMinButtonWidth = 56;
constexpr int kFilterHeight = 22, kFilterWidth = 260, kLabelPadding = 6, kStatusHeight = 20;
constexpr int kLayersWidth = 230, kMinPaneWidth = 320, kPanePercent = 45;
constexpr int kWidestColumn = 400, kCellPadding = 12;
// The interface font, in pixels at 96 DPI, as the viewer's.
constexpr int kFontHeight = 11;
// A check box's state images: 1 clear, 2 checked.
constexpr UINT kUnchecked = 1, kChecked = 2;

std::vector<HWND>& OpenBrowsers() {
    static std::vector<HWND> open;
    return open;
}

std::function<void()>& LastClosed() {
    static std::function<void()> closed;
    return closed;
}

int Clamped(std::size_t count) { return static_cast<int>(std::min<std::size_t>(count, INT_MAX)); }

UINT StateImage(bool checked) { return (checked ? kChecked : kUnchecked) << 12; }

// Which group of the toolbar a command stands in: a wider gap between groups.
int CommandGroup(ui::BrowserCommand command) {
    using C = ui::BrowserCommand;
    if (command <= C::AddFolder) return 0;
    if (command <= C::DockViewer) return 1;
    if (command <= C::CopyName) return 2;
    return 3;
}

void RegisterClasses(HINSTANCE instance, WNDPROC browser, WNDPROC pane) {
    for (const auto& [name, proc, icon] :
         {std::tuple{kBrowserClass, browser, true}, std::tuple{kPaneClass, pane, false}}) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        if (icon) wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_VELLOCAR));
        wc.lpszClassName = name;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            throw EVellocarError("Cannot register the browser's window class");
    }
}

// What Explorer needs of the source of a drag: go on while the button is held, drop when it is
// let go, give up on Escape. It lives on the stack for the one drag. (A COM object is let go
// through Release, never deleted through its interface, which has no virtual destructor.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class DropSource final : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropSource)) {
            *object = static_cast<IDropSource*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape) return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    ULONG references_ = 1;
};
#pragma GCC diagnostic pop
#pragma GCC diagnostic pop

} // namespace

// Their items relative to the folder they share (the logic writes them into one), else to the
// desktop.
IDataObject* FilesDataObject(const std::vector<std::string>& files) {
    std::vector<PIDLIST_ABSOLUTE> items;
    for (const std::string& file : files) {
        PIDLIST_ABSOLUTE item = nullptr;
        if (SUCCEEDED(SHParseDisplayName(Wide(file).c_str(), nullptr, &item, 0, nullptr)) && item)
            items.push_back(item);
    }
    IDataObject* data = nullptr;
    PIDLIST_ABSOLUTE folder = items.empty() ? nullptr : ILClone(items.front());
    if (folder) {
        ILRemoveLastID(folder);
        const bool shared =
            std::all_of(items.begin(), items.end(), [&](auto item) { return ILIsParent(folder, item, TRUE) != FALSE; });
        if (!shared) {
            ILFree(folder);
            folder = nullptr;
            SHGetFolderLocation(nullptr, CSIDL_DESKTOP, nullptr, 0, &folder);
        }
    }
    if (folder) {
        std::vector<LPCITEMIDLIST> children;
        for (auto item : items) children.push_back(ILFindChild(folder, item));
        const UINT count = static_cast<UINT>(children.size());
        if (FAILED(SHCreateDataObject(folder, count, children.data(), nullptr, IID_IDataObject,
                                      reinterpret_cast<void**>(&data))))
            data = nullptr;
        if (!data && FAILED(CIDLData_CreateFromIDArray(folder, count, children.data(), &data))) data = nullptr;
        ILFree(folder);
    }
    for (auto item : items) ILFree(item);
    return data;
}

// ---- Creation and end ---------------------------------------------------------------------------

Win32Browser::Win32Browser(HINSTANCE instance, HWND beside, const std::string& title, ui::BrowserEvents& events)
    : instance_(instance) {
    RegisterClasses(instance, &Win32Browser::WindowProc, &Win32Browser::PaneProc);
    constexpr DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, kBrowserClass, Wide(title).c_str(), style,
                            CW_USEDEFAULT, CW_USEDEFAULT, kStartWidth, kStartHeight, nullptr, nullptr, instance, this);
    if (!hwnd_) throw EVellocarError("Cannot create the browser's window");
    OpenBrowsers().push_back(hwnd_);
    dpi_ = WindowDpi(hwnd_);
    // At its scale, in the middle of the screen, never larger than nine tenths of it.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(beside ? beside : hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const RECT frame = FrameForClient(Px(kStartWidth), Px(kStartHeight), style, WS_EX_CONTROLPARENT, dpi_);
    const LONG width = std::min(frame.right - frame.left, (work.right - work.left) * 9 / 10);
    const LONG height = std::min(frame.bottom - frame.top, (work.bottom - work.top) * 9 / 10);
    SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    try {
        CreateChildren();
        ApplyDpi(dpi_);
    } catch (...) {
        // The destructor does not run for a half-built object: no message may reach it.
        Release();
        throw;
    }
    events_ = &events;
}

Win32Browser::~Win32Browser() {
    *alive_ = false;
    Release();
}

void Win32Browser::Release() {
    events_ = nullptr;
    if (hwnd_) {
        // Nothing reaches this object any more, also while the window is taken down.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        if (depth_ > 0) {
            // Let go from inside one of its own messages: the controls that sent it are still on
            // the stack. Gone from the screen now, taken down once that message has returned.
            ShowWindow(hwnd_, SW_HIDE);
            for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                SendMessageW(child, WM_SETFONT, 0, FALSE);
            SendMessageW(layers_, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
            PostMessageW(hwnd_, kDestroyMessage, 0, 0);
        } else {
            DestroyWindow(hwnd_);
        }
        hwnd_ = nullptr;
    }
    if (font_) DeleteObject(font_);
    font_ = nullptr;
    if (marks_) ImageList_Destroy(marks_);
    marks_ = nullptr;
}

void Win32Browser::CreateChildren() {
    const auto child = [this](HWND parent, DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style,
                              int id) {
        HWND control = CreateWindowExW(exStyle, cls, text, WS_CHILD | style, 0, 0, 0, 0, parent,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
        if (!control) throw EVellocarError("Cannot create the browser's controls");
        return control;
    };
    // In the order Tab takes them; the toolbar's buttons go before them as they come.
    filterLabel_ = child(hwnd_, 0, L"STATIC", L"&Filter:", WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE, kFilterLabelId);
    filter_ =
        child(hwnd_, WS_EX_CLIENTEDGE, L"EDIT", L"", WS_VISIBLE | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, kFilterId);
    SendMessageW(filter_, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"name, glob or type:2da"));
    count_ = child(hwnd_, 0, L"STATIC", L"", WS_VISIBLE | SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX, kCountId);
    layers_ = child(
        hwnd_, WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
        WS_VISIBLE | WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHAREIMAGELISTS,
        kLayersId);
    SendMessageW(layers_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_CHECKBOXES | LVS_EX_INFOTIP | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    SendMessageW(layers_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    table_ = child(hwnd_, WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                   WS_VISIBLE | WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, kTableId);
    SendMessageW(table_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    pane_ = child(hwnd_, WS_EX_CONTROLPARENT, kPaneClass, L"", WS_CLIPCHILDREN, kPaneId);
    status_ = child(hwnd_, WS_EX_STATICEDGE, L"STATIC", L"",
                    WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE, kStatusId);
}

int Win32Browser::Px(int value) const { return Scale(value, dpi_); }

int Win32Browser::TextWidth(const std::wstring& text) const {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font_);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), Clamped(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return size.cx;
}

void Win32Browser::ApplyDpi(int oldDpi) {
    HFONT old = font_;
    font_ = CreateFontW(-Px(kFontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
    for (HWND control : {filterLabel_, filter_, count_, layers_, table_, status_})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    for (HWND button : buttons_) SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    if (old) DeleteObject(old);
    // The layers' warning mark at the size of a small icon at this scale.
    HIMAGELIST oldMarks = marks_;
    const int side = SystemMetric(SM_CXSMICON, dpi_);
    marks_ = ImageList_Create(side, side, ILC_COLOR32 | ILC_MASK, 1, 0);
    if (HICON warning = static_cast<HICON>(
            LoadImageW(nullptr, MAKEINTRESOURCEW(32515) /* IDI_WARNING */, IMAGE_ICON, side, side, LR_SHARED)))
        ImageList_AddIcon(marks_, warning);
    SendMessageW(layers_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(marks_));
    if (oldMarks) ImageList_Destroy(oldMarks);
    if (oldDpi != dpi_ && oldDpi > 0) {
        // The table's columns keep the widths the user gave them, at the new scale.
        HWND header = reinterpret_cast<HWND>(SendMessageW(table_, LVM_GETHEADER, 0, 0));
        const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
        for (int c = 0; c < columns; ++c) {
            const int width = static_cast<int>(SendMessageW(table_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
            SendMessageW(table_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), MulDiv(width, dpi_, oldDpi));
        }
    }
    Place();
}

// ---- Layout -------------------------------------------------------------------------------------

int Win32Browser::PlaceCommands(int width) {
    // In rows from the left, a wider gap between kinds of command; a button that would pass the
    // right margin starts the next row.
    const int margin = Px(kMargin), rowHeight = Px(kButtonHeight);
    int x = margin, y = margin;
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const int w = std::max(Px(kMinButtonWidth), TextWidth(Wide(commands_[i].Caption)) + Px(kButtonPadding));
        if (i > 0)
            x +=
                CommandGroup(commands_[i].Command) == CommandGroup(commands_[i - 1].Command) ? Px(kGap) : Px(kGroupGap);
        if (x > margin && x + w > width - margin) x = margin, y += rowHeight + Px(kGap);
        MoveWindow(buttons_[i], x, y, w, rowHeight, TRUE);
        x += w;
    }
    return buttons_.empty() ? margin : y + rowHeight + Px(kGap);
}

void Win32Browser::Place() {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right, height = client.bottom, margin = Px(kMargin), gap = Px(kGap);
    int y = PlaceCommands(width);
    // The filter under the commands, the count at the right end of its row.
    const int labelWidth = TextWidth(L"Filter:") + Px(kLabelPadding);
    MoveWindow(filterLabel_, margin, y, labelWidth, Px(kFilterHeight), TRUE);
    const int filterLeft = margin + labelWidth, filterWidth = std::min(Px(kFilterWidth), width - margin - filterLeft);
    MoveWindow(filter_, filterLeft, y, std::max(0, filterWidth), Px(kFilterHeight), TRUE);
    const int countLeft = filterLeft + filterWidth + gap;
    MoveWindow(count_, countLeft, y, std::max(0, width - margin - countLeft), Px(kFilterHeight), TRUE);
    y += Px(kFilterHeight) + gap;
    // The status line at the bottom; the layers, the table and the pane between.
    const int statusTop = height - margin / 2 - Px(kStatusHeight);
    MoveWindow(status_, margin, statusTop, std::max(0, width - 2 * margin), Px(kStatusHeight), TRUE);
    const int bottom = statusTop - gap, tall = std::max(0, bottom - y);
    const int layersWidth = std::min(Px(kLayersWidth), std::max(0, (width - 2 * margin) / 4));
    MoveWindow(layers_, margin, y, layersWidth, tall, TRUE);
    SendMessageW(layers_, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
    const int tableLeft = margin + layersWidth + gap, room = std::max(0, width - margin - tableLeft);
    int paneWidth = 0;
    if (paneHolds_) paneWidth = std::min(std::max(Px(kMinPaneWidth), room * kPanePercent / 100), room * 2 / 3);
    const int tableWidth = std::max(0, room - (paneHolds_ ? paneWidth + gap : 0));
    MoveWindow(table_, tableLeft, y, tableWidth, tall, TRUE);
    MoveWindow(pane_, tableLeft + tableWidth + gap, y, paneWidth, tall, TRUE);
    ShowWindow(pane_, paneHolds_ ? SW_SHOWNA : SW_HIDE);
}

void Win32Browser::PaneChanged(bool holds) {
    if (paneHolds_ == holds || !hwnd_) return;
    paneHolds_ = holds;
    Place();
}

// ---- What it shows ------------------------------------------------------------------------------

void Win32Browser::SetLayers(const std::vector<ui::BrowserLayer>& layers) {
    quiet_ = true;
    SendMessageW(layers_, WM_SETREDRAW, FALSE, 0);
    if (SendMessageW(layers_, LVM_GETITEMCOUNT, 0, 0) != Clamped(layers.size())) {
        SendMessageW(layers_, LVM_DELETEALLITEMS, 0, 0);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.pszText = const_cast<wchar_t*>(L"");
        for (std::size_t i = 0; i < layers.size(); ++i) {
            item.iItem = Clamped(i);
            SendMessageW(layers_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
    }
    tips_.clear();
    for (std::size_t i = 0; i < layers.size(); ++i) {
        std::wstring text = Wide(layers[i].Text);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
        item.iItem = Clamped(i);
        item.pszText = text.data();
        item.iImage = layers[i].Problem ? 0 : I_IMAGENONE;
        item.state = StateImage(layers[i].Checked);
        item.stateMask = LVIS_STATEIMAGEMASK;
        SendMessageW(layers_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        tips_.push_back(Wide(layers[i].Tooltip));
    }
    SendMessageW(layers_, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
    SendMessageW(layers_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(layers_, nullptr, TRUE);
    quiet_ = false;
}

void Win32Browser::ShowRows(const ui::BrowserRows& rows, std::size_t sortColumn, bool ascending) {
    quiet_ = true;
    rows_ = &rows;
    sortColumn_ = sortColumn;
    ascending_ = ascending;
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(table_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    // The columns anew only when they are others: the widths the user gave them stay.
    std::vector<std::wstring> titles;
    for (std::size_t c = 0; c < rows.ColumnCount(); ++c) titles.push_back(Wide(rows.ColumnTitle(c)));
    if (titles != titles_) {
        SendMessageW(table_, WM_SETREDRAW, FALSE, 0);
        while (SendMessageW(table_, LVM_DELETECOLUMN, 0, 0)) {}
        const int digit = TextWidth(L"0"); // a digit's width stands for a character's
        for (std::size_t c = 0; c < titles.size(); ++c) {
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
            column.fmt = c > 0 && rows.ColumnRightAligned(c) ? LVCFMT_RIGHT : LVCFMT_LEFT;
            column.pszText = titles[c].data();
            column.cx = std::min((Clamped(rows.ColumnWidth(c)) + 1) * digit + Px(kCellPadding), Px(kWidestColumn));
            SendMessageW(table_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
        }
        SendMessageW(table_, WM_SETREDRAW, TRUE, 0);
        titles_ = std::move(titles);
    }
    // Owner data: the list holds only the count, and asks for the text of each row it draws.
    SendMessageW(table_, LVM_SETITEMCOUNT, static_cast<WPARAM>(Clamped(rows.RowCount())), 0);
    if (rows.RowCount() > 0) SendMessageW(table_, LVM_ENSUREVISIBLE, 0, FALSE);
    MarkSortColumn();
    InvalidateRect(table_, nullptr, TRUE);
    quiet_ = false;
}

void Win32Browser::MarkSortColumn() { MarkSortedColumn(table_, sortColumn_, ascending_); }

std::vector<std::size_t> Win32Browser::SelectedRows() const {
    std::vector<std::size_t> selected;
    for (LRESULT row = SendMessageW(table_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED); row >= 0;
         row = SendMessageW(table_, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))
        selected.push_back(static_cast<std::size_t>(row));
    return selected;
}

void Win32Browser::SelectRow(std::size_t row) {
    if (!rows_ || row >= rows_->RowCount() || row > static_cast<std::size_t>(INT_MAX)) return;
    quiet_ = true;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(table_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state)); // none
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(table_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    SendMessageW(table_, LVM_ENSUREVISIBLE, row, FALSE);
    quiet_ = false;
}

void Win32Browser::SetCount(const std::string& text) { SetWindowTextW(count_, Wide(text).c_str()); }

void Win32Browser::SetStatus(const std::string& text) { SetWindowTextW(status_, Wide(text).c_str()); }

void Win32Browser::SetCommands(const std::vector<ui::BrowserCommandState>& commands) {
    const bool same = commands.size() == commands_.size() &&
        std::equal(commands.begin(), commands.end(), commands_.begin(),
                   [](const auto& a, const auto& b) { return a.Command == b.Command && a.Toggle == b.Toggle; });
    if (!same) {
        // Others: made anew (a button that had the keyboard gives it to the table).
        if (std::find(buttons_.begin(), buttons_.end(), GetFocus()) != buttons_.end()) SetFocus(table_);
        for (HWND button : buttons_) DestroyWindow(button);
        buttons_.clear();
        HWND after = HWND_TOP;
        for (std::size_t i = 0; i < commands.size(); ++i) {
            // A toggle stays down while it is on; the logic, not the click, sets it.
            const DWORD kind = commands[i].Toggle ? BS_CHECKBOX | BS_PUSHLIKE : BS_PUSHBUTTON;
            HWND button = CreateWindowExW(
                0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | kind, 0, 0, 0, 0, hwnd_,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstCommandId) + static_cast<INT_PTR>(i)), instance_,
                nullptr);
            if (!button) break;
            SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
            SetWindowPos(button, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            after = button;
            buttons_.push_back(button);
        }
    }
    commands_ = commands;
    commands_.resize(buttons_.size());
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        SetWindowTextW(buttons_[i], Wide(commands_[i].Caption).c_str());
        EnableWindow(buttons_[i], commands_[i].Enabled);
        if (commands_[i].Toggle)
            SendMessageW(buttons_[i], BM_SETCHECK, commands_[i].Checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    Place();
}

void Win32Browser::SetClipboardText(const std::string& text) {
    // The clipboard's lines end as the system's do.
    std::wstring lines;
    for (wchar_t c : Wide(text)) {
        if (c == L'\n' && (lines.empty() || lines.back() != L'\r')) lines += L'\r';
        lines += c;
    }
    if (!OpenClipboard(hwnd_)) return;
    EmptyClipboard();
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (lines.size() + 1) * sizeof(wchar_t))) {
        if (void* bytes = GlobalLock(memory)) {
            std::copy(lines.c_str(), lines.c_str() + lines.size() + 1, static_cast<wchar_t*>(bytes));
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

std::unique_ptr<ui::ViewerWindow> Win32Browser::OpenDockedViewer(const std::string& title, ui::ViewerEvents& events) {
    // The pane in its place first, so that the viewer is made at the size it will have.
    PaneChanged(true);
    try {
        return std::make_unique<Win32Viewer>(instance_, pane_, title, events, true);
    } catch (...) {
        PaneChanged(GetWindow(pane_, GW_CHILD) != nullptr);
        throw;
    }
}

void Win32Browser::Raise() {
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    BringWindowToTop(hwnd_);
    SetForegroundWindow(hwnd_);
    if (!GetFocus() || GetAncestor(GetFocus(), GA_ROOT) != hwnd_) SetFocus(table_);
}

// ---- Messages -----------------------------------------------------------------------------------

std::size_t Win32Browser::OpenCount() { return OpenBrowsers().size(); }

bool Win32Browser::IsBrowserWindow(HWND window) {
    const auto& open = OpenBrowsers();
    return std::find(open.begin(), open.end(), window) != open.end();
}

void Win32Browser::WhenLastClosed(std::function<void()> closed) { LastClosed() = std::move(closed); }

bool Win32Browser::DialogMessage(MSG& msg) {
    if (!msg.hwnd) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    const auto& open = OpenBrowsers();
    if (std::find(open.begin(), open.end(), root) == open.end()) return false;
    auto* self = reinterpret_cast<Win32Browser*>(GetWindowLongPtrW(root, GWLP_USERDATA));
    if (!self) return false;
    try {
        if (self->Key(msg)) return true; // the logic may have let the window go: nothing of it after this
    } catch (...) {
        return true;
    }
    return IsDialogMessageW(root, &msg);
}

bool Win32Browser::Key(const MSG& msg) {
    if (msg.message != WM_KEYDOWN) return false;
    const bool control = GetKeyState(VK_CONTROL) < 0;
    if (msg.wParam == 'F' && control) {
        SetFocus(filter_);
        SendMessageW(filter_, EM_SETSEL, 0, -1);
        return true;
    }
    if (msg.wParam != VK_RETURN) return false;
    // Enter opens the table's row; in the filter, it goes to the table.
    if (msg.hwnd == table_) {
        OpenFocusedRow();
        return true;
    }
    if (msg.hwnd != filter_) return false;
    SetFocus(table_);
    return true;
}

void Win32Browser::OpenFocusedRow() {
    LRESULT row = SendMessageW(table_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED | LVNI_SELECTED);
    if (row < 0) row = SendMessageW(table_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (row >= 0 && events_) events_->RowOpened(static_cast<std::size_t>(row));
}

LRESULT CALLBACK Win32Browser::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32Browser*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        if (self) {
            // Taken down by the system: the object stays until the logic lets it go.
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = self->layers_ = self->table_ = self->filter_ = self->pane_ = nullptr;
            self->filterLabel_ = self->count_ = self->status_ = nullptr;
            self->buttons_.clear();
            self->events_ = nullptr;
        }
        auto& open = OpenBrowsers();
        open.erase(std::remove(open.begin(), open.end(), hwnd), open.end());
        const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        if (open.empty() && LastClosed()) LastClosed()();
        return result;
    }
    if (!self) {
        if (message == kDestroyMessage) DestroyWindow(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // The logic may let the window go inside Handle: nothing of self is used after it unless it
    // is still alive.
    const std::shared_ptr<bool> alive = self->alive_;
    ++self->depth_;
    LRESULT result = 0;
    try {
        result = self->Handle(message, wParam, lParam);
    } catch (...) {
        result = 0;
    }
    if (*alive) --self->depth_;
    return result;
}

LRESULT CALLBACK Win32Browser::PaneProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            // The docked viewer fills it.
            for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                MoveWindow(child, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_PARENTNOTIFY:
            if (LOWORD(wParam) == WM_DESTROY) {
                // Its last viewer going: the pane goes from the window too.
                const HWND going = reinterpret_cast<HWND>(lParam);
                bool others = false;
                for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                    others = others || child != going;
                auto* self = reinterpret_cast<Win32Browser*>(GetWindowLongPtrW(GetParent(hwnd), GWLP_USERDATA));
                if (self && self->pane_ == hwnd && !others) self->PaneChanged(false);
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT Win32Browser::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (events_) Command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            return Notify(*reinterpret_cast<const NMHDR*>(lParam), lParam);
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) != table_) break;
            ShowRowMenu(table_, lParam);
            return 0;
        case kSelectionMessage:
            selectionPending_ = false;
            if (events_) events_->SelectionChanged();
            return 0;
        case WM_CLOSE:
            if (events_) events_->CloseAsked(); // the logic closes it
            return 0;
        case WM_ACTIVATE:
            // The keyboard where it was when the window was left, the table the first time.
            if (LOWORD(wParam) == WA_INACTIVE) {
                if (HWND focus = GetFocus(); focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
            } else {
                SetFocus(lastFocus_ && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_) ? lastFocus_ : table_);
            }
            return 0;
        case WM_SIZE:
            Place();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {Px(kMinWidth), Px(kMinHeight)};
            return 0;
        }
        case WM_DPICHANGED: {
            if (LOWORD(wParam) == 0 || lParam == 0) break;
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            const int old = dpi_;
            dpi_ = LOWORD(wParam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            ApplyDpi(old);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Win32Browser::Command(int id, int code) {
    ui::BrowserEvents& events = *events_;
    if (id == IDCANCEL) return events.CloseAsked(); // Escape
    if (id == kFilterId && code == EN_CHANGE) return events.FilterChanged(WindowText(filter_));
    const auto index = static_cast<std::size_t>(id - kFirstCommandId);
    if (id < kFirstCommandId || index >= buttons_.size() || code != BN_CLICKED) return;
    // Wine delivers a click even to a disabled button.
    if (!IsWindowEnabled(buttons_[index])) return;
    events.CommandChosen(commands_[index].Command);
}

LRESULT Win32Browser::Notify(const NMHDR& header, LPARAM lParam) {
    if (header.hwndFrom == layers_) {
        if (header.code == LVN_ITEMCHANGED && events_ && !quiet_) {
            // A box the user clicked or toggled with the space bar (a new line has no box before).
            const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lParam);
            const UINT before = change.uOldState & LVIS_STATEIMAGEMASK, after = change.uNewState & LVIS_STATEIMAGEMASK;
            if ((change.uChanged & LVIF_STATE) && change.iItem >= 0 && before != 0 && before != after)
                events_->LayerChecked(static_cast<std::size_t>(change.iItem), after == StateImage(true));
        } else if (header.code == LVN_GETINFOTIPW) {
            auto& tip = *reinterpret_cast<NMLVGETINFOTIPW*>(lParam);
            if (tip.iItem >= 0 && static_cast<std::size_t>(tip.iItem) < tips_.size() && tip.pszText &&
                tip.cchTextMax > 0)
                lstrcpynW(tip.pszText, tips_[static_cast<std::size_t>(tip.iItem)].c_str(), tip.cchTextMax);
        }
        return 0;
    }
    if (header.hwndFrom != table_) return DefWindowProcW(hwnd_, WM_NOTIFY, 0, lParam);
    switch (header.code) {
        case LVN_GETDISPINFOW: {
            auto& item = reinterpret_cast<NMLVDISPINFOW*>(lParam)->item;
            if (rows_ && (item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0 && item.iItem >= 0 &&
                item.iSubItem >= 0 && static_cast<std::size_t>(item.iItem) < rows_->RowCount()) {
                const std::wstring text =
                    Wide(rows_->Cell(static_cast<std::size_t>(item.iItem), static_cast<std::size_t>(item.iSubItem)));
                lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
            }
            return 0;
        }
        case LVN_ODFINDITEMW:
            return -1; // typing a name finds nothing: the filter is for that
        case LVN_COLUMNCLICK: {
            const int column = reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem;
            if (column >= 0 && events_) events_->ColumnClicked(static_cast<std::size_t>(column));
            return 0;
        }
        case NM_DBLCLK: {
            const int row = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem;
            if (row >= 0 && events_) events_->RowOpened(static_cast<std::size_t>(row));
            return 0;
        }
        case NM_RETURN:
            OpenFocusedRow();
            return 0;
        case LVN_ITEMCHANGED:
        case LVN_ODSTATECHANGED: {
            bool selection = true;
            if (header.code == LVN_ITEMCHANGED) {
                const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lParam);
                selection = (change.uChanged & LVIF_STATE) && ((change.uOldState ^ change.uNewState) & LVIS_SELECTED);
            }
            // Told once, after the list has made every change of one click.
            if (selection && !quiet_ && !selectionPending_ && events_) {
                selectionPending_ = true;
                PostMessageW(hwnd_, kSelectionMessage, 0, 0);
            }
            return 0;
        }
        case LVN_KEYDOWN: {
            const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey;
            if (GetKeyState(VK_CONTROL) >= 0) return 0;
            if (key == 'C' && events_) {
                events_->CommandChosen(ui::BrowserCommand::CopyName);
            } else if (key == 'A') {
                LVITEMW all{};
                all.state = all.stateMask = LVIS_SELECTED;
                SendMessageW(table_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
            }
            return 0;
        }
        case LVN_BEGINDRAG:
            Drag();
            return 0;
        default:
            return 0;
    }
}

void Win32Browser::ShowRowMenu(HWND from, LPARAM at) {
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (point.x == -1 && point.y == -1) {
        // The menu key: below the focused row, or at the table's corner.
        RECT row{LVIR_BOUNDS, 0, 0, 0};
        const LRESULT focused = SendMessageW(from, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED);
        point = {0, 0};
        if (focused >= 0 &&
            SendMessageW(from, LVM_GETITEMRECT, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&row)))
            point = {row.left, row.bottom};
        ClientToScreen(from, &point);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    for (std::size_t i = 0; i < commands_.size(); ++i) {
        const auto& command = commands_[i];
        if (!command.InRowMenu) continue;
        const UINT flags =
            MF_STRING | (command.Enabled ? 0u : MF_GRAYED) | (command.Toggle && command.Checked ? MF_CHECKED : 0u);
        AppendMenuW(menu, flags, i + 1, Wide(command.Caption).c_str());
    }
    const BOOL chosen = GetMenuItemCount(menu) > 0
        ? TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, point.x, point.y, 0,
                         hwnd_, nullptr)
        : 0;
    DestroyMenu(menu);
    const auto index = static_cast<std::size_t>(chosen) - 1;
    if (chosen > 0 && index < commands_.size() && events_) events_->CommandChosen(commands_[index].Command);
}

void Win32Browser::Drag() {
    if (!events_) return;
    // The logic writes the rows' files, then Explorer copies them where they are dropped.
    const std::vector<std::string> files = events_->DragStarted();
    if (files.empty()) return;
    IDataObject* data = FilesDataObject(files);
    if (!data) return;
    DropSource source;
    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(data, &source, DROPEFFECT_COPY, &effect);
    data->Release();
}

} // namespace vellocar::win32
