// The resource viewer through the fake toolkit: what its window is told to show for each kind
// of resource, one window per resource, and its saves.

#include "WindowFixture.h"

#ifndef _WIN32
#include "PngPixels.h"
#endif

namespace vellocar::ui::test {
namespace {

class Viewer : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        key = WriteArchive(dir.path(), "look.key", {ViewerBif()});
        OpenKey(key);
        ChooseBif(0);
    }
    FakeViewer& View(int line) {
        form.LineOpened(ControlId::ListBox2, line);
        return *tk.Viewers.back();
    }
    std::string key;
};

TEST_F(Viewer, ShowsEachKindAsItsViewWithTheReasonInTheStatusLine) {
    const struct {
        int Line;
        const char* View;
        const char* Status;
    } cases[] = {
        {0, "rows", "2DA table: 2 rows, 2 columns"},
        {1, "text", "Not read as a 2DA table, line 4: "},
        {2, "text", "Text, 19 bytes, read as Windows-1252"},
        {3, "picture", "64 x 64 pixels, TGA, 32 bits"},
        {4, "rows", "Not shown as a picture: "},
        {5, "rows", "No viewer for .mdl resources; 6 bytes shown in hex"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Lines(ControlId::ListBox2)[static_cast<std::size_t>(c.Line)]);
        const FakeViewer& v = View(c.Line);
        EXPECT_EQ(v.View, c.View);
        EXPECT_EQ(v.Status.find(c.Status), 0u) << v.Status;
        EXPECT_EQ(v.PictureCommands, std::string(c.View) == "picture");
    }
    ASSERT_EQ(tk.Viewers.size(), 6u);
    EXPECT_EQ(tk.Viewers[0]->Title, "appearance.2da - Vellocar");

    const ViewerRows& table = *tk.Viewers[0]->Rows;
    ASSERT_EQ(table.ColumnCount(), 3u);
    EXPECT_EQ(table.ColumnTitle(1), "Label");
    EXPECT_EQ(table.Cell(0, 0), "0");
    EXPECT_EQ(table.Cell(0, 2), "10 gp");
    EXPECT_EQ(table.Cell(1, 1), "****");
    EXPECT_EQ(table.ColumnWidth(1), 5u);
    EXPECT_FALSE(tk.Viewers[0]->Monospace);

    EXPECT_EQ(tk.Viewers[2]->Text, "void main()\r\n{\r\n}\r\n");
    const FakeViewer& picture = *tk.Viewers[3];
    ASSERT_EQ(picture.Picture.Width, 64u);
    ASSERT_EQ(picture.Picture.Pixels->size(), 64u * 64u);
    EXPECT_EQ(picture.Picture.Pixels->front() >> 24, 0xFFu) << "laid over the checkerboard";

    const ViewerRows& hex = *tk.Viewers[5]->Rows;
    EXPECT_TRUE(tk.Viewers[5]->Monospace);
    ASSERT_EQ(hex.RowCount(), 1u);
    EXPECT_EQ(hex.Cell(0, 0).substr(0, 30), "00000000  00 01 02 4d 44 4c   ");
    EXPECT_EQ(hex.Cell(0, 0).substr(hex.Cell(0, 0).size() - 8), "|...MDL|");
}

TEST_F(Viewer, ZoomFitsThePictureToItsArea) {
    FakeViewer& v = View(3);
    EXPECT_EQ(v.Scale, 1.0) << "until the area is known";
    v.Events->PictureAreaResized(200, 96);
    EXPECT_EQ(v.Scale, 1.5);
    EXPECT_NE(v.Status.find("shown at 150%"), std::string::npos) << v.Status;
    v.Events->ZoomChosen(ViewerZoom::Double);
    EXPECT_EQ(v.Scale, 2.0);
    v.Events->PictureAreaResized(32, 32);
    EXPECT_EQ(v.Scale, 2.0) << "only Fit follows the area";
    v.Events->ZoomChosen(ViewerZoom::Actual);
    EXPECT_EQ(v.Scale, 1.0);
    v.Events->ZoomChosen(ViewerZoom::Fit);
    EXPECT_EQ(v.Scale, 0.5);
}

