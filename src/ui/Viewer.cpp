// The viewer of one resource: its view chosen from the resource's type and bytes, its zoom, its
// saves; and the main window's viewers, one per resource.

#include "Viewer.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "media/HexDump.h"
#include "media/TextView.h"
#include "media/TwoDa.h"
#include "names/ArchiveNames.h"
#include "operations/KeyReading.h"
#include "operations/ResourceRead.h"
#include "platform/Platform.h"
#include "platform/PngWriter.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace vellocar::ui {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

std::string Counted(std::uint64_t count, const std::string& one, const std::string& many) {
    return WithThousands(count) + " " + (count == 1 ? one : many);
}

// A name or path as this system spells it, in UTF-8: on Windows in its code page, which the
// program takes as Windows-1252 as the game does; elsewhere already UTF-8.
std::string Utf8OfSystemText(const std::string& text) {
    if constexpr (platform::kHostSpelling == TNameSpelling::CodePage)
        return Windows1252ToUtf8(text);
    else
        return text;
}

// UTF-8 characters in text.
std::size_t Characters(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Windows-1252 text for a text control: the control bytes a text holds by mistake (a NUL would
// end it early) shown as the replacement character.
std::string ShownText(std::span<const std::uint8_t> bytes) {
    const std::string decoded = media::TextOf(bytes);
    std::string text;
    text.reserve(decoded.size());
    for (const char c : decoded) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r')
            text += kReplacement;
        else
            text += c;
    }
    return text;
}

// A 2DA as rows: the row labels, then a column per header field; "****" as the file writes it.
class TwoDaRows final : public ViewerRows {
public:
    explicit TwoDaRows(media::TTwoDa table) : table_(std::move(table)) {
        widths_.push_back(1);
        for (std::size_t c = 0; c < table_.ColumnCount(); ++c) widths_.push_back(Characters(table_.Column(c)));
        // Each row's own cells only: a short row's missing ones all read "****", whose width is
        // taken once, so that a wide header over many short rows costs no more than the file.
        bool shortRow = false;
        for (std::size_t r = 0; r < table_.RowCount(); ++r) {
            const std::size_t cells = table_.CellCount(r);
            shortRow = shortRow || cells < table_.ColumnCount();
            for (std::size_t c = 0; c <= cells; ++c) widths_[c] = std::max(widths_[c], Characters(Cell(r, c)));
        }
        if (shortRow)
            for (std::size_t c = 1; c < widths_.size(); ++c) widths_[c] = std::max(widths_[c], kEmptyCell.size());
    }
    std::size_t ColumnCount() const override { return widths_.size(); }
    std::string ColumnTitle(std::size_t column) const override {
        return column == 0 ? std::string() : table_.Column(column - 1);
    }
    std::size_t ColumnWidth(std::size_t column) const override { return column < widths_.size() ? widths_[column] : 0; }
    std::size_t RowCount() const override { return table_.RowCount(); }
    std::string Cell(std::size_t row, std::size_t column) const override {
        if (row >= table_.RowCount()) return {};
        if (column == 0) return table_.RowLabel(row);
        return table_.Cell(row, column - 1).value_or(std::string(kEmptyCell));
    }
    const media::TTwoDa& Table() const { return table_; }

private:
    static constexpr std::string_view kEmptyCell = "****";
    media::TTwoDa table_;
    std::vector<std::size_t> widths_;
};

// Lines of one column, made when asked: a hex dump of the bytes, or the lines of a long text.
class LineRows final : public ViewerRows {
public:
    // Hex: 16 bytes a line. Text: the lines as the bytes end them.
    LineRows(std::span<const std::uint8_t> bytes, bool hex) : bytes_(bytes), hex_(hex) {
        if (hex) {
            width_ = media::HexDump(bytes.first(std::min(bytes.size(), media::kHexDumpBytesPerLine))).size();
            return;
        }
        starts_.push_back(0);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\n' && i + 1 < bytes.size()) {
                width_ = std::max(width_, i - starts_.back());
                starts_.push_back(i + 1);
            }
        width_ = std::max(width_, bytes.size() - starts_.back());
    }
    std::size_t ColumnCount() const override { return 1; }
    std::string ColumnTitle(std::size_t) const override { return {}; }
    std::size_t ColumnWidth(std::size_t) const override { return width_; }
    std::size_t RowCount() const override {
        return hex_ ? (bytes_.size() + media::kHexDumpBytesPerLine - 1) / media::kHexDumpBytesPerLine : starts_.size();
    }
    std::string Cell(std::size_t row, std::size_t) const override {
        if (row >= RowCount()) return {};
        if (hex_) {
            const std::size_t at = row * media::kHexDumpBytesPerLine;
            std::string line =
                media::HexDump(bytes_.subspan(at, std::min(media::kHexDumpBytesPerLine, bytes_.size() - at)), at);
            if (!line.empty() && line.back() == '\n') line.pop_back();
            return line;
        }
        const std::size_t end = row + 1 < starts_.size() ? starts_[row + 1] : bytes_.size();
        std::string line = ShownText(bytes_.subspan(starts_[row], end - starts_[row]));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        return line;
    }

private:
    std::span<const std::uint8_t> bytes_;
    bool hex_;
    std::vector<std::size_t> starts_;
    std::size_t width_ = 0;
};

