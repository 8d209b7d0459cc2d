// The resource viewer through the fake toolkit: what its window is told to show for each kind
// of resource, one window per resource, and its saves.

#include "Viewer.h"
#include "ViewerViews.h"
#include "WindowFixture.h"

#include <map>

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
        {1, "rows", "Not read as a 2DA table, line 4: "},
        {2, "rows", "Text, 19 bytes, read as Windows-1252, 3 lines"},
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

    EXPECT_EQ(tk.Viewers[1]->SelectedRow, 3u) << "the line the 2DA's error names";
    const ViewerRows& text = *tk.Viewers[2]->Rows;
    EXPECT_TRUE(tk.Viewers[2]->Monospace);
    ASSERT_EQ(text.RowCount(), 3u);
    EXPECT_EQ(text.Cell(0, 0) + "|" + text.Cell(0, 1) + "|" + text.Cell(2, 0) + "|" + text.Cell(2, 1),
              "1|void main()|3|}");
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
    EXPECT_EQ(tk.ContextMenus, (std::vector<std::vector<std::string>>{{"View", "Browse..."}, {"View", "Browse..."}}));
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

// ---- Each kind of resource and the tools of its view, opened straight from its bytes ----

struct FakeTalk final : TViewerTalk {
    std::map<std::uint32_t, std::string> Texts{{12, "Longsword"}};
    std::optional<std::string> Text(std::uint32_t strref) override {
        const auto found = Texts.find(strref);
        return found == Texts.end() ? std::nullopt : std::optional(found->second);
    }
    void SetCustomTable(const std::string&) override { Texts[0x01000000] = "Custom"; }
    std::string Problem() override { return {}; }
};

class Views : public ::testing::Test {
protected:
    FakeViewer& Open(std::uint16_t type, const std::string& bytes) {
        TViewedResource r{TArchiveName{"res"}, type, {bytes.begin(), bytes.end()}, "", ""};
        viewers.push_back(std::make_unique<TViewer>(
            tk, host, std::move(r), folder, [](TViewer&) {}, &talk));
        return *tk.Viewers.back();
    }
    vellocar::test::TempDir dir;
    FakeToolkit tk;
    FakeTalk talk;
    std::string folder;
    TViewerHost host{[](const std::exception& e) { ADD_FAILURE() << e.what(); }, [] { return false; }};
    std::vector<std::unique_ptr<TViewer>> viewers;
};

// 8 x 4 DXT1 with its three smaller levels, the standard header or the game's; each block all
// of one colour: level 0's left block red, every other block blue.
std::string Dxt1(bool gameHeader) {
    Bytes b;
    if (gameHeader)
        b.U32(8).U32(4).U32(3).U32(16).U32(0);
    else
        b.Text("DDS ")
            .U32(124)
            .U32(0x21007)
            .U32(4)
            .U32(8)
            .U32(16)
            .U32(0)
            .U32(4)
            .Zeros(44)
            .U32(32)
            .U32(4)
            .Text("DXT1")
            .Zeros(20)
            .U32(0x401008)
            .Zeros(16);
    b.U16(0xF800).U16(0x001F).U32(0); // colour 0 (red) everywhere
    for (int block = 0; block < 4; ++block) b.U16(0xF800).U16(0x001F).U32(0x55555555); // colour 1 (blue)
    return b.Str();
}