TEST_F(Viewer, OneWindowPerResourceBroughtForwardAndTheMainWindowLeftAsItWas) {
    ClickResource(2);
    const auto before = Snapshot();
    View(0);
    View(0);
    ASSERT_EQ(tk.Viewers.size(), 1u) << "the same resource again";
    EXPECT_EQ(tk.Viewers[0]->Raised, 2);
    EXPECT_EQ(Snapshot(), before) << "selection and Export Selected untouched";

    tk.ContextMenuAnswer = std::nullopt;
    form.LineMenuAsked(ControlId::ListBox2, 1);
    form.LineMenuAsked(ControlId::ListBox2, -1);
    tk.ContextMenuAnswer = 0;
    form.LineMenuAsked(ControlId::ListBox2, 1);
    EXPECT_EQ(tk.ContextMenus, (std::vector<std::vector<std::string>>{{"View"}, {"View"}}));
    ASSERT_EQ(tk.Viewers.size(), 2u);
    EXPECT_EQ(tk.Viewers[1]->Title, "broken.2da - Vellocar");

    tk.Viewers[0]->Events->CloseAsked(); // Escape
    EXPECT_FALSE(tk.Viewers[0]->Open);
    View(0);
    EXPECT_EQ(tk.Viewers.size(), 3u) << "closed, then opened anew";

    // A build that failed leaves its file list in the list: those lines are no resources.
    tk.Control(ControlId::ListBox2).Lines[4] = "readme.txt";
    form.LineOpened(ControlId::ListBox2, 4);
    EXPECT_EQ(tk.Viewers.size(), 3u);
    EXPECT_TRUE(tk.MessagesShown.empty());
}

TEST_F(Viewer, ABifCutShortSinceItWasListedOpensNoWindowAndSaysWhy) {
    const std::string bif = StoredPath(dir.path(), "data\\look.bif");
    std::filesystem::resize_file(bif, 64);
    tk.ExpectError("Stream read error: \"c_bugbear.tga\" runs past the end of \"" + bif +
                   "\" (offset 223, 16402 bytes, file 64 bytes); nothing was read for it.");
    form.LineOpened(ControlId::ListBox2, 3);
    EXPECT_TRUE(tk.Viewers.empty());
}

TEST_F(Viewer, SavesThePictureAsPngAndTheBytesAsTheyAreNeverOverTheBif) {
    FakeViewer& v = View(3);
    const std::string png = (dir.path() / "bugbear.png").string();
    tk.ExpectFileDialog(Mode::Save, "Save as PNG", png);
    v.Events->SavePngClicked();
    EXPECT_EQ(tk.FileDialogsShown.back().FileName, "c_bugbear.png");
    EXPECT_TRUE(tk.FileDialogsShown.back().OverwritePrompt);
    const auto written = ReadFile(png);
#ifndef _WIN32
    const auto rgba = vellocar::test::ReadPng({reinterpret_cast<const char*>(written.data()), written.size()});
    ASSERT_EQ(rgba.size(), 64u * 64u * 4u);
    EXPECT_EQ((std::vector<std::uint8_t>(rgba.begin(), rgba.begin() + 8)),
              (std::vector<std::uint8_t>{0, 0, 64, 255, 3, 0, 64, 253}));
#else
    ASSERT_GT(written.size(), 8u);
    EXPECT_EQ(TextAt(written, 1, 3), "PNG");
#endif
    EXPECT_NE(v.Status.find("PNG saved as"), std::string::npos);

    const std::string raw = (dir.path() / "raw.tga").string();
    tk.ExpectFileDialog(Mode::Save, "Save as", raw);
    v.Events->SaveAsClicked();
    EXPECT_EQ(tk.FileDialogsShown.back().FileName, "c_bugbear.tga");
    EXPECT_EQ(tk.FileDialogsShown.back().InitialDir, dir.path().string()) << "where the last save went";
    EXPECT_EQ(ReadText(raw), TgaPicture(64));

    const std::string bif = StoredPath(dir.path(), "data\\look.bif");
    const auto bifBefore = ReadFile(bif);
    tk.ExpectFileDialog(Mode::Save, "Save as", bif);
    tk.ExpectError("Cannot save \"" + bif + "\": it is the BIF being read; nothing was written.");
    v.Events->SaveAsClicked();
    EXPECT_EQ(ReadFile(bif), bifBefore);
}

} // namespace
} // namespace vellocar::ui::test