FileDialogSpec SaveDialog(std::string title, std::string filter, std::string ext, std::string fileName,
                          std::string folder) {
    FileDialogSpec dialog;
    dialog.DialogMode = FileDialogSpec::Mode::Save;
    dialog.Title = std::move(title);
    dialog.Filter = std::move(filter);
    dialog.DefaultExt = std::move(ext);
    dialog.FileName = std::move(fileName);
    dialog.InitialDir = std::move(folder);
    dialog.HideReadOnly = dialog.NoChangeDir = dialog.PathMustExist = dialog.EnableSizing = true;
    // A name the user picks may be a file of theirs: the dialog asks before it is replaced.
    dialog.OverwritePrompt = true;
    return dialog;
}

} // namespace

// ---- One viewer --------------------------------------------------------------------------------

TViewer::TViewer(Toolkit& toolkit, const TViewerHost& host, TViewedResource resource, std::string& saveFolder,
                 std::function<void(TViewer&)> closed)
    : toolkit_(toolkit),
      host_(host),
      resource_(std::move(resource)),
      saveFolder_(saveFolder),
      closed_(std::move(closed)) {
    // The title in the archive's own spelling of the name, whatever the system.
    window_ = toolkit_.OpenViewerWindow(Windows1252ToUtf8(resource_.Name.Bytes) + " - Vellocar", *this);
    Show();
    window_->Raise();
}

TViewer::~TViewer() = default;

void TViewer::Show() {
    const std::span<const std::uint8_t> bytes = resource_.Bytes;
    if (const auto texture = media::TextureTypeOf(resource_.ResType)) {
        try {
            image_ = media::DecodeTexture(*texture, bytes);
        } catch (const EDecodeError& e) {
            return ShowHex(std::string("Not shown as a picture: ") + e.what());
        }
        pixels_ = media::OverCheckerboard(*image_);
        window_->ShowPictureCommands(true);
        window_->ShowPicture({image_->Width, image_->Height, &pixels_});
        return ApplyZoom();
    }
    if (resource_.ResType == restype::kTwoDa) {
        try {
            auto rows = std::make_unique<TwoDaRows>(media::ParseTwoDa(bytes));
            const media::TTwoDa& table = rows->Table();
            status_ = "2DA table: " + Counted(table.RowCount(), "row", "rows") + ", " +
                Counted(table.ColumnCount(), "column", "columns");
            if (table.Default) status_ += "; DEFAULT: " + *table.Default;
            rows_ = std::move(rows);
            window_->ShowRows(*rows_, false);
            return window_->SetStatus(status_);
        } catch (const ETwoDaError& e) {
            if (!media::IsPrintableText(bytes)) return ShowHex(std::string("Not a 2DA table: ") + e.what());
            return ShowText(std::string("Not read as a 2DA table, ") + e.what() + "; shown as text");
        }
    }
    if (media::ReadsAsText(resource_.ResType, bytes))
        return ShowText("Text, " + Counted(bytes.size(), "byte", "bytes") + ", read as Windows-1252");
    const std::string ext = platform::ShownName(ExtensionOf(resource_.Name));
    ShowHex(ext.empty() ? std::string("A resource of an unknown type") : "No viewer for ." + ext + " resources");
}

void TViewer::ShowText(const std::string& status) {
    status_ = status;
    if (resource_.Bytes.size() <= kMaxWholeText) {
        window_->ShowText(ShownText(resource_.Bytes));
    } else {
        rows_ = std::make_unique<LineRows>(resource_.Bytes, false);
        window_->ShowRows(*rows_, true);
    }
    window_->SetStatus(status_);
}

void TViewer::ShowHex(const std::string& why) {
    status_ = why + "; " + Counted(resource_.Bytes.size(), "byte", "bytes") + " shown in hex";
    rows_ = std::make_unique<LineRows>(resource_.Bytes, true);
    window_->ShowRows(*rows_, true);
    window_->SetStatus(status_);
}

// ---- The picture's zoom ------------------------------------------------------------------------

void TViewer::ZoomChosen(ViewerZoom zoom) {
    zoom_ = zoom;
    ApplyZoom();
}

void TViewer::PictureAreaResized(int width, int height) {
    areaWidth_ = width;
    areaHeight_ = height;
    if (zoom_ == ViewerZoom::Fit) ApplyZoom();
}

void TViewer::ApplyZoom() {
    if (!image_) return;
    double scale = zoom_ == ViewerZoom::Double ? 2.0 : 1.0;
    // Fit: the whole picture in the area, shrunk or enlarged; 1:1 until the area is known.
    if (zoom_ == ViewerZoom::Fit && areaWidth_ > 0 && areaHeight_ > 0)
        scale = std::min(areaWidth_ / static_cast<double>(image_->Width),
                         areaHeight_ / static_cast<double>(image_->Height));
    window_->SetPictureScale(scale, zoom_);
    status_ = PictureStatus(scale);
    window_->SetStatus(status_);
}

