// The viewer of one resource: its view chosen from the resource's type and bytes, its tools
// (channels, mipmaps, the pixel under the mouse, zoom; sort and find), its saves; and the main
// window's viewers, one per resource.

#include "Viewer.h"

#include "TalkTables.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "formats/GffJson.h"
#include "media/TextView.h"
#include "media/TwoDa.h"
#include "names/ArchiveNames.h"
#include "operations/KeyReading.h"
#include "operations/ResourceRead.h"
#include "platform/Platform.h"
#include "platform/PngWriter.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace vellocar::ui {

namespace {

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

// The resource types shown other than by their bytes: talk tables, soundsets, music, and the
// types the game keeps as GFF.
constexpr TResType kBmu = 8;
constexpr TResType kTlk = 2018;
constexpr TResType kSsf = 2060;
constexpr std::array<TResType, 30> kGffTypes{
    2012, // are
    2014, // ifo
    2015, // bic
    2023, // git
    2024, // bti
    2025, // uti
    2026, // btc
    2027, // utc
    2029, // dlg
    2030, // itp
    2031, // btt
    2032, // utt
    2034, // bts
    2035, // uts
    2037, // gff
    2038, // fac
    2039, // bte
    2040, // ute
    2041, // btd
    2042, // utd
    2043, // btp
    2044, // utp
    2046, // gic
    2047, // gui
    2050, // btm
    2051, // utm
    2054, // btg
    2055, // utg
    2056, // jrl
    2058, // utw
};

bool IsGffType(TResType type) { return std::find(kGffTypes.begin(), kGffTypes.end(), type) != kGffTypes.end(); }

// Bytes that start as a GFF does: a file type of four letters, digits or blanks, "V3.2", and the
// struct table right after the 56-byte header.
bool LooksLikeGff(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kHeader = 56;
    if (bytes.size() < kHeader) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint8_t c = bytes[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ')) return false;
    }
    return std::equal(bytes.begin() + 4, bytes.begin() + 8, "V3.2") && bytes[8] == kHeader && bytes[9] == 0 &&
        bytes[10] == 0 && bytes[11] == 0;
}

media::TChannels MediaChannels(ViewerChannels channels) {
    switch (channels) {
        case ViewerChannels::Rgb:
            return media::TChannels::Rgb;
        case ViewerChannels::Alpha:
            return media::TChannels::Alpha;
        case ViewerChannels::Rgba:
            break;
    }
    return media::TChannels::Rgba;
}

ViewerChannels WindowChannels(media::TChannels channels) {
    return channels == media::TChannels::Rgb  ? ViewerChannels::Rgb
        : channels == media::TChannels::Alpha ? ViewerChannels::Alpha
                                              : ViewerChannels::Rgba;
}

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
                 std::function<void(TViewer&)> closed, TViewerTalk* talk, const TOpenViewerWindow& openWindow)
    : toolkit_(toolkit),
      host_(host),
      resource_(std::move(resource)),
      saveFolder_(saveFolder),
      closed_(std::move(closed)),
      talk_(talk) {
    // The title in the archive's own spelling of the name, whatever the system.
    const std::string title = Windows1252ToUtf8(resource_.Name.Bytes) + " - Vellocar";
    window_ = openWindow ? openWindow(title, *this) : toolkit_.OpenViewerWindow(title, *this);
    Show();
    window_->Raise();
}

TViewer::~TViewer() = default;

std::string TViewer::TalkProblem() {
    const std::string problem = talk_ ? talk_->Problem() : std::string();
    return problem.empty() ? problem : "; " + problem;
}

TStrRefText TViewer::StrRefText() {
    if (!talk_) return {};
    return [talk = talk_](std::uint32_t strref) { return talk->Text(strref); };
}