TEST_F(Views, EachKindGetsItsViewAndSaysWhatItIs) {
    const struct {
        std::uint16_t Type;
        std::string Bytes;
        const char* View;
        const char* Status;
        const char* Converted;
        bool TalkTable;
    } cases[] = {
        {kType2da, "2DA V2.0\n\nLabel Name\n0 Sword 12\n", "rows", "2DA table: 1 row, 2 columns", "", true},
        {kType2da, "2DA V2.0\n\nLabel Cost\n0 Sword 12\n", "rows", "2DA table: 1 row, 2 columns", "", false},
        {kTypeNss, "void main()\n", "rows", "Text, 12 bytes, read as Windows-1252, 1 line", "", false},
        {2025, vellocar::test::OneByteGff("Cost"), "tree", "GFF V3.2, UTI: 1 field in 1 struct", "Save as JSON...",
         true},
        {kTypeMdl, vellocar::test::OneByteGff("Cost"), "tree", "GFF V3.2, UTI: 1 field in 1 struct", "Save as JSON...",
         true},
        {2025, "UTI V3.2", "rows", "Not read as a GFF: ", "", false},
        {2018, Bytes().Text("TLK V3.0").U32(0).U32(1).U32(60).U32(1).Zeros(24).U32(0).U32(2).U32(0).Text("Hi").Str(),
         "rows", "Talk table: 1 string, language 0 (English), code page 1252", "", false},
        {2060, Bytes().Text("SSF V1.0").U32(1).U32(40).Zeros(24).U32(44).Text("vs_hi", 16).U32(12).Str(), "rows",
         "Soundset: 1 sound", "", true},
        {8, "BMU V1.0ID3", "rows", "Music (BMU): an MP3 of 3 bytes behind its 8-byte header; 11 bytes shown in hex",
         "Save as MP3...", false},
        {kTypeDds, Dxt1(false), "picture",
         "8 x 4 pixels, DDS, DXT1, 4 mipmaps; shown at 100%, as the game draws it (flipped against other DDS tools)",
         "", false},
        {kTypeDds, Dxt1(true), "picture", "8 x 4 pixels, DDS (the game's header), DXT1, 4 mipmaps", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Status);
        const FakeViewer& v = Open(c.Type, c.Bytes);
        EXPECT_EQ(v.View, c.View);
        EXPECT_EQ(v.Status.find(c.Status), 0u) << v.Status;
        EXPECT_EQ(v.ConvertedSave, c.Converted);
        EXPECT_EQ(v.TalkTableCommand, c.TalkTable);
    }
    EXPECT_EQ(tk.Viewers[0]->Rows->Cell(0, 2), "12 (Longsword)") << "a strref column";
    EXPECT_EQ(tk.Viewers[1]->Rows->Cell(0, 2), "12");
    EXPECT_EQ(tk.Viewers[3]->Tree->Cell(1, 0) + "|" + tk.Viewers[3]->Tree->Cell(1, 2), "Cost|5");
    tk.Viewers[3]->Events->FindAsked("COST", true);
    EXPECT_EQ(tk.Viewers[3]->SelectedNode, 1u);
    EXPECT_EQ(tk.Viewers[3]->Status, "GFF V3.2, UTI: 1 field in 1 struct; Found at Cost");
    EXPECT_EQ(tk.Viewers[6]->Rows->Cell(0, 0) + "|" + tk.Viewers[6]->Rows->Cell(0, 1), "0|Hi");
    const ViewerRows& sounds = *tk.Viewers[7]->Rows;
    EXPECT_EQ(sounds.Cell(0, 1) + "|" + sounds.Cell(0, 2) + "|" + sounds.Cell(0, 3), "vs_hi|12|Longsword");
}

TEST_F(Views, SortsAndFindsInATable) {
    FakeViewer& v = Open(kType2da, "2DA V2.0\n\nLabel Cost\n0 a 10\n1 b 9\n2 c ****\n3 d abc\n4 e Bcd\n5 f -1.5\n");
    auto labels = [&] {
        std::string order;
        for (std::size_t r = 0; r < v.Rows->RowCount(); ++r) order += v.Rows->Cell(r, 0);
        return order;
    };
    const struct {
        std::size_t Column;
        const char* Order;
        bool Ascending;
    } sorts[] = {{2, "510342", true}, {2, "430152", false}, {1, "012345", true}, {0, "012345", true}};
    for (const auto& sort : sorts) {
        v.Events->ColumnClicked(sort.Column);
        EXPECT_EQ(labels(), sort.Order) << "numbers as numbers, then text ignoring case, **** last";
        EXPECT_EQ(v.SortColumn, sort.Column);
        EXPECT_EQ(v.SortAscending, sort.Ascending);
    }
    const struct {
        const char* Text;
        bool Forward;
        std::size_t Row;
        const char* Status;
    } finds[] = {{"B", true, 1, "Found in row 1, column Label"}, {"b", true, 3, "Found in row 3, column Cost"},
                 {"b", true, 4, "Found in row 4, column Cost"},  {"b", true, 1, "Found in row 1, column Label"},
                 {"b", false, 4, "Found in row 4, column Cost"}, {"zz", true, 4, "\"zz\" is not in the table"}};
    for (const auto& find : finds) {
        v.Events->FindAsked(find.Text, find.Forward);
        EXPECT_EQ(v.SelectedRow, find.Row);
        EXPECT_EQ(v.Status, "2DA table: 6 rows, 2 columns; " + std::string(find.Status));
    }
    FakeViewer& text = Open(kTypeNss, "void main()\r\n{\r\n}\r\n");
    text.Events->FindAsked("}", false);
    EXPECT_EQ(text.SelectedRow, 2u);
    EXPECT_NE(text.Status.find("; Found in line 3"), std::string::npos) << text.Status;
}

