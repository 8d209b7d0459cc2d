// The window's life (its dialogs' presets, its start folders, its end), its entry points with
// the application's error handler, and the credit line. The three steps' handlers are in
// Workflows.cpp.

#include "Main.h"

#include "base/Errors.h"
#include "Browser.h"
#include "ControlAdapters.h"
#include "GameLayers.h"
#include "platform/Platform.h"
#include "TalkTables.h"
#include "Viewer.h"

#include <new>
#include <utility>

namespace vellocar::ui {

namespace {

FileDialogSpec SaveDialogPreset(std::string filter, std::string defaultExt, std::string title) {
    FileDialogSpec d;
    d.DialogMode = FileDialogSpec::Mode::Save;
    d.Filter = std::move(filter);
    d.DefaultExt = std::move(defaultExt);
    d.Title = std::move(title);
    d.HideReadOnly = true;
    d.NoChangeDir = true;
    d.ShowHelp = true;
    d.PathMustExist = true;
    d.NoNetworkButton = true;
    d.EnableSizing = true;
    d.OverwritePrompt = false;
    return d;
}

} // namespace

TForm1::TForm1(Toolkit& toolkit, std::unique_ptr<game::GameFolderSources> sources)
    : toolkit_(toolkit),
      resourceList_(std::make_unique<ListBoxResourceList>(toolkit)),
      gauge_(std::make_unique<GaugeAdapter>(toolkit)),
      // This machine's, the registry as the toolkit reads it (on Linux, the Wine prefix's).
      gameFolderSources_(
          sources ? std::move(sources)
                  : game::SystemGameFolderSources([&toolkit](const std::string& key, const std::string& value) {
                        return toolkit.ReadRegistryString(key, value);
                    })),
      viewers_(std::make_unique<TViewers>(
          toolkit, TViewerHost{[this](const std::exception& e) { HandleException(e); }, [this] { return busy_; }},
          // The game's texts of strrefs, from the folder the window's dialogs start in.
          GameViewerTalk([this] { return FoundGame(); }))) {
    // The browsers share the viewers' host, the game the dialogs start in, and the user's folder
    // that the game's own tools take from NWN_HOME.
    browsers_ = std::make_unique<TBrowsers>(
        toolkit, TViewerHost{[this](const std::exception& e) { HandleException(e); }, [this] { return busy_; }},
        TBrowseContext{[this] { return FoundGame(); }, gameFolderSources_->Environment("NWN_HOME").value_or(""),
                       [this](const std::string& gameFolder) {
                           return game::DefaultUserFolder(gameFolder, [this](const std::string& name) {
                               return gameFolderSources_->Environment(name);
                           });
                       }},
        GameViewerTalk([this] { return FoundGame(); }));
    OpenDialog2.DialogMode = FileDialogSpec::Mode::Open;
    OpenDialog2.Filter = "*.key|*.key";
    OpenDialog2.HideReadOnly = true;
    OpenDialog2.EnableSizing = true;

    SaveDialog1 = SaveDialogPreset("*.bif|*.bif", "bif", "BIF Files");
    SaveDialog2 = SaveDialogPreset("*.key|*.key", "key", "KEY Files");
}

TForm1::~TForm1() { FormDestroy(); }

std::string TForm1::FoundGame() {
    // The game's texts of strrefs and the browsers' game: from the folder the window's dialogs
    // start in.
    return FoundGameFolder(*gameFolderSources_,
                           game::ClassicGameFolder(toolkit_.ReadRegistryString(std::string(game::kRegistryKey),
                                                                               std::string(game::kRegistryValue))));
}

TResourceList& TForm1::ResourceList() { return *resourceList_; }
TGauge& TForm1::Gauge() { return *gauge_; }

// ---- Entry points ----------------------------------------------------------------------------

void TForm1::Guarded(const std::function<void()>& handler) {
    // The entry points are called straight from a window procedure or a Qt slot, where an
    // exception must not arrive: even an error box that cannot be shown ends here.
    try {
        try {
            handler();
        } catch (const std::bad_alloc&) {
            // The library's own text for it ("std::bad_alloc") would tell a user nothing.
            HandleException(EVellocarError("Out of memory"));
        } catch (const std::exception& error) {
            HandleException(error);
        } catch (...) {
            HandleException(EVellocarError("An unexpected error occurred; the operation was stopped"));
        }
    } catch (...) {
        // Nothing is left to report it with; the window goes on as the handler left it.
    }
}

void TForm1::Command(ControlId id, void (TForm1::*handler)()) {
    Guarded([this, id, handler] {
        // A nested event during a build's listing, or a click that a toolkit delivers to a
        // disabled control, must not start a second command.
        if (busy_ || !toolkit_.Enabled(id)) return;
        (this->*handler)();
    });
}

void TForm1::Created() {
    Guarded([this] { FormCreate(); });
}

void TForm1::Clicked(ControlId id) {
    switch (id) {
        case ControlId::BuildButton:
            Command(id, &TForm1::BuildButtonClick);
            break;
        case ControlId::OpenKeyFileButton:
            Command(id, &TForm1::OpenKeyFileButtonClick);
            break;
        case ControlId::ExportButton:
            Command(id, &TForm1::ExportButtonClick);
            break;
        case ControlId::Label6:
            Guarded([this] { Label6Click(); });
            break;
        default:
            break;
    }
}

void TForm1::SelectionChanged(ControlId id) {
    switch (id) {
        case ControlId::ListBox1:
            Command(id, &TForm1::ListBox1Click);
            break;
        case ControlId::ListBox2:
            Command(id, &TForm1::ListBox2Click);
            break;
        default:
            break;
    }
}

void TForm1::MouseEnter(ControlId id) {
    if (id == ControlId::Label6) Guarded([this] { Label6MouseEnter(); });
}

void TForm1::MouseLeave(ControlId id) {
    if (id == ControlId::Label6) Guarded([this] { Label6MouseLeave(); });
}

void TForm1::MenuItemClicked(MenuItemId id) {
    switch (id) {
        case MenuItemId::Homepage1:
            Guarded([this] { Homepage1Click(); });
            break;
        case MenuItemId::Email1:
            Guarded([this] { Email1Click(); });
            break;
    }
}

void TForm1::LineOpened(ControlId id, int index) {
    if (id != ControlId::ListBox2) return;
    Guarded([this, id, index] {
        if (busy_ || !toolkit_.Enabled(id)) return;
        ViewResource(index);
    });
}

void TForm1::LineMenuAsked(ControlId id, int index) {
    if ((id != ControlId::ListBox1 && id != ControlId::ListBox2) || index < 0) return;
    Guarded([this, id, index] {
        if (busy_ || !toolkit_.Enabled(id)) return;
        // A browser needs a KEY or an archive: with none open (a build's file list), ListBox2
        // offers its viewer alone, and ListBox1 nothing.
        std::vector<std::string> items;
        if (id == ControlId::ListBox2) items.emplace_back(kViewMenuItem);
        const std::optional<std::size_t> browse =
            KeyPath.empty() ? std::nullopt : std::optional<std::size_t>(items.size());
        if (browse) items.emplace_back(kBrowseMenuItem);
        if (items.empty()) return;
        const std::optional<std::size_t> chosen = toolkit_.RunContextMenu(items);
        if (!chosen) return;
        if (chosen == browse)
            browsers_->Open(KeyPath);
        else
            ViewResource(index);
    });
}

void TForm1::ViewResource(int line) {
    // The list shows the chosen BIF's resources, or, after a build that failed, the files it was
    // to pack: only a resource's line has something to show.
    if (!BifModel || line < 0 || line >= ResourceList().Count()) return;
    viewers_->Open(BifModel->Opened, BifModel->KeyFile.get(), static_cast<std::size_t>(line),
                   ResourceList().Line(line));
}

void TForm1::KeyFileGiven(const std::string& path) {
    Guarded([this, &path] {
        if (busy_ || !toolkit_.Enabled(ControlId::OpenKeyFileButton)) return;
        OpenKeyFile(path);
    });
}

void TForm1::BrowseGiven(const std::string& path) {
    Guarded([this, &path] { browsers_->Open(path); });
}

void TForm1::HandleException(const std::exception& error) {
    std::string text = error.what();
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
    toolkit_.ShowMessage(text, std::string(kMainWindow.ApplicationTitle), MessageKind::OkError);
}

// ---- Start and end ---------------------------------------------------------------------------

void TForm1::FormCreate() {
    constexpr char kSep = platform::kPathSeparator;
    const std::string registryFolder = game::ClassicGameFolder(
        toolkit_.ReadRegistryString(std::string(game::kRegistryKey), std::string(game::kRegistryValue)));
    const game::TGameSearch found = game::FindGame(*gameFolderSources_, registryFolder);
    if (found.Enhanced) {
        // The Enhanced Edition keeps its KEYs in its data folder, and it is where a mod's BIF
        // goes too: every dialog starts there.
        const std::string data = found.Folder + kSep + "data";
        OpenDialog2.InitialDir = data;
        SaveDialog1.InitialDir = data;
        SaveDialog2.InitialDir = data;
        bifDialogFolder_ = data;
        return;
    }
    // The classic game's KEYs lie in its folder, its BIFs in data. When no place holds the
    // game, the dialogs still start where the installer said it was.
    const std::string gameFolder = found.Folder.empty() ? registryFolder : found.Folder;
    OpenDialog2.InitialDir = gameFolder;
    SaveDialog1.InitialDir = OpenDialog2.InitialDir + kSep + "data";
    SaveDialog2.InitialDir = OpenDialog2.InitialDir;
    bifDialogFolder_ = SaveDialog1.InitialDir;
}

void TForm1::FormDestroy() {
    // The BIF model refers to the KEY model it was opened with: it goes first.
    BifModel.reset();
    KeyModel.reset();
}

// ---- The credit line -------------------------------------------------------------------------

void TForm1::Label6MouseEnter() { toolkit_.SetUnderline(ControlId::Label6, true); }
void TForm1::Label6MouseLeave() { toolkit_.SetUnderline(ControlId::Label6, false); }
void TForm1::Label6Click() { toolkit_.PopupMenuBelow(ControlId::Label6); }
void TForm1::Homepage1Click() { toolkit_.ShellOpen(std::string(kHomepageUrl)); }
void TForm1::Email1Click() { toolkit_.ShellOpen("mailto:" + std::string(kEmailAddress)); }

} // namespace vellocar::ui
