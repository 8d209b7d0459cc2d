// A resource viewer's window on Win32: its controls made and placed at the window's DPI, the
// list view's rows and the tree's lines asked of the logic as they are drawn or opened, the
// picture drawn with StretchDIBits, and every button, key, click and pointer move passed to the
// logic.

#include "Win32Viewer.h"

#include "base/Errors.h"
#include "Dpi.h"
#include "Utf16.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>

namespace vellocar::win32 {

namespace {

constexpr const wchar_t* kViewerClass = L"VellocarViewer";
constexpr const wchar_t* kPictureClass = L"VellocarPicture";
// Windows 10 (1703) tells a child window that its parent has taken another DPI.
constexpr UINT kDpiChangedAfterParent = 0x02E3; // WM_DPICHANGED_AFTERPARENT

// Child identifiers: the commands in the order of kCommands, then the views, the find bar and the
// status line.
enum : int {
    kFitId = 10,
    kActualId,
    kDoubleId,
    kRgbaId,
    kRgbId,
    kAlphaId,
    kMipId,
    kTalkTableId,
    kConvertedId,
    kSavePngId,
    kSaveAsId,
    kListId = 30,
    kEditId,
    kPictureId,
    kTreeId,
    kStatusId,
    kFindLabelId,
    kFindEditId
};
enum class Kind { Zoom, Channel, Mip, Button };
struct CommandRow {
    int Id;
    const wchar_t* Caption;
    int Width; // at 96 DPI; the converted save's grows with its caption
    Kind Kind;
    bool AtRight; // the saves and the talk table stand at the right end of the row
};
constexpr std::array<CommandRow, 11> kCommands{{{kFitId, L"Fit", 50, Kind::Zoom, false},
                                                {kActualId, L"1:1", 50, Kind::Zoom, false},
                                                {kDoubleId, L"2x", 50, Kind::Zoom, false},
                                                {kRgbaId, L"RGBA", 50, Kind::Channel, false},
                                                {kRgbId, L"RGB", 50, Kind::Channel, false},
                                                {kAlphaId, L"Alpha", 50, Kind::Channel, false},
                                                {kMipId, L"", 100, Kind::Mip, false},
                                                {kTalkTableId, L"Open talk table...", 110, Kind::Button, true},
                                                {kConvertedId, L"", 100, Kind::Button, true},
                                                {kSavePngId, L"Save as PNG...", 100, Kind::Button, true},
                                                {kSaveAsId, L"Save as...", 90, Kind::Button, true}}};

// The window's place at 96 DPI: its first client size (less where the screen is smaller), the
// margins, the command row, the find bar and the status line.
constexpr int kStartWidth = 640, kStartHeight = 480, kMargin = 8, kGap = 6, kGroupGap = 14, kButtonHeight = 25;
constexpr int kStatusHeight = 20, kFindHeight = 22, kFindLabelWidth = 34, kFindWidth = 260, kMipListHeight = 200;
constexpr int kMinWidth = 320, kMinHeight = 240;
constexpr int kWidestColumn = 400, kCellPadding = 12, kScrollLine = 16, kCaptionPadding = 20;
// How far each viewer opened after another stands down and to the right of it.
constexpr int kCascade = 28;
// Deeper than any GFF nests: a chain of parents longer than this loops.
constexpr std::size_t kDeepestNode = 1u << 16;
// The interface font and the fixed one for hex and long text, in pixels at 96 DPI.
constexpr int kFontHeight = 11, kFixedFontHeight = 13;

// Every viewer window open, in the order they were opened.
std::vector<HWND>& OpenViewers() {
    static std::vector<HWND> open;
    return open;
}

int Clamped(std::size_t count) { return static_cast<int>(std::min<std::size_t>(count, INT_MAX)); }

void RegisterClasses(HINSTANCE instance, WNDPROC viewer, WNDPROC picture) {
    for (const auto& [name, proc, brush] :
         {std::tuple{kViewerClass, viewer, COLOR_BTNFACE + 1}, std::tuple{kPictureClass, picture, 0}}) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(brush));
        wc.lpszClassName = name;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            throw EVellocarError("Cannot register the viewer's window class");
    }
}

// The window's rectangle (of size `size`) beside `main` within the work area: to its right where
// at least minWidth is free there, else to its left, else down and to the right of it, by step.
// Beside it, the window narrows to the room it has. A window cascaded from `previous` (the viewer
// opened last) takes its size and stands step below and right of it.
RECT BesideRect(const RECT& main, const RECT* previous, SIZE size, const RECT& work, int minWidth, int step) {
    LONG x = main.left + step, y = main.top + step, width = size.cx, height = size.cy;
    if (previous) {
        // Down and right of it, or up or left where the work area ends.
        width = previous->right - previous->left;
        height = previous->bottom - previous->top;
        x = previous->right + step <= work.right ? previous->left + step : previous->left - step;
        y = previous->bottom + step <= work.bottom ? previous->top + step : previous->top - step;
    } else if (work.right - main.right >= minWidth) {
        width = std::min<LONG>(width, work.right - main.right);
        x = main.right;
        y = main.top;
    } else if (main.left - work.left >= minWidth) {
        width = std::min<LONG>(width, main.left - work.left);
        x = main.left - width;
        y = main.top;
    }
    // Wholly on the work area where it fits there; its top left corner on it in any case.
    x = std::max(work.left, std::min(x, work.right - width));
    y = std::max(work.top, std::min(y, work.bottom - height));
    return RECT{x, y, x + width, y + height};
}

} // namespace

