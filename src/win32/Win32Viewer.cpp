// A resource viewer's window on Win32: its controls made and placed at the window's DPI, the
// list view's rows asked of the logic as it draws them, the picture drawn with StretchDIBits,
// and every button, Escape and the close box passed to the logic.

#include "Win32Viewer.h"

#include "base/Errors.h"
#include "Dpi.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>

namespace vellocar::win32 {

namespace {

constexpr const wchar_t* kViewerClass = L"VellocarViewer";
constexpr const wchar_t* kPictureClass = L"VellocarPicture";

// Child identifiers: the buttons in the order of kButtons, then the views and the status line.
enum : int { kFitId = 10, kActualId, kDoubleId, kSavePngId, kSaveAsId, kListId = 20, kEditId, kPictureId, kStatusId };
struct ButtonSpec {
    int Id;
    const wchar_t* Caption;
    int Width; // at 96 DPI
};
constexpr std::array<ButtonSpec, 5> kButtons{{{kFitId, L"Fit", 60},
                                              {kActualId, L"1:1", 60},
                                              {kDoubleId, L"2x", 60},
                                              {kSavePngId, L"Save as PNG...", 100},
                                              {kSaveAsId, L"Save as...", 90}}};

// The window's place at 96 DPI: its first client size (less where the screen is smaller), the
// margins, the button row and the status line.
constexpr int kStartWidth = 640, kStartHeight = 480, kMargin = 8, kGap = 6, kButtonHeight = 25, kStatusHeight = 20;
constexpr int kMinWidth = 320, kMinHeight = 240;
constexpr int kWidestColumn = 400, kCellPadding = 12, kScrollLine = 16;
// The interface font and the fixed one for hex and long text, in pixels at 96 DPI.
constexpr int kFontHeight = 11, kFixedFontHeight = 13;

std::vector<HWND>& OpenViewers() {
    static std::vector<HWND> open;
    return open;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(std::min<std::size_t>(utf8.size(), INT_MAX));
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
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

} // namespace

// ---- Creation and end ---------------------------------------------------------------------------

Win32Viewer::Win32Viewer(HINSTANCE instance, HWND owner, const std::string& title, ui::ViewerEvents& events)
    : instance_(instance) {
    RegisterClasses(instance, &Win32Viewer::WindowProc, &Win32Viewer::PictureProc);
    constexpr DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kViewerClass, Wide(title).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                            kStartWidth, kStartHeight, owner, nullptr, instance, this);
    if (!hwnd_) throw EVellocarError("Cannot create the viewer's window");
    OpenViewers().push_back(hwnd_);
    dpi_ = WindowDpi(hwnd_);
    // At its scale, but never larger than nine tenths of the screen it is on.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT frame = FrameForClient(Px(kStartWidth), Px(kStartHeight), style, WS_EX_CONTROLPARENT, dpi_);
    const LONG areaWidth = monitor.rcWork.right - monitor.rcWork.left,
               areaHeight = monitor.rcWork.bottom - monitor.rcWork.top;
    SetWindowPos(hwnd_, nullptr, 0, 0, std::min(frame.right - frame.left, areaWidth * 9 / 10),
                 std::min(frame.bottom - frame.top, areaHeight * 9 / 10), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        const bool zoom = kButtons[i].Id <= kDoubleId;
        const DWORD group = i == 0 || kButtons[i].Id == kSavePngId ? WS_GROUP : 0;
        buttons_[i] = child(0, L"BUTTON", kButtons[i].Caption,
                            WS_VISIBLE | WS_TABSTOP | group | (zoom ? BS_AUTORADIOBUTTON | BS_PUSHLIKE : BS_PUSHBUTTON),
                            kButtons[i].Id);
    }
    list_ = child(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                  WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SINGLESEL, kListId);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    edit_ = child(WS_EX_CLIENTEDGE, L"EDIT", L"",
                  WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL |
                      ES_NOHIDESEL,
                  kEditId);
    SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0); // no limit but memory's
    picture_ = child(WS_EX_CLIENTEDGE, kPictureClass, L"", WS_TABSTOP | WS_HSCROLL | WS_VSCROLL, kPictureId);
    status_ = child(WS_EX_STATICEDGE, L"STATIC", L"", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE,
                    kStatusId);
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
    for (HWND control : buttons_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(fixedFont_), TRUE);
    SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(monospace_ ? fixedFont_ : font_), TRUE);
    for (HFONT font : {oldFont, oldFixed})
        if (font) DeleteObject(font);
    Place();
    if (rows_) ApplyColumns();
    UpdateScrollBars();
}

