// The window at start: controls, dialog presets, registry, credit line, error handler, gauge.

#include "WindowFixture.h"

#include "base/Errors.h"

#include <new>
#include <stdexcept>
#include <tuple>

namespace vellocar::ui::test {
namespace {

using StartWindow = WindowTest;

// The window before its start-up code has run: the controls as the toolkit made them.
class NewWindow : public WindowTest {
protected:
    void SetUp() override {}
};

TEST_F(NewWindow, StartingChangesNoControlAndOpensNothing) {
    // The start-up code reads the registry for the dialogs only: every caption, enabled and
    // visible state stays as laid out, so the steps after the first stay locked.
    const auto before = Snapshot();
    form.Created();
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(form.KeyPath.empty());
    EXPECT_TRUE(form.BifPath.empty());
    EXPECT_EQ(form.KeyModel, nullptr);
    EXPECT_EQ(form.BifModel, nullptr);
    EXPECT_FALSE(form.Busy());
}

TEST_F(StartWindow, EachDialogOffersItsFileKindAndLeavesReplacingToTheProgram) {
    // The dialogs as the user meets them: "Open KEY File"'s, then a build's BIF and KEY names.
    tk.ExpectFileDialog(Mode::Open, "", std::nullopt);
    form.Clicked(ControlId::OpenKeyFileButton);
    tk.ExpectFolderDialog("Select source directory:", dir.path().string());
    tk.ExpectFileDialog(Mode::Save, "Choose a name for the NEW BIF", (dir.path() / "new.bif").string());
    tk.ExpectFileDialog(Mode::Save, "Select a KEY File or create a new one.", std::nullopt);
    form.Clicked(ControlId::BuildButton);
    ASSERT_EQ(tk.FileDialogsShown.size(), 3u);

    const FileDialogSpec& open = tk.FileDialogsShown[0];
    EXPECT_EQ(open.Filter, "*.key|*.key");
    EXPECT_EQ(open.DefaultExt, "");
    EXPECT_TRUE(open.HideReadOnly && open.EnableSizing);
    EXPECT_FALSE(open.NoChangeDir || open.ShowHelp || open.PathMustExist || open.NoNetworkButton ||
                 open.OverwritePrompt);
    // A name typed bare gets its kind's extension, and an existing file is not questioned by
    // the dialog: the build asks itself whether to append to a KEY, and keeps what it replaces.
    for (const auto& [dialog, filter, ext] : {std::tuple{&tk.FileDialogsShown[1], "*.bif|*.bif", "bif"},
                                              std::tuple{&tk.FileDialogsShown[2], "*.key|*.key", "key"}}) {
        SCOPED_TRACE(filter);
        EXPECT_EQ(dialog->Filter, filter);
        EXPECT_EQ(dialog->DefaultExt, ext);
        EXPECT_TRUE(dialog->HideReadOnly && dialog->NoChangeDir && dialog->ShowHelp && dialog->PathMustExist &&
                    dialog->NoNetworkButton && dialog->EnableSizing);
        EXPECT_FALSE(dialog->OverwritePrompt);
    }
}

// ---- Registry presets ----

class RegistryPresets : public ::testing::Test {
protected:
    FakeToolkit tk;
};

TEST_F(RegistryPresets, GameFolderPresetsAllThreeDialogs) {
    tk.RegistryValue = "C:\\Games\\NWN";
    TForm1 form(tk, std::make_unique<FakeGameFolderSources>());
    form.Created();
    EXPECT_EQ(tk.RegistryReads, std::vector<std::string>{"SOFTWARE\\BioWare\\NWN\\Neverwinter|Location"});
    EXPECT_EQ(form.OpenDialog2.InitialDir, "C:\\Games\\NWN");
    EXPECT_EQ(form.SaveDialog1.InitialDir, "C:\\Games\\NWN" + kSep + "data");
    EXPECT_EQ(form.SaveDialog2.InitialDir, "C:\\Games\\NWN");
    tk.VerifyScriptUsed();
}

TEST_F(RegistryPresets, ValueIsUsedUnchangedUpToItsFirstZero) {
    tk.RegistryValue = std::string("D:\\nwn\\\0junk", 12);
    TForm1 form(tk, std::make_unique<FakeGameFolderSources>());
    form.Created();
    EXPECT_EQ(form.OpenDialog2.InitialDir, "D:\\nwn\\");
    EXPECT_EQ(form.SaveDialog1.InitialDir, "D:\\nwn\\" + kSep + "data");
}

TEST_F(RegistryPresets, NoValueLeavesOnlyTheDataFolderOfTheRoot) {
    TForm1 form(tk, std::make_unique<FakeGameFolderSources>());
    form.Created();
    EXPECT_EQ(form.OpenDialog2.InitialDir, "");
    EXPECT_EQ(form.SaveDialog1.InitialDir, kSep + "data");
    EXPECT_EQ(form.SaveDialog2.InitialDir, "");
    tk.VerifyScriptUsed();
}

TEST_F(RegistryPresets, ValueOfAnotherTypeIsReportedAndPresetsNothing) {
    tk.RegistryValueNotAString = true;
    // The closing quote lies below '.', so no full stop is added.
    tk.ExpectError("Invalid data type for 'Location'");
    TForm1 form(tk, std::make_unique<FakeGameFolderSources>());
    form.Created();
    EXPECT_EQ(form.OpenDialog2.InitialDir, "");
    EXPECT_EQ(form.SaveDialog1.InitialDir, "");
    EXPECT_EQ(form.SaveDialog2.InitialDir, "");
    tk.VerifyScriptUsed();
}

// ---- Credit line ----

using CreditLine = WindowTest;

TEST_F(CreditLine, HoverUnderlinesAndLeavingRemovesIt) {
    form.MouseEnter(ControlId::Label6);
    EXPECT_TRUE(tk.Control(ControlId::Label6).Underline);
    form.MouseLeave(ControlId::Label6);
    EXPECT_FALSE(tk.Control(ControlId::Label6).Underline);
    // Other controls do not react.
    form.MouseEnter(ControlId::Label1);
    EXPECT_FALSE(tk.Control(ControlId::Label1).Underline);
}

TEST_F(CreditLine, ClickShowsTheMenuBelowTheLabelAndItsItemsOpenTheShell) {
    form.Clicked(ControlId::Label6);
    EXPECT_EQ(tk.PopupAnchors, std::vector<ControlId>{ControlId::Label6});

    form.MenuItemClicked(MenuItemId::Homepage1);
    form.MenuItemClicked(MenuItemId::Email1);
    EXPECT_EQ(tk.ShellTargets,
              (std::vector<std::string>{std::string(kHomepageUrl), "mailto:" + std::string(kEmailAddress)}));
}

TEST_F(CreditLine, FailingShellIsReportedAndTheWindowGoesOn) {
    tk.OnShellOpen = [](const std::string&) { throw 42; };
    tk.ExpectMessageContaining({"unexpected error"}, "Vellocar", MessageKind::OkError);
    form.MenuItemClicked(MenuItemId::Homepage1);
    form.Clicked(ControlId::Label6);
    EXPECT_EQ(tk.PopupAnchors.size(), 1u);
}

// ---- The application's error handler ----

using ErrorHandler = WindowTest;

TEST_F(ErrorHandler, AppendsAFullStopOnlyAfterCharactersAbovePoint) {
    struct Case {
        const char* Message;
        const char* Shown;
    };
    for (const Case& c : {Case{"Stream read error", "Stream read error."}, Case{"Already ends.", "Already ends."},
                          Case{"Dash -", "Dash -"}, // '-' and ' ' lie below '.'
                          Case{"Bang!", "Bang!"}, Case{"Path C:\\x\\", "Path C:\\x\\."}, Case{"Digit 7", "Digit 7."},
                          Case{"\xe9t\xe9", "\xe9t\xe9."}, // a byte above 127 counts as unsigned
                          Case{"", ""}}) {
        tk.ExpectError(c.Shown);
        form.HandleException(std::runtime_error(c.Message));
    }
}

TEST_F(ErrorHandler, ErrorBoxThatFailsItselfDoesNotLeaveTheEntryPoint) {
    // The entry points are called from a window procedure or a Qt slot: nothing may unwind
    // into them, not even a failure while the error is being shown.
    tk.OnShellOpen = [](const std::string&) { throw EVellocarError("No shell"); };
    tk.ExpectError("No shell.");
    tk.WhileOpen([] { throw std::bad_alloc(); });
    EXPECT_NO_THROW(form.MenuItemClicked(MenuItemId::Homepage1));

    // A command fails the same way, and the window still takes the next one.
    tk.ExpectFileDialog(Mode::Open, "", (dir.path() / "missing.key").string());
    tk.ExpectMessageContaining({"missing.key"}, "Vellocar", MessageKind::OkError);
    tk.WhileOpen([] { throw 7; });
    EXPECT_NO_THROW(form.Clicked(ControlId::OpenKeyFileButton));
    EXPECT_EQ(Caption(ControlId::KeyStatPanel), "Wait");

    tk.ExpectFileDialog(Mode::Open, "", std::nullopt);
    form.Clicked(ControlId::OpenKeyFileButton);
}

TEST_F(ErrorHandler, AnAllocationFailureReadsOutOfMemory) {
    tk.OnShellOpen = [](const std::string&) { throw std::bad_alloc(); };
    tk.ExpectError("Out of memory.");
    form.MenuItemClicked(MenuItemId::Email1);
}

// ---- Gauge adapter ----

using GaugeAdapter = WindowTest;

TEST_F(GaugeAdapter, PassesARangeAndShowsTheGauge) {
    TGauge& g = form.Gauge();
    g.SetMinValue(0);
    g.SetMaxValue(4);
    g.SetProgress(3);
    g.Show();
    g.RepaintNow();
    EXPECT_EQ(tk.GaugeMin, 0);
    EXPECT_EQ(tk.GaugeMax, 4);
    EXPECT_EQ(tk.GaugeProgress, 3);
    EXPECT_TRUE(tk.Control(ControlId::Gauge1).Visible);
    EXPECT_EQ(tk.GaugeRepaints, 1);
}

TEST_F(GaugeAdapter, EmptyRangeLeavesTheGaugeAlone) {
    TGauge& g = form.Gauge();
    g.SetMinValue(0);
    g.SetMaxValue(-1);
    g.SetProgress(0);
    g.Show();
    g.RepaintNow();
    for (const std::string& call : tk.GaugeLog) EXPECT_NE(call, "max -1");
    EXPECT_FALSE(tk.Control(ControlId::Gauge1).Visible);
    EXPECT_EQ(tk.GaugeRepaints, 0);

    // A later valid range is applied as usual.
    g.SetMaxValue(0);
    g.Show();
    EXPECT_EQ(tk.GaugeMax, 0);
    EXPECT_TRUE(tk.Control(ControlId::Gauge1).Visible);
}

TEST_F(StartWindow, ResourceListAdapterReadsListBox2) {
    TResourceList& list = form.ResourceList();
    list.Add("a.2da");
    list.Add("b.nss");
    tk.ClickLine(ControlId::ListBox2, 1);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Line(0), "a.2da");
    EXPECT_FALSE(list.Selected(0));
    EXPECT_TRUE(list.Selected(1));
    list.Clear();
    EXPECT_TRUE(Lines(ControlId::ListBox2).empty());
    EXPECT_TRUE(Lines(ControlId::ListBox1).empty());
}

TEST(WindowEnd, ClosingWithNothingOpenedFreesNothingAndDoesNotFail) {
    FakeToolkit tk;
    {
        TForm1 form(tk, std::make_unique<FakeGameFolderSources>());
        form.Created();
        form.FormDestroy();
    }
    tk.VerifyScriptUsed();
}

} // namespace
} // namespace vellocar::ui::test