// ---- Creation and end ---------------------------------------------------------------------------

Win32Viewer::Win32Viewer(HINSTANCE instance, HWND owner, const std::string& title, ui::ViewerEvents& events,
                         bool docked)
    : instance_(instance), docked_(docked) {
    RegisterClasses(instance, &Win32Viewer::WindowProc, &Win32Viewer::PictureProc);
    if (docked) {
        // A child filling the pane it is made in; the pane keeps it at its size.
        RECT pane{};
        GetClientRect(owner, &pane);
        hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kViewerClass, Wide(title).c_str(),
                                WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, pane.right, pane.bottom, owner,
                                nullptr, instance, this);
        if (!hwnd_) throw EVellocarError("Cannot create the viewer's window");
        dpi_ = WindowDpi(hwnd_);
    } else {
        constexpr DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
        hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kViewerClass, Wide(title).c_str(), style, CW_USEDEFAULT,
                                CW_USEDEFAULT, kStartWidth, kStartHeight, owner, nullptr, instance, this);
        if (!hwnd_) throw EVellocarError("Cannot create the viewer's window");
        auto& open = OpenViewers();
        HWND previous = nullptr;
        for (auto it = open.rbegin(); it != open.rend() && !previous; ++it)
            if (IsWindowVisible(*it) && !IsIconic(*it)) previous = *it;
        open.push_back(hwnd_);
        dpi_ = WindowDpi(hwnd_);
        // At its scale, but never larger than nine tenths of the screen it is on.
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(owner ? owner : hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT frame = FrameForClient(Px(kStartWidth), Px(kStartHeight), style, WS_EX_CONTROLPARENT, dpi_);
        const LONG areaWidth = monitor.rcWork.right - monitor.rcWork.left,
                   areaHeight = monitor.rcWork.bottom - monitor.rcWork.top;
        SetWindowPos(hwnd_, nullptr, 0, 0, std::min(frame.right - frame.left, areaWidth * 9 / 10),
                     std::min(frame.bottom - frame.top, areaHeight * 9 / 10),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (owner) PlaceBeside(owner, previous);
    }
    try {
        CreateChildren();
        ApplyDpi();
    } catch (...) {
        // The destructor does not run for a half-built object: no message may reach it.
        Release();
        throw;
    }
    ShowPictureCommands(false);
    events_ = &events;
}

void Win32Viewer::PlaceBeside(HWND owner, HWND previous) {
    // On the main window's monitor, wherever the system would have put it.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    RECT main, window, last{};
    GetWindowRect(owner, &main);
    GetWindowRect(hwnd_, &window);
    if (previous) GetWindowRect(previous, &last);
    const RECT frame = FrameForClient(Px(kMinWidth), Px(kMinHeight), WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, dpi_);
    const RECT r =
        BesideRect(main, previous ? &last : nullptr, {window.right - window.left, window.bottom - window.top},
                   monitor.rcWork, frame.right - frame.left, Px(kCascade));
    SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

Win32Viewer::~Win32Viewer() { Release(); }

void Win32Viewer::Release() {
    if (hwnd_) {
        // Nothing reaches this object any more, also while the window is taken down.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        auto& open = OpenViewers();
        open.erase(std::remove(open.begin(), open.end(), hwnd_), open.end());
        DestroyWindow(hwnd_);
    }
    hwnd_ = nullptr;
    for (HFONT* font : {&font_, &fixedFont_}) {
        if (*font) DeleteObject(*font);
        *font = nullptr;
    }
}

void Win32Viewer::CreateChildren() {
    const auto child = [this](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
        HWND control = CreateWindowExW(exStyle, cls, text, WS_CHILD | style, 0, 0, 0, 0, hwnd_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
        if (!control) throw EVellocarError("Cannot create the viewer's controls");
        return control;
    };
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        const CommandRow& command = kCommands[i];
        // Each kind of command a group of its own, so that the arrow keys move within it.
        const DWORD group = i == 0 || command.Kind != kCommands[i - 1].Kind ? WS_GROUP : 0;
        switch (command.Kind) {
            case Kind::Zoom:
            case Kind::Channel:
                commands_[i] = child(0, L"BUTTON", command.Caption,
                                     WS_VISIBLE | WS_TABSTOP | group | BS_AUTORADIOBUTTON | BS_PUSHLIKE, command.Id);
                break;
            case Kind::Mip:
                commands_[i] =
                    child(0, WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | group | CBS_DROPDOWNLIST, command.Id);
                break;
            case Kind::Button:
                commands_[i] =
                    child(0, L"BUTTON", command.Caption,
                          WS_TABSTOP | group | BS_PUSHBUTTON | (command.Id == kSaveAsId ? WS_VISIBLE : 0), command.Id);
                break;
        }
    }
    list_ = child(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                  WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SINGLESEL, kListId);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    tree_ = child(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                  WS_TABSTOP | WS_GROUP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, kTreeId);
    edit_ = child(WS_EX_CLIENTEDGE, L"EDIT", L"",
                  WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL |
                      ES_NOHIDESEL,
                  kEditId);
    SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0); // no limit but memory's
    picture_ = child(WS_EX_CLIENTEDGE, kPictureClass, L"", WS_TABSTOP | WS_HSCROLL | WS_VSCROLL, kPictureId);
    // The status line first among the labels: the tests find it as the window's first.
    status_ = child(WS_EX_STATICEDGE, L"STATIC", L"", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE,
                    kStatusId);
    findLabel_ = child(0, L"STATIC", L"Find:", SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX, kFindLabelId);
    findEdit_ = child(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, kFindEditId);
}

