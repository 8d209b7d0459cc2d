#pragma once
// One window over the fake toolkit, in a scratch folder, with the gestures a user makes.

#include "ArchiveFixtures.h"
#include "FakeGameFolderSources.h"
#include "FakeToolkit.h"
#include "Main.h"
#include "Platform.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace vellocar::ui::test {

using Mode = FileDialogSpec::Mode;

inline const std::string kSep(1, vellocar::platform::kPathSeparator);

class WindowTest : public ::testing::Test {
protected:
    // No game installed, whatever this machine holds.
    WindowTest() : form(tk, std::make_unique<FakeGameFolderSources>()) {}

    void SetUp() override { form.Created(); }
    void TearDown() override { tk.VerifyScriptUsed(); }

    // The state of every control, to compare before and after.
    std::array<FakeControl, kControlCount> Snapshot() const {
        std::array<FakeControl, kControlCount> s;
        for (const ControlSpec& desc : kLayout) s[static_cast<std::size_t>(desc.Id)] = tk.Control(desc.Id);
        return s;
    }

    const std::string& Caption(ControlId id) const { return tk.Control(id).Caption; }
    bool Enabled(ControlId id) const { return tk.Control(id).Enabled; }
    const std::vector<std::string>& Lines(ControlId id) const { return tk.Control(id).Lines; }

    // "Open KEY File", the dialog answered with path.
    void OpenKey(const std::string& path) {
        tk.ExpectFileDialog(Mode::Open, "", path);
        form.Clicked(ControlId::OpenKeyFileButton);
    }
    // A click on a line of ListBox1.
    void ChooseBif(int index) {
        tk.ClickLine(ControlId::ListBox1, index);
        form.SelectionChanged(ControlId::ListBox1);
    }
    void ClickResource(int index) {
        tk.ClickLine(ControlId::ListBox2, index);
        form.SelectionChanged(ControlId::ListBox2);
    }
    void ShiftClickResource(int index) {
        tk.ShiftClickLine(ControlId::ListBox2, index);
        form.SelectionChanged(ControlId::ListBox2);
    }
    void CtrlClickResource(int index) {
        tk.CtrlClickLine(ControlId::ListBox2, index);
        form.SelectionChanged(ControlId::ListBox2);
    }
    // An export into folder that ends with "Files extracted.".
    void ExportTo(const std::string& folder) {
        tk.ExpectFolderDialog("Select target directory:", folder);
        tk.ExpectMessage("Files extracted.", "", MessageKind::Ok);
        form.Clicked(ControlId::ExportButton);
    }

    // The standard archive below the scratch folder, opened, with data\one.bif chosen.
    std::string OpenStandardArchive() {
        const std::string key = WriteArchive(dir.path(), "chitin.key", StandardBifs());
        OpenKey(key);
        ChooseBif(0);
        return key;
    }

    vellocar::test::TempDir dir;
    FakeToolkit tk;
    TForm1 form;
};

} // namespace vellocar::ui::test
