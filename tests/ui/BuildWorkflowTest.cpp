// "Create BIF/KEY from": the dialogs, the append question, the files on disk afterwards, and
// the window's commands staying off while the build runs.

#include "WindowFixture.h"

#include "base/Errors.h"
#include "formats/KeyFiles.h"

#include <filesystem>

namespace vellocar::ui::test {
namespace {

namespace fs = std::filesystem;
using vellocar::test::ReadFile;
using vellocar::test::WriteFile;

constexpr std::array<ControlId, 5> kCommands{ControlId::BuildButton, ControlId::OpenKeyFileButton,
                                             ControlId::ExportButton, ControlId::ListBox1, ControlId::ListBox2};

class Build : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        source = dir.path() / "src";
        out = dir.path() / "out";
        fs::create_directory(source);
        fs::create_directory(out);
        // Something other than the preset, to see whether the build restores it.
        form.SaveDialog1.InitialDir = "elsewhere";
    }

    void WriteSources() {
        WriteFile((source / "a.2da").string(), std::string(100, 'a'));
        WriteFile((source / "b.nss").string(), "");
        WriteFile((source / "c.txt").string(), std::string(50, 'c'));
    }

    void ExpectSourceFolder() { tk.ExpectFolderDialog("Select source directory:", source.string()); }
    void ExpectBifName(std::optional<std::string> name) {
        tk.ExpectFileDialog(Mode::Save, "Choose a name for the NEW BIF", std::move(name));
    }
    void ExpectKeyName(std::optional<std::string> name) {
        tk.ExpectFileDialog(Mode::Save, "Select a KEY File or create a new one.", std::move(name));
    }
    void ExpectAppendQuestion(MessageAnswer answer) {
        tk.ExpectMessage("Would you like to append/update to this KEY file?", "KEY File already exists.",
                         MessageKind::YesNo, answer);
    }
    void ExpectSuccess() { tk.ExpectMessage("Process Successful.", "", MessageKind::Ok); }
    void ClickBuild() { form.Clicked(ControlId::BuildButton); }

    static std::vector<std::string> KeyBifNames(const std::string& path) {
        TNWNKeyFile key;
        key.LoadFromFile(path);
        std::vector<std::string> names;
        for (const auto& f : key.Filenames) names.push_back(f.Filename);
        return names;
    }

    fs::path source;
    fs::path out;
};

TEST_F(Build, NewBifAndKeyFromTheFolderWithTheCommandsOffMeanwhile) {
    WriteSources();
    const std::string bif = (out / "my.bif").string();
    const std::string key = (out / "my.key").string();

    ExpectSourceFolder();
    ExpectBifName(bif);
    tk.WhileOpen([&] {
        EXPECT_TRUE(form.Busy());
        for (ControlId id : kCommands) EXPECT_FALSE(Enabled(id)) << LayoutOf(id).Name;
        EXPECT_EQ(Lines(ControlId::ListBox2), (std::vector<std::string>{"a.2da", "b.nss", "c.txt"}));
        EXPECT_EQ(tk.ListUpdates, std::vector<std::string>{"ListBox2: 3 lines, 3 expected"});
        EXPECT_EQ(Caption(ControlId::BuildStatPanel), "Wait");
    });
    ExpectKeyName(key);
    ExpectSuccess();
    ClickBuild();

    EXPECT_EQ(BifResourceCount(bif), 3u);
    EXPECT_EQ(fs::file_size(bif), 218u);
    EXPECT_EQ(KeyBifNames(key), std::vector<std::string>{"data\\my.bif"});
    EXPECT_EQ(FolderEntries(out), (std::vector<std::string>{"my.bif", "my.key"}));

    ASSERT_EQ(tk.FileDialogsShown.size(), 2u);
    EXPECT_EQ(tk.FileDialogsShown[0].Filter, "*.bif|*.bif");
    EXPECT_EQ(tk.FileDialogsShown[0].InitialDir, "elsewhere");
    EXPECT_EQ(tk.FileDialogsShown[1].Filter, "*.key|*.key");
    EXPECT_EQ(form.SaveDialog1.InitialDir, kSep + "data");
    EXPECT_EQ(Caption(ControlId::BuildStatPanel), "Done");
    EXPECT_FALSE(tk.Control(ControlId::Gauge1).Visible);
    EXPECT_EQ(tk.GaugeMax, 2);
    EXPECT_TRUE(Lines(ControlId::ListBox2).empty());
    EXPECT_FALSE(form.Busy());
    // Back as they were before the build: the start state.
    for (ControlId id : kCommands) EXPECT_EQ(Enabled(id), LayoutOf(id).Enabled) << LayoutOf(id).Name;
}

