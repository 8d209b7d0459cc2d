#pragma once
// The viewer of one resource, toolkit-neutral: what its window shows of the resource's bytes (a
// 2DA as a table, text as text, a texture as a picture over a checkerboard, anything else as a
// hex dump, with the reason in the status line), its zoom and its two saves; and the viewers of
// the main window, one per resource. The face's window (ViewerWindow.h) only shows what it is
// told.

#include "formats/BifFiles.h"
#include "formats/KeyFiles.h"
#include "media/Textures.h"
#include "names/ArchiveNames.h"
#include "Toolkit.h"
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
// Text up to this size is shown whole; longer text a line at a time, as it comes into sight.
inline constexpr std::size_t kMaxWholeText = 1u << 20;

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

class TViewer final : public ViewerEvents {
public:
    // Opens the window and shows the resource. closed is called when the window asks to close;
    // it may destroy this viewer. saveFolder: where the save dialogs start, shared by viewers.
    TViewer(Toolkit& toolkit, const TViewerHost& host, TViewedResource resource, std::string& saveFolder,
            std::function<void(TViewer&)> closed);
    ~TViewer() override;

    void Raise() { window_->Raise(); }
    // The picture shown (its pixels top first), when the resource is one.
    const std::optional<media::TImage>& Image() const { return image_; }

    void ZoomChosen(ViewerZoom zoom) override;
    void PictureAreaResized(int width, int height) override;
    void SavePngClicked() override;
    void SaveAsClicked() override;
    void CloseAsked() override;
    // Not yet offered.
    void SaveConvertedClicked() override {}
    void ChannelsChosen(ViewerChannels) override {}
    void MipChosen(std::size_t) override {}
    void PicturePointed(int, int) override {}
    void ColumnClicked(std::size_t) override {}
    void FindAsked(const std::string&, bool) override {}
    void OpenTalkTableClicked() override {}

private:
    void Show();
    void ShowText(const std::string& status);
    void ShowHex(const std::string& why);
    void ApplyZoom();
    std::string PictureStatus(double scale) const;
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
    std::unique_ptr<ViewerRows> rows_;
    std::optional<media::TImage> image_;
    std::vector<std::uint32_t> pixels_;
    std::string status_;
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
    TViewers(Toolkit& toolkit, TViewerHost host) : toolkit_(toolkit), host_(std::move(host)) {}
    // The viewer of line `line` of the resource list, which shows listLine: read from bif, opened
    // with key (as an export reads it), and opened, or, when it is open, brought forward. Nothing
    // when the line is not one of bif's resources (the list holds a build's files). Raises what
    // the read raises; nothing is opened then.
    void Open(const TOpenedBif& bif, const TNWNKeyFile* key, std::size_t line, const std::string& listLine);
    std::size_t Count() const { return viewers_.size(); }

private:
    Toolkit& toolkit_;
    TViewerHost host_;
    std::string saveFolder_;
    // By the BIF's path and the resource's place in it.
    std::map<std::string, std::unique_ptr<TViewer>> viewers_;
};

} // namespace vellocar::ui
