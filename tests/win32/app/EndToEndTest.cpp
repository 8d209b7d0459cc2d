// The three steps of the window worked from a second process as a user works them, with the
// real dialogs answered: build a BIF and KEY from a folder (twice, replacing and then extending
// the KEY), open the KEY, choose a BIF, export everything, then export a selection. After each
// step the files on disk and the window's controls are checked.

#include "AppDriver.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace vellocar::test::win32 {
namespace {

using ui::ControlId;

Bytes Pattern(std::size_t size, unsigned seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
    return bytes;
}

std::string Prefix(const Bytes& bytes, std::size_t n) {
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(n, bytes.size())));
}

class EndToEnd : public ::testing::Test {
protected:
    // What the window shows when a step goes wrong: the box it is showing, if any.
    std::string Showing() {
        std::string text;
        return app->MessageBoxShowing(&text) ? " (the program shows: \"" + text + "\")" : "";
    }

    // Answers the next message box with button; checks its text and title.
    void ExpectBox(const std::string& text, const std::string& title, int button = IDOK) {
        std::string shown;
        const auto box = app->AnswerMessageBox(button, &shown);
        ASSERT_TRUE(box) << "no message box \"" << text << "\"";
        EXPECT_EQ(shown, text);
        EXPECT_EQ(box->Title, title);
    }

    // "Create BIF/KEY from": source folder, BIF name, KEY name, the append answer if asked.
    void Build(const std::string& source, const std::string& bif, const std::string& key,
               std::optional<int> appendAnswer) {
        ASSERT_TRUE(app->Enabled(ControlId::BuildButton));
        app->Click(ControlId::BuildButton);
        std::string why;
        ASSERT_TRUE(app->AnswerFolderDialog(source, "Select source directory:", &why)) << why << Showing();
        ASSERT_TRUE(app->AnswerFileDialog(bif, &why)) << why << Showing();
        ASSERT_TRUE(app->AnswerFileDialog(key, &why)) << why << Showing();
        if (appendAnswer) {
            const auto question = app->WaitForDialog(IsMessageBox);
            ASSERT_TRUE(question) << "no append question";
            HWND yes = GetDlgItem(question->Window, IDYES);
            ASSERT_NE(yes, nullptr);
            EXPECT_TRUE(GetWindowLongPtrA(yes, GWL_STYLE) & BS_DEFPUSHBUTTON) << "Yes is the default";
            ASSERT_NO_FATAL_FAILURE(ExpectBox("Would you like to append/update to this KEY file?",
                                              "KEY File already exists.", *appendAnswer));
        }
        ASSERT_NO_FATAL_FAILURE(ExpectBox("Process Successful.", ""));
        EXPECT_TRUE(app->WaitForCaption(ControlId::BuildStatPanel, "Done"));
        EXPECT_TRUE(ListLines(app->Control(ControlId::ListBox2)).empty());
        EXPECT_FALSE(app->Visible(ControlId::Gauge1));
        EXPECT_FALSE(app->Enabled(ControlId::ExportButton));
    }

    void Export(const std::string& target) {
        ASSERT_TRUE(app->Enabled(ControlId::ExportButton));
        app->Click(ControlId::ExportButton);
        std::string why;
        ASSERT_TRUE(app->AnswerFolderDialog(target, "Select target directory:", &why)) << why << Showing();
        ASSERT_NO_FATAL_FAILURE(ExpectBox("Files extracted.", ""));
        EXPECT_TRUE(app->WaitForCaption(ControlId::ExpStatPanel, "Done"));
        EXPECT_FALSE(app->Visible(ControlId::Gauge1));
    }

    ScratchFolder scratch;
    std::unique_ptr<App> app;
};

