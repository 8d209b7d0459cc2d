// The dialogs' start folders, from where the game was found.

#include "FakeGameFolderSources.h"
#include "WindowFixture.h"

#include <filesystem>

namespace vellocar::ui::test {
namespace {

namespace fs = std::filesystem;
using game::test::FakeGameFolderSources;
using game::test::GameFolderSearch;

class GameFolderPresets : public GameFolderSearch {
protected:
    std::unique_ptr<FakeGameFolderSources> Sources() const { return std::make_unique<FakeGameFolderSources>(sources); }
    FakeToolkit tk;
};

TEST_F(GameFolderPresets, AnEnhancedEditionStartsEveryDialogInItsDataFolder) {
    Install("nwn");
    sources.Variables["NWN_ROOT"] = Path("nwn");
    const std::string data = Path("nwn") + kSep + "data";
    TForm1 form(tk, Sources());
    form.Created();
    EXPECT_EQ(form.OpenDialog2.InitialDir, data);
    EXPECT_EQ(form.SaveDialog1.InitialDir, data);
    EXPECT_EQ(form.SaveDialog2.InitialDir, data);

    // A build restores the BIF dialog's folder to that same folder.
    fs::create_directories(dir.path() / "src");
    tk.ExpectFolderDialog("Select source directory:", Path("src"));
    tk.ExpectFileDialog(Mode::Save, "Choose a name for the NEW BIF", std::nullopt);
    form.Clicked(ControlId::BuildButton);
    EXPECT_EQ(form.SaveDialog1.InitialDir, data);
    tk.VerifyScriptUsed();
}

TEST_F(GameFolderPresets, NwnRootComesBeforeTheRegistryValue) {
    Install("nwn");
    sources.Variables["NWN_ROOT"] = Path("nwn");
    tk.RegistryValue = "C:\\NWN";
    TForm1 form(tk, Sources());
    form.Created();
    EXPECT_EQ(form.OpenDialog2.InitialDir, Path("nwn") + kSep + "data");
}

} // namespace
} // namespace vellocar::ui::test