int Win32Viewer::Px(int value) const { return Scale(value, dpi_); }

void Win32Viewer::ApplyDpi() {
    HFONT oldFont = font_, oldFixed = fixedFont_;
    const auto make = [this](int height, DWORD pitch, const wchar_t* face) {
        return CreateFontW(-Px(height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitch, face);
    };
    font_ = make(kFontHeight, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
    fixedFont_ = make(kFixedFontHeight, FIXED_PITCH | FF_MODERN, L"Courier New");
    for (HWND control : commands_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    for (HWND control : {status_, tree_, findLabel_, findEdit_})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(fixedFont_), TRUE);
    SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(monospace_ ? fixedFont_ : font_), TRUE);
    for (HFONT font : {oldFont, oldFixed})
        if (font) DeleteObject(font);
    Place();
    if (rows_) ApplyColumns();
    UpdateScrollBars();
}

bool Win32Viewer::CommandShown(int id) const {
    switch (id) {
        case kTalkTableId:
            return talkTable_;
        case kConvertedId:
            return !convertedCaption_.empty();
        case kSaveAsId:
            return true;
        default:
            return pictureCommands_; // the zoom, the channels, the mipmap and the PNG save
    }
}

int Win32Viewer::CommandWidth(std::size_t index) const {
    const int width = Px(kCommands[index].Width);
    if (kCommands[index].Id != kConvertedId) return width;
    // As wide as its caption needs, which the logic chooses.
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font_);
    SIZE text{};
    GetTextExtentPoint32W(dc, convertedCaption_.c_str(), Clamped(convertedCaption_.size()), &text);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return std::max(width, static_cast<int>(text.cx) + Px(kCaptionPadding));
}

int Win32Viewer::PlaceCommands(int width) {
    // The left-hand commands from the left, a wider gap between kinds; the rest at the right end
    // of the row, or of a row of their own below when the window is too narrow for both. Nothing
    // overlaps at any DPI or width.
    const int margin = Px(kMargin), gap = Px(kGap), rowHeight = Px(kButtonHeight), right = width - margin;
    int x = margin, y = margin;
    std::size_t last = kCommands.size();
    const auto place = [&](std::size_t i, int at) {
        if (kCommands[i].Kind != Kind::Mip)
            return (void)MoveWindow(commands_[i], at, y, CommandWidth(i), rowHeight, TRUE);
        // A drop-down list is as tall as its font makes it (its height given is the open list's):
        // in the middle of the row.
        RECT closed;
        MoveWindow(commands_[i], at, y, CommandWidth(i), Px(kMipListHeight), FALSE);
        GetWindowRect(commands_[i], &closed);
        const int top = y + std::max(0, rowHeight - static_cast<int>(closed.bottom - closed.top)) / 2;
        MoveWindow(commands_[i], at, top, CommandWidth(i), Px(kMipListHeight), TRUE);
    };
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        const CommandRow& command = kCommands[i];
        if (command.AtRight || !CommandShown(command.Id)) continue;
        if (last < kCommands.size()) x += kCommands[last].Kind == command.Kind ? gap : Px(kGroupGap);
        if (x > margin && x + CommandWidth(i) > right) x = margin, y += rowHeight + gap;
        place(i, x);
        x += CommandWidth(i);
        last = i;
    }
    // The right-hand ones in rows that end at the right margin, the first of them beside the
    // left-hand ones where there is room.
    std::vector<std::size_t> row;
    int rowWidth = 0;
    bool shared = x > margin;
    const auto flush = [&] {
        int at = right - rowWidth;
        for (std::size_t i : row) place(i, at), at += CommandWidth(i) + gap;
        row.clear();
        rowWidth = 0;
    };
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        if (!kCommands[i].AtRight || !CommandShown(kCommands[i].Id)) continue;
        const int w = CommandWidth(i), wanted = row.empty() ? w : rowWidth + gap + w;
        if (wanted > right - (shared ? x + Px(kGroupGap) : margin) && (shared || !row.empty())) {
            flush();
            y += rowHeight + gap;
            shared = false;
            row.push_back(i);
            rowWidth = w;
        } else {
            row.push_back(i);
            rowWidth = wanted;
        }
    }
    flush();
    for (std::size_t i = 0; i < kCommands.size(); ++i)
        ShowWindow(commands_[i], CommandShown(kCommands[i].Id) ? SW_SHOWNA : SW_HIDE);
    return y + rowHeight + margin;
}