void TViewer::Show() {
    const std::span<const std::uint8_t> bytes = resource_.Bytes;
    const TResType type = resource_.ResType;
    if (const auto texture = media::TextureTypeOf(type))
        if (ShowTexture(*texture)) return;
    if (type == restype::kTwoDa) return ShowTwoDa();
    if (type == kTlk) return ShowTalkTable();
    if (type == kSsf) return ShowSoundset();
    if (type == kBmu) {
        converted_ = TConverted::Mp3;
        window_->ShowConvertedSave("Save as MP3...");
        const std::size_t mp3 = tlk::Mp3OfBmu(bytes).size();
        return ShowHex(mp3 == bytes.size() ? std::string("Music (BMU) without its header, a plain MP3")
                                           : "Music (BMU): an MP3 of " + Counted(mp3, "byte", "bytes") +
                               " behind its " + std::to_string(bytes.size() - mp3) + "-byte header");
    }
    if (IsGffType(type) || LooksLikeGff(bytes))
        if (ShowGff(IsGffType(type))) return;
    if (media::ReadsAsText(type, bytes))
        return ShowLines("Text, " + Counted(bytes.size(), "byte", "bytes") + ", read as Windows-1252");
    const std::string ext = platform::ShownName(ExtensionOf(resource_.Name));
    ShowHex(ext.empty() ? std::string("A resource of an unknown type") : "No viewer for ." + ext + " resources");
}

void TViewer::ShowRowsView(std::unique_ptr<ViewerRows> rows, TRowsKind kind, const std::string& status) {
    // The window lets go of the rows before shown only when it is given the new ones.
    window_->ShowRows(*rows, kind != TRowsKind::Table);
    rows_ = std::move(rows);
    rowsKind_ = kind;
    table_ = nullptr;
    status_ = status;
    foundRow_.reset();
    SetStatus("");
}

void TViewer::ShowTwoDa() {
    const std::span<const std::uint8_t> bytes = resource_.Bytes;
    try {
        auto rows = std::make_unique<TwoDaRows>(media::ParseTwoDa(bytes), StrRefText());
        const media::TTwoDa& table = rows->Table();
        std::string status = "2DA table: " + Counted(table.RowCount(), "row", "rows") + ", " +
            Counted(table.ColumnCount(), "column", "columns");
        if (table.Default) status += "; DEFAULT: " + *table.Default;
        bool strrefs = false;
        for (std::size_t c = 0; c < table.ColumnCount(); ++c) strrefs = strrefs || IsStrRefColumn(table.Column(c));
        window_->ShowTalkTableCommand(strrefs && talk_);
        if (strrefs) status += TalkProblem();
        TwoDaRows* sortable = rows.get();
        ShowRowsView(std::move(rows), TRowsKind::Table, status);
        table_ = sortable;
        sortColumn_.reset();
    } catch (const ETwoDaError& e) {
        if (!media::IsPrintableText(bytes)) return ShowHex(std::string("Not a 2DA table: ") + e.what());
        // The line it names is there to see, selected.
        ShowLines(std::string("Not read as a 2DA table, ") + e.what() + "; shown as text");
        if (e.Line > 0 && e.Line <= rows_->RowCount()) window_->SelectRow(e.Line - 1);
    }
}

bool TViewer::ShowGff(bool byType) {
    std::unique_ptr<gff::TGff> gff;
    try {
        gff = std::make_unique<gff::TGff>(gff::ReadGff(resource_.Bytes));
    } catch (const EVellocarError& e) {
        if (!byType) return false;
        ShowHex(std::string("Not read as a GFF: ") + e.what());
        return true;
    }
    auto tree = std::make_unique<GffTree>(*gff, StrRefText());
    // The window lets go of the tree before shown only when it is given the new one.
    window_->ShowTree(*tree);
    tree_ = std::move(tree);
    gff_ = std::move(gff);
    window_->ShowTalkTableCommand(talk_ != nullptr);
    converted_ = TConverted::Json;
    window_->ShowConvertedSave("Save as JSON...");
    std::string type = Printable(gff_->FileType);
    while (!type.empty() && type.back() == ' ') type.pop_back();
    status_ = "GFF " + gff_->FileVersion + ", " + type + ": " + Counted(gff_->Fields.size(), "field", "fields") +
        " in " + Counted(gff_->Structs.size(), "struct", "structs") + TalkProblem();
    foundNode_ = ViewerTree::kViewerRoot;
    SetStatus("");
    return true;
}