TEST_F(EndToEnd, BuildsOpensAndExportsAsAUserWould) {
    const std::string game = scratch.Folder("game");
    scratch.Folder("game\\data");
    const std::string key = game + "\\test.key";
    const std::string bifOne = game + "\\data\\one.bif";
    const std::string bifTwo = game + "\\data\\two.bif";

    const std::map<std::string, Bytes> first{
        {"alpha.2da", Pattern(300, 1)}, {"beta.nss", Pattern(5000, 2)}, {"gamma.txt", Pattern(17, 3)}};
    const std::map<std::string, Bytes> second{{"delta.2da", Pattern(1234, 4)},
                                              {"epsilon.txi", Pattern(70000, 5)},
                                              {"zeta.txt", Pattern(1, 6)},
                                              {"eta.ncs", Pattern(4096, 7)}};
    const std::string srcOne = scratch.Folder("source one");
    const std::string srcTwo = scratch.Folder("source two");
    for (const auto& [name, bytes] : first) WriteFile(srcOne + "\\" + name, bytes);
    for (const auto& [name, bytes] : second) WriteFile(srcTwo + "\\" + name, bytes);
    // A KEY name that is taken (by an old KEY of no entries): the question comes.
    const Bytes oldKey = Key().Write();
    WriteFile(key, oldKey);

    app = std::make_unique<App>(AppPath());
    ASSERT_NE(app->Main(), nullptr);

    // 1. A first build over the existing name, answered No: a new KEY replaces it.
    ASSERT_NO_FATAL_FAILURE(Build(srcOne, bifOne, key, IDNO));
    const Bytes keyAfterFirst = ReadFile(key);
    EXPECT_EQ(Prefix(keyAfterFirst, 8), "KEY V1  ");
    EXPECT_TRUE(Contains(keyAfterFirst, "data\\one.bif"));
    EXPECT_EQ(ReadFile(key + ".bak"), oldKey);
    EXPECT_EQ(Prefix(ReadFile(bifOne), 8), "BIFFV1  ");
    for (const auto& [name, bytes] : first) EXPECT_TRUE(Contains(ReadFile(bifOne), bytes)) << name;

    // 2. A second build into the same KEY, answered Yes: the KEY lists both BIFs.
    ASSERT_NO_FATAL_FAILURE(Build(srcTwo, bifTwo, key, IDYES));
    const Bytes keyAfterSecond = ReadFile(key);
    EXPECT_TRUE(Contains(keyAfterSecond, "data\\one.bif"));
    EXPECT_TRUE(Contains(keyAfterSecond, "data\\two.bif"));
    EXPECT_EQ(ReadFile(key + ".bak"), keyAfterFirst);

    // 3. Open the KEY.
    app->Click(ControlId::OpenKeyFileButton);
    std::string why;
    ASSERT_TRUE(app->AnswerFileDialog(key, &why)) << why << Showing();
    ASSERT_TRUE(app->WaitForCaption(ControlId::KeyStatPanel, "Done")) << Showing();
    const auto bifs = ListLines(app->Control(ControlId::ListBox1));
    EXPECT_EQ(bifs, (std::vector<std::string>{"data\\one.bif", "data\\two.bif"}));
    EXPECT_TRUE(app->Enabled(ControlId::ListBox1));
    EXPECT_TRUE(app->Enabled(ControlId::Label1));
    EXPECT_TRUE(app->Enabled(ControlId::Label3));
    EXPECT_FALSE(app->Enabled(ControlId::ExportButton));

    // 4. Choose the second BIF: its resources are listed.
    const auto two = std::find(bifs.begin(), bifs.end(), "data\\two.bif");
    ASSERT_NE(two, bifs.end());
    app->ChooseLine(ControlId::ListBox1, static_cast<int>(two - bifs.begin()));
    ASSERT_TRUE(app->WaitForCaption(ControlId::BifStatPanel, "Done")) << Showing();
    const auto resources = ListLines(app->Control(ControlId::ListBox2));
    std::set<std::string> expectedNames;
    for (const auto& [name, bytes] : second) expectedNames.insert(name);
    EXPECT_EQ(std::set<std::string>(resources.begin(), resources.end()), expectedNames);
    ASSERT_EQ(resources.size(), second.size());
    EXPECT_TRUE(app->Enabled(ControlId::ExportButton));
    EXPECT_TRUE(app->Enabled(ControlId::Label2));
    EXPECT_TRUE(app->Enabled(ControlId::Label5));
    EXPECT_EQ(app->Caption(ControlId::ExportButton), "Export BIF to");

    // 5. Export everything.
    const std::string outAll = scratch.Folder("out all");
    ASSERT_NO_FATAL_FAILURE(Export(outAll));
    for (const auto& [name, bytes] : second) EXPECT_EQ(ReadFile(outAll + "\\" + name), bytes) << name;

    // 6. Select two lines: the button turns to "Export Selected", and only they are exported.
    app->SelectLines(ControlId::ListBox2, {0, 2});
    ASSERT_TRUE(app->WaitForCaption(ControlId::ExportButton, "Export Selected"));
    const std::string outSome = scratch.Folder("out some");
    ASSERT_NO_FATAL_FAILURE(Export(outSome));
    std::set<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(outSome))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written, (std::set<std::string>{resources[0], resources[2]}));
    for (const auto& name : written) EXPECT_EQ(ReadFile(outSome + "\\" + name), second.at(name)) << name;
    EXPECT_EQ(app->Caption(ControlId::ExportButton), "Export Selected") << "an export keeps the mode";

    EXPECT_EQ(app->Close(), DWORD{0});
}

