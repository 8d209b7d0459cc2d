// The window's three steps: a build from a folder (step 1), opening a KEY and choosing one of
// its BIFs (step 2), and the export of its resources (step 3), with the folder chooser and the
// folder listing that the build and the export use, and the boxes that report what they did.

#include "Main.h"

#include "formats/ErfFiles.h"
#include "names/ArchiveNames.h"
#include "operations/Containers.h"
#include "operations/KeyReading.h"
#include "platform/Platform.h"

#include <array>
#include <cstddef>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace vellocar::ui {

namespace {

constexpr char kSep = platform::kPathSeparator;

constexpr std::string_view kExportAllCaption = "Export BIF to";
constexpr std::string_view kExportSelectedCaption = "Export Selected";
constexpr std::string_view kWait = "Wait";
constexpr std::string_view kDone = "Done";
constexpr std::string_view kListPatternTail = "*.*";

// How many skipped resources the warning after an export names one by one; the rest are
// only counted, so that the box still fits on the screen.
constexpr std::size_t kSkippedShown = 20;

std::string Str(std::string_view text) { return std::string(text); }

// The controls a build turns off while it runs.
constexpr std::array<ControlId, 5> kBuildLockedControls{
    ControlId::BuildButton, ControlId::OpenKeyFileButton, ControlId::ExportButton,
    ControlId::ListBox1,    ControlId::ListBox2,
};

} // namespace

// While a build runs (its listing processes window messages, and its dialogs are modal), the
// window's commands are switched off, so that nothing can change the file list or the models
// under it. The previous enabled states come back on every way out, errors included.
class TForm1::BuildLock {
public:
    explicit BuildLock(TForm1& form) : form_(form), wasBusy_(form.busy_) {
        for (std::size_t i = 0; i < kBuildLockedControls.size(); ++i) {
            enabled_[i] = form_.toolkit_.Enabled(kBuildLockedControls[i]);
            form_.toolkit_.SetEnabled(kBuildLockedControls[i], false);
        }
        form_.busy_ = true;
    }
    ~BuildLock() {
        for (std::size_t i = 0; i < kBuildLockedControls.size(); ++i) {
            try {
                form_.toolkit_.SetEnabled(kBuildLockedControls[i], enabled_[i]);
            } catch (...) {
                // A face that fails here has nothing left to show; the others still come back.
            }
        }
        form_.busy_ = wasBusy_;
    }
    BuildLock(const BuildLock&) = delete;
    BuildLock& operator=(const BuildLock&) = delete;

private:
    TForm1& form_;
    bool wasBusy_;
    std::array<bool, kBuildLockedControls.size()> enabled_{};
};

// ---- Folder chooser and listing --------------------------------------------------------------

bool TForm1::SelectFolder(const std::string& prompt, std::string& folder) {
    if (!folder.empty() && !platform::IsFolder(folder)) folder.clear();
    auto chosen = toolkit_.BrowseForFolder(prompt, folder);
    if (!chosen) return false;
    folder = std::move(*chosen);
    return true;
}

std::vector<std::string> TForm1::ListFolder(const std::string& pattern) {
    std::string folder = pattern;
    if (folder.ends_with(kListPatternTail)) folder.resize(folder.size() - kListPatternTail.size());
    // Drop the separator before the mask, but keep a lone one: it names the root.
    if (folder.size() > 1 && platform::IsPathSeparator(folder.back())) folder.pop_back();

    std::vector<std::string> names = platform::ListPlainFiles(folder);
    if (names.empty()) return names;

    // The messages handled after each line keep the window alive during a long listing (it
    // moves and repaints); they cannot change the list, since a build has the window's
    // commands off. The list itself shows its lines once, when they are all in.
    ListUpdate update(toolkit_, ControlId::ListBox2, names.size());
    ResourceList().Clear();
    for (const std::string& name : names) {
        ResourceList().Add(name);
        toolkit_.ProcessMessages();
    }
    return names;
}

// ---- Workflows -------------------------------------------------------------------------------