void Win32Viewer::Place() {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right, height = client.bottom, inner = std::max(0, width - 2 * Px(kMargin));
    const int top = PlaceCommands(width);
    const int statusTop = height - Px(kMargin) / 2 - Px(kStatusHeight);
    int bottom = statusTop - Px(kGap);
    if (findShown_) {
        // The find bar between the view and the status line.
        bottom -= Px(kFindHeight);
        MoveWindow(findLabel_, Px(kMargin), bottom, Px(kFindLabelWidth), Px(kFindHeight), TRUE);
        const int editLeft = Px(kMargin) + Px(kFindLabelWidth);
        MoveWindow(findEdit_, editLeft, bottom, std::max(0, std::min(Px(kFindWidth), width - Px(kMargin) - editLeft)),
                   Px(kFindHeight), TRUE);
        bottom -= Px(kGap);
    }
    for (HWND view : {list_, edit_, picture_, tree_})
        MoveWindow(view, Px(kMargin), top, inner, std::max(0, bottom - top), TRUE);
    MoveWindow(status_, Px(kMargin), statusTop, inner, Px(kStatusHeight), TRUE);
}

// ---- What it shows ------------------------------------------------------------------------------

void Win32Viewer::Show(HWND view) {
    for (HWND other : {list_, edit_, picture_, tree_})
        if (other != view) ShowWindow(other, SW_HIDE);
    ShowWindow(view, SW_SHOW);
    view_ = view;
}

void Win32Viewer::ShowRows(const ui::ViewerRows& rows, bool monospace) {
    rows_ = &rows;
    monospace_ = monospace;
    sortColumn_ = SIZE_MAX;
    const LONG_PTR style = GetWindowLongPtrW(list_, GWL_STYLE);
    SetWindowLongPtrW(list_, GWL_STYLE, monospace ? style | LVS_NOCOLUMNHEADER : style & ~LONG_PTR{LVS_NOCOLUMNHEADER});
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, monospace ? 0 : LVS_EX_GRIDLINES);
    SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(monospace ? fixedFont_ : font_), TRUE);
    ApplyColumns();
    // Owner data: the list holds only the count, and asks for the text of each row it draws.
    SendMessageW(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(Clamped(rows.RowCount())), 0);
    Show(list_);
}

void Win32Viewer::ApplyColumns() {
    while (SendMessageW(list_, LVM_DELETECOLUMN, 0, 0)) {}
    HDC dc = GetDC(list_);
    HGDIOBJ old = SelectObject(dc, monospace_ ? fixedFont_ : font_);
    SIZE digit{};
    GetTextExtentPoint32W(dc, L"0", 1, &digit); // a digit's width stands for a character's
    SelectObject(dc, old);
    ReleaseDC(list_, dc);
    for (std::size_t c = 0; c < rows_->ColumnCount(); ++c) {
        const int wanted = (Clamped(rows_->ColumnWidth(c)) + 1) * digit.cx + Px(kCellPadding);
        std::wstring title = Wide(rows_->ColumnTitle(c));
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title.data();
        column.cx = monospace_ ? wanted : std::min(wanted, Px(kWidestColumn));
        SendMessageW(list_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    MarkSortColumn();
}

void Win32Viewer::RowsChanged(std::size_t sortColumn, bool ascending) {
    sortColumn_ = sortColumn;
    ascending_ = ascending;
    MarkSortColumn();
    // The count stays; every row is asked for again as it is drawn.
    InvalidateRect(list_, nullptr, TRUE);
}

void Win32Viewer::MarkSortColumn() { MarkSortedColumn(list_, sortColumn_, ascending_); }

void MarkSortedColumn(HWND list, std::size_t column, bool ascending) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (!header) return;
    const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int c = 0; c < count; ++c) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (static_cast<std::size_t>(c) == column) item.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
    }
}

void Win32Viewer::SelectRow(std::size_t row) {
    if (!rows_ || row >= rows_->RowCount() || row > static_cast<std::size_t>(INT_MAX)) return;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state)); // none
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    SendMessageW(list_, LVM_ENSUREVISIBLE, row, FALSE);
}

void Win32Viewer::ShowText(const std::string& text) {
    // The edit control breaks lines at "\r\n" only.
    std::string lines;
    lines.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) lines += '\r';
        lines += text[i];
    }
    SetWindowTextW(edit_, Wide(lines).c_str());
    Show(edit_);
}