TEST_F(EndToEnd, CancelledBifNameWritesNothingAndEndsTheBuild) {
    const std::string source = scratch.Folder("source");
    WriteFile(source + "\\only.txt", Pattern(10, 1));
    app = std::make_unique<App>(AppPath());
    ASSERT_NE(app->Main(), nullptr);

    app->Click(ControlId::BuildButton);
    std::string why;
    ASSERT_TRUE(app->AnswerFolderDialog(source, "Select source directory:", &why)) << why;
    const auto dialog = app->WaitForDialog(IsFileDialog);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->Title, "Choose a name for the NEW BIF");
    EXPECT_EQ(app->Caption(ControlId::BuildStatPanel), "Wait");
    EXPECT_EQ(ListLines(app->Control(ControlId::ListBox2)), (std::vector<std::string>{"only.txt"}));
    PostMessageA(GetDlgItem(dialog->Window, IDCANCEL), BM_CLICK, 0, 0);

    EXPECT_TRUE(app->WaitForCaption(ControlId::BuildStatPanel, "Done")) << Showing();
    EXPECT_TRUE(ListLines(app->Control(ControlId::ListBox2)).empty());
    EXPECT_FALSE(app->MessageBoxShowing());
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(source)) ++entries;
    EXPECT_EQ(entries, 1u);
    EXPECT_EQ(app->Close(), DWORD{0});
}

// The game folder from the registry, for the programs started while it lives; the value that
// was there before comes back afterwards.
class GameFolderInRegistry {
public:
    explicit GameFolderInRegistry(const std::string& folder) {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        char old[MAX_PATH] = {};
        DWORD size = sizeof old;
        DWORD type = 0;
        if (RegQueryValueExA(key_, "Location", nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS)
            previous_ = std::make_pair(type, std::string(old, size));
        RegSetValueExA(key_, "Location", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size() + 1));
    }
    ~GameFolderInRegistry() {
        if (previous_)
            RegSetValueExA(key_, "Location", 0, previous_->first,
                           reinterpret_cast<const BYTE*>(previous_->second.data()),
                           static_cast<DWORD>(previous_->second.size()));
        else
            RegDeleteValueA(key_, "Location");
        RegCloseKey(key_);
    }
    GameFolderInRegistry(const GameFolderInRegistry&) = delete;
    GameFolderInRegistry& operator=(const GameFolderInRegistry&) = delete;

private:
    static constexpr const char* kKey = "SOFTWARE\\BioWare\\NWN\\Neverwinter";
    HKEY key_ = nullptr;
    std::optional<std::pair<DWORD, std::string>> previous_;
};

