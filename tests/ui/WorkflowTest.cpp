// Opening a KEY, choosing a BIF and exporting its resources, through the window's entry points.

#include "WindowFixture.h"

#include "base/Errors.h"
#include "platform/Platform.h"

#include <filesystem>
#include <tuple>

namespace vellocar::ui::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kOneBifLines{"alpha.2da", "beta.nss", "gamma.txt"};

using KeyOpening = WindowTest;

TEST_F(KeyOpening, ListsTheBifsAndEnablesStepTwoOnly) {
    const std::string key = WriteArchive(dir.path(), "chitin.key", StandardBifs());
    tk.ListAdd(ControlId::ListBox2, "left over");
    tk.ListUpdates.clear();
    OpenKey(key);

    ASSERT_EQ(tk.FileDialogsShown.size(), 1u);
    EXPECT_EQ(tk.FileDialogsShown[0].Filter, "*.key|*.key");
    EXPECT_EQ(Lines(ControlId::ListBox1), (std::vector<std::string>{"data\\one.bif", "data\\two.bif"}));
    EXPECT_EQ(tk.ListUpdates, std::vector<std::string>{"ListBox1: 2 lines, 2 expected"});
    EXPECT_TRUE(Lines(ControlId::ListBox2).empty());
    for (ControlId id : {ControlId::Label1, ControlId::Label3, ControlId::ListBox1}) EXPECT_TRUE(Enabled(id));
    for (ControlId id : {ControlId::Label2, ControlId::Label5, ControlId::ExportButton}) EXPECT_FALSE(Enabled(id));
    EXPECT_EQ(Caption(ControlId::KeyStatPanel), "Done");
    EXPECT_EQ(Caption(ControlId::BifStatPanel), "");
    EXPECT_EQ(Caption(ControlId::BuildStatPanel), "");
    EXPECT_EQ(Caption(ControlId::ExportButton), "Export BIF to");
    EXPECT_EQ(form.KeyPath, key);
    ASSERT_NE(form.KeyModel, nullptr);
    EXPECT_EQ(form.KeyModel->Filenames.size(), 2u);
    EXPECT_EQ(form.BifModel, nullptr);
    EXPECT_GE(tk.WindowRepaints, 1);
}

TEST_F(KeyOpening, AnEnhancedEditionKeyFindsItsBifsAndExportsThem) {
    // The Enhanced Edition keeps its KEYs in the game's data folder, and names its BIFs from the
    // game folder (data\one.bif): the BIF is one folder up from where a classic KEY looks.
    std::filesystem::create_directories(dir.path() / "data");
    const std::string key =
        WriteArchive(dir.path(), (std::filesystem::path("data") / "nwn_base.key").string(), StandardBifs());
    form.KeyFileGiven(key);
    ChooseBif(0);
    EXPECT_EQ(Caption(ControlId::BifStatPanel), "Done");
    EXPECT_EQ(Lines(ControlId::ListBox2), kOneBifLines);
    EXPECT_TRUE(std::filesystem::equivalent(form.BifPath, dir / "data/one.bif")) << form.BifPath;

    const std::string out = dir / "out";
    std::filesystem::create_directories(out);
    ExportTo(out);
    EXPECT_EQ(FolderEntries(out), kOneBifLines);
    EXPECT_EQ(ReadText(dir / "out/beta.nss"), "void main() {}");
}

TEST_F(KeyOpening, FromOutsideTheWindowAsIfChosenInTheDialog) {
    const std::string key = WriteArchive(dir.path(), "chitin.key", StandardBifs());
    form.KeyFileGiven(key);

    EXPECT_TRUE(tk.FileDialogsShown.empty());
    EXPECT_EQ(Lines(ControlId::ListBox1), (std::vector<std::string>{"data\\one.bif", "data\\two.bif"}));
    for (ControlId id : {ControlId::Label1, ControlId::Label3, ControlId::ListBox1}) EXPECT_TRUE(Enabled(id));
    EXPECT_EQ(Caption(ControlId::KeyStatPanel), "Done");
    EXPECT_EQ(form.KeyPath, key);

    // A file that is no KEY: the usual error box, and the panel keeps "Wait".
    const std::string other = dir / "notes.txt";
    vellocar::test::WriteFile(other, "not a key");
    tk.ExpectMessageContaining({"notes.txt"}, "Vellocar", MessageKind::OkError);
    form.KeyFileGiven(other);
    EXPECT_EQ(Caption(ControlId::KeyStatPanel), "Wait");
    EXPECT_EQ(form.KeyPath, other);
    const std::string bif = dir / "data.key";
    vellocar::test::WriteFile(bif, vellocar::test::BifBytes({}));
    tk.ExpectMessageContaining({"data.key\": it is a BIF, not a KEY"}, "Vellocar", MessageKind::OkError);
    form.KeyFileGiven(bif);
    EXPECT_EQ(Caption(ControlId::KeyStatPanel), "Wait");
}