void Win32Viewer::ShowTree(const ui::ViewerTree& tree) {
    // The old lines go before the tree they came from may.
    items_.clear();
    treeData_ = nullptr;
    SendMessageW(tree_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    treeData_ = &tree;
    InsertChildren(TVI_ROOT, ui::ViewerTree::kViewerRoot);
    Show(tree_);
}

void Win32Viewer::InsertChildren(HTREEITEM item, ui::ViewerTree::Node node) {
    if (!treeData_) return;
    // Once: the lines stay when the branch is closed.
    if (SendMessageW(tree_, TVM_GETNEXTITEM, item == TVI_ROOT ? TVGN_ROOT : TVGN_CHILD, reinterpret_cast<LPARAM>(item)))
        return;
    const std::size_t count = treeData_->ChildCount(node);
    if (count == 0) return;
    SendMessageW(tree_, WM_SETREDRAW, FALSE, 0);
    TVINSERTSTRUCTW insert{};
    insert.hParent = item;
    insert.hInsertAfter = TVI_LAST;
    // Texts and whether a line has lines under it are asked for as the line is drawn.
    insert.item.mask = TVIF_TEXT | TVIF_CHILDREN | TVIF_PARAM;
    insert.item.pszText = LPSTR_TEXTCALLBACKW;
    insert.item.cChildren = I_CHILDRENCALLBACK;
    for (std::size_t i = 0; i < count; ++i) {
        const ui::ViewerTree::Node child = treeData_->Child(node, i);
        insert.item.lParam = static_cast<LPARAM>(child);
        auto* inserted =
            reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
        if (!inserted) break; // out of memory: the lines so far stay
        items_[child] = inserted;
    }
    SendMessageW(tree_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(tree_, nullptr, TRUE);
}

std::wstring Win32Viewer::TreeLine(ui::ViewerTree::Node node) const {
    // One text a line: "Label  [type]  value", the value left out when there is none.
    std::string line = treeData_->Cell(node, 0);
    if (const std::string type = treeData_->Cell(node, 1); !type.empty()) line += "  [" + type + "]";
    if (const std::string value = treeData_->Cell(node, 2); !value.empty()) line += "  " + value;
    return Wide(line);
}

void Win32Viewer::SelectNode(ui::ViewerTree::Node node) {
    if (!treeData_ || node == ui::ViewerTree::kViewerRoot) return;
    // Its branches from the top down, each opened (its lines inserted first).
    std::vector<ui::ViewerTree::Node> path{node};
    for (ui::ViewerTree::Node up = treeData_->Parent(node); up != ui::ViewerTree::kViewerRoot;
         up = treeData_->Parent(up)) {
        if (path.size() >= kDeepestNode) return; // a chain of parents that never ends is no tree
        path.push_back(up);
    }
    HTREEITEM item = TVI_ROOT;
    ui::ViewerTree::Node parent = ui::ViewerTree::kViewerRoot;
    for (auto it = path.rbegin(); it != path.rend(); parent = *it++) {
        InsertChildren(item, parent);
        if (item != TVI_ROOT) SendMessageW(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        const auto found = items_.find(*it);
        if (found == items_.end()) return;
        item = found->second;
    }
    SendMessageW(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    SendMessageW(tree_, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
}

void Win32Viewer::ShowPicture(const ui::ViewerPicture& picture) {
    if (!picture.Pixels) return;
    pixels_ = *picture.Pixels;
    width_ = static_cast<int>(picture.Width);
    height_ = static_cast<int>(picture.Height);
    scrollX_ = scrollY_ = 0;
    Show(picture_);
    ReportArea();
    InvalidateRect(picture_, nullptr, FALSE);
}

void Win32Viewer::SetPictureScale(double scale, ui::ViewerZoom zoom) {
    scale_ = scale;
    zoom_ = zoom;
    const int id = zoom == ui::ViewerZoom::Fit ? kFitId : zoom == ui::ViewerZoom::Actual ? kActualId : kDoubleId;
    CheckRadioButton(hwnd_, kFitId, kDoubleId, id);
    UpdateScrollBars();
    InvalidateRect(picture_, nullptr, FALSE);
    PointAgain();
}

void Win32Viewer::SetPictureChoices(const std::vector<std::string>& mips, std::size_t mip,
                                    ui::ViewerChannels channels) {
    HWND choice = commands_[static_cast<std::size_t>(kMipId - kFitId)];
    SendMessageW(choice, CB_RESETCONTENT, 0, 0);
    for (const std::string& line : mips)
        SendMessageW(choice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(line).c_str()));
    SendMessageW(choice, CB_SETCURSEL, mip < mips.size() ? mip : static_cast<WPARAM>(-1), 0);
    const int id = channels == ui::ViewerChannels::Rgba ? kRgbaId
        : channels == ui::ViewerChannels::Rgb           ? kRgbId
                                                        : kAlphaId;
    CheckRadioButton(hwnd_, kRgbaId, kAlphaId, id);
}

void Win32Viewer::SetStatus(const std::string& text) { SetWindowTextW(status_, Wide(text).c_str()); }

void Win32Viewer::ShowPictureCommands(bool shown) {
    pictureCommands_ = shown;
    Place();
}

void Win32Viewer::ShowConvertedSave(const std::string& caption) {
    convertedCaption_ = Wide(caption);
    SetWindowTextW(commands_[static_cast<std::size_t>(kConvertedId - kFitId)], convertedCaption_.c_str());
    Place();
}

void Win32Viewer::ShowTalkTableCommand(bool shown) {
    talkTable_ = shown;
    Place();
}

void Win32Viewer::Raise() {
    if (docked_) {
        // Beside the table the user is browsing: the keyboard stays there, for the next row.
        ShowWindow(hwnd_, SW_SHOW);
        return;
    }
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    // On top of the others even where the system keeps the keyboard where it was.
    BringWindowToTop(hwnd_);
    SetForegroundWindow(hwnd_);
    if (view_) SetFocus(view_);
}

// ---- The find bar -------------------------------------------------------------------------------

void Win32Viewer::OpenFind() {
    if (!findShown_) {
        findShown_ = true;
        Place();
        KeepSelectionInSight();
        ShowWindow(findLabel_, SW_SHOW);
        ShowWindow(findEdit_, SW_SHOW);
    }
    SetFocus(findEdit_);
    SendMessageW(findEdit_, EM_SETSEL, 0, -1);
}

void Win32Viewer::CloseFind() {
    findShown_ = false;
    ShowWindow(findLabel_, SW_HIDE);
    ShowWindow(findEdit_, SW_HIDE);
    Place();
    KeepSelectionInSight();
    if (view_) SetFocus(view_);
}

void Win32Viewer::KeepSelectionInSight() {
    // The bar takes its height from the view: what was found stays in sight.
    if (view_ == tree_) {
        const LPARAM selected = SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_CARET, 0);
        if (selected) SendMessageW(tree_, TVM_ENSUREVISIBLE, 0, selected);
    } else if (view_ == list_) {
        const LRESULT selected = SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
        if (selected >= 0) SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(selected), FALSE);
    }
}

void Win32Viewer::Find(bool forward) {
    const int length = GetWindowTextLengthW(findEdit_);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(std::max(GetWindowTextW(findEdit_, text.data(), length + 1), 0)));
    // Nothing to find yet: F3 opens the bar for it.
    if (text.empty()) return OpenFind();
    if (events_) events_->FindAsked(Utf8(text), forward);
}

bool Win32Viewer::FindKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN) return false;
    const bool control = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    switch (msg.wParam) {
        case 'F':
            if (!control) return false;
            OpenFind();
            return true;
        case VK_F3:
            Find(!shift);
            return true;
        case VK_RETURN:
            if (msg.hwnd != findEdit_) return false;
            Find(!shift);
            return true;
        case VK_ESCAPE:
            // The bar goes first; Escape with no bar asks the window to close (IDCANCEL).
            if (!findShown_) return false;
            CloseFind();
            return true;
        default:
            return false;
    }
}

