// The Win32 viewer's real windows, opened from the resource list as its notifications open them,
// at the prefix's DPI; a picture of each kind of viewer is kept with the test's artifacts.

#include "ArchiveBytes.h"
#include "ControlIds.h"
#include "Main.h"
#include "platform/PngWriter.h"
#include "Win32Toolkit.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdlib>
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
    for (const auto& [line, title, control, name] : {std::tuple{2, L"nw_s0_sleep.nss - Vellocar", L"EDIT", "text"},
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
    EXPECT_EQ(
        TextOf(FindWindowExW(FindWindowW(L"VellocarViewer", L"nw_s0_sleep.nss - Vellocar"), nullptr, L"EDIT", nullptr)),
        L"void main()\r\n{\r\n}\r\n");

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

} // namespace
} // namespace vellocar::win32