void TForm1::BuildButtonClick() {
    // Steps 2 and 3 start over: whatever the build writes, the user opens the KEY again.
    SetExportSelected(false);
    for (ControlId id :
         {ControlId::ExportButton, ControlId::Label5, ControlId::Label2, ControlId::Label1, ControlId::Label3})
        toolkit_.SetEnabled(id, false);
    for (ControlId id : {ControlId::KeyStatPanel, ControlId::BifStatPanel, ControlId::ExpStatPanel})
        toolkit_.SetCaption(id, "");
    toolkit_.ListClear(ControlId::ListBox1);
    ResourceList().Clear();

    std::string folder;
    if (!SelectFolder("Select source directory:", folder)) return;

    BuildLock lock(*this);
    toolkit_.SetCaption(ControlId::BuildStatPanel, Str(kWait));
    // The build packs what the listing found, as the list shows it.
    const std::vector<std::string> files = ListFolder(folder + kSep + Str(kListPatternTail));
    toolkit_.RepaintNow();

    SaveDialog1.Title = "Choose a name for the NEW BIF";
    if (const auto bifFileName = toolkit_.RunFileDialog(SaveDialog1)) {
        SaveDialog2.Title = "Select a KEY File or create a new one.";
        if (const auto keyFileName = toolkit_.RunFileDialog(SaveDialog2)) {
            bool append = false;
            if (platform::PathExists(*keyFileName))
                append = toolkit_.ShowMessage("Would you like to append/update to this KEY file?",
                                              "KEY File already exists.", MessageKind::YesNo) == MessageAnswer::Yes;

            TNWNBifFile builder(ResourceList(), Gauge());
            // Packs made the same byte for byte, when the environment asks for it.
            if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) builder.SourceDateEpoch = epoch;
            // While another build of the same files runs, the panel says so and the window stays
            // alive (its commands are off).
            builder.Waiting = [this](const std::string& message) {
                toolkit_.SetCaption(ControlId::BuildStatPanel, message.empty() ? Str(kWait) : message);
                toolkit_.RepaintNow();
                toolkit_.ProcessMessages();
            };
            // Every failure raises and reaches the error box; getting here means success.
            builder.BuildFrom(folder + kSep, files, *bifFileName, *keyFileName, append);
            toolkit_.ShowMessage("Process Successful.", "", MessageKind::Ok);
            ShowNote(builder.BuildNotes);
        }
    }

    SaveDialog1.InitialDir = bifDialogFolder_;
    toolkit_.SetCaption(ControlId::BuildStatPanel, Str(kDone));
    toolkit_.SetVisible(ControlId::Gauge1, false);
    ResourceList().Clear();
}

void TForm1::OpenKeyFileButtonClick() {
    const auto chosen = toolkit_.RunFileDialog(OpenDialog2);
    if (!chosen) return;
    OpenKeyFile(*chosen);
}

void TForm1::OpenKeyFile(const std::string& path) {
    SetExportSelected(false);
    toolkit_.SetCaption(ControlId::KeyStatPanel, Str(kWait));
    toolkit_.RepaintNow();

    KeyPath = path;
    // The old model goes before the new one is read (a BIF opened with it keeps it alive through
    // its own reference).
    KeyModel.reset();
    ArchiveKind.clear();
    std::vector<std::string> lines;
    // A build of this file that was stopped half-way (of a KEY and its BIFs, or of an archive)
    // is finished or undone first, so that what is read belongs together again. While a build
    // that is still running is waited for, the panel says so.
    const TWaitNotice waiting = [this](const std::string& message) {
        toolkit_.SetCaption(ControlId::KeyStatPanel, message.empty() ? Str(kWait) : message);
        toolkit_.RepaintNow();
    };
    std::string recoveryText = RecoverInterruptedBuild(KeyPath, waiting).Text;
    // What the file is comes from its first bytes, never its name: a HAK renamed .key is listed
    // as the HAK it is, and any other file goes to the KEY's reader, which names what it is.
    if (IsErfArchive(KeyPath)) {
        // Its tables are read now, so that one that cannot be listed is reported here, as a KEY
        // is; choosing its line reads them again, as they are then.
        ArchiveKind = ErfContainer(KeyPath).Kind;
        lines.push_back(platform::FileNamePart(KeyPath));
    } else {
        TKeyRead read = ReadKey(KeyPath, waiting);
        KeyModel = std::move(read.Key);
        if (recoveryText.empty()) recoveryText = std::move(read.Recovery.Text);
        lines.reserve(KeyModel->Filenames.size());
        for (const TNWNFilenameEntry& entry : KeyModel->Filenames)
            lines.push_back(platform::ShownName({entry.Filename}));
    }

    {
        ListUpdate update(toolkit_, ControlId::ListBox1, lines.size());
        toolkit_.ListClear(ControlId::ListBox1);
        ResourceList().Clear();
        for (const std::string& line : lines) toolkit_.ListAdd(ControlId::ListBox1, line);
    }
    for (ControlId id : {ControlId::Label1, ControlId::Label3, ControlId::ListBox1}) toolkit_.SetEnabled(id, true);
    toolkit_.SetCaption(ControlId::KeyStatPanel, Str(kDone));
    if (!recoveryText.empty()) ShowNote({recoveryText});
}

