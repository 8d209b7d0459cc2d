// The Win32 face in process: the registry read, the dialog descriptions handed to the common
// dialogs, the gauge's arithmetic, and the controls as the window logic sees them.

#include "base/Errors.h"
#include "base/Progress.h"
#include "ControlIds.h"
#include "LayoutAtDpi.h"
#include "Main.h"
#include "operations/Build.h"
#include "Win32Services.h"
#include "Win32Toolkit.h"

#include <gtest/gtest.h>

#include <commdlg.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace vellocar::win32 {
namespace {

using ui::ControlId;

std::string Flatten(const std::vector<char>& chars) { return std::string(chars.begin(), chars.end()); }

TEST(DialogFilter, TurnsBarsIntoNulsAndEndsWithTwo) {
    using namespace std::string_literals;
    EXPECT_EQ(Flatten(DialogFilter("*.key|*.key")), "*.key\0*.key\0\0"s);
    EXPECT_EQ(Flatten(DialogFilter("BIF files|*.bif|All|*.*")), "BIF files\0*.bif\0All\0*.*\0\0"s);
    EXPECT_EQ(Flatten(DialogFilter("")), "\0\0"s);
}

TEST(DialogFlags, SaveDialogNeverAsksBeforeOverwriting) {
    ui::FileDialogSpec save;
    save.DialogMode = ui::FileDialogSpec::Mode::Save;
    save.HideReadOnly = save.NoChangeDir = save.ShowHelp = save.PathMustExist = true;
    save.NoNetworkButton = save.EnableSizing = true;
    EXPECT_EQ(DialogFlags(save),
              DWORD{OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_SHOWHELP | OFN_PATHMUSTEXIST |
                    OFN_NONETWORKBUTTON | OFN_ENABLESIZING});

    ui::FileDialogSpec open;
    open.HideReadOnly = open.EnableSizing = true;
    EXPECT_EQ(DialogFlags(open), DWORD{OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING});
    open.OverwritePrompt = true;
    EXPECT_TRUE(DialogFlags(open) & OFN_OVERWRITEPROMPT);
}

TEST(Gauge, PercentDoneForAnyRange) {
    EXPECT_EQ(ProgressPercent(0, 100, 0), 0);
    EXPECT_EQ(ProgressPercent(0, 100, 37), 37);
    EXPECT_EQ(ProgressPercent(0, 3, 2), 66);
    EXPECT_EQ(ProgressPercent(10, 20, 20), 100);
    EXPECT_EQ(ProgressPercent(0, 0, 0), 0) << "an empty range";
    EXPECT_EQ(ProgressPercent(0, -1, 0), 0) << "an inverted range";
    EXPECT_EQ(ProgressPercent(0, 10, 25), 100) << "past the end";
    EXPECT_EQ(ProgressPercent(5, 10, 0), 0) << "before the start";
    EXPECT_EQ(ProgressPercent(0, 2000000000, 1500000000), 75) << "no overflow";
    EXPECT_EQ(ProgressPercent(-2000000000, 2000000000, 0), 50);
}

// The window, built but never shown, as TForm1 drives it.
class Controls : public ::testing::Test {
protected:
    Win32Toolkit toolkit{GetModuleHandleA(nullptr)};
};

TEST_F(Controls, ListsKeepOrderAndReportSelection) {
    {
        // Lines added while the list is not redrawn (nested, as the window may) are all there,
        // and the list is still shown after the outer update.
        ui::ListUpdate outer(toolkit, ControlId::ListBox2, 4);
        ui::ListUpdate inner(toolkit, ControlId::ListBox2);
        for (const char* line : {"zeta.txt", "alpha.2da", "Mixed Case.nss", "alpha.2da"})
            toolkit.ListAdd(ControlId::ListBox2, line);
    }
    EXPECT_TRUE(toolkit.Visible(ControlId::ListBox2));
    ASSERT_EQ(toolkit.ListCount(ControlId::ListBox2), 4);
    EXPECT_EQ(toolkit.ListLine(ControlId::ListBox2, 0), "zeta.txt") << "unsorted";
    EXPECT_EQ(toolkit.ListLine(ControlId::ListBox2, 2), "Mixed Case.nss");
    EXPECT_EQ(toolkit.ListLine(ControlId::ListBox2, 9), "");

    HWND list2 = toolkit.Control(ControlId::ListBox2);
    SendMessageA(list2, LB_SETSEL, TRUE, 1);
    SendMessageA(list2, LB_SETSEL, TRUE, 3);
    EXPECT_FALSE(toolkit.ListSelected(ControlId::ListBox2, 0));
    EXPECT_TRUE(toolkit.ListSelected(ControlId::ListBox2, 1));
    EXPECT_TRUE(toolkit.ListSelected(ControlId::ListBox2, 3));

    EXPECT_EQ(toolkit.ListItemIndex(ControlId::ListBox1), -1);
    toolkit.ListAdd(ControlId::ListBox1, "data\\one.bif");
    toolkit.ListAdd(ControlId::ListBox1, "data\\two.bif");
    SendMessageA(toolkit.Control(ControlId::ListBox1), LB_SETCURSEL, 1, 0);
    EXPECT_EQ(toolkit.ListItemIndex(ControlId::ListBox1), 1);
    EXPECT_EQ(toolkit.ListLine(ControlId::ListBox1, 1), "data\\two.bif");

    toolkit.ListClear(ControlId::ListBox2);
    EXPECT_EQ(toolkit.ListCount(ControlId::ListBox2), 0);
    EXPECT_EQ(SendMessageA(list2, LB_GETITEMHEIGHT, 0, 0), 13) << "a new font resets the row height";
}

TEST_F(Controls, CaptionsStatesAndTheCreditLinesUnderline) {
    toolkit.SetCaption(ControlId::KeyStatPanel, "Wait");
    EXPECT_EQ(toolkit.Caption(ControlId::KeyStatPanel), "Wait");
    EXPECT_EQ(toolkit.Caption(ControlId::ExportButton), "Export BIF to");

    EXPECT_FALSE(toolkit.Enabled(ControlId::ExportButton));
    toolkit.SetEnabled(ControlId::ExportButton, true);
    EXPECT_TRUE(toolkit.Enabled(ControlId::ExportButton));

    // Visible is the control's own state, even while the window itself is not shown yet.
    EXPECT_FALSE(toolkit.Visible(ControlId::Gauge1));
    EXPECT_TRUE(toolkit.Visible(ControlId::Label6));
    toolkit.SetVisible(ControlId::Gauge1, true);
    EXPECT_TRUE(toolkit.Visible(ControlId::Gauge1));

    const auto font = [&](ControlId id) {
        LOGFONTA lf{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(toolkit.Control(id), WM_GETFONT, 0, 0)), sizeof lf, &lf);
        return lf;
    };
    EXPECT_FALSE(font(ControlId::Label6).lfUnderline);
    toolkit.SetUnderline(ControlId::Label6, true);
    EXPECT_TRUE(font(ControlId::Label6).lfUnderline);
    EXPECT_STREQ(font(ControlId::Label6).lfFaceName, "MS Sans Serif");
    EXPECT_EQ(font(ControlId::Label6).lfHeight, -11);
    toolkit.SetUnderline(ControlId::Label6, false);
    EXPECT_FALSE(font(ControlId::Label6).lfUnderline);