// ---- The picture --------------------------------------------------------------------------------

void Win32Viewer::ReportArea() {
    RECT area;
    GetClientRect(picture_, &area);
    if (events_) events_->PictureAreaResized(area.right, area.bottom);
}

void Win32Viewer::UpdateScrollBars() {
    if (!picture_) return;
    if (zoom_ == ui::ViewerZoom::Fit) {
        // Fitted, the picture needs none, and their coming and going would change the area.
        scrollX_ = scrollY_ = 0;
        ShowScrollBar(picture_, SB_BOTH, FALSE);
        return;
    }
    RECT area;
    GetClientRect(picture_, &area);
    const int sizes[] = {static_cast<int>(std::lround(width_ * scale_)),
                         static_cast<int>(std::lround(height_ * scale_))};
    const int pages[] = {area.right, area.bottom};
    int* positions[] = {&scrollX_, &scrollY_};
    for (int bar : {SB_HORZ, SB_VERT}) {
        SCROLLINFO info{sizeof info,
                        SIF_RANGE | SIF_PAGE | SIF_POS,
                        0,
                        std::max(0, sizes[bar] - 1),
                        static_cast<UINT>(std::max(0, pages[bar])),
                        *positions[bar],
                        0};
        SetScrollInfo(picture_, bar, &info, TRUE);
        info.fMask = SIF_POS;
        GetScrollInfo(picture_, bar, &info);
        *positions[bar] = info.nPos;
    }
}

void Win32Viewer::Scroll(int bar, int request, int delta) {
    SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(picture_, bar, &info);
    int pos = info.nPos;
    const int page = static_cast<int>(info.nPage);
    switch (request) {
        case SB_LINEUP:
            pos -= Px(kScrollLine);
            break;
        case SB_LINEDOWN:
            pos += Px(kScrollLine);
            break;
        case SB_PAGEUP:
            pos -= page;
            break;
        case SB_PAGEDOWN:
            pos += page;
            break;
        case SB_THUMBTRACK:
            pos = info.nTrackPos;
            break;
        case SB_TOP:
            pos = info.nMin;
            break;
        case SB_BOTTOM:
            pos = info.nMax;
            break;
        default:
            pos += delta;
            break;
    }
    info.fMask = SIF_POS;
    info.nPos = std::clamp(pos, 0, std::max(0, info.nMax - page + 1));
    SetScrollInfo(picture_, bar, &info, TRUE);
    (bar == SB_HORZ ? scrollX_ : scrollY_) = info.nPos;
    InvalidateRect(picture_, nullptr, FALSE);
    PointAgain();
}

