#pragma once
// The viewer of one resource, toolkit-neutral: what its window shows of the resource's bytes (a
// 2DA as a sortable table, text as numbered lines, a texture as a picture over a checkerboard
// with its channels and mipmaps, a GFF as a tree, a talk table or a soundset as a table, anything
// else as a hex dump, with the reason in the status line), finding text in them, its zoom and
// its saves; and the viewers of the main window, one per resource. The face's window
// (ViewerWindow.h) only shows what it is told.

#include "formats/BifFiles.h"
#include "formats/Gff.h"
#include "formats/KeyFiles.h"
#include "formats/Tlk.h"
#include "media/Textures.h"
#include "names/ArchiveNames.h"
#include "Toolkit.h"
#include "ViewerViews.h"
#include "ViewerWindow.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::ui {

// The largest resource a viewer reads (its bytes, and for a picture its pixels twice more, are
// held while it is open): more than any texture or table of the game.
inline constexpr std::uint32_t kMaxViewedBytes = 256u << 20;

// A resource read for viewing, and where it came from.
struct TViewedResource {
    TArchiveName Name; // "name.ext"
    TResType ResType = 0;
    std::vector<std::uint8_t> Bytes;
    std::string BifPath; // saves never write over these
    std::string KeyPath;
};

// What the viewers need from the main window: its error box, and whether a build runs (saves
// wait for its end).
struct TViewerHost {
    std::function<void(const std::exception&)> ReportError;
    std::function<bool()> Busy;
};

// The texts of strrefs for the viewers, and the custom talk table the user opens for those from
// 16,777,216 up; shared by the viewers of a window.
class TViewerTalk {
public:
    virtual ~TViewerTalk() = default;
    virtual std::optional<std::string> Text(std::uint32_t strref) = 0;
    // Reads the talk table at path as the custom one; raises, naming the fault, when it cannot.
    virtual void SetCustomTable(const std::string& path) = 0;
    // Why the game's texts are not there, for the status line; "" when they are.
    virtual std::string Problem() = 0;
};

// The game's dialog.tlk (in the folder gameFolder finds, read on first use) and the custom table.
std::unique_ptr<TViewerTalk> GameViewerTalk(std::function<std::string()> gameFolder);

// Makes a viewer's window: its title and the events it reports.
using TOpenViewerWindow = std::function<std::unique_ptr<ViewerWindow>(const std::string&, ViewerEvents&)>;

class TViewer final : public ViewerEvents {
public:
    // Opens the window and shows the resource. closed is called when the window asks to close;
    // it may destroy this viewer. saveFolder: where the save dialogs start, shared by viewers.
    // talk: the strrefs' texts (nothing: numbers only). openWindow: where the window is made
    // (a browser's docked pane); nothing for a window of its own (Toolkit::OpenViewerWindow).
    TViewer(Toolkit& toolkit, const TViewerHost& host, TViewedResource resource, std::string& saveFolder,
            std::function<void(TViewer&)> closed, TViewerTalk* talk = nullptr,
            const TOpenViewerWindow& openWindow = {});
    ~TViewer() override;

    void Raise() { window_->Raise(); }
    // The texture shown, when the resource is one.
    const media::TShownTexture* Texture() const { return texture_.get(); }

    void ZoomChosen(ViewerZoom zoom) override;
    void PictureAreaResized(int width, int height) override;
    void SavePngClicked() override;
    void SaveAsClicked() override;
    void SaveConvertedClicked() override;
    void ChannelsChosen(ViewerChannels channels) override;
    void MipChosen(std::size_t level) override;
    void PicturePointed(int x, int y) override;
    void ColumnClicked(std::size_t column) override;
    void FindAsked(const std::string& text, bool forward) override;
    void OpenTalkTableClicked() override;
    void CloseAsked() override;

private:
    // What a save converts to.
    enum class TConverted { None, Json, Mp3 };
    // What rows_ shows: a table (proportional), a text's lines or a hex dump (monospace).
    enum class TRowsKind { Table, Lines, Hex };

    void Show();
    bool ShowTexture(media::TTextureType type);
    void ShowTwoDa();
    bool ShowGff(bool byType);
    void ShowTalkTable();
    void ShowSoundset();
    void ShowLines(const std::string& status);
    void ShowHex(const std::string& why);
    void ShowRowsView(std::unique_ptr<ViewerRows> rows, TRowsKind kind, const std::string& status);
    void ShowPictureLevel();
    void ApplyZoom();
    std::string PictureStatus(double scale) const;
    // The status line: what is shown, then what the last command did ("" for nothing).
    void SetStatus(const std::string& note);
    TStrRefText StrRefText();
    // Why the strrefs show no game texts, as a note for the status line ("; ..."), or "".
    std::string TalkProblem();
    // Runs a command of the window: its errors reported, a close asked meanwhile done after it.
    void Run(const std::function<void()>& command);
    // The save dialog's answer; the folder chosen is where the next one starts.
    std::optional<std::string> AskWhere(const FileDialogSpec& dialog);
    void Saved(const std::string& what, const std::string& path);

    Toolkit& toolkit_;
    const TViewerHost& host_;
    TViewedResource resource_;
    std::string& saveFolder_;
    std::function<void(TViewer&)> closed_;
    TViewerTalk* talk_;
    std::unique_ptr<media::TShownTexture> texture_;
    std::unique_ptr<ViewerRows> rows_;
    TwoDaRows* table_ = nullptr; // rows_, when a 2DA: it sorts
    TRowsKind rowsKind_ = TRowsKind::Table;
    std::unique_ptr<gff::TGff> gff_;
    std::unique_ptr<GffTree> tree_;
    std::unique_ptr<tlk::TTalkTable> talkTable_;
    TConverted converted_ = TConverted::None;
    std::optional<std::size_t> sortColumn_;
    bool sortAscending_ = true;
    std::optional<std::size_t> foundRow_;
    ViewerTree::Node foundNode_ = ViewerTree::kViewerRoot;
    std::string status_;
    double scale_ = 1;
    ViewerZoom zoom_ = ViewerZoom::Fit;
    int areaWidth_ = 0, areaHeight_ = 0;
    int running_ = 0;
    bool closeAsked_ = false;
    // Last, so that it goes first: nothing it shows may go before it.
    std::unique_ptr<ViewerWindow> window_;
};

// The viewers of the main window: one per resource, each modeless.
class TViewers {
public:
    // talk: the strrefs' texts that every viewer of the window shares (nothing: numbers only).
    TViewers(Toolkit& toolkit, TViewerHost host, std::unique_ptr<TViewerTalk> talk = nullptr);
    ~TViewers();
    // The viewer of line `line` of the resource list, which shows listLine: read from bif, opened
    // with key (as an export reads it), and opened, or, when it is open, brought forward. Nothing
    // when the line is not one of bif's resources (the list holds a build's files). Raises what
    // the read raises; nothing is opened then.
    void Open(const TOpenedBif& bif, const TNWNKeyFile* key, std::size_t line, const std::string& listLine);
    std::size_t Count() const { return viewers_.size(); }

private:
    Toolkit& toolkit_;
    TViewerHost host_;
    std::unique_ptr<TViewerTalk> talk_;
    std::string saveFolder_;
    // By the BIF's path and the resource's place in it.
    std::map<std::string, std::unique_ptr<TViewer>> viewers_;
};

} // namespace vellocar::ui