void TViewer::ShowTalkTable() {
    try {
        talkTable_ = std::make_unique<tlk::TTalkTable>(tlk::TTalkTable::Read(resource_.Bytes));
    } catch (const EVellocarError& e) {
        return ShowHex(std::string("Not read as a talk table: ") + e.what());
    }
    ShowRowsView(std::make_unique<TalkRows>(*talkTable_), TRowsKind::Table,
                 "Talk table: " + Counted(talkTable_->Count(), "string", "strings") + ", language " +
                     std::to_string(talkTable_->Language()) + " (" + GffLanguageName(talkTable_->Language() * 2) +
                     "), code page " + std::to_string(talkTable_->CodePage()));
}

void TViewer::ShowSoundset() {
    std::vector<tlk::TSsfEntry> sounds;
    try {
        sounds = tlk::ReadSsf(resource_.Bytes);
    } catch (const EVellocarError& e) {
        return ShowHex(std::string("Not read as a soundset: ") + e.what());
    }
    const std::size_t count = sounds.size();
    window_->ShowTalkTableCommand(talk_ != nullptr);
    ShowRowsView(std::make_unique<SoundsetRows>(std::move(sounds), StrRefText()), TRowsKind::Table,
                 "Soundset: " + Counted(count, "sound", "sounds") + TalkProblem());
}

void TViewer::ShowLines(const std::string& status) {
    auto rows = std::make_unique<LineRows>(resource_.Bytes, false);
    const std::size_t count = rows->RowCount();
    ShowRowsView(std::move(rows), TRowsKind::Lines, status + ", " + Counted(count, "line", "lines"));
}

void TViewer::ShowHex(const std::string& why) {
    ShowRowsView(std::make_unique<LineRows>(resource_.Bytes, true), TRowsKind::Hex,
                 why + "; " + Counted(resource_.Bytes.size(), "byte", "bytes") + " shown in hex");
}

void TViewer::SetStatus(const std::string& note) { window_->SetStatus(note.empty() ? status_ : status_ + "; " + note); }

// ---- The picture ---------------------------------------------------------------------------------

bool TViewer::ShowTexture(media::TTextureType type) {
    try {
        texture_ = std::make_unique<media::TShownTexture>(type, resource_.Bytes);
    } catch (const EDecodeError& e) {
        ShowHex(std::string("Not shown as a picture: ") + e.what());
        return true;
    }
    window_->ShowPictureCommands(true);
    ShowPictureLevel();
    return true;
}

void TViewer::ShowPictureLevel() {
    std::vector<std::string> mips;
    for (const media::TLevelSides& level : texture_->Levels())
        mips.push_back(std::to_string(level.Width) + " x " + std::to_string(level.Height));
    window_->SetPictureChoices(mips, texture_->Level(), WindowChannels(texture_->Channels()));
    window_->ShowPicture({texture_->Width(), texture_->Height(), &texture_->Pixels()});
    ApplyZoom();
}

void TViewer::ChannelsChosen(ViewerChannels channels) {
    if (!texture_) return;
    texture_->Show(texture_->Level(), MediaChannels(channels));
    ShowPictureLevel();
}

void TViewer::MipChosen(std::size_t level) {
    if (!texture_ || level >= texture_->Levels().size()) return;
    texture_->Show(level, texture_->Channels());
    ShowPictureLevel();
}