TEST_F(KeyOpening, AnArchiveIsOneLineWhoseResourcesListViewAndExportByteForByte) {
    const std::tuple<bool, std::string, std::string> cases[] = {
        {false, "mine.hak", "HAK"}, {true, "mine.hak", "HAK"}, {false, "module.key", "MOD"}, {true, "x.erf", "ERF"}};
    for (const auto& [dialog, name, kind] : cases) {
        SCOPED_TRACE(name + (dialog ? " in the dialog" : " from outside"));
        const std::string path = dir / name, all = dir / "all", one = dir / "one";
        for (const std::string& out : {all, one}) fs::remove_all(out), fs::create_directory(out);
        WriteFile(path, ErfBytes({{"alpha", kType2da, "2DA"}, {"beta", kTypeTxt, "b\xff\r\n"}}, {}, kind + " V1.0"));
        dialog ? OpenKey(path) : form.KeyFileGiven(path);
        EXPECT_EQ(Lines(ControlId::ListBox1), std::vector<std::string>{name});
        ChooseBif(0);
        EXPECT_EQ(Lines(ControlId::ListBox2), (std::vector<std::string>{"alpha.2da", "beta.txt"}));
        ExportTo(all);
        EXPECT_EQ(ReadText(dir / "all/alpha.2da") + "|" + ReadText(dir / "all/beta.txt"), "2DA|b\xff\r\n");
        ClickResource(1);
        ExportTo(one);
        EXPECT_EQ(FolderEntries(one), std::vector<std::string>{"beta.txt"});
        form.LineOpened(ControlId::ListBox2, 1);
        EXPECT_EQ(tk.Viewers.back()->Title, "beta.txt - Vellocar");
    }
    WriteFile(dir / "x.hak", BifBytes({}));
    tk.ExpectMessageContaining({"x.hak\": it is a BIF, not a KEY"}, "Vellocar", MessageKind::OkError);
    form.KeyFileGiven(dir / "x.hak");
}

TEST_F(KeyOpening, CancelChangesNothing) {
    OpenStandardArchive();
    ClickResource(1);
    const auto before = Snapshot();
    const auto keyModel = form.KeyModel;
    const std::string keyPath = form.KeyPath;

    tk.ExpectFileDialog(Mode::Open, "", std::nullopt);
    form.Clicked(ControlId::OpenKeyFileButton);

    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(form.KeyModel, keyModel);
    EXPECT_EQ(form.KeyPath, keyPath);
}

TEST_F(KeyOpening, MissingFileIsReportedAndThePanelKeepsWait) {
    OpenStandardArchive();
    const auto oldKey = form.KeyModel;
    const std::string missing = dir / "missing.key";

    tk.ExpectFileDialog(Mode::Open, "", missing);
    tk.ExpectMessageContaining({"Cannot open file", "missing.key"}, "Vellocar", MessageKind::OkError);
    form.Clicked(ControlId::OpenKeyFileButton);

    ASSERT_FALSE(tk.MessagesShown.empty());
    EXPECT_EQ(tk.MessagesShown.back().Text.back(), '.');
    EXPECT_EQ(Caption(ControlId::KeyStatPanel), "Wait");
    EXPECT_EQ(form.KeyPath, missing);
    EXPECT_NE(form.KeyModel, oldKey) << "the new model replaces the old one before it is read";
    // The steps after the failed read did not run.
    EXPECT_EQ(Lines(ControlId::ListBox1), (std::vector<std::string>{"data\\one.bif", "data\\two.bif"}));
    EXPECT_EQ(Lines(ControlId::ListBox2), kOneBifLines);
    // The window goes on: the BIF chosen before still exports.
    const fs::path out = dir.path() / "out";
    fs::create_directory(out);
    ExportTo(out.string());
    EXPECT_EQ(FolderEntries(out), kOneBifLines);
}

using BifChoice = WindowTest;