TEST_F(EndToEnd, DialogsStartInTheGameFolderReadFromTheRegistry) {
    const std::string game = scratch.Folder("game");
    scratch.Folder("game\\data");
    const std::string source = scratch.Folder("source");
    WriteFile(source + "\\only.txt", Pattern(99, 9));
    GameFolderInRegistry location(game);
    app = std::make_unique<App>(AppPath());
    ASSERT_NE(app->Main(), nullptr);

    // Bare names land in each dialog's start folder: the BIF in "data", the KEY beside it.
    app->Click(ControlId::BuildButton);
    std::string why;
    ASSERT_TRUE(app->AnswerFolderDialog(source, "Select source directory:", &why)) << why;
    ASSERT_TRUE(app->AnswerFileDialog("fresh.bif", &why)) << why << Showing();
    ASSERT_TRUE(app->AnswerFileDialog("fresh.key", &why)) << why << Showing();
    ASSERT_NO_FATAL_FAILURE(ExpectBox("Process Successful.", ""));
    EXPECT_EQ(ReadFile(game + "\\data\\fresh.bif").size() > 0, true);
    EXPECT_TRUE(Contains(ReadFile(game + "\\fresh.key"), "data\\fresh.bif"));

    app->Click(ControlId::OpenKeyFileButton);
    ASSERT_TRUE(app->AnswerFileDialog("fresh.key", &why)) << why << Showing();
    ASSERT_TRUE(app->WaitForCaption(ControlId::KeyStatPanel, "Done")) << Showing();
    EXPECT_EQ(ListLines(app->Control(ControlId::ListBox1)), (std::vector<std::string>{"data\\fresh.bif"}));
    EXPECT_EQ(app->Close(), DWORD{0});
}

TEST_F(EndToEnd, KeyGivenOnTheCommandLineOpensAtStart) {
    const std::string game = scratch.Folder("my game");
    scratch.Folder("my game\\data");
    const std::string source = scratch.Folder("source");
    WriteFile(source + "\\only.txt", Pattern(99, 9));
    const std::string key = game + "\\mod key.key";
    app = std::make_unique<App>(AppPath());
    ASSERT_NE(app->Main(), nullptr);
    ASSERT_NO_FATAL_FAILURE(Build(source, game + "\\data\\mod.bif", key, std::nullopt));
    EXPECT_EQ(app->Close(), DWORD{0});

    // Quoted, as Explorer passes a name with blanks.
    app = std::make_unique<App>(AppPath(), "\"" + key + "\"");
    ASSERT_NE(app->Main(), nullptr);
    ASSERT_TRUE(app->WaitForCaption(ControlId::KeyStatPanel, "Done")) << Showing();
    EXPECT_EQ(ListLines(app->Control(ControlId::ListBox1)), (std::vector<std::string>{"data\\mod.bif"}));
    EXPECT_TRUE(app->Enabled(ControlId::ListBox1));
    EXPECT_EQ(app->Close(), DWORD{0});

    // A file that is no KEY: the program's error box, and the window goes on.
    app = std::make_unique<App>(AppPath(), "\"" + source + "\\only.txt\"");
    ASSERT_NE(app->Main(), nullptr);
    std::string text;
    const auto box = app->AnswerMessageBox(IDOK, &text);
    ASSERT_TRUE(box) << "no error box";
    EXPECT_EQ(box->Title, "Vellocar");
    EXPECT_NE(text.find("only.txt"), std::string::npos) << text;
    EXPECT_EQ(app->Caption(ControlId::KeyStatPanel), "Wait");
    EXPECT_EQ(app->Close(), DWORD{0});
}

TEST_F(EndToEnd, StartedForABrowserShowsItAloneAndEndsWithIt) {
    const std::string folder = scratch.Folder("loose files");
    WriteFile(folder + "\\appearance.2da", Pattern(40, 3));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + AppPath() + "\" --browse \"" + folder + "\"";
    ASSERT_TRUE(CreateProcessA(AppPath().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    HWND browser = nullptr;
    EXPECT_TRUE(
        WaitFor([&] { return (browser = FindWindowW(L"VellocarBrowser", nullptr)) && IsWindowVisible(browser); }));
    HWND main = FindWindowA(vellocar::win32::kMainWindowClass, nullptr);
    EXPECT_TRUE(main && !IsWindowVisible(main));
    // Its close box: the last browser gone, the program ends.
    PostMessageA(browser, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 1);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_TRUE(ended);
    EXPECT_EQ(code, DWORD{0});
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace
} // namespace vellocar::test::win32
