#pragma once
// One window over the fake toolkit, in a scratch folder, with the gestures a user makes.

#include "ArchiveBytes.h"
#include "FakeGameFolderSources.h"
#include "FakeToolkit.h"
#include "Main.h"
#include "platform/Platform.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>
#include <string>

namespace vellocar::ui::test {

using game::test::FakeGameFolderSources;

using Mode = FileDialogSpec::Mode;
using namespace vellocar::test;

// The game-like set most tests use: chitin.key naming data\one.bif (three resources) and
// data\two.bif (one resource).
inline std::vector<ArchiveBif> StandardBifs() {
    return {
        {"data\\one.bif",
         {{"alpha", kType2da, "2DA V2.0\nalpha"},
          {"beta", kTypeNss, "void main() {}"},
          {"gamma", kTypeTxt, "gamma text"}}},
        {"data\\two.bif", {{"delta", kTypeTxt, "delta"}}},
    };
}

// The number of variable resources in the BIF at path (0 when it cannot be read).
inline std::uint32_t BifResourceCount(const std::string& path) {
    const auto bytes = ReadFile(path);
    return bytes.size() >= 20 ? U32At(bytes, 8) : 0;
}

inline std::string ReadText(const std::string& path) {
    const auto bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

// The names of the entries of a folder, sorted.
inline std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

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