void Win32Viewer::Place() {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right, height = client.bottom;
    int left = Px(kMargin), right = width - Px(kMargin);
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        const int w = Px(kButtons[i].Width);
        const bool atRight = kButtons[i].Id >= kSavePngId;
        const int x =
            atRight ? right - (kButtons[i].Id == kSavePngId ? Px(kButtons[i + 1].Width) + Px(kGap) + w : w) : left;
        MoveWindow(buttons_[i], x, Px(kMargin), w, Px(kButtonHeight), TRUE);
        if (!atRight) left += w + Px(kGap);
    }
    const int top = Px(kMargin) * 2 + Px(kButtonHeight);
    const int statusTop = height - Px(kMargin) / 2 - Px(kStatusHeight);
    const int viewHeight = std::max(0, statusTop - Px(kGap) - top);
    for (HWND view : {list_, edit_, picture_})
        MoveWindow(view, Px(kMargin), top, std::max(0, width - 2 * Px(kMargin)), viewHeight, TRUE);
    MoveWindow(status_, Px(kMargin), statusTop, std::max(0, width - 2 * Px(kMargin)), Px(kStatusHeight), TRUE);
}

// ---- What it shows ------------------------------------------------------------------------------

void Win32Viewer::Show(HWND view) {
    for (HWND other : {list_, edit_, picture_})
        if (other != view) ShowWindow(other, SW_HIDE);
    ShowWindow(view, SW_SHOW);
    view_ = view;
}

void Win32Viewer::ShowRows(const ui::ViewerRows& rows, bool monospace) {
    rows_ = &rows;
    monospace_ = monospace;
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

void Win32Viewer::ShowPicture(const ui::ViewerPicture& picture) {
    if (!picture.Pixels) return;
    pixels_ = *picture.Pixels;
    width_ = static_cast<int>(picture.Width);
    height_ = static_cast<int>(picture.Height);
    scrollX_ = scrollY_ = 0;
    Show(picture_);
    ReportArea();
}

void Win32Viewer::SetPictureScale(double scale, ui::ViewerZoom zoom) {
    scale_ = scale;
    zoom_ = zoom;
    const int id = zoom == ui::ViewerZoom::Fit ? kFitId : zoom == ui::ViewerZoom::Actual ? kActualId : kDoubleId;
    CheckRadioButton(hwnd_, kFitId, kDoubleId, id);
    UpdateScrollBars();
    InvalidateRect(picture_, nullptr, FALSE);
}

void Win32Viewer::SetStatus(const std::string& text) { SetWindowTextW(status_, Wide(text).c_str()); }

void Win32Viewer::ShowPictureCommands(bool shown) {
    for (std::size_t i = 0; i < kButtons.size(); ++i)
        if (kButtons[i].Id != kSaveAsId) ShowWindow(buttons_[i], shown ? SW_SHOW : SW_HIDE);
}

void Win32Viewer::Raise() {
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    // On top of the others even where the system keeps the keyboard where it was.
    BringWindowToTop(hwnd_);
    SetForegroundWindow(hwnd_);
    if (view_) SetFocus(view_);
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
}

void Win32Viewer::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(picture_, &paint);
    RECT area;
    GetClientRect(picture_, &area);
    const int w = static_cast<int>(std::lround(width_ * scale_)), h = static_cast<int>(std::lround(height_ * scale_));
    // Centred while it is smaller than the area, else where the scroll bars have taken it.
    const int x = w < area.right ? (area.right - w) / 2 : -scrollX_;
    const int y = h < area.bottom ? (area.bottom - h) / 2 : -scrollY_;
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, x, y, x + w, y + h);
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
        StretchDIBits(dc, x, y, w, h, 0, 0, width_, height_, pixels_.data(), &bitmap, DIB_RGB_COLORS, SRCCOPY);
    }
    EndPaint(picture_, &paint);
}

// ---- Messages -----------------------------------------------------------------------------------

bool Win32Viewer::DialogMessage(MSG& msg) {
    if (!msg.hwnd) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    const auto& open = OpenViewers();
    return std::find(open.begin(), open.end(), root) != open.end() && IsDialogMessageA(root, &msg);
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

LRESULT Win32Viewer::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            if (!events_ || HIWORD(wParam) != BN_CLICKED) break;
            ui::ViewerEvents& events = *events_;
            switch (LOWORD(wParam)) {
                case IDCANCEL: // Escape
                    events.CloseAsked();
                    return 0;
                case kFitId:
                    events.ZoomChosen(ui::ViewerZoom::Fit);
                    return 0;
                case kActualId:
                    events.ZoomChosen(ui::ViewerZoom::Actual);
                    return 0;
                case kDoubleId:
                    events.ZoomChosen(ui::ViewerZoom::Double);
                    return 0;
                case kSavePngId:
                    events.SavePngClicked();
                    return 0;
                case kSaveAsId:
                    events.SaveAsClicked();
                    return 0;
                default:
                    break;
            }
            break;
        }
        case WM_CLOSE:
            if (events_) events_->CloseAsked(); // the logic closes it
            return 0;
        case WM_NOTIFY: {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
            if (info->hdr.hwndFrom != list_ || info->hdr.code != LVN_GETDISPINFOW || !rows_) break;
            if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0) {
                const std::wstring text = Wide(rows_->Cell(static_cast<std::size_t>(info->item.iItem),
                                                           static_cast<std::size_t>(info->item.iSubItem)));
                lstrcpynW(info->item.pszText, text.c_str(), info->item.cchTextMax);
            }
            return 0;
        }
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
        default:
            break;
    }
    return DefWindowProcW(picture_, message, wParam, lParam);
}

} // namespace vellocar::win32