TEST_F(BifChoice, ListsTheResourcesAndEnablesStepThree) {
    const std::string key = OpenStandardArchive();

    EXPECT_EQ(Lines(ControlId::ListBox2), kOneBifLines);
    EXPECT_EQ(Lines(ControlId::ListBox1), (std::vector<std::string>{"data\\one.bif", "data\\two.bif"}));
    EXPECT_EQ(tk.ListUpdates,
              (std::vector<std::string>{"ListBox1: 2 lines, 2 expected", "ListBox2: 3 lines, 3 expected"}));
    for (ControlId id : {ControlId::Label2, ControlId::Label5, ControlId::ExportButton}) EXPECT_TRUE(Enabled(id));
    EXPECT_EQ(Caption(ControlId::BifStatPanel), "Done");
    EXPECT_EQ(Caption(ControlId::ExportButton), "Export BIF to");
    EXPECT_EQ(form.BifPath, platform::ResolveStoredName(platform::FolderPart(key), "data\\one.bif"));
    EXPECT_TRUE(fs::equivalent(form.BifPath, StoredPath(dir.path(), "data\\one.bif")));
    ASSERT_NE(form.BifModel, nullptr);
    EXPECT_EQ(form.BifModel->KeyFile, form.KeyModel);
}

TEST_F(BifChoice, SelectionChangeWithoutASelectedLineOpensNothing) {
    OpenKey(WriteArchive(dir.path(), "chitin.key", StandardBifs()));
    const auto before = Snapshot();
    form.SelectionChanged(ControlId::ListBox1);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(form.BifModel, nullptr);
    EXPECT_EQ(form.BifPath, "");
}

TEST_F(BifChoice, MissingBifIsReportedAndReplacesTheModel) {
    auto bifs = StandardBifs();
    bifs.push_back({"data\\gone.bif", {{"omega", kTypeTxt, "o"}}});
    OpenKey(WriteArchive(dir.path(), "chitin.key", bifs));
    fs::remove(StoredPath(dir.path(), "data\\gone.bif"));
    ChooseBif(0);
    const TNWNBifFile* first = form.BifModel.get();

    tk.ExpectMessageContaining({"Cannot open file", "gone.bif"}, "Vellocar", MessageKind::OkError);
    ChooseBif(2);

    EXPECT_EQ(Caption(ControlId::BifStatPanel), "Wait");
    ASSERT_NE(form.BifModel, nullptr);
    EXPECT_NE(form.BifModel.get(), first);
    EXPECT_EQ(form.BifModel->Opened.Path, form.BifPath);
    EXPECT_EQ(Lines(ControlId::ListBox2), kOneBifLines);
    EXPECT_TRUE(Enabled(ControlId::ExportButton));
}

TEST_F(BifChoice, ListThatRefusesALineIsReportedAndShownAgain) {
    // Opening a KEY fills ListBox1, choosing a BIF ListBox2; the list stops taking lines at
    // its second one, and its update still ends.
    const struct {
        ControlId List;
        std::string Update;
    } cases[] = {{ControlId::ListBox1, "ListBox1: 1 lines, 2 expected"},
                 {ControlId::ListBox2, "ListBox2: 1 lines, 3 expected"}};
    const std::string key = WriteArchive(dir.path(), "chitin.key", StandardBifs());
    for (const auto& c : cases) {
        OpenKey(key);
        tk.ListUpdates.clear();
        tk.OnListAdd = [&](ControlId id, const std::string&) {
            if (id == c.List && Lines(id).size() == 1) throw EVellocarError("List full");
        };
        if (c.List == ControlId::ListBox1) {
            tk.ExpectFileDialog(Mode::Open, "", key);
            tk.ExpectError("List full.");
            form.Clicked(ControlId::OpenKeyFileButton);
        } else {
            tk.ExpectError("List full.");
            ChooseBif(0);
        }
        tk.OnListAdd = nullptr;

        EXPECT_EQ(tk.ListUpdates, std::vector<std::string>{c.Update});
        EXPECT_EQ(Lines(c.List).size(), 1u);
    }
}

using ExportMode = WindowTest;

TEST_F(ExportMode, ClickInTheResourceListOnlySwitchesTheCaption) {
    OpenStandardArchive();
    tk.ClickLine(ControlId::ListBox2, 1);
    auto expected = Snapshot();
    form.SelectionChanged(ControlId::ListBox2);
    expected[static_cast<std::size_t>(ControlId::ExportButton)].Caption = "Export Selected";
    EXPECT_EQ(Snapshot(), expected);
}