TEST_F(Build, ResetsStepsTwoAndThreeButKeepsTheModels) {
    WriteSources();
    OpenStandardArchive();
    ClickResource(0);
    const auto keyModel = form.KeyModel;
    const TNWNBifFile* bifModel = form.BifModel.get();
    const std::string keyPath = form.KeyPath;
    const std::string bifPath = form.BifPath;

    ExpectSourceFolder();
    ExpectBifName((out / "my.bif").string());
    ExpectKeyName((out / "my.key").string());
    ExpectSuccess();
    ClickBuild();

    EXPECT_EQ(Caption(ControlId::ExportButton), "Export BIF to");
    for (ControlId id :
         {ControlId::ExportButton, ControlId::Label5, ControlId::Label2, ControlId::Label1, ControlId::Label3})
        EXPECT_FALSE(Enabled(id)) << LayoutOf(id).Name;
    EXPECT_TRUE(Enabled(ControlId::ListBox1)) << "the build leaves ListBox1's enabled state alone";
    EXPECT_TRUE(Lines(ControlId::ListBox1).empty());
    EXPECT_TRUE(Lines(ControlId::ListBox2).empty());
    for (ControlId id : {ControlId::KeyStatPanel, ControlId::BifStatPanel, ControlId::ExpStatPanel})
        EXPECT_EQ(Caption(id), "") << LayoutOf(id).Name;
    EXPECT_EQ(Caption(ControlId::BuildStatPanel), "Done");
    EXPECT_EQ(form.KeyModel, keyModel);
    EXPECT_EQ(form.BifModel.get(), bifModel);
    EXPECT_EQ(form.KeyPath, keyPath);
    EXPECT_EQ(form.BifPath, bifPath);
    EXPECT_EQ(BifResourceCount((out / "my.bif").string()), 3u);
}

TEST_F(Build, AnsweringYesExtendsTheExistingKey) {
    WriteSources();
    const std::string key = WriteArchive(dir.path(), "chitin.key", StandardBifs());
    const auto oldKey = ReadFile(key);

    ExpectSourceFolder();
    ExpectBifName(StoredPath(dir.path(), "data\\new.bif"));
    ExpectKeyName(key);
    ExpectAppendQuestion(MessageAnswer::Yes);
    ExpectSuccess();
    ClickBuild();

    EXPECT_EQ(KeyBifNames(key), (std::vector<std::string>{"data\\one.bif", "data\\two.bif", "data\\new.bif"}));
    EXPECT_EQ(ReadFile(key + ".bak"), oldKey);
    EXPECT_EQ(BifResourceCount(StoredPath(dir.path(), "data\\new.bif")), 3u);
    EXPECT_EQ(BifResourceCount(StoredPath(dir.path(), "data\\one.bif")), 3u);
}

