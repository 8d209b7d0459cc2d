// The Win32 browser's real window, driven through the messages its controls send when the user
// works them, against a logic that writes down what it is told.

#include "Win32Browser.h"
#include "NoViewerEvents.h"

#include "ArchiveBytes.h"
#include "ControlIds.h"
#include "Main.h"
#include "Utf16.h"
#include "Win32Toolkit.h"
#include "Win32Viewer.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shellapi.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace vellocar::win32 {
namespace {

using ui::BrowserCommand;

class Rows final : public ui::BrowserRows {
public:
    std::size_t ColumnCount() const override { return 3; }
    std::string ColumnTitle(std::size_t c) const override {
        return std::vector<std::string>{"Name", "Type", "Size"}[c];
    }
    bool ColumnRightAligned(std::size_t c) const override { return c == 2; }
    std::size_t ColumnWidth(std::size_t) const override { return 16; }
    std::size_t RowCount() const override { return 300000; }
    std::string Cell(std::size_t row, std::size_t c) const override {
        return c == 0 ? "r" + std::to_string(row) : c == 1 ? "2da" : "12";
    }
};

// Writes down each event; lets the window go when asked to close, as the logic does.
class Events final : public ui::BrowserEvents {
public:
    std::vector<std::string> Log;
    std::unique_ptr<Win32Browser> Window;
    void LayerChecked(std::size_t layer, bool on) override {
        Log.push_back("layer " + std::to_string(layer) + (on ? " on" : " off"));
    }
    void FilterChanged(const std::string& text) override { Log.push_back("filter " + text); }
    void ColumnClicked(std::size_t column) override { Log.push_back("column " + std::to_string(column)); }
    void RowOpened(std::size_t row) override { Log.push_back("open " + std::to_string(row)); }
    void SelectionChanged() override { Log.push_back("selection"); }
    void CommandChosen(BrowserCommand command) override {
        Log.push_back("command " + std::to_string(static_cast<int>(command)));
    }
    std::vector<std::string> DragStarted() override { return {}; }
    void CloseAsked() override {
        Log.push_back("close");
        Window.reset();
    }
};

// The messages waiting, through the same hands as the program's loop.
void Pump() {
    for (int i = 0; i < 10; ++i) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (Win32Viewer::DialogMessage(msg) || Win32Browser::DialogMessage(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

std::wstring ItemText(HWND list, int row, int column) {
    wchar_t text[64] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

TEST(BrowserFace, ShowsTheLogicsStateAndReportsWhatTheUserDoes) {
    Events events;
    events.Window = std::make_unique<Win32Browser>(GetModuleHandleW(nullptr), nullptr, "Browser", events);
    Win32Browser& browser = *events.Window;
    bool lastClosed = false;
    Win32Browser::WhenLastClosed([&] { lastClosed = true; });
    const Rows rows;
    browser.SetLayers({{"game  3", "C:\\game", true, false}, {"override  2", "cannot read x", false, true}});
    browser.SetCommands({{BrowserCommand::DockViewer, "Docked", true, true, false, false},
                         {BrowserCommand::View, "View", true, false, false, true}});
    browser.ShowRows(rows, 1, false);
    browser.Raise();
    Pump();
    HWND layers = browser.Layers(), table = browser.Table(), toggle = browser.CommandButtons().at(0);

    // What the logic set, and no event for it.
    EXPECT_EQ(ItemText(layers, 1, 0), L"override  2");
    EXPECT_EQ(SendMessageW(layers, LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK), 2 << 12);
    EXPECT_EQ(SendMessageW(layers, LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK), 1 << 12);
    EXPECT_EQ(SendMessageW(table, LVM_GETITEMCOUNT, 0, 0), 300000);
    EXPECT_EQ(ItemText(table, 299999, 0), L"r299999");
    HWND header = reinterpret_cast<HWND>(SendMessageW(table, LVM_GETHEADER, 0, 0));
    HDITEMW sorted{};
    sorted.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, 1, reinterpret_cast<LPARAM>(&sorted));
    EXPECT_TRUE(sorted.fmt & HDF_SORTDOWN);
    EXPECT_FALSE(IsWindowVisible(browser.Pane()));
    EXPECT_TRUE(events.Log.empty());

    // The user: the second layer's box with the space bar, the filter, a column's title, Enter on
    // a row, the toggle.
    SetFocus(layers);
    SendMessageW(layers, LVM_SETSELECTIONMARK, 0, 1);
    LVITEMW focus{};
    focus.state = focus.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageW(layers, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&focus));
    PostMessageW(layers, WM_KEYDOWN, VK_SPACE, 0);
    Pump();
    SetWindowTextW(browser.Filter(), L"type:2da");
    RECT title{};
    SendMessageW(header, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&title));
    const LPARAM middle = MAKELPARAM((title.left + title.right) / 2, (title.top + title.bottom) / 2);
    PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessageW(header, WM_LBUTTONUP, 0, middle);
    Pump();
    browser.SelectRow(5);
    SetFocus(table);
    PostMessageW(table, WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    SendMessageW(toggle, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(toggle, BM_GETCHECK, 0, 0), BST_UNCHECKED); // the logic draws it
    browser.SetCommands({{BrowserCommand::DockViewer, "Docked", true, true, true, false},
                         {BrowserCommand::View, "View", true, false, false, true}});
    EXPECT_EQ(SendMessageW(toggle, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(events.Log,
              (std::vector<std::string>{"layer 1 on", "filter type:2da", "column 2", "open 5",
                                        "command " + std::to_string(static_cast<int>(BrowserCommand::DockViewer))}));
    EXPECT_EQ(browser.SelectedRows(), std::vector<std::size_t>{5});

    // A docked viewer fills the pane, which goes when the viewer does.
    test::NoViewerEvents viewerEvents;
    auto viewer = browser.OpenDockedViewer("appearance.2da", viewerEvents);
    viewer->ShowText("hello");
    viewer->Raise();
    Pump();
    HWND docked = GetWindow(browser.Pane(), GW_CHILD);
    RECT pane{}, filled{};
    GetClientRect(browser.Pane(), &pane);
    GetWindowRect(docked, &filled);
    EXPECT_TRUE(IsWindowVisible(browser.Pane()) && IsWindowVisible(docked));
    EXPECT_EQ(filled.right - filled.left, pane.right);
    RECT tableAt{};
    GetWindowRect(table, &tableAt);
    GetWindowRect(browser.Pane(), &pane);
    EXPECT_LE(tableAt.right, pane.left);
    viewer.reset();
    EXPECT_FALSE(IsWindowVisible(browser.Pane()));

    // Escape: the logic lets the window go inside the window's own message.
    HWND window = browser.Window();
    events.Log.clear();
    PostMessageW(table, WM_KEYDOWN, VK_ESCAPE, 0);
    Pump();
    EXPECT_EQ(events.Log, std::vector<std::string>{"close"});
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(lastClosed);
    Win32Browser::WhenLastClosed(nullptr);
}

TEST(BrowserFace, ListBox1sMenuOpensABrowserOnTheKeyThatClosesAlone) {
    test::TempDir dir;
    const std::string key = test::WriteArchive(dir.path(), "look.key", {test::ViewerBif()});
    Win32Toolkit toolkit(GetModuleHandleW(nullptr));
    ui::TForm1 form(toolkit);
    toolkit.Attach(&form);
    form.Created();
    toolkit.Show(SW_SHOW);
    toolkit.OpenKeyFile(key);
    // The menu key on the KEY's line; the menu's one command chosen with the keyboard.
    HWND list = toolkit.Control(ui::ControlId::ListBox1);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    for (int press : {VK_DOWN, VK_RETURN})
        PostMessageA(toolkit.MainWindow(), WM_KEYDOWN, static_cast<WPARAM>(press), 0);
    SendMessageA(toolkit.MainWindow(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
    Pump();
    HWND browser = FindWindowW(L"VellocarBrowser", nullptr);
    ASSERT_TRUE(browser && IsWindowVisible(browser));
    HWND layers = FindWindowExW(browser, nullptr, WC_LISTVIEWW, nullptr);
    EXPECT_EQ(SendMessageW(layers, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(FindWindowExW(browser, layers, WC_LISTVIEWW, nullptr), LVM_GETITEMCOUNT, 0, 0), 6);
    SendMessageW(browser, WM_CLOSE, 0, 0);
    Pump();
    EXPECT_FALSE(IsWindow(browser));
    EXPECT_TRUE(IsWindowVisible(toolkit.MainWindow()));
    toolkit.Attach(nullptr);
}

TEST(BrowserFace, RowsDraggedOutAreFilesExplorerCanCopy) {
    test::TempDir dir;
    std::vector<std::string> files;
    for (const char* name : {"a.2da", "b.tga"}) {
        files.push_back(dir / name);
        std::ofstream(files.back()) << name;
    }
    IDataObject* data = FilesDataObject(files);
    ASSERT_TRUE(data);
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    ASSERT_EQ(data->GetData(&format, &medium), S_OK);
    auto drop = static_cast<HDROP>(medium.hGlobal);
    std::vector<std::string> dropped;
    for (UINT i = 0; i < DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0); ++i) {
        wchar_t name[MAX_PATH] = {};
        DragQueryFileW(drop, i, name, MAX_PATH);
        dropped.push_back(Utf8(name));
    }
    ReleaseStgMedium(&medium);
    data->Release();
    EXPECT_EQ(dropped, files);
}

} // namespace
} // namespace vellocar::win32
