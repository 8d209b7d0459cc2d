// The real vellocar.exe, started and inspected from a second process: every control where the
// layout table puts it, with its caption and start state, and the window's own properties.

#include "AppDriver.h"
#include "LayoutAtDpi.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>

namespace vellocar::test::win32 {
namespace {

using ui::ControlId;
using ui::ControlKind;
using ui::kLayout;
using ui::LayoutOf;

// The prefix's DPI, as wine-run made it.
int ScreenDpi() { return std::getenv("VELLOCAR_WINE_DPI") ? std::atoi(std::getenv("VELLOCAR_WINE_DPI")) : 96; }

const char* ExpectedClass(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button:
            return "Button";
        case ControlKind::ListSingle:
        case ControlKind::ListMulti:
            return "ListBox";
        case ControlKind::Gauge:
            return "VellocarGauge";
        default:
            return "Static";
    }
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(app.Main(), nullptr) << "no main window of " << AppPath(); }
    App app{AppPath()};
};

TEST_F(WindowTest, EveryControlStartsWhereAndAsTheLayoutSays) {
    for (const auto& desc : kLayout) {
        SCOPED_TRACE(std::string(desc.Name));
        HWND control = app.Control(desc.Id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(ClassOf(control), ExpectedClass(desc.Kind));
        ExpectPlacedAt(control, desc, ScreenDpi());

        if (desc.Kind != ControlKind::ListSingle && desc.Kind != ControlKind::ListMulti) {
            EXPECT_EQ(TextOf(control), std::string(desc.Caption));
        }
        EXPECT_EQ(IsWindowEnabled(control) != FALSE, desc.Enabled);
        EXPECT_EQ(app.Visible(desc.Id), desc.Visible);
        EXPECT_EQ((GetWindowLongPtrA(control, GWL_STYLE) & WS_TABSTOP) != 0, desc.TabOrder >= 0);
    }
}

TEST_F(WindowTest, IsOneFixedSizeCentredWindowWithItsCaptionAndIcon) {
    HWND main = app.Main();
    char caption[64] = {};
    GetWindowTextA(main, caption, sizeof caption);
    EXPECT_STREQ(caption, "Vellocar v1.0 ");

    const auto style = GetWindowLongPtrA(main, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "the window must not be resizable";

    RECT window;
    GetWindowRect(main, &window);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR((window.left + window.right) / 2, screenWidth / 2, 1);
    EXPECT_NEAR((window.top + window.bottom) / 2, screenHeight / 2, 1);

    // The icon and the background brush are checked in process: Wine answers neither
    // WM_GETICON nor GetClassLongPtr to another process.
}

TEST_F(WindowTest, TabKeyVisitsTheCommandsInTheirOrderAndSkipsThePanels) {
    std::vector<ControlId> tabStops;
    for (HWND child = GetWindow(app.Main(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!(GetWindowLongPtrA(child, GWL_STYLE) & WS_TABSTOP)) continue;
        const int index = GetDlgCtrlID(child) - vellocar::win32::kFirstControlWindowId;
        ASSERT_GE(index, 0);
        tabStops.push_back(static_cast<ControlId>(index));
    }
    const std::vector<ControlId> expected{ControlId::BuildButton, ControlId::OpenKeyFileButton, ControlId::ExportButton,
                                          ControlId::ListBox1, ControlId::ListBox2};
    EXPECT_EQ(tabStops, expected);
}

TEST_F(WindowTest, ListsPanelsAndCreditLineHaveTheirKinds) {
    const auto style = [&](ControlId id) { return GetWindowLongPtrA(app.Control(id), GWL_STYLE); };
    const auto exStyle = [&](ControlId id) { return GetWindowLongPtrA(app.Control(id), GWL_EXSTYLE); };

    EXPECT_TRUE(style(ControlId::ListBox1) & LBS_OWNERDRAWFIXED);
    EXPECT_TRUE(style(ControlId::ListBox1) & LBS_HASSTRINGS);
    EXPECT_FALSE(style(ControlId::ListBox1) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL));
    EXPECT_TRUE(style(ControlId::ListBox2) & LBS_EXTENDEDSEL);
    for (ControlId list : {ControlId::ListBox1, ControlId::ListBox2}) {
        EXPECT_FALSE(style(list) & LBS_SORT) << "the lists keep the order they are given";
        EXPECT_TRUE(style(list) & LBS_NOTIFY);
    }
    for (ControlId panel :
         {ControlId::BuildStatPanel, ControlId::KeyStatPanel, ControlId::BifStatPanel, ControlId::ExpStatPanel}) {
        EXPECT_TRUE(exStyle(panel) & WS_EX_STATICEDGE) << "a panel is sunken";
        EXPECT_EQ(style(panel) & SS_TYPEMASK, SS_CENTER);
        EXPECT_TRUE(style(panel) & SS_CENTERIMAGE);
    }
    EXPECT_TRUE(style(ControlId::Label6) & SS_NOTIFY) << "the credit line takes clicks";
}

TEST_F(WindowTest, LoadsVersion6OfTheCommonControlsFromItsManifest) {
    HMODULE modules[512];
    DWORD needed = 0;
    ASSERT_TRUE(EnumProcessModules(app.Process(), modules, sizeof modules, &needed));
    std::string comctl;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
        char name[MAX_PATH] = {};
        GetModuleFileNameExA(app.Process(), modules[i], name, sizeof name);
        std::string lower(name);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower.find("comctl32") != std::string::npos) comctl = lower;
    }
    EXPECT_NE(comctl.find("winsxs"), std::string::npos) << "comctl32 loaded from " << comctl;
    EXPECT_NE(comctl.find("common-controls"), std::string::npos) << comctl;
}