TEST_F(Build, AnsweringNoReplacesTheExistingKey) {
    WriteSources();
    const std::string key = WriteArchive(dir.path(), "chitin.key", StandardBifs());
    const auto oldKey = ReadFile(key);

    ExpectSourceFolder();
    ExpectBifName(StoredPath(dir.path(), "data\\new.bif"));
    ExpectKeyName(key);
    ExpectAppendQuestion(MessageAnswer::No);
    ExpectSuccess();
    ClickBuild();

    EXPECT_EQ(KeyBifNames(key), std::vector<std::string>{"data\\new.bif"});
    EXPECT_EQ(ReadFile(key + ".bak"), oldKey);
    EXPECT_EQ(BifResourceCount(StoredPath(dir.path(), "data\\one.bif")), 3u) << "other BIFs stay";
}

TEST_F(Build, CancellingTheSourceFolderKeepsTheBuildPanelAndThePreset) {
    // A first build, cancelled at the BIF name, leaves the panel at "Done".
    ExpectSourceFolder();
    ExpectBifName(std::nullopt);
    ClickBuild();
    form.SaveDialog1.InitialDir = "elsewhere";
    OpenStandardArchive();

    tk.ExpectFolderDialog("Select source directory:", std::nullopt);
    ClickBuild();

    EXPECT_EQ(Caption(ControlId::BuildStatPanel), "Done");
    EXPECT_EQ(Caption(ControlId::ExportButton), "Export BIF to");
    for (ControlId id : {ControlId::ExportButton, ControlId::Label1, ControlId::Label3}) EXPECT_FALSE(Enabled(id));
    EXPECT_TRUE(Enabled(ControlId::ListBox1));
    EXPECT_TRUE(Lines(ControlId::ListBox1).empty());
    EXPECT_TRUE(Lines(ControlId::ListBox2).empty());
    EXPECT_EQ(Caption(ControlId::KeyStatPanel), "");
    EXPECT_EQ(Caption(ControlId::BifStatPanel), "");
    EXPECT_EQ(form.SaveDialog1.InitialDir, "elsewhere");
    EXPECT_EQ(tk.FileDialogsShown.size(), 2u) << "one BIF name dialog and one KEY open dialog, no more";
}

TEST_F(Build, CancellingEitherNameWritesNothingAndStillFinishes) {
    WriteSources();
    for (bool atKey : {false, true}) {
        SCOPED_TRACE(atKey ? "KEY name cancelled" : "BIF name cancelled");
        form.SaveDialog1.InitialDir = "elsewhere";
        ExpectSourceFolder();
        if (atKey) {
            ExpectBifName((out / "my.bif").string());
            ExpectKeyName(std::nullopt);
        } else {
            ExpectBifName(std::nullopt);
        }
        ClickBuild();

        EXPECT_TRUE(FolderEntries(out).empty());
        EXPECT_EQ(Caption(ControlId::BuildStatPanel), "Done");
        EXPECT_TRUE(Lines(ControlId::ListBox2).empty());
        EXPECT_FALSE(tk.Control(ControlId::Gauge1).Visible);
        EXPECT_EQ(form.SaveDialog1.InitialDir, kSep + "data");
        EXPECT_TRUE(Enabled(ControlId::BuildButton));
    }
}

TEST_F(Build, EmptyFolderIsRefusedAndNothingIsWritten) {
    const std::string key = WriteArchive(dir.path(), "chitin.key", StandardBifs());
    const auto oldKey = ReadFile(key);
    fs::create_directory(source / "only-a-folder");

    ExpectSourceFolder();
    ExpectBifName((out / "my.bif").string());
    ExpectKeyName(key);
    ExpectAppendQuestion(MessageAnswer::Yes);
    tk.ExpectMessageContaining({}, "Vellocar", MessageKind::OkError);
    ClickBuild();

    ASSERT_FALSE(tk.MessagesShown.empty());
    EXPECT_FALSE(tk.MessagesShown.back().Text.empty());
    EXPECT_TRUE(FolderEntries(out).empty());
    EXPECT_EQ(ReadFile(key), oldKey);
    EXPECT_FALSE(fs::exists(key + ".bak"));
    EXPECT_EQ(Caption(ControlId::BuildStatPanel), "Wait");
    EXPECT_EQ(form.SaveDialog1.InitialDir, "elsewhere");
    EXPECT_FALSE(form.Busy());
    for (ControlId id : kCommands) EXPECT_EQ(Enabled(id), LayoutOf(id).Enabled) << LayoutOf(id).Name;
}