TEST_F(Views, ShowsChannelsMipmapsAndThePixelUnderTheMouse) {
    // 2 x 1, top first: red, opaque; blue at alpha 128.
    FakeViewer& v =
        Open(kTypeTga, Bytes{0, 0, 2}.Zeros(9).U16(2).U16(1).Append({32, 0x28, 0, 0, 255, 255, 255, 0, 0, 128}).Str());
    // Over the checkerboard's light grey (204): 204 * 127 / 255 = 102 beside blue 255 * 128 / 255.
    const struct {
        ViewerChannels Channels;
        std::vector<std::uint32_t> Pixels;
    } channels[] = {{ViewerChannels::Rgba, {0xFFFF0000, 0xFF6666E6}},
                    {ViewerChannels::Rgb, {0xFFFF0000, 0xFF0000FF}},
                    {ViewerChannels::Alpha, {0xFFFFFFFF, 0xFF808080}}};
    for (const auto& c : channels) {
        v.Events->ChannelsChosen(c.Channels);
        EXPECT_EQ(*v.Picture.Pixels, c.Pixels);
        EXPECT_EQ(v.Channels, c.Channels);
    }
    EXPECT_EQ(v.Mips, std::vector<std::string>{"2 x 1"});
    v.Events->PicturePointed(1, 0);
    EXPECT_EQ(v.Status.substr(v.Status.find("; x")), "; x 1, y 0: R 0 G 0 B 255 A 128")
        << "the picture's, not the shown";

    for (const bool game : {false, true}) {
        FakeViewer& dds = Open(kTypeDds, Dxt1(game));
        EXPECT_EQ(dds.Mips, (std::vector<std::string>{"8 x 4", "4 x 2", "2 x 1", "1 x 1"}));
        dds.Events->PicturePointed(3, 3);
        EXPECT_EQ(dds.Status.substr(dds.Status.find("; x")), "; x 3, y 3: R 255 G 0 B 0 A 255");
        dds.Events->PicturePointed(4, 0);
        EXPECT_EQ(dds.Status.substr(dds.Status.find("; x")), "; x 4, y 0: R 0 G 0 B 255 A 255");
        dds.Events->MipChosen(2);
        EXPECT_EQ(dds.Mip, 2u);
        EXPECT_EQ(dds.Picture.Width * 10 + dds.Picture.Height, 21u);
        EXPECT_EQ(*dds.Picture.Pixels, (std::vector<std::uint32_t>{0xFF0000FF, 0xFF0000FF}));
        dds.Events->PicturePointed(-1, -1);
        EXPECT_EQ(dds.Status.find("; x"), std::string::npos);
    }
}