RECT Win32Viewer::PictureRect() const {
    RECT area;
    GetClientRect(picture_, &area);
    const int w = static_cast<int>(std::lround(width_ * scale_)), h = static_cast<int>(std::lround(height_ * scale_));
    // Centred while it is smaller than the area, else where the scroll bars have taken it.
    const int x = w < area.right ? (area.right - w) / 2 : -scrollX_;
    const int y = h < area.bottom ? (area.bottom - h) / 2 : -scrollY_;
    return RECT{x, y, x + w, y + h};
}

void Win32Viewer::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(picture_, &paint);
    RECT area;
    GetClientRect(picture_, &area);
    const RECT shown = PictureRect();
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, shown.left, shown.top, shown.right, shown.bottom);
    FillRect(dc, &area, GetSysColorBrush(COLOR_APPWORKSPACE));
    RestoreDC(dc, saved);
    if (!pixels_.empty()) {
        BITMAPINFO bitmap{};
        bitmap.bmiHeader.biSize = sizeof bitmap.bmiHeader;
        bitmap.bmiHeader.biWidth = width_;
        bitmap.bmiHeader.biHeight = -height_; // rows top first
        bitmap.bmiHeader.biPlanes = 1;
        bitmap.bmiHeader.biBitCount = 32;
        bitmap.bmiHeader.biCompression = BI_RGB;
        // Enlarged, every picture pixel stays a sharp square; shrunk, they are averaged.
        SetStretchBltMode(dc, scale_ < 1 ? HALFTONE : COLORONCOLOR);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchDIBits(dc, shown.left, shown.top, shown.right - shown.left, shown.bottom - shown.top, 0, 0, width_,
                      height_, pixels_.data(), &bitmap, DIB_RGB_COLORS, SRCCOPY);
    }
    EndPaint(picture_, &paint);
}

void Win32Viewer::PointAt(int x, int y) {
    // The picture's pixel under (x, y) of the control, through the scale and the scroll; none off
    // the picture.
    const RECT shown = PictureRect();
    int px = -1, py = -1;
    if (!pixels_.empty() && scale_ > 0 && x >= shown.left && x < shown.right && y >= shown.top && y < shown.bottom) {
        px = std::min(width_ - 1, static_cast<int>((x - shown.left) / scale_));
        py = std::min(height_ - 1, static_cast<int>((y - shown.top) / scale_));
    }
    if (px == pointedX_ && py == pointedY_) return; // told once a pixel
    pointedX_ = px;
    pointedY_ = py;
    if (events_) events_->PicturePointed(px, py);
}

void Win32Viewer::PointAgain() {
    // The picture moved under a mouse that stayed (a scroll, a zoom): its pixel is another.
    if (!tracking_) return;
    POINT at;
    GetCursorPos(&at);
    ScreenToClient(picture_, &at);
    PointAt(at.x, at.y);
}

// ---- Messages -----------------------------------------------------------------------------------

bool Win32Viewer::DialogMessage(MSG& msg) {
    if (!msg.hwnd) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    const auto& open = OpenViewers();
    if (std::find(open.begin(), open.end(), root) != open.end()) {
        // The find keys before the dialog's: it would take Enter and Escape for OK and Cancel.
        if (auto* self = reinterpret_cast<Win32Viewer*>(GetWindowLongPtrW(root, GWLP_USERDATA)); self) {
            try {
                if (self->FindKey(msg)) return true;
            } catch (...) {
                return true; // the key was the find bar's; what went wrong is the logic's to report
            }
        }
        return IsDialogMessageA(root, &msg);
    }
    // A viewer docked in another window: its find keys and Escape; the rest is that window's.
    Win32Viewer* docked = nullptr;
    for (HWND w = msg.hwnd; w && !docked && (GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD); w = GetParent(w)) {
        auto* self = reinterpret_cast<Win32Viewer*>(GetWindowLongPtrW(w, GWLP_USERDATA));
        wchar_t name[32] = {};
        if (self && GetClassNameW(w, name, 32) && lstrcmpW(name, kViewerClass) == 0 && self->hwnd_ == w) docked = self;
    }
    if (!docked || msg.message != WM_KEYDOWN) return false;
    try {
        if (docked->FindKey(msg)) return true;
        if (msg.wParam != VK_ESCAPE || !docked->events_) return false;
        docked->events_->CloseAsked(); // the logic lets it go: nothing of it is used after this
        return true;
    } catch (...) {
        return true;
    }
}