TEST_F(ExportMode, ClickWhileExportIsDisabledStillSwitches) {
    OpenKey(WriteArchive(dir.path(), "chitin.key", StandardBifs()));
    form.SelectionChanged(ControlId::ListBox2);
    EXPECT_EQ(Caption(ControlId::ExportButton), "Export Selected");
    EXPECT_FALSE(Enabled(ControlId::ExportButton));
    ChooseBif(1);
    EXPECT_EQ(Caption(ControlId::ExportButton), "Export BIF to");
}

TEST_F(ExportMode, ClicksOnDisabledCommandsAreIgnored) {
    const auto before = Snapshot();
    form.Clicked(ControlId::ExportButton); // no dialog expected
    form.SelectionChanged(ControlId::ListBox1);
    EXPECT_EQ(Snapshot(), before);
}

class Export : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        out = dir.path() / "out";
        fs::create_directory(out);
    }
    fs::path out;
};

TEST_F(Export, AllResourcesWithProgressThenDone) {
    OpenStandardArchive();
    auto expected = Snapshot();
    expected[static_cast<std::size_t>(ControlId::ExpStatPanel)].Caption = "Done";
    ExportTo(out.string());
    EXPECT_EQ(Snapshot(), expected) << "an export changes only its panel";

    EXPECT_EQ(FolderEntries(out), kOneBifLines);
    EXPECT_EQ(ReadText((out / "alpha.2da").string()), "2DA V2.0\nalpha");
    EXPECT_EQ(ReadText((out / "beta.nss").string()), "void main() {}");
    EXPECT_EQ(ReadText((out / "gamma.txt").string()), "gamma text");
    EXPECT_EQ(Caption(ControlId::ExpStatPanel), "Done");
    EXPECT_EQ(Caption(ControlId::ExportButton), "Export BIF to");
    EXPECT_FALSE(tk.Control(ControlId::Gauge1).Visible);
    EXPECT_EQ(tk.GaugeMax, 2);
    EXPECT_GE(tk.GaugeRepaints, 3);
}

TEST_F(Export, SelectedLinesWithClickShiftAndCtrl) {
    OpenStandardArchive();
    ClickResource(0);
    CtrlClickResource(2);
    ExportTo(out.string());
    EXPECT_EQ(FolderEntries(out), (std::vector<std::string>{"alpha.2da", "gamma.txt"}));
    EXPECT_EQ(Caption(ControlId::ExportButton), "Export Selected");

    const fs::path out2 = dir.path() / "out2";
    fs::create_directory(out2);
    ClickResource(2);
    ShiftClickResource(1);
    ExportTo(out2.string());
    EXPECT_EQ(FolderEntries(out2), (std::vector<std::string>{"beta.nss", "gamma.txt"}));
    EXPECT_EQ(tk.GaugeRepaints, 0) << "the export of selected lines shows no progress";
}

TEST_F(Export, CtrlClickThatDeselectsTheLastLineExportsNothing) {
    OpenStandardArchive();
    ClickResource(1);
    CtrlClickResource(1);
    EXPECT_TRUE(tk.SelectedLines(ControlId::ListBox2).empty());
    EXPECT_EQ(Caption(ControlId::ExportButton), "Export Selected");
    ExportTo(out.string());
    EXPECT_TRUE(FolderEntries(out).empty());
    EXPECT_EQ(Caption(ControlId::ExpStatPanel), "Done");
}

TEST_F(Export, CancelChangesNothingAndWritesNothing) {
    OpenStandardArchive();
    const auto before = Snapshot();
    tk.ExpectFolderDialog("Select target directory:", std::nullopt);
    form.Clicked(ControlId::ExportButton);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(FolderEntries(out).empty());
}

TEST_F(Export, SecondKeyKeepsExportingFromTheBifChosenBefore) {
    WriteArchive(dir.path() / "first", "chitin.key", StandardBifs());
    OpenKey((dir.path() / "first" / "chitin.key").string());
    ChooseBif(0);
    const TNWNBifFile* bif = form.BifModel.get();
    const auto firstKey = form.KeyModel;

    const std::string second =
        WriteArchive(dir.path() / "second", "other.key", {{"data\\three.bif", {{"epsilon", kTypeTxt, "e"}}}});
    std::weak_ptr<TNWNKeyFile> firstKeyAlive = firstKey;
    OpenKey(second);

    EXPECT_EQ(Lines(ControlId::ListBox1), std::vector<std::string>{"data\\three.bif"});
    EXPECT_TRUE(Lines(ControlId::ListBox2).empty());
    EXPECT_TRUE(Enabled(ControlId::ExportButton));
    EXPECT_EQ(form.BifModel.get(), bif);
    EXPECT_EQ(form.BifModel->KeyFile, firstKey) << "the BIF keeps the KEY it was opened with";
    EXPECT_NE(form.KeyModel, firstKey);

    ExportTo(out.string());
    EXPECT_EQ(FolderEntries(out), kOneBifLines);
    EXPECT_FALSE(firstKeyAlive.expired());
}