void TViewer::PicturePointed(int x, int y) {
    if (!texture_) return;
    if (x < 0 || y < 0 || static_cast<std::uint32_t>(x) >= texture_->Width() ||
        static_cast<std::uint32_t>(y) >= texture_->Height())
        return SetStatus("");
    const auto p = texture_->Pixel(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
    SetStatus("x " + std::to_string(x) + ", y " + std::to_string(y) + ": R " + std::to_string(p[0]) + " G " +
              std::to_string(p[1]) + " B " + std::to_string(p[2]) + " A " + std::to_string(p[3]));
}

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
    if (!texture_) return;
    double scale = zoom_ == ViewerZoom::Double ? 2.0 : 1.0;
    // Fit: the whole picture in the area, shrunk or enlarged; 1:1 until the area is known.
    if (zoom_ == ViewerZoom::Fit && areaWidth_ > 0 && areaHeight_ > 0)
        scale = std::min(areaWidth_ / static_cast<double>(texture_->Width()),
                         areaHeight_ / static_cast<double>(texture_->Height()));
    window_->SetPictureScale(scale, zoom_);
    status_ = PictureStatus(scale);
    SetStatus("");
}

std::string TViewer::PictureStatus(double scale) const {
    char percent[32];
    std::snprintf(percent, sizeof percent, "%.0f%%", scale * 100);
    const std::size_t levels = texture_->Levels().size();
    std::string status = std::to_string(texture_->Width()) + " x " + std::to_string(texture_->Height()) + " pixels, " +
        texture_->Format() + ", " + Counted(levels, "mipmap", "mipmaps");
    if (texture_->Level() > 0) status += " (level " + std::to_string(texture_->Level()) + " shown)";
    status += "; shown at " + std::string(percent);
    // The game draws a DDS's first stored row at the bottom; tools made for DDS at the top.
    if (resource_.ResType == restype::kDds) status += ", as the game draws it (flipped against other DDS tools)";
    return status;
}

// ---- Sorting and finding -------------------------------------------------------------------------

void TViewer::ColumnClicked(std::size_t column) {
    if (!table_ || rows_.get() != table_ || column >= table_->ColumnCount()) return;
    sortAscending_ = sortColumn_ == column ? !sortAscending_ : true;
    sortColumn_ = column;
    table_->Sort(column, sortAscending_);
    foundRow_.reset();
    window_->RowsChanged(column, sortAscending_);
}

void TViewer::FindAsked(const std::string& text, bool forward) {
    if (text.empty()) return;
    if (tree_ && gff_) {
        const auto node = FindInTree(*tree_, text, foundNode_, forward);
        if (!node) return SetStatus(Quoted(text) + " is not in the tree");
        foundNode_ = *node;
        window_->SelectNode(*node);
        // Where it is, as the path of labels from the top.
        std::string path = tree_->Cell(*node, 0);
        for (auto up = tree_->Parent(*node); up != ViewerTree::kViewerRoot; up = tree_->Parent(up))
            path = tree_->Cell(up, 0) + " / " + path;
        return SetStatus("Found at " + path);
    }
    if (!rows_) return;
    const bool lines = rowsKind_ == TRowsKind::Lines;
    // A text's line numbers are not searched; a hex dump's offsets are.
    const auto found = FindInRows(*rows_, text, foundRow_, forward, lines ? 1 : 0);
    if (!found)
        return SetStatus(Quoted(text) +
                         (rowsKind_ == TRowsKind::Table ? " is not in the table" : " is not in the text"));
    foundRow_ = found->Row;
    window_->SelectRow(found->Row);
    if (lines) return SetStatus("Found in line " + std::to_string(found->Row + 1));
    const std::string first = rows_->Cell(found->Row, 0);
    if (rowsKind_ == TRowsKind::Hex)
        return SetStatus("Found in the line at offset " + first.substr(0, first.find(' ')));
    // A table's row by its first cell: a 2DA's row label, a talk table's strref, a sound's name.
    std::string where = "row " + first;
    const std::string title = rows_->ColumnTitle(found->Column);
    if (!title.empty()) where += ", column " + title;
    SetStatus("Found in " + where);
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
    SetStatus(what + " saved as " + Quoted(Utf8OfSystemText(path)));
}

