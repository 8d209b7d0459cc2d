#pragma once
// The resource browser, toolkit-neutral: every resource of the layers the game loads (its KEYs,
// ovr, override, a module's HAKs, development, and what the user adds) in one table with a
// filter, a sort, a count, which copy wins, the conflicts, exports and the viewer beside it. What
// the window shows is this object's state; the face's window (BrowserWindow.h) only shows it.

#include "operations/GameKeys.h"
#include "operations/ResourceIndex.h"
#include "Toolkit.h"
#include "Viewer.h"

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::ui {

// What the program was started to browse, from its arguments (UTF-8, the program's name first):
// "--browse PATH" (a game folder, a KEY, an archive of the ERF family or a folder), "--browse"
// alone ("": the game the game-folder search finds), or a single file whose first bytes are an
// archive of the ERF family's (the file manager's "Open with" on a HAK, MOD or ERF). Nothing when
// the main window is what was asked for.
std::optional<std::string> BrowseArgument(const std::vector<std::string>& arguments);

// The layers a browser reads, before they are read.
struct TBrowseLayers {
    std::string GameFolder; // the game's KEYs and ovr folders
    std::string Language = "en"; // the game's folder below lang/
    std::string UserFolder; // its override and development folders, its modules and HAKs
    std::vector<std::string> Keys; // KEYs of their own, lowest first
    std::string Module; // a .mod or a module's folder: its HAKs, found where the game finds them
    std::vector<std::string> Archives; // archives added, a later one winning
    std::vector<std::string> Folders; // folders added, a later one winning
    std::vector<std::string> Problems; // what was asked for and is none of these
};

// Where a browser's game lies, asked for when one is opened (the game-folder search is not free).
struct TBrowseContext {
    std::function<std::string()> GameFolder; // "" when none is found
    std::string UserFolder; // the user's folder of the game (NWN_HOME); "" for none
    // Where it is when NWN_HOME names none, for a game folder (game::DefaultUserFolder).
    std::function<std::string(const std::string& gameFolder)> DefaultUserFolder;
};

// What path asks a browser to show: "" the game context finds; a folder that holds the game's
// KEYs that game; a KEY that KEY alone; an archive of the ERF family that archive added (a MOD's
// HAKs as the module too); any other folder that folder added. The user's folder goes with a
// game or a module only.
TBrowseLayers BrowseLayersOf(const std::string& path, const TBrowseContext& context);

// One browser window over plain state: the layers with their check boxes, the index of the
// checked ones, the filter, the sort and the rows shown.
class TBrowser final : public BrowserEvents, private BrowserRows {
public:
    // Reads the layers (what cannot be read is named, the rest shown), opens the window and shows
    // it. closed: called when the window asks to close; it may destroy this browser.
    TBrowser(Toolkit& toolkit, const TViewerHost& host, TBrowseLayers layers, std::function<void(TBrowser&)> closed,
             TViewerTalk* talk = nullptr);
    ~TBrowser() override;
    TBrowser(const TBrowser&) = delete;
    TBrowser& operator=(const TBrowser&) = delete;

    void Raise();
    // The folders that drags wrote, removed when the browser goes.
    const std::vector<std::string>& DragFolders() const { return dragFolders_; }

    void LayerChecked(std::size_t layer, bool checked) override;
    void FilterChanged(const std::string& text) override;
    void ColumnClicked(std::size_t column) override;
    void RowOpened(std::size_t row) override;
    void SelectionChanged() override;
    void CommandChosen(BrowserCommand command) override;
    std::vector<std::string> DragStarted() override;
    void CloseAsked() override;

private:
    // Where a layer line's resources are in the set, and which part of the game's order it is.
    enum class TSection : std::uint8_t { Keys, BelowHaks, ModuleHaks, Archives, AboveHaks };
    struct TLayerLine {
        TSection Section = TSection::Keys;
        std::optional<std::size_t> Source; // into the set's Keys, Haks or Folders; none: not read
        std::string Name; // "nwn_base.key", "override", "h1.hak"
        std::string Path;
        std::string Problem; // what of it could not be read
        bool Checked = true;
    };
    // A row of the table: an index row's loaded copy, or (Copy > 0) one it shadows.
    struct TShownRow {
        std::uint32_t Row = 0;
        std::uint32_t Copy = 0;
    };
    enum class TDiffer : std::uint8_t { Same, Differ, Unreadable };

    // BrowserRows.
    std::size_t ColumnCount() const override;
    std::string ColumnTitle(std::size_t column) const override;
    bool ColumnRightAligned(std::size_t column) const override;
    std::size_t ColumnWidth(std::size_t column) const override;
    std::size_t RowCount() const override;
    std::string Cell(std::size_t row, std::size_t column) const override;

    void ReadLayers(const TBrowseLayers& layers);
    void AddKey(const std::string& path);
    // A line for what could not even be told apart.
    void AddProblem(const std::string& path, const std::string& problem);
    void AddFolder(const std::string& path, const std::string& role, TSection section);
    void AddArchive(const std::string& path);
    void SetModule(const std::string& module);
    void InsertLine(TLayerLine line);
    TSourceKind KindOf(TSection section) const;

    // The index over the checked layers made anew, and the table shown from it.
    void Reindex();
    // The rows the filter keeps (within the last ones when narrowing), sorted, shown.
    void Refilter(bool narrowing);
    void ShowTable();
    void ShowLayers();
    void ShowCommands();
    void ShowStatus();
    // The Differ column's digests of the rows shown, from the cache or read now.
    void CompareCopies();
    TDiffer DifferOf(std::uint32_t row) const;
    std::string CopyKey(const TIndexRow& row, const TIndexCopy& copy) const;

    std::vector<TResourceHit> SelectedHits() const;
    std::string LayerName(std::uint16_t layer) const;
    void ChooseModule();
    void AddArchiveAsked();
    void AddFolderAsked();
    void View(std::size_t row);
    void Export(BrowserCommand how);
    void CopyName();
    void SaveConflicts();
    // Runs a command: its errors reported, a close asked meanwhile done after it.
    void Run(const std::function<void()>& command);

    Toolkit& toolkit_;
    const TViewerHost& host_;
    std::function<void(TBrowser&)> closed_;
    TViewerTalk* talk_;
    std::string gameFolder_, language_, userFolder_, module_;

    TResourceSet set_;
    std::vector<TLayerLine> lines_; // lowest first, as shown
    std::unique_ptr<TResourceIndex> index_;
    std::vector<std::size_t> lineOfLayer_; // the index's layer to its line
    std::vector<std::uint32_t> filtered_; // the index's rows the filter keeps, sorted
    std::vector<TShownRow> shown_;
    std::string query_;
    std::size_t sortColumn_ = 0;
    bool descending_ = false;
    bool conflicts_ = false, shadowed_ = false, docked_ = true;
    std::map<std::string, TCopyDigest> digests_; // by CopyKey
    std::vector<std::optional<TDiffer>> differ_; // by index row, while the index lasts
    std::string note_; // what the last command did, for the status line
    std::size_t selected_ = 0;
    std::string saveFolder_;
    std::vector<std::string> dragFolders_;
    int running_ = 0;
    bool closeAsked_ = false;

    // The viewers go before the window that holds the docked one.
    std::unique_ptr<BrowserWindow> window_;
    std::list<std::unique_ptr<TViewer>> viewers_; // in windows of their own
    std::unique_ptr<TViewer> dockedViewer_;
};

// The browsers of a program, each modeless.
class TBrowsers {
public:
    TBrowsers(Toolkit& toolkit, TViewerHost host, TBrowseContext context, std::unique_ptr<TViewerTalk> talk = nullptr);
    ~TBrowsers();
    // A browser on what path asks for (BrowseLayersOf).
    TBrowser& Open(const std::string& path);
    std::size_t Count() const { return browsers_.size(); }

private:
    Toolkit& toolkit_;
    TViewerHost host_;
    TBrowseContext context_;
    std::unique_ptr<TViewerTalk> talk_;
    std::list<std::unique_ptr<TBrowser>> browsers_;
};

} // namespace vellocar::ui