TEST_F(Build, ListThatRefusesAFileStopsTheBuildAndIsShownAgain) {
    // A file the list could not take would be missing from the BIF: nothing is built.
    WriteSources();
    tk.OnListAdd = [](ControlId, const std::string& line) {
        if (line == "b.nss") throw EVellocarError("List full");
    };
    ExpectSourceFolder();
    tk.ExpectError("List full.");
    ClickBuild();

    EXPECT_EQ(tk.ListUpdates, std::vector<std::string>{"ListBox2: 1 lines, 3 expected"});
    EXPECT_TRUE(FolderEntries(out).empty());
    EXPECT_FALSE(form.Busy());
    for (ControlId id : kCommands) EXPECT_EQ(Enabled(id), LayoutOf(id).Enabled) << LayoutOf(id).Name;
}

TEST_F(Build, RefusedBuildKeepsTheFileListAndGivesTheCommandsBack) {
    WriteSources();
    WriteFile((source / "averyveryverylongname.txt").string(), "long");
    OpenStandardArchive();

    ExpectSourceFolder();
    ExpectBifName((out / "my.bif").string());
    ExpectKeyName((out / "my.key").string());
    tk.ExpectMessageContaining({"averyveryverylongname"}, "Vellocar", MessageKind::OkError);
    ClickBuild();

    EXPECT_TRUE(FolderEntries(out).empty());
    EXPECT_EQ(Lines(ControlId::ListBox2),
              (std::vector<std::string>{"a.2da", "averyveryverylongname.txt", "b.nss", "c.txt"}));
    EXPECT_EQ(Caption(ControlId::BuildStatPanel), "Wait");
    EXPECT_TRUE(Enabled(ControlId::BuildButton));
    EXPECT_TRUE(Enabled(ControlId::OpenKeyFileButton));
    EXPECT_TRUE(Enabled(ControlId::ListBox1));
    EXPECT_TRUE(Enabled(ControlId::ListBox2));
    EXPECT_FALSE(Enabled(ControlId::ExportButton)) << "the build's own reset still holds";
}

TEST_F(Build, CommandsArrivingDuringTheListingAreIgnored) {
    WriteSources();
    OpenStandardArchive();
    bool delivered = false;
    tk.Post([&] {
        delivered = true;
        for (ControlId id : kCommands) EXPECT_FALSE(Enabled(id)) << LayoutOf(id).Name;
        // Each of these would open a dialog or change the list; the script has none for them.
        form.Clicked(ControlId::OpenKeyFileButton);
        form.Clicked(ControlId::ExportButton);
        form.Clicked(ControlId::BuildButton);
        form.SelectionChanged(ControlId::ListBox1);
        form.SelectionChanged(ControlId::ListBox2);
        form.KeyFileGiven(dir / "chitin.key"); // a KEY dropped on the window
        // The credit line is no command and still answers.
        form.MouseEnter(ControlId::Label6);
    });

    ExpectSourceFolder();
    ExpectBifName(std::nullopt);
    ClickBuild();

    EXPECT_TRUE(delivered);
    EXPECT_EQ(Caption(ControlId::ExportButton), "Export BIF to");
    EXPECT_TRUE(tk.Control(ControlId::Label6).Underline);
    EXPECT_EQ(Caption(ControlId::KeyStatPanel), "");
    EXPECT_TRUE(Enabled(ControlId::OpenKeyFileButton));
    EXPECT_TRUE(Enabled(ControlId::ListBox1));
}

} // namespace
} // namespace vellocar::ui::test