std::string TViewer::PictureStatus(double scale) const {
    char percent[32];
    std::snprintf(percent, sizeof percent, "%.0f%%", scale * 100);
    return std::to_string(image_->Width) + " x " + std::to_string(image_->Height) + " pixels, " + image_->Format +
        ", " + Counted(image_->Mipmaps, "mipmap", "mipmaps") + "; shown at " + percent;
}

// ---- Saving ------------------------------------------------------------------------------------

void TViewer::Run(const std::function<void()>& command) {
    ++running_;
    try {
        command();
    } catch (const std::exception& e) {
        host_.ReportError(e);
    }
    --running_;
    // A close asked while a dialog of this window was open.
    if (running_ == 0 && closeAsked_) closed_(*this);
}

std::optional<std::string> TViewer::AskWhere(const FileDialogSpec& dialog) {
    auto path = toolkit_.RunFileDialog(dialog);
    if (path) saveFolder_ = platform::FolderPart(*path);
    return path;
}

void TViewer::Saved(const std::string& what, const std::string& path) {
    window_->SetStatus(status_ + "; " + what + " saved as " + Quoted(Utf8OfSystemText(path)));
}

void TViewer::SavePngClicked() {
    if (!image_ || (host_.Busy && host_.Busy())) return;
    Run([this] {
        const auto path = AskWhere(SaveDialog("Save as PNG", "*.png|*.png", "png",
                                              platform::FileNameOf(StemOf(resource_.Name)) + ".png", saveFolder_));
        if (!path) return;
        // Encoded once the dialog has said where it goes.
        const std::vector<std::uint8_t> png = platform::EncodePng(image_->Width, image_->Height, image_->Rgba);
        SaveResourceFile(*path, png, resource_.BifPath, resource_.KeyPath);
        Saved("PNG", *path);
    });
}

void TViewer::SaveAsClicked() {
    if (host_.Busy && host_.Busy()) return;
    Run([this] {
        const std::string ext = platform::FileNameOf(ExtensionOf(resource_.Name));
        const std::string mask = ext.empty() ? std::string("*.*") : "*." + ext;
        const auto path = AskWhere(SaveDialog("Save as", mask + "|" + mask + "|*.*|*.*", ext,
                                              platform::FileNameOf(resource_.Name), saveFolder_));
        if (!path) return;
        SaveResourceFile(*path, resource_.Bytes, resource_.BifPath, resource_.KeyPath);
        Saved("resource", *path);
    });
}

void TViewer::CloseAsked() {
    if (running_ > 0) {
        closeAsked_ = true;
        return;
    }
    closed_(*this); // may destroy this viewer: nothing after it
}

// ---- The viewers of the window -----------------------------------------------------------------

void TViewers::Open(const TOpenedBif& bif, const TNWNKeyFile* key, std::size_t line, const std::string& listLine) {
    const auto bifIndex = static_cast<std::size_t>(bif.BifIndex);
    if (!key || bif.BifIndex < 0 || bifIndex >= key->Filenames.size()) return;
    const std::vector<TNWNKeyEntry>& entries = key->Filenames[bifIndex].Resources;
    if (line >= entries.size() || platform::ShownName(ResourceLine(entries[line])) != listLine) return;

    const TListedResource listed =
        ListedResource(entries, static_cast<std::uint32_t>(bif.BifIndex), bif.Tables.VarResources, line);
    const std::string identity = bif.Path + '\n' + std::to_string(listed.Index) + '\n' +
        std::to_string(listed.Span.Offset) + '\n' + std::to_string(listed.Span.Size) + '\n' + listed.Name.Bytes;
    if (const auto open = viewers_.find(identity); open != viewers_.end()) return open->second->Raise();

    // Read as an export reads: a build of this KEY that died is put right first, and then what
    // was opened may no longer be what is there.
    const std::string keyPath = key->Path;
    if (!keyPath.empty()) RecoverBeforeReadingAgain(keyPath, "Nothing was shown", "view its files as they are now");
    const std::string shown = platform::ShownName(listed.Name);
    if (ReadSize(listed.Span) > kMaxViewedBytes)
        throw EVellocarError(Quoted(shown) + " is too large to view (" + WithThousands(ReadSize(listed.Span)) +
                             " bytes; the viewer reads at most " + WithThousands(kMaxViewedBytes) +
                             "): export it instead. Nothing was read");
    TViewedResource resource{listed.Name, listed.ResType, {}, bif.Path, keyPath};
    {
        // Open only while it is read: the game, or a build, may want the file next.
        platform::File file = platform::File::OpenRead(bif.Path);
        resource.Bytes = ReadResourceBytes(file, listed.Span, shown);
    }
    viewers_[identity] =
        std::make_unique<TViewer>(toolkit_, host_, std::move(resource), saveFolder_, [this, identity](TViewer&) {
            // The viewer goes, and this function with it: nothing of it is used after the erase.
            const std::string name = identity;
            viewers_.erase(name);
        });
}

} // namespace vellocar::ui