    const LOGFONTA numeral = font(ControlId::Label3);
    EXPECT_STREQ(numeral.lfFaceName, "Arial");
    EXPECT_EQ(numeral.lfHeight, -24);
    EXPECT_EQ(numeral.lfWeight, FW_BOLD);
    EXPECT_TRUE(numeral.lfItalic);
}

TEST_F(Controls, CreditLineIsUnderlinedWhileTheMouseIsOverIt) {
    ui::TForm1 form(toolkit);
    toolkit.Attach(&form);
    HWND label = toolkit.Control(ControlId::Label6);
    const auto underlined = [&] {
        LOGFONTA lf{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)), sizeof lf, &lf);
        return lf.lfUnderline != 0;
    };
    SendMessageA(label, WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
    EXPECT_TRUE(underlined());
    SendMessageA(label, WM_MOUSEMOVE, 0, MAKELPARAM(9, 5));
    EXPECT_TRUE(underlined());
    SendMessageA(label, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(underlined());
    SendMessageA(label, WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
    EXPECT_TRUE(underlined()) << "a second visit underlines again";
    toolkit.Attach(nullptr);
}

TEST_F(Controls, ADpiChangeRescalesEveryControlAndKeepsTheLists) {
    HWND list = toolkit.Control(ControlId::ListBox2);
    for (int i = 0; i < 80; ++i) toolkit.ListAdd(ControlId::ListBox2, "resource_" + std::to_string(i) + ".nss");
    SendMessageA(list, LB_SETSEL, TRUE, 41);
    SendMessageA(list, LB_SETTOPINDEX, 30, 0);
    for (int dpi : {144, 192, 120, 96}) {
        RECT suggested; // what Windows sends for a monitor of another scale, here the old rectangle
        GetWindowRect(toolkit.MainWindow(), &suggested);
        SendMessageA(toolkit.MainWindow(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        for (const auto& desc : ui::kLayout) {
            SCOPED_TRACE(std::string(desc.Name) + " at " + std::to_string(dpi) + " DPI");
            HWND control = toolkit.Control(desc.Id);
            test::win32::ExpectPlacedAt(control, desc, dpi);
            // The letters really are that tall (a bitmap face has only a few sizes) and fit.
            HDC dc = GetDC(control);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
            TEXTMETRICA metrics{};
            GetTextMetricsA(dc, &metrics);
            EXPECT_NEAR(metrics.tmHeight - metrics.tmInternalLeading, desc.Font.HeightPx * dpi / 96.0, 1.0);
            const std::string caption = toolkit.Caption(desc.Id);
            SIZE text{};
            GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
            SelectObject(dc, old);
            ReleaseDC(control, dc);
            RECT client;
            GetClientRect(control, &client);
            EXPECT_TRUE(text.cx <= client.right && text.cy <= client.bottom) << caption;
        }
        EXPECT_TRUE(toolkit.ListSelected(ControlId::ListBox2, 41));
        EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 30) << "the list stays scrolled where it was";
    }
}

// Writes a 24-bit BMP of the bitmap, for a reviewer to look at.
void SaveBitmap(HDC dc, HBITMAP bitmap, int width, int height, const std::string& path) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const auto stride = static_cast<std::size_t>((width * 3 + 3) & ~3);
    std::vector<char> pixels(stride * static_cast<std::size_t>(height));
    GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
              DIB_RGB_COLORS);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

TEST_F(Controls, GaugePaintsItsBarOnSilver) {
    HWND gauge = toolkit.Control(ControlId::Gauge1);
    toolkit.SetGaugeMin(0);
    toolkit.SetGaugeMax(200);
    toolkit.SetGaugeProgress(80); // 40 %
    const auto& desc = ui::LayoutOf(ControlId::Gauge1);

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, desc.Width, desc.Height);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageA(gauge, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);

    const int barEnd = desc.Width * 40 / 100;
    EXPECT_EQ(GetPixel(dc, 2, 2), GetSysColor(COLOR_MENUHILIGHT));
    EXPECT_EQ(GetPixel(dc, barEnd - 2, desc.Height - 2), GetSysColor(COLOR_MENUHILIGHT));
    EXPECT_EQ(GetPixel(dc, barEnd + 2, 2), RGB(192, 192, 192));
    EXPECT_EQ(GetPixel(dc, desc.Width - 1, desc.Height - 1), RGB(192, 192, 192)) << "no border";
    // The percentage is drawn around the middle, over the silver part.
    bool text = false;
    for (int x = desc.Width / 2 - 20; x < desc.Width / 2 + 20; ++x)
        for (int y = 4; y < desc.Height - 4; ++y)
            if (GetPixel(dc, x, y) == RGB(0, 0, 0)) text = true;
    EXPECT_TRUE(text) << "no percentage text";

    if (const char* tmp = std::getenv("VELLOCAR_TEST_TMP"); tmp && *tmp) {
        CreateDirectoryA((std::string(tmp) + "/../artifacts").c_str(), nullptr);
        SaveBitmap(dc, bitmap, desc.Width, desc.Height, std::string(tmp) + "/../artifacts/win32-gauge.bmp");
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

// What Explorer hands a window on a drop: a DROPFILES block followed by the names, each ended
// by a NUL, the list by a second one.
HGLOBAL DropOf(const std::vector<std::string>& files) {
    std::string names;
    for (const std::string& file : files) names += file + '\0';
    names += '\0';
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), names.data(), names.size());
    GlobalUnlock(block);
    return block;
}

TEST_F(Controls, AFileDroppedOnTheWindowOpensAsTheOpenDialogsChoice) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("vellocar-drop-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir / "source");
    fs::create_directories(dir / "data");
    std::ofstream(dir / "source" / "only.txt") << "text";
    ui::TForm1 form(toolkit);
    toolkit.Attach(&form);
    // The KEY the program itself writes, from a folder of one file.
    const std::string key = (dir / "drop me.key").string();
    TBuildRequest request((dir / "source").string() + "\\", (dir / "data" / "mod.bif").string(), key);
    request.Files = form.ListFolder((dir / "source").string() + "\\*.*");
    BuildArchive(request);
    toolkit.ListClear(ControlId::ListBox2);

    EXPECT_NE(GetWindowLongPtrA(toolkit.MainWindow(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
    SendMessageA(toolkit.MainWindow(), WM_DROPFILES,
                 reinterpret_cast<WPARAM>(DropOf({key, (dir / "source" / "only.txt").string()})), 0);
    EXPECT_EQ(toolkit.Caption(ControlId::KeyStatPanel), "Done");
    ASSERT_EQ(toolkit.ListCount(ControlId::ListBox1), 1);
    EXPECT_EQ(toolkit.ListLine(ControlId::ListBox1, 0), "data\\mod.bif");
    EXPECT_TRUE(toolkit.Enabled(ControlId::ListBox1));
    EXPECT_EQ(form.KeyPath, key);

    // A drop that names no file opens nothing.
    toolkit.SetCaption(ControlId::KeyStatPanel, "");
    SendMessageA(toolkit.MainWindow(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf({})), 0);
    EXPECT_EQ(toolkit.Caption(ControlId::KeyStatPanel), "");
    toolkit.Attach(nullptr);
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST(KeyFileArgument, TheFirstArgumentMadeFull) {
    char program[] = "vellocar.exe";
    char full[] = "C:\\games\\my mod\\mod.key";
    char relative[] = "mod.key";
    char* none[] = {program, nullptr};
    char* given[] = {program, full, relative, nullptr};
    char* bare[] = {program, relative, nullptr};
    EXPECT_EQ(KeyFileArgument(1, none), std::nullopt);
    EXPECT_EQ(KeyFileArgument(3, given), "C:\\games\\my mod\\mod.key");
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    std::string folder = current;
    if (folder.back() != '\\') folder += '\\';
    EXPECT_EQ(KeyFileArgument(2, bare), folder + "mod.key");
}

TEST_F(Controls, WindowIsFixedSizeAndCarriesTheProgramsIcon) {
    HWND main = toolkit.MainWindow();
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, 494);
    EXPECT_EQ(client.bottom, 349);
    // This test program carries the same resources as vellocar.exe.
    EXPECT_NE(SendMessageA(main, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageA(main, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(GetClassLongPtrA(main, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
}

} // namespace
} // namespace vellocar::win32
