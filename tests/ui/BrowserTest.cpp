// The resource browser through the fake toolkit: a made-up game whose layers shadow each other
// in known ways, its table, commands and start arguments.

#include "Browser.h"
#include "WindowFixture.h"

#include <sstream>

namespace vellocar::ui::test {
namespace {

namespace fs = std::filesystem;
using Table = std::vector<std::vector<std::string>>;

// The game's KEY (a, b, c), its ovr (b), the user's override (c the same bytes as the KEY's, d),
// a module listing h1 (d, e), a damaged HAK and a missing one, and development (e).
class Browser : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteArchive(dir.path() / "game", "data/nwn_base.key",
                     {{"data\\base.bif", {{"a", kType2da, "key"}, {"b", kType2da, "key"}, {"c", kType2da, "same"}}}});
        for (const char* folder : {"game/ovr", "user/override", "user/development", "user/hak", "user/modules"})
            fs::create_directories(dir.path() / folder);
        WriteFile(dir / "game/ovr/b.2da", "ovr");
        WriteFile(dir / "user/override/c.2da", "same");
        WriteFile(dir / "user/override/d.2da", "override");
        WriteFile(dir / "user/hak/h1.hak", ErfBytes({{"d", kType2da, "h1"}, {"e", kType2da, "h1"}}));
        WriteFile(dir / "user/hak/broken.hak", "HAK V1.0 and no more");
        WriteFile(dir / "user/development/e.2da", "development");
        WriteFile(dir / "user/modules/m.mod",
                  ErfBytes({{"module", kTypeIfo, ModuleIfoBytes({"h1", "broken", "gone"}).Str()}}, {}, "MOD V1.0"));
        browsers.Open("");
        b = tk.Browsers.at(0);
        tk.ContextMenuAnswer = 0; // m.mod
        b->Events->CommandChosen(BrowserCommand::ChooseModule);
    }
    std::vector<std::string> Layers() const {
        std::vector<std::string> texts;
        for (const BrowserLayer& l : b->Layers) texts.push_back(l.Text + (l.Problem ? " !" : ""));
        return texts;
    }
    // Each shown row's name and last column.
    Table Marks() const {
        Table marks;
        for (const auto& row : b->Table()) marks.push_back({row[0], row.back()});
        return marks;
    }

    TBrowsers browsers{
        tk, TViewerHost{[this](const std::exception& e) { form.HandleException(e); }, [] { return false; }},
        TBrowseContext{[this] { return (dir.path() / "game").string(); }, (dir.path() / "user").string(), {}}};
    std::shared_ptr<FakeBrowser> b;
};