TEST_F(Views, SavesMusicAsMp3AndGffAsJsonAndShowsTheTextsOfTheTalkTableOpened) {
    FakeViewer& music = Open(8, "BMU V1.0ID3");
    const std::string mp3 = (dir.path() / "song.mp3").string();
    tk.ExpectFileDialog(Mode::Save, "Save as MP3", mp3);
    music.Events->SaveConvertedClicked();
    EXPECT_EQ(tk.FileDialogsShown.back().FileName, "res.mp3");
    EXPECT_EQ(ReadText(mp3), "ID3") << "without the header";
    FakeViewer& item = Open(2025, vellocar::test::OneByteGff("Cost"));
    const std::string json = (dir.path() / "item.json").string();
    tk.ExpectFileDialog(Mode::Save, "Save as JSON", json);
    item.Events->SaveConvertedClicked();
    EXPECT_EQ(tk.FileDialogsShown.back().FileName, "res.json") << "the name as the archive has it, then .json";
    EXPECT_EQ(ReadText(json),
              "{\n  \"__data_type\": \"UTI \",\n  \"Cost\": {\n    \"type\": \"byte\",\n"
              "    \"value\": 5\n  }\n}\r\n");

    FakeViewer& table = Open(kType2da, "2DA V2.0\n\nLabel StrRef\n0 a 16777216\n");
    EXPECT_EQ(table.Rows->Cell(0, 2), "16777216");
    tk.ExpectFileDialog(Mode::Open, "Open talk table", "custom.tlk");
    table.Events->OpenTalkTableClicked();
    EXPECT_EQ(table.Rows->Cell(0, 2), "16777216 (Custom)");
    tk.VerifyScriptUsed();
}

// A UTI's fields of every kind the tree shows differently, built by hand.
gff::TGff SmallGff() {
    using gff::TGffType;
    gff::TGff g;
    g.FileType = "UTI ";
    g.Structs = {{gff::kRootStructId, 0, 6}, {0, 6, 1}, {7, 7, 1}, {9, 8, 1}};
    g.Labels = {"Plot", "LocName",      "TemplateResRef", "PropertiesList", "Blob",
                "Sub",  "PropertyName", "Chance",         "Delta"};
    g.Fields = {{0, TGffType::Byte, 1, 0},
                {1, TGffType::ExoLocString, 0, 0},
                {2, TGffType::ResRef, 0, 0},
                {3, TGffType::List, 0, 0},
                {4, TGffType::Void, 0, 1},
                {5, TGffType::Struct, 0, 3},
                {6, TGffType::Word, 6, 0},
                {7, TGffType::Float, 0x3F000000, 0},
                {8, TGffType::Int, static_cast<std::uint64_t>(-3), 0}};
    g.Data = {"nw_sword", std::string("\x01\x02\x03")};
    g.LocStrings = {{12, {{0, "Sword"}, {3, "Ep\xE9\x65"}}}};
    g.Lists = {{0, 2}};
    g.ListItems = {1, 2};
    return g;
}

TEST(GffTreeLines, ShowEachFieldWithItsTypeAndValueInTreeOrder) {
    const gff::TGff g = SmallGff();
    const GffTree tree(
        g, [](std::uint32_t strref) { return strref == 12 ? std::optional<std::string>("Longsword") : std::nullopt; });
    std::vector<std::string> lines;
    for (auto node = tree.Next(ViewerTree::kViewerRoot); lines.size() < tree.NodeCount() - 1; node = tree.Next(node)) {
        std::string indent;
        for (auto up = tree.Parent(node); up != ViewerTree::kViewerRoot; up = tree.Parent(up)) indent += "  ";
        lines.push_back(indent + tree.Cell(node, 0) + "|" + tree.Cell(node, 1) + "|" + tree.Cell(node, 2));
        EXPECT_EQ(tree.Child(tree.Parent(node), tree.IndexInParent(node)), node);
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "Plot|byte|1",
                  "LocName|cexolocstring|12 (Longsword)",
                  "  English||Sword",
                  "  French female||Ep\xC3\xA9\x65",
                  "TemplateResRef|resref|nw_sword",
                  "PropertiesList|list|2 structs",
                  "  [0]|struct|id 0",
                  "    PropertyName|word|6",
                  "  [1]|struct|id 7",
                  "    Chance|float|0.5",
                  "Blob|void|3 bytes: 01 02 03",
                  "Sub|struct|id 9",
                  "  Delta|int|-3",
              }));
    EXPECT_EQ(tree.Cell(*FindInTree(tree, "CHANCE", ViewerTree::kViewerRoot, true), 0), "Chance");
    EXPECT_EQ(tree.Cell(*FindInTree(tree, "sword", 3, true), 0), "LocName") << "by its strref's text, wrapping";
    EXPECT_EQ(tree.Cell(*FindInTree(tree, "sword", 3, false), 0), "English") << "back from TemplateResRef";
    EXPECT_FALSE(FindInTree(tree, "zz", 3, true));
}

} // namespace
} // namespace vellocar::ui::test