TEST_F(Export, AnotherBifAfterAClickExportsAllOfIt) {
    OpenStandardArchive();
    ClickResource(0);
    ChooseBif(1);
    EXPECT_EQ(Lines(ControlId::ListBox2), std::vector<std::string>{"delta.txt"});
    ExportTo(out.string());
    EXPECT_EQ(FolderEntries(out), std::vector<std::string>{"delta.txt"});
}

TEST_F(Export, FailureIsReportedAndThePanelKeepsWait) {
    OpenStandardArchive();
    fs::remove(StoredPath(dir.path(), "data\\one.bif"));
    tk.ExpectFolderDialog("Select target directory:", out.string());
    tk.ExpectMessageContaining({"Cannot open file", "one.bif"}, "Vellocar", MessageKind::OkError);
    form.Clicked(ControlId::ExportButton);
    EXPECT_EQ(Caption(ControlId::ExpStatPanel), "Wait");
    EXPECT_TRUE(FolderEntries(out).empty());
}

TEST_F(Export, UnsafeNamesAreSkippedAndListedAfterTheOthersAreWritten) {
    std::vector<ArchiveResource> resources{{"good", kTypeTxt, "g"}};
    for (int i = 0; i < 25; ++i) {
        const std::string n = (i < 10 ? "x/0" : "x/") + std::to_string(i);
        resources.push_back({n, kTypeTxt, "bad"});
    }
    OpenKey(WriteArchive(dir.path(), "chitin.key", {{"data\\one.bif", resources}}));
    ChooseBif(0);

    tk.ExpectFolderDialog("Select target directory:", out.string());
    tk.ExpectMessage("Files extracted.", "", MessageKind::Ok);
    tk.ExpectMessageContaining(
        {"25 resources were not exported", "x/00.txt", "x/19.txt", "and 5 more", "All other resources were exported."},
        "Vellocar", MessageKind::OkWarning);
    form.Clicked(ControlId::ExportButton);

    EXPECT_EQ(FolderEntries(out), std::vector<std::string>{"good.txt"});
    EXPECT_FALSE(fs::exists(dir.path() / "x"));
    ASSERT_EQ(tk.MessagesShown.size(), 2u);
    EXPECT_EQ(tk.MessagesShown[1].Text.find("x/20.txt"), std::string::npos) << "only the first 20 are named";
    EXPECT_EQ(Caption(ControlId::ExpStatPanel), "Done");
}

TEST_F(Export, ResourcesThatShareTheirBytesAskBeforeWritingMoreThanTheBifHolds) {
    // Three entries over one span of 1 MiB: 3 MiB from a BIF of a little over 1 MiB.
    WriteFile(dir / "one.bif", SharedSpanBif(3, 1 << 20));
    WriteFile(dir / "chitin.key", Key().AddBif("one.bif", 3, "r").Write());
    OpenKey(dir / "chitin.key");
    ChooseBif(0);

    tk.ExpectFolderDialog("Select target directory:", out.string());
    tk.ExpectMessage(
        "The resources of this BIF share their bytes: exporting them would write 3145728 bytes from a "
        "BIF of 1048644 bytes.\n\nWrite them all? No stops the export at the BIF's own size.",
        "Vellocar", MessageKind::YesNo, MessageAnswer::No);
    tk.ExpectMessage("Files extracted.", "", MessageKind::Ok);
    tk.ExpectMessageContaining({"1 resource was not exported", "r2.2da", "stopped at the BIF's own size"}, "Vellocar",
                               MessageKind::OkWarning);
    tk.ExpectMessageContaining({"2 resources share their bytes", "r1.2da", "r2.2da"}, "Vellocar",
                               MessageKind::OkWarning);
    form.Clicked(ControlId::ExportButton);
    EXPECT_EQ(FolderEntries(out), (std::vector<std::string>{"r0.2da", "r1.2da"}));
}

} // namespace
} // namespace vellocar::ui::test