TEST_F(Browser, LayersInTheGamesOrderAndTheCopyThatWins) {
    EXPECT_EQ(Layers(),
              (std::vector<std::string>{"nwn_base.key  3", "ovr  1", "override  2", "gone.hak !", "broken.hak !",
                                        "h1.hak  2", "development  1"}));
    EXPECT_NE(b->Layers[3].Tooltip.find("none of the HAK folders"), std::string::npos);
    EXPECT_NE(b->Status.find("2 layers could not be read; see their tooltips"), std::string::npos) << b->Status;
    EXPECT_EQ(b->Table(),
              (Table{{"a", "2da", "3", "nwn_base.key", ""},
                     {"b", "2da", "3", "ovr", "wins over 1"},
                     {"c", "2da", "4", "override", "wins over 1"},
                     {"d", "2da", "2", "h1.hak", "wins over 1"},
                     {"e", "2da", "11", "development", "wins over 1"}}));
    EXPECT_EQ(b->Count, "5 of 5");

    b->Events->LayerChecked(5, false); // h1.hak
    EXPECT_EQ(Marks(), (Table{{"a", ""}, {"b", "wins over 1"}, {"c", "wins over 1"}, {"d", ""}, {"e", ""}}));
    EXPECT_EQ(b->Table()[3][3], "override");
    b->Events->LayerChecked(5, true);

    b->Events->CommandChosen(BrowserCommand::ShowShadowed);
    EXPECT_EQ(b->Table().size(), 9u);
    EXPECT_EQ(b->Table()[4], (std::vector<std::string>{"c", "2da", "4", "nwn_base.key", "shadowed by override"}));
    b->Events->CommandChosen(BrowserCommand::ShowShadowed);

    b->Events->CommandChosen(BrowserCommand::ShowConflicts);
    EXPECT_EQ(Marks(), (Table{{"b", "differ"}, {"c", "same"}, {"d", "differ"}, {"e", "differ"}}));
    EXPECT_EQ(b->Count, "4 of 5");
    const std::string saved = (dir.path() / "conflicts.txt").string();
    tk.ExpectFileDialog(Mode::Save, "Save conflicts", saved);
    b->Events->CommandChosen(BrowserCommand::SaveConflicts);
    std::vector<std::string> resources; // the lines of the resources, not of their copies
    std::istringstream lines(ReadText(saved));
    for (std::string line; std::getline(lines, line);)
        if (!line.starts_with('\t')) resources.push_back(line);
    const std::string user = (dir.path() / "user").string() + kSep;
    EXPECT_EQ(resources,
              (std::vector<std::string>{"b.2da\tovr " + (dir.path() / "game" / "ovr").string() + "\tdiffer",
                                        "c.2da\toverride " + user + "override\tsame",
                                        "d.2da\thak " + user + "hak" + kSep + "h1.hak\tdiffer",
                                        "e.2da\tdevelopment " + user + "development\tdiffer"}));

    b->Events->RowOpened(0); // b, docked beside the table
    b->Events->RowOpened(1); // c, in its place
    b->Events->CommandChosen(BrowserCommand::DockViewer);
    b->Events->RowOpened(1); // c, in a window of its own
    ASSERT_EQ(tk.Viewers.size(), 3u);
    EXPECT_EQ(b->DockedViewers, 2);
    EXPECT_FALSE(tk.Viewers[0]->Open);
    EXPECT_TRUE(tk.Viewers[1]->Open && tk.Viewers[2]->Open);
    EXPECT_EQ(tk.Viewers[2]->Title, "c.2da - Vellocar");
}

TEST_F(Browser, FiltersAsTypedAndSortsByAnyColumn) {
    struct Case {
        std::string query;
        std::vector<std::string> names;
    };
    for (const Case& c : std::vector<Case>{{"", {"a", "b", "c", "d", "e"}},
                                           {"?.2DA", {"a", "b", "c", "d", "e"}},
                                           {"[a-b]*", {"a", "b"}},
                                           {"type:txt", {}},
                                           {"type:2da", {"a", "b", "c", "d", "e"}},
                                           {"type:2da b", {"b"}},
                                           {"type:2da b.2dax", {}},
                                           {"c", {"c"}}}) {
        b->Events->FilterChanged(c.query);
        std::vector<std::string> names;
        for (const auto& row : b->Table()) names.push_back(row[0]);
        EXPECT_EQ(names, c.names) << c.query;
    }
    EXPECT_EQ(b->Count, "1 of 5");
    b->Events->FilterChanged("");
    b->Events->ColumnClicked(2); // size: 2, 3, 3, 4, 11
    EXPECT_EQ(Marks().front(), (std::vector<std::string>{"d", "wins over 1"}));
    b->Events->ColumnClicked(2);
    EXPECT_EQ(b->SortColumn, 2u);
    EXPECT_FALSE(b->Ascending);
    EXPECT_EQ(b->Table().front()[0], "e");
}