// This test program as the prefix's handler of a scheme's links (--shell-log), for one test: the
// shell's "open" of such a link then logs it instead of starting a browser or a mail program.
class LinkHandler {
public:
    LinkHandler(const std::string& scheme, const std::string& log)
        : key_("Software\\Classes\\" + scheme + "\\shell\\open\\command") {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, sizeof self);
        char before[4096] = {};
        DWORD size = sizeof before;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, key_.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, before, &size) ==
            ERROR_SUCCESS)
            before_ = before;
        Set("\"" + std::string(self) + "\" --shell-log \"" + log + "\" \"%1\"");
    }
    ~LinkHandler() {
        if (before_)
            Set(*before_);
        else
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key_.c_str(), nullptr);
    }
    LinkHandler(const LinkHandler&) = delete;
    LinkHandler& operator=(const LinkHandler&) = delete;

private:
    void Set(const std::string& command) const {
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, key_.c_str(), nullptr, REG_SZ, command.c_str(),
                        static_cast<DWORD>(command.size() + 1));
    }
    std::string key_;
    std::optional<std::string> before_;
};

TEST(CreditLine, MenuOpensBelowTheLabelAndItsItemsOpenTheShell) {
    ScratchFolder scratch;
    const std::string log = scratch / "shell.log";
    const LinkHandler web("https", log), mail("mailto", log);
    App app(AppPath());
    ASSERT_NE(app.Main(), nullptr);

    HWND label = app.Control(ControlId::Label6);
    const auto openMenu = [&] {
        PostMessageA(app.Main(), WM_COMMAND,
                     MAKEWPARAM(vellocar::win32::ControlWindowId(ControlId::Label6), STN_CLICKED),
                     reinterpret_cast<LPARAM>(label));
        return app.WaitForDialog([](HWND hwnd) { return ClassOf(hwnd) == "#32768"; });
    };

    // Homepage1 is the first item, Email1 the second; the keyboard picks them.
    const std::vector<int> downs{1, 2};
    for (int down : downs) {
        auto menu = openMenu();
        ASSERT_TRUE(menu) << "no popup menu";
        RECT labelRect;
        GetWindowRect(label, &labelRect);
        RECT menuRect;
        GetWindowRect(menu->Window, &menuRect);
        EXPECT_EQ(menuRect.left, labelRect.left);
        EXPECT_EQ(menuRect.top, labelRect.bottom);
        for (int i = 0; i < down; ++i) PostMessageA(menu->Window, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(menu->Window, WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(menu->Window); })) << "menu stays open";
    }

    // The shell starts each handler on its own, so the two may log in either order.
    const auto logged = [&] {
        const auto bytes = ReadFile(log);
        std::vector<std::string> lines;
        std::string line;
        for (const unsigned char c : bytes)
            c == '\n' ? (lines.push_back(line), line.clear()) : line.push_back(static_cast<char>(c));
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    const std::vector<std::string> expected{std::string(ui::kHomepageUrl), "mailto:" + std::string(ui::kEmailAddress)};
    EXPECT_TRUE(WaitFor([&] { return logged() == expected; }));
    EXPECT_EQ(logged(), expected);
    EXPECT_EQ(app.Close(), DWORD{0});
}

} // namespace
} // namespace vellocar::test::win32
