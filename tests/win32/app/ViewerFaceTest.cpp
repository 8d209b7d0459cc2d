// The Win32 viewer's real windows, opened from the resource list as its notifications open them,
// at the prefix's DPI; a picture of each kind of viewer is kept with the test's artifacts.

#include "ArchiveBytes.h"
#include "ControlIds.h"
#include "Main.h"
#include "platform/PngWriter.h"
#include "Win32Toolkit.h"
#include "Win32Viewer.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>

namespace vellocar::win32 {
namespace {

using ui::ControlId;

void Pump(Win32Toolkit& toolkit) {
    for (int i = 0; i < 10; ++i) {
        toolkit.ProcessMessages();
        Sleep(20);
    }
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// The window as the screen shows it, as a PNG in the artifacts folder.
void Photograph(HWND window, const std::string& name) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // Held on screen while a script outside photographs the display (VELLOCAR_SHOT_DIR).
    if (const char* shots = std::getenv("VELLOCAR_SHOT_DIR"); shots && *shots) {
        const std::string base = std::string(shots) + "/" + name;
        std::ofstream(base + ".ready").put('\n');
        for (int i = 0; i < 300 && GetFileAttributesA((base + ".done").c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(100);
    }
    const char* tmp = std::getenv("VELLOCAR_TEST_TMP");
    if (!tmp || !*tmp) return;
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr), copy = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
    const auto* bgra = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        rgba[i] = bgra[i + 2], rgba[i + 1] = bgra[i + 1], rgba[i + 2] = bgra[i], rgba[i + 3] = 255;
    SelectObject(copy, old);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    const std::string folder = std::string(tmp) + "/../artifacts";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string dpi = std::to_string(GetDeviceCaps(GetDC(nullptr), LOGPIXELSX));
    platform::WriteWholeFile(folder + "/win32-viewer-" + name + "-" + dpi + "dpi.png",
                             platform::EncodePng(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), rgba));
}

TEST(Viewer, OpensFromTheListShowsEachKindComesForwardAndClosesWithEscape) {
    test::TempDir dir;
    const std::string key = test::WriteArchive(dir.path(), "look.key", {test::ViewerBif()});
    Win32Toolkit toolkit(GetModuleHandleA(nullptr));
    ui::TForm1 form(toolkit);
    toolkit.Attach(&form);
    form.Created();
    toolkit.Show(SW_SHOW);
    toolkit.OpenKeyFile(key);
    const auto notify = [&](ControlId id, WORD code) {
        SendMessageA(toolkit.MainWindow(), WM_COMMAND, MAKEWPARAM(ControlWindowId(id), code),
                     reinterpret_cast<LPARAM>(toolkit.Control(id)));
    };
    SendMessageA(toolkit.Control(ControlId::ListBox1), LB_SETCURSEL, 0, 0);
    notify(ControlId::ListBox1, LBN_SELCHANGE);
    HWND list = toolkit.Control(ControlId::ListBox2);
    ASSERT_EQ(toolkit.ListCount(ControlId::ListBox2), 6);

    // A double-click on the table's line.
    SendMessageA(list, LB_SETCARETINDEX, 0, 0);
    notify(ControlId::ListBox2, LBN_DBLCLK);
    Pump(toolkit);
    HWND table = FindWindowW(L"VellocarViewer", L"appearance.2da - Vellocar");
    ASSERT_TRUE(table && IsWindowVisible(table));
    HWND rows = FindWindowExW(table, nullptr, WC_LISTVIEWW, nullptr);
    ASSERT_EQ(SendMessageW(rows, LVM_GETITEMCOUNT, 0, 0), 2);
    wchar_t cell[32] = {};
    LVITEMW item{};
    item.iSubItem = 2;
    item.pszText = cell;
    item.cchTextMax = 32;
    SendMessageW(rows, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(std::wstring(cell), L"10 gp");
    Photograph(table, "table");

    // Enter on the texture's line.
    SetFocus(list);
    SendMessageA(list, LB_SETCARETINDEX, 3, 0);
    PostMessageA(list, WM_KEYDOWN, VK_RETURN, 0);
    Pump(toolkit);
    HWND picture = FindWindowW(L"VellocarViewer", L"c_bugbear.tga - Vellocar");
    ASSERT_TRUE(picture && IsWindowVisible(picture));
    HWND status = FindWindowExW(picture, nullptr, L"STATIC", nullptr);
    EXPECT_EQ(TextOf(status).rfind(L"64 x 64 pixels, TGA, 32 bits", 0), 0u) << TextOf(status).c_str();
    Photograph(picture, "texture");

    // The script as text; the model in hex, from the list's menu (the keys are there for it).
    for (const auto& [line, title, control, name] : {std::tuple{2, L"nw_s0_sleep.nss - Vellocar", WC_LISTVIEWW, "text"},
                                                     std::tuple{5, L"c_bugbear.mdl - Vellocar", WC_LISTVIEWW, "hex"}}) {
        SendMessageA(list, LB_SETCARETINDEX, static_cast<WPARAM>(line), 0);
        if (line == 2) {
            notify(ControlId::ListBox2, LBN_DBLCLK);
        } else {
            for (int press : {VK_DOWN, VK_RETURN})
                PostMessageA(toolkit.MainWindow(), WM_KEYDOWN, static_cast<WPARAM>(press), 0);
            SendMessageA(toolkit.MainWindow(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
        }
        Pump(toolkit);
        HWND viewer = FindWindowW(L"VellocarViewer", title);
        ASSERT_TRUE(viewer && IsWindowVisible(FindWindowExW(viewer, nullptr, control, nullptr))) << name;
        Photograph(viewer, name);
    }
    // The script's lines, each after its number.
    HWND lines =
        FindWindowExW(FindWindowW(L"VellocarViewer", L"nw_s0_sleep.nss - Vellocar"), nullptr, WC_LISTVIEWW, nullptr);
    item.iSubItem = 1, SendMessageW(lines, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(std::wstring(cell), L"void main()");

    // The table's line again brings its window forward; Escape in it closes it.
    SendMessageA(list, LB_SETCARETINDEX, 0, 0);
    notify(ControlId::ListBox2, LBN_DBLCLK);
    Pump(toolkit);
    EXPECT_EQ(FindWindowW(L"VellocarViewer", L"appearance.2da - Vellocar"), table);
    const auto above = [](HWND a, HWND b) { // a before b in the windows' order, top first
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
            if (w == a || w == b) return w == a;
        return false;
    };
    EXPECT_TRUE(above(table, picture));
    PostMessageA(rows, WM_KEYDOWN, VK_ESCAPE, 0);
    Pump(toolkit);
    EXPECT_FALSE(IsWindow(table));
    EXPECT_TRUE(IsWindowVisible(picture));
    toolkit.Attach(nullptr);
}

// What the window reported, one line an event (the picture area's size left out).
struct ScriptedEvents final : ui::ViewerEvents {
    std::vector<std::string> Log;
    void Note(std::string line, int a = -2, int b = -2) {
        Log.push_back(line + (a > -2 ? " " + std::to_string(a) : "") + (b > -2 ? "," + std::to_string(b) : ""));
    }
    void ZoomChosen(ui::ViewerZoom zoom) override { Note("zoom", static_cast<int>(zoom)); }
    void PictureAreaResized(int, int) override {}
    void SavePngClicked() override { Note("save png"); }
    void SaveAsClicked() override { Note("save as"); }
    void SaveConvertedClicked() override { Note("save converted"); }
    void ChannelsChosen(ui::ViewerChannels channels) override { Note("channels", static_cast<int>(channels)); }
    void MipChosen(std::size_t level) override { Note("mip", static_cast<int>(level)); }
    void PicturePointed(int x, int y) override { Note("point", x, y); }
    void ColumnClicked(std::size_t column) override { Note("column", static_cast<int>(column)); }
    void FindAsked(const std::string& text, bool forward) override { Note("find " + text, forward); }
    void OpenTalkTableClicked() override { Note("talk table"); }
    void CloseAsked() override { Note("close"); }
};
// A GFF's shape: a list of 50,000 structs of one field each. Nodes are numbered by rule (the list
// 1, struct i 2 + i, its field kField + i), so that nothing is held; every cell asked is counted.
struct BigTree final : ui::ViewerTree {
    static constexpr Node kStructs = 50000, kField = 2 + kStructs;
    mutable std::size_t Asked = 0;
    std::size_t ColumnCount() const override { return 3; }
    std::string ColumnTitle(std::size_t) const override { return {}; }
    std::size_t ChildCount(Node n) const override { return n == 0 || n >= kField ? n == 0 : n == 1 ? kStructs : 1; }
    Node Child(Node n, std::size_t i) const override {
        return n < 2 ? 1 + n * (1 + static_cast<Node>(i)) : n - 2 + kField;
    }
    Node Parent(Node n) const override { return n == 1 ? kViewerRoot : n < kField ? 1 : n - kField + 2; }
    std::size_t IndexInParent(Node n) const override { return n >= 2 && n < kField ? n - 2 : 0; }
    std::string Cell(Node n, std::size_t c) const override {
        ++Asked;
        if (n == 1) return std::array<const char*, 3>{"ItemList", "List", ""}[c];
        if (n < kField) return c == 0 ? "[" + std::to_string(n - 2) + "]" : c == 1 ? "Struct" : "";
        return c == 0 ? "Tag" : c == 1 ? "CExoString" : "item" + std::to_string(n - kField);
    }
};
// A talk table's rows.
struct TalkRows final : ui::ViewerRows {
    std::size_t ColumnCount() const override { return 3; }
    std::string ColumnTitle(std::size_t c) const override { return c == 0 ? "StrRef" : c == 1 ? "Text" : "Sound"; }
    std::size_t ColumnWidth(std::size_t c) const override { return c == 1 ? 40 : 8; }
    std::size_t RowCount() const override { return 500; }
    std::string Cell(std::size_t r, std::size_t c) const override {
        return (c == 0 ? "" : c == 1 ? "A line of the talk table, number " : "vs_") + std::to_string(r);
    }
};
// The window's commands shown, none over another and all inside it.
void ExpectCommandsApart(HWND window) {
    RECT client, a, both;
    GetClientRect(window, &client);
    std::vector<RECT> shown;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c) || GetDlgCtrlID(c) >= 30) continue; // the views, the find bar, the status line
        GetWindowRect(c, &a);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&a), 2);
        EXPECT_TRUE(a.left >= 0 && a.right <= client.right) << GetDlgCtrlID(c);
        for (const RECT& other : shown) EXPECT_FALSE(IntersectRect(&both, &a, &other)) << GetDlgCtrlID(c);
        shown.push_back(a);
    }
}
TEST(ViewerTools, TreeFindSortChannelsMipsPointerCommandsAndPlacementReachTheLogic) {
    Win32Toolkit toolkit(GetModuleHandleA(nullptr));
    toolkit.Show(SW_SHOW);
    ScriptedEvents events;
    Win32Viewer viewer(GetModuleHandleA(nullptr), toolkit.MainWindow(), "tools", events);
    BigTree tree;
    TalkRows rows;
    std::vector<std::uint32_t> pixels(32 * 32); // a 32 x 32 picture: red across, green down
    for (std::uint32_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xFF000080u | (i % 32 * 8) << 16 | (i / 32 * 8) << 8;
    HWND window = viewer.Window(), list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
    HWND treeView = FindWindowExW(window, nullptr, WC_TREEVIEWW, nullptr), find = viewer.FindEdit();
    HWND picture = FindWindowExW(window, nullptr, L"VellocarPicture", nullptr);
    const auto count = [&] { return SendMessageW(treeView, TVM_GETCOUNT, 0, 0); };
    const auto selected = [&] {
        wchar_t buffer[64] = {};
        TVITEMW line{TVIF_TEXT, TreeView_GetSelection(treeView), 0, 0, buffer, 64, 0, 0, 0, 0};
        return SendMessageW(treeView, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&line)), std::wstring(buffer);
    };
    const auto key = [&](HWND to, WPARAM code, BYTE shift, BYTE control) { // held keys: 0x80
        std::array<BYTE, 256> keys{};
        keys[VK_SHIFT] = shift, keys[VK_CONTROL] = control;
        SetKeyboardState(keys.data()), PostMessageW(to, WM_KEYDOWN, code, 0), Pump(toolkit);
        keys.fill(0), SetKeyboardState(keys.data());
    };
    const auto click = [&](int id) { SendMessageW(GetDlgItem(window, id), BM_CLICK, 0, 0); };
    const auto sorted = [&](int column) {
        HDITEMW format{};
        format.mask = HDI_FORMAT, Header_GetItem(ListView_GetHeader(list), column, &format);
        return format.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    };
    const auto pointAt = [&](int x, int y) { // the picture's pixel (x, y) at 4x, not scrolled
        RECT area;
        GetClientRect(picture, &area);
        SendMessageW(picture, WM_MOUSEMOVE, 0,
                     MAKELPARAM((area.right - 128) / 2 + 4 * x + 3, (area.bottom - 128) / 2 + 4 * y));
    };
    const struct Step {
        const char* What;
        std::function<void()> Do;
        std::vector<std::string> Log;
        std::function<bool()> Holds;
    } steps[] = {
        {"the tree shows its top line alone; its list opens with 50,000 lines, none of their fields asked",
         [&] {
             viewer.ShowTree(tree), viewer.Raise(), Pump(toolkit);
             EXPECT_TRUE(count() == 1 && tree.Asked < 10);
             TreeView_Expand(treeView, TreeView_GetRoot(treeView), TVE_EXPAND), Pump(toolkit);
         },
         {},
         [&] { return count() == 50001 && tree.Asked <= 3 * (50001 + 50); }},
        {"SelectNode opens a struct and selects its field",
         [&] { viewer.SelectNode(BigTree::kField + 40000), viewer.SetStatus("GFF UTI: 50,001 structs"); },
         {},
         [&] { return Photograph(window, "gff"), selected() == L"Tag  [CExoString]  item40000" && count() == 50002; }},
        {"Ctrl+F: the find bar",
         [&] { key(treeView, 'F', 0, 0x80); },
         {},
         [&] { return Photograph(window, "find"), IsWindowVisible(find) && GetFocus() == find; }},
        {"Enter, Shift+Enter, F3 and Shift+F3 find",
         [&] {
             SetWindowTextW(find, L"item4"), key(find, VK_RETURN, 0, 0), key(find, VK_RETURN, 0x80, 0);
             key(treeView, VK_F3, 0, 0), key(treeView, VK_F3, 0x80, 0);
         },
         {"find item4 1", "find item4 0", "find item4 1", "find item4 0"},
         {}},
        {"Escape closes the bar", [&] { key(find, VK_ESCAPE, 0, 0); }, {}, [&] { return !IsWindowVisible(find); }},
        {"then asks to close the window", [&] { key(treeView, VK_ESCAPE, 0, 0); }, {"close"}, {}},
        {"a column's title clicked (as the header tells the list), the sorted one marked, a row brought into sight",
         [&] {
             viewer.ShowRows(rows, false);
             HWND titles = ListView_GetHeader(list);
             NMHEADERW notice{{titles, static_cast<UINT_PTR>(GetDlgCtrlID(titles)), HDN_ITEMCLICKW}, 1, 0, nullptr};
             SendMessageW(list, WM_NOTIFY, notice.hdr.idFrom, reinterpret_cast<LPARAM>(&notice));
             viewer.RowsChanged(1, false), viewer.SetStatus("TLK: 500 strings"), viewer.SelectRow(400), Pump(toolkit);
         },
         {"column 1"},
         [&] {
             const auto top = ListView_GetTopIndex(list);
             Photograph(window, "tlk");
             return sorted(1) == HDF_SORTDOWN && sorted(0) == 0 &&
                 ListView_GetNextItem(list, -1, LVNI_SELECTED) == 400 && top <= 400 &&
                 top + ListView_GetCountPerPage(list) > 400;
         }},
        {"the channels, the mipmaps, the pixel under the pointer, none off the picture or once it has gone",
         [&] {
             viewer.ShowPicture({32, 32, &pixels}), viewer.ShowPictureCommands(true);
             viewer.SetPictureChoices({"32 x 32", "16 x 16", "8 x 8"}, 0, ui::ViewerChannels::Rgb);
             viewer.SetPictureScale(4, ui::ViewerZoom::Double), viewer.SetStatus("32 x 32 pixels, DXT5; shown at 400%");
             click(15), SendMessageW(GetDlgItem(window, 16), WM_KEYDOWN, VK_DOWN, 0);
             pointAt(3, 1), pointAt(3, 1), pointAt(-1, 0), pointAt(0, 3), SendMessageW(picture, WM_MOUSELEAVE, 0, 0);
         },
         {"channels 2", "mip 1", "point 3,1", "point -1,-1", "point 0,3", "point -1,-1"},
         [&] { return Photograph(window, "texture"), IsDlgButtonChecked(window, 15) == BST_CHECKED; }},
        {"the pixel under the pointer at 40x, scrolled down a page",
         [&] {
             viewer.SetPictureScale(40, ui::ViewerZoom::Actual), SendMessageW(picture, WM_VSCROLL, SB_PAGEDOWN, 0);
             SendMessageW(picture, WM_MOUSEMOVE, 0, MAKELPARAM(85, 5));
         },
         {},
         [&] {
             return std::exchange(events.Log, {}) ==
                 std::vector<std::string>{"point 2," + std::to_string((5 + GetScrollPos(picture, SB_VERT)) / 40)};
         }},
        {"the converted save and the talk table",
         [&] {
             viewer.ShowConvertedSave("Save as JSON..."), viewer.ShowTalkTableCommand(true), click(18), click(17);
             ExpectCommandsApart(window);
             viewer.ShowConvertedSave("");
         },
         {"save converted", "talk table"},
         [&] { return !IsWindowVisible(GetDlgItem(window, 18)); }},
    };
    for (const Step& step : steps) {
        events.Log.clear();
        step.Do();
        EXPECT_TRUE(!step.Holds || step.Holds()) << step.What;
        EXPECT_EQ(events.Log, step.Log) << step.What;
    }

    // Beside the main window where its monitor has room (the main window at the work area's left,
    // right and middle), else cascaded from it; a second viewer cascaded from the first.
    ShowWindow(window, SW_HIDE);
    MONITORINFO monitor{sizeof monitor, {}, {}, 0};
    GetMonitorInfoW(MonitorFromWindow(toolkit.MainWindow(), MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;
    RECT main, one, two;
    GetWindowRect(toolkit.MainWindow(), &main);
    const LONG width = main.right - main.left, room = work.right - work.left - width;
    const LONG least = 340 * GetDeviceCaps(GetDC(nullptr), LOGPIXELSX) / 96; // the least viewer and its frame
    for (const auto& [left, side] :
         {std::pair{work.left, room >= least ? 'R' : 'C'}, std::pair{work.right - width, room >= least ? 'L' : 'C'},
          std::pair{work.left + room / 2, room / 2 >= least ? 'R' : 'C'}}) {
        SetWindowPos(toolkit.MainWindow(), nullptr, left, work.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        GetWindowRect(toolkit.MainWindow(), &main);
        Win32Viewer first(GetModuleHandleA(nullptr), toolkit.MainWindow(), "first", events);
        first.Raise();
        Win32Viewer second(GetModuleHandleA(nullptr), toolkit.MainWindow(), "second", events);
        GetWindowRect(first.Window(), &one);
        GetWindowRect(second.Window(), &two);
        EXPECT_TRUE(side == 'R'       ? one.left == main.right && one.right <= work.right
                        : side == 'L' ? one.right == main.left && one.left >= work.left
                                      : one.top > main.top && one.left >= work.left && one.right <= work.right)
            << side;
        EXPECT_TRUE(two.left != one.left && two.top != one.top && two.right <= work.right && two.bottom <= work.bottom)
            << side;
    }
}

} // namespace
} // namespace vellocar::win32