TEST_F(Browser, ExportsCopiesNamesAndDragsTheSelection) {
    b->Select({1, 3}); // b from ovr, d from h1.hak
    EXPECT_EQ(b->Status.substr(0, 10), "2 selected");
    EXPECT_TRUE(b->Command(BrowserCommand::ExportRaw)->Enabled);
    const fs::path out = dir.path() / "out";
    fs::create_directories(out);
    tk.ExpectFolderDialog("Export the selected resources to:", out.string());
    b->Events->CommandChosen(BrowserCommand::ExportRaw);
    EXPECT_EQ(ReadText((out / "b.2da").string()), "ovr");
    EXPECT_EQ(ReadText((out / "d.2da").string()), "h1");
    EXPECT_NE(b->Status.find("2 files exported"), std::string::npos) << b->Status;

    b->Events->CommandChosen(BrowserCommand::CopyName);
    EXPECT_EQ(b->Clipboard, "b.2da\nd.2da");

    const std::vector<std::string> dragged = b->Events->DragStarted();
    ASSERT_EQ(dragged.size(), 2u);
    EXPECT_EQ(ReadText(dragged[1]), "h1");
    const fs::path dragFolder = fs::path(dragged[0]).parent_path();
    b->Events->CloseAsked();
    EXPECT_EQ(browsers.Count(), 0u);
    EXPECT_FALSE(fs::exists(dragFolder)) << "the drag's folder goes with the browser";
}

TEST_F(Browser, OpensWhatItIsGivenAndNamesWhatItCannotRead) {
    const std::string key = (dir.path() / "game/data/nwn_base.key").string();
    const std::string hak = (dir.path() / "user/hak/h1.hak").string();
    const std::string mod = (dir.path() / "user/modules/m.mod").string();
    struct Case {
        std::vector<std::string> arguments;
        std::optional<std::string> browse;
    };
    for (const Case& c : std::vector<Case>{{{"vellocar"}, std::nullopt},
                                           {{"vellocar", "--browse"}, ""},
                                           {{"vellocar", "--browse", key}, key},
                                           {{"vellocar", hak}, hak},
                                           {{"vellocar", key}, std::nullopt},
                                           {{"vellocar", (dir.path() / "nothing").string()}, std::nullopt}})
        EXPECT_EQ(BrowseArgument(c.arguments), c.browse) << c.arguments.back();

    struct Opened {
        std::string path;
        std::vector<std::string> layers;
    };
    for (const Opened& c : std::vector<Opened>{
             {(dir.path() / "game").string(), {"nwn_base.key  3", "ovr  1", "override  2", "development  1"}},
             {key, {"nwn_base.key  3"}},
             {mod, {"override  2", "gone.hak !", "broken.hak !", "h1.hak  2", "m.mod  1", "development  1"}},
             {(dir.path() / "user/override").string(), {"override  2"}},
             {(dir.path() / "user/hak/broken.hak").string(), {"broken.hak !"}}}) {
        browsers.Open(c.path);
        std::vector<std::string> texts;
        for (const BrowserLayer& l : tk.Browsers.back()->Layers) texts.push_back(l.Text + (l.Problem ? " !" : ""));
        EXPECT_EQ(texts, c.layers) << c.path;
    }
}

TEST_F(Browser, BrowseFromTheMainWindowsMenus) {
    const std::string key = OpenStandardArchive();
    tk.ContextMenuAnswer = 0;
    form.LineMenuAsked(ControlId::ListBox1, 0);
    ASSERT_EQ(tk.Browsers.size(), 2u);
    EXPECT_EQ(tk.Browsers[1]->Layers.at(0).Text, "chitin.key  4");
    tk.ContextMenuAnswer = 1;
    form.LineMenuAsked(ControlId::ListBox2, 0);
    EXPECT_EQ(tk.ContextMenus, (Table{{"m", "Other module file..."}, {"Browse..."}, {"View", "Browse..."}}));
    EXPECT_EQ(tk.Browsers.size(), 3u);
    form.BrowseGiven(key);
    EXPECT_EQ(tk.Browsers.size(), 4u);
}

} // namespace
} // namespace vellocar::ui::test