void TViewer::SavePngClicked() {
    if (!texture_ || (host_.Busy && host_.Busy())) return;
    Run([this] {
        const auto path = AskWhere(SaveDialog("Save as PNG", "*.png|*.png", "png",
                                              platform::FileNameOf(StemOf(resource_.Name)) + ".png", saveFolder_));
        if (!path) return;
        // Decoded and encoded once the dialog has said where it goes: the mipmap level shown,
        // with all its channels.
        const media::TImage image = texture_->Image();
        const std::vector<std::uint8_t> png = platform::EncodePng(image.Width, image.Height, image.Rgba);
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

void TViewer::SaveConvertedClicked() {
    if (converted_ == TConverted::None || (converted_ == TConverted::Json && !gff_) || (host_.Busy && host_.Busy()))
        return;
    Run([this] {
        const bool json = converted_ == TConverted::Json;
        const std::string ext = json ? "json" : "mp3";
        // A GFF's JSON is named as extract --json names it (name.uti.json), the MP3 by its stem.
        const std::string fileName = json ? platform::FileNameOf(resource_.Name) + ".json"
                                          : platform::FileNameOf(StemOf(resource_.Name)) + ".mp3";
        const auto path = AskWhere(
            SaveDialog(json ? "Save as JSON" : "Save as MP3", "*." + ext + "|*." + ext, ext, fileName, saveFolder_));
        if (!path) return;
        if (json) {
            const std::string text = gff::GffToJson(*gff_);
            SaveResourceFile(*path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                             resource_.BifPath, resource_.KeyPath);
            return Saved("JSON", *path);
        }
        SaveResourceFile(*path, tlk::Mp3OfBmu(resource_.Bytes), resource_.BifPath, resource_.KeyPath);
        Saved("MP3", *path);
    });
}

void TViewer::OpenTalkTableClicked() {
    if (!talk_ || (host_.Busy && host_.Busy())) return;
    Run([this] {
        FileDialogSpec dialog;
        dialog.DialogMode = FileDialogSpec::Mode::Open;
        dialog.Title = "Open talk table";
        dialog.Filter = "*.tlk|*.tlk|*.*|*.*";
        dialog.DefaultExt = "tlk";
        dialog.InitialDir = saveFolder_;
        dialog.HideReadOnly = dialog.NoChangeDir = dialog.PathMustExist = dialog.EnableSizing = true;
        const auto path = toolkit_.RunFileDialog(dialog);
        if (!path) return;
        talk_->SetCustomTable(*path);
        // Shown again with the texts the table brings.
        Show();
        SetStatus("talk table " + Quoted(Utf8OfSystemText(*path)) + " opened");
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

namespace {

class GameTalk final : public TViewerTalk {
public:
    explicit GameTalk(std::function<std::string()> gameFolder) : tables_(std::move(gameFolder)) {}
    std::optional<std::string> Text(std::uint32_t strref) override { return tables_.Text(strref); }
    void SetCustomTable(const std::string& path) override { tables_.SetCustomTable(path); }
    std::string Problem() override {
        tables_.GameTable(); // looked for on first use
        return tables_.Problem();
    }

private:
    TTalkTables tables_;
};

} // namespace

std::unique_ptr<TViewerTalk> GameViewerTalk(std::function<std::string()> gameFolder) {
    return std::make_unique<GameTalk>(std::move(gameFolder));
}

TViewers::TViewers(Toolkit& toolkit, TViewerHost host, std::unique_ptr<TViewerTalk> talk)
    : toolkit_(toolkit), host_(std::move(host)), talk_(std::move(talk)) {}

TViewers::~TViewers() = default;

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
    viewers_[identity] = std::make_unique<TViewer>(
        toolkit_, host_, std::move(resource), saveFolder_,
        [this, identity](TViewer&) {
            // The viewer goes, and this function with it: nothing of it is used after the erase.
            const std::string name = identity;
            viewers_.erase(name);
        },
        talk_.get());
}

} // namespace vellocar::ui