void TForm1::ListBox1Click() {
    // A selection change that leaves no line selected names no BIF: nothing to open. The list
    // holds the KEY model's names, line by line, or an archive's one line (and neither after a
    // file that failed to open).
    const int index = toolkit_.ListItemIndex(ControlId::ListBox1);
    const bool archive = !ArchiveKind.empty();
    if (index < 0) return;
    if (archive ? index != 0 : !KeyModel || static_cast<std::size_t>(index) >= KeyModel->Filenames.size()) return;

    SetExportSelected(false);
    toolkit_.SetCaption(ControlId::BifStatPanel, Str(kWait));
    toolkit_.RepaintNow();

    if (archive) {
        // The archive holds its resources itself: it is the BIF of its one line.
        BifPath = KeyPath;
        BifModel = std::make_unique<TNWNBifFile>(ResourceList(), Gauge());
        BifModel->OpenArchive(BifPath);
    } else {
        // Where the classic game keeps the BIF, else where the Enhanced Edition does. The line
        // shows the name as this system spells it; the entry at its position holds it as stored.
        const TBifLocation location =
            LocateBif(platform::FolderPart(KeyPath), KeyModel->Filenames[static_cast<std::size_t>(index)].Filename);
        BifPath = location.Path;
        BifModel = std::make_unique<TNWNBifFile>(ResourceList(), Gauge());
        // A BIF found in another layout may lie under a path that its stored name does not end,
        // so the chosen line says which entry it is; otherwise Open matches the name in the path.
        if (location.Classic)
            BifModel->Open(BifPath, KeyModel);
        else
            BifModel->Open(BifPath, KeyModel, index);
    }

    for (ControlId id : {ControlId::Label2, ControlId::Label5, ControlId::ExportButton}) toolkit_.SetEnabled(id, true);
    toolkit_.SetCaption(ControlId::BifStatPanel, Str(kDone));
}

void TForm1::ListBox2Click() { SetExportSelected(true); }

void TForm1::SetExportSelected(bool selected) {
    exportSelected_ = selected;
    toolkit_.SetCaption(ControlId::ExportButton, Str(selected ? kExportSelectedCaption : kExportAllCaption));
}

void TForm1::ExportButtonClick() {
    if (!BifModel) return; // the button is only enabled once a BIF has been chosen

    std::string folder;
    if (!SelectFolder("Select target directory:", folder)) return;

    toolkit_.SetCaption(ControlId::ExpStatPanel, Str(kWait));
    toolkit_.RepaintNow();

    const std::string target = folder + kSep;
    // A BIF whose resources share bytes could write far more than it holds: asked first.
    BifModel->AllowOverlaps = [this](std::uint64_t planned, std::uint64_t bifSize) {
        return toolkit_.ShowMessage("The resources of this BIF share their bytes: exporting them would write " +
                                        std::to_string(planned) + " bytes from a BIF of " + std::to_string(bifSize) +
                                        " bytes.\n\nWrite them all? No stops the export at the BIF's own size.",
                                    Str(kMainWindow.ApplicationTitle), MessageKind::YesNo) == MessageAnswer::Yes;
    };
    // Every failure raises; what was left out comes after the box.
    if (exportSelected_)
        BifModel->ExtractSelected(target);
    else
        BifModel->ExtractAll(target);
    toolkit_.ShowMessage("Files extracted.", "", MessageKind::Ok);
    ReportResources(BifModel->Skipped, " resource was not exported:", " resources were not exported:",
                    BifModel->ExportStopped ? "The export stopped at the BIF's own size; all resources before were "
                                              "exported."
                                            : "All other resources were exported.");
    ReportResources(BifModel->Overlapping, " resource shares its bytes with another:",
                    " resources share their bytes with others:", "They were exported as the BIF gives them.");

    toolkit_.SetCaption(ControlId::ExpStatPanel, Str(kDone));
    toolkit_.SetVisible(ControlId::Gauge1, false);
}

void TForm1::ShowNote(const std::vector<std::string>& sentences) {
    std::string text;
    for (const std::string& sentence : sentences) {
        if (sentence.empty()) continue;
        if (!text.empty()) text += "\n\n";
        text += "Vellocar " + sentence + ".";
    }
    if (!text.empty()) toolkit_.ShowMessage(text, Str(kMainWindow.ApplicationTitle), MessageKind::OkWarning);
}

void TForm1::ReportResources(const std::vector<TSkippedResource>& resources, const std::string& one,
                             const std::string& many, const std::string& after) {
    if (resources.empty()) return;

    std::string text = std::to_string(resources.size()) + (resources.size() == 1 ? one : many) + "\n";
    const std::size_t shown = resources.size() < kSkippedShown ? resources.size() : kSkippedShown;
    for (std::size_t i = 0; i < shown; ++i) text += "\n" + resources[i].Name + ": " + resources[i].Reason;
    if (resources.size() > shown) text += "\n... and " + std::to_string(resources.size() - shown) + " more";
    text += "\n\n" + after;
    toolkit_.ShowMessage(text, Str(kMainWindow.ApplicationTitle), MessageKind::OkWarning);
}

} // namespace vellocar::ui