LRESULT CALLBACK Win32Viewer::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32Viewer*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Viewer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // Taken down with its owner: the object stays until the logic lets it go.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        auto& open = OpenViewers();
        open.erase(std::remove(open.begin(), open.end(), hwnd), open.end());
        self->hwnd_ = nullptr;
        self->events_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    try {
        // The logic may let the window go inside Handle: nothing of self is used after it.
        return self->Handle(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK Win32Viewer::PictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Viewer*>(GetWindowLongPtrW(GetParent(hwnd), GWLP_USERDATA));
    if (!self || self->picture_ != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
    try {
        return self->HandlePicture(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void Win32Viewer::Command(int id, int code) {
    ui::ViewerEvents& events = *events_;
    if (id == kMipId) {
        if (code != CBN_SELCHANGE) return;
        const LRESULT chosen = SendMessageW(commands_[static_cast<std::size_t>(kMipId - kFitId)], CB_GETCURSEL, 0, 0);
        if (chosen >= 0) events.MipChosen(static_cast<std::size_t>(chosen));
        return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
        case IDCANCEL: // Escape
            return events.CloseAsked();
        case kFitId:
            return events.ZoomChosen(ui::ViewerZoom::Fit);
        case kActualId:
            return events.ZoomChosen(ui::ViewerZoom::Actual);
        case kDoubleId:
            return events.ZoomChosen(ui::ViewerZoom::Double);
        case kRgbaId:
            return events.ChannelsChosen(ui::ViewerChannels::Rgba);
        case kRgbId:
            return events.ChannelsChosen(ui::ViewerChannels::Rgb);
        case kAlphaId:
            return events.ChannelsChosen(ui::ViewerChannels::Alpha);
        case kSavePngId:
            return events.SavePngClicked();
        case kSaveAsId:
            return events.SaveAsClicked();
        case kConvertedId:
            return events.SaveConvertedClicked();
        case kTalkTableId:
            return events.OpenTalkTableClicked();
        default:
            return;
    }
}

LRESULT Win32Viewer::Notify(const NMHDR& header, LPARAM lParam) {
    if (header.hwndFrom == list_ && rows_) {
        if (header.code == LVN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
            if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0) {
                const std::wstring text = Wide(rows_->Cell(static_cast<std::size_t>(info->item.iItem),
                                                           static_cast<std::size_t>(info->item.iSubItem)));
                lstrcpynW(info->item.pszText, text.c_str(), info->item.cchTextMax);
            }
        } else if (header.code == LVN_COLUMNCLICK && events_) {
            const int column = reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem;
            if (column >= 0) events_->ColumnClicked(static_cast<std::size_t>(column));
        }
        return 0;
    }
    if (header.hwndFrom == tree_ && treeData_) {
        if (header.code == TVN_GETDISPINFOW) {
            auto& item = reinterpret_cast<NMTVDISPINFOW*>(lParam)->item;
            const auto node = static_cast<ui::ViewerTree::Node>(item.lParam);
            if (item.mask & TVIF_CHILDREN) item.cChildren = treeData_->ChildCount(node) > 0 ? 1 : 0;
            if ((item.mask & TVIF_TEXT) && item.pszText && item.cchTextMax > 0)
                lstrcpynW(item.pszText, TreeLine(node).c_str(), item.cchTextMax);
        } else if (header.code == TVN_ITEMEXPANDINGW) {
            const auto* change = reinterpret_cast<const NMTREEVIEWW*>(lParam);
            if (change->action & TVE_EXPAND)
                InsertChildren(change->itemNew.hItem, static_cast<ui::ViewerTree::Node>(change->itemNew.lParam));
        }
        return 0;
    }
    return DefWindowProcW(hwnd_, WM_NOTIFY, 0, lParam);
}

LRESULT Win32Viewer::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (events_) Command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            if (events_) events_->CloseAsked(); // the logic closes it
            return 0;
        case WM_NOTIFY:
            return Notify(*reinterpret_cast<const NMHDR*>(lParam), lParam);
        case WM_CTLCOLORSTATIC:
            // A read-only edit is drawn as the rest of the window; the text reads better as a page.
            if (reinterpret_cast<HWND>(lParam) != edit_) break;
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        case WM_SIZE:
            Place();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {Px(kMinWidth), Px(kMinHeight)};
            return 0;
        }
        case kDpiChangedAfterParent:
            // Docked: the window it stands in has moved to another scale, and resizes it next.
            dpi_ = WindowDpi(hwnd_);
            ApplyDpi();
            return 0;
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            dpi_ = LOWORD(wParam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            ApplyDpi();
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT Win32Viewer::HandlePicture(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return 1; // Paint fills it all
        case WM_SIZE:
            ReportArea();
            UpdateScrollBars();
            InvalidateRect(picture_, nullptr, FALSE);
            return 0;
        case WM_HSCROLL:
        case WM_VSCROLL:
            Scroll(message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wParam));
            return 0;
        case WM_MOUSEWHEEL:
            Scroll(SB_VERT, -1, -GET_WHEEL_DELTA_WPARAM(wParam) * 3 * Px(kScrollLine) / WHEEL_DELTA);
            return 0;
        case WM_LBUTTONDOWN:
            SetFocus(picture_);
            return 0;
        case WM_MOUSEMOVE:
            if (!tracking_) {
                // Told when the mouse leaves, so that the pixel shown goes with it.
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, picture_, 0};
                tracking_ = TrackMouseEvent(&track) != FALSE;
            }
            PointAt(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        case WM_MOUSELEAVE:
            tracking_ = false;
            PointAt(INT_MIN, INT_MIN);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(picture_, message, wParam, lParam);
}

} // namespace vellocar::win32
