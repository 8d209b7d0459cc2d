// The resource browser's logic: what it opens, its layers read one by one (so that each names
// what of it could not be read), the table over the checked ones, and its commands.

#include "Browser.h"

#include "base/Errors.h"
#include "base/Json.h"
#include "base/Text.h"
#include "formats/ErfFiles.h"
#include "formats/FileKinds.h"
#include "GameInstall.h"
#include "GameLayers.h"
#include "names/ArchiveNames.h"
#include "names/Names.h"
#include "names/ResourceTypes.h"
#include "operations/ConflictsReport.h"
#include "operations/Containers.h"
#include "operations/ExportLayers.h"
#include "operations/FolderLayer.h"
#include "operations/KeyReading.h"
#include "operations/ResourceLayers.h"
#include "operations/ResourceRead.h"
#include "platform/Platform.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <new>
#include <random>
#include <system_error>
#include <utility>

namespace vellocar::ui {

namespace {

constexpr std::string_view kTitle = "Vellocar";

// A name or path as this system spells it, in UTF-8 (on Windows the code page is taken as
// Windows-1252, as the game takes it).
std::string Utf8OfSystemText(const std::string& text) {
    if constexpr (platform::kHostSpelling == TNameSpelling::CodePage)
        return Windows1252ToUtf8(text);
    else
        return text;
}

std::string Counted(std::uint64_t count, const std::string& one, const std::string& many) {
    return WithThousands(count) + " " + (count == 1 ? one : many);
}

// The kinds of file that the ERF family's archives are (FileKindOf's words).
bool IsErfKind(const std::string& kind) {
    static constexpr std::array<std::string_view, 5> kErfKinds = {"an ERF archive", "a HAK", "a module (MOD)",
                                                                  "a premium module (NWM)", "a saved game (SAV)"};
    return std::find(kErfKinds.begin(), kErfKinds.end(), kind) != kErfKinds.end();
}

// What a file is by its first bytes; "" when it cannot be read or is too short.
std::string KindOfFile(const std::string& path) {
    if (!platform::IsRegularFile(path)) return "";
    try {
        platform::File file = platform::File::OpenRead(path);
        std::array<std::uint8_t, kKindBytes> head{};
        const std::size_t got = file.ReadSome(head.data(), head.size());
        return FileKindOf(std::span<const std::uint8_t>(head.data(), got));
    } catch (const EVellocarError&) {
        return "";
    }
}

// A resource name read from a file, as a HAK's: one that would lead out of the HAK folders is
// no name.
bool IsHakName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20;
    });
}

std::string Joined(const std::vector<std::string>& parts, const std::string& between) {
    std::string text;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!text.empty()) text += between;
        text += part;
    }
    return text;
}

// The resources an export or a drag left out, for a warning box: the first few, then a count.
std::string SkippedText(const TLayerExportReport& report) {
    constexpr std::size_t kShown = 20;
    std::vector<std::string> lines;
    std::size_t all = 0;
    const auto add = [&](const std::vector<TSkippedResource>& list, const std::string& what) {
        for (const TSkippedResource& r : list) {
            if (all++ < kShown) lines.push_back(Windows1252ToUtf8(r.Name) + " " + what + ": " + r.Reason);
        }
    };
    add(report.Skipped, "was not written");
    add(report.Overlapping, "was not written");
    add(report.AsBytes, "was written as its bytes");
    if (all == 0) return "";
    if (all > kShown) lines.push_back("and " + Counted(all - kShown, "more", "more"));
    return Joined(lines, "\n");
}

// A folder of the program's own under the system's temporary folder, made new (never one that
// stands already, of whatever kind).
std::string FreshTemporaryFolder() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    if (error) throw EVellocarError("the system names no temporary folder: " + error.message());
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path folder = temporary / ("vellocar-drag-" + std::to_string(random()));
        // create_directory makes the folder or reports that something stands there already.
        if (fs::create_directory(folder, error) && !error) return folder.string();
    }
    throw EVellocarError("no new folder could be made in " + QuotedPath(temporary.string()) + ": " +
                         (error ? error.message() : "every name tried stands already"));
}

} // namespace

// ---- The start arguments -----------------------------------------------------------------------

std::optional<std::string> BrowseArgument(const std::vector<std::string>& arguments) {
    if (arguments.size() >= 2 && arguments[1] == "--browse") {
        if (arguments.size() == 2) return std::string();
        if (arguments.size() == 3) return arguments[2];
        return std::nullopt;
    }
    if (arguments.size() == 2 && IsErfKind(KindOfFile(arguments[1]))) return arguments[1];
    return std::nullopt;
}

TBrowseLayers BrowseLayersOf(const std::string& path, const TBrowseContext& context) {
    TBrowseLayers layers;
    const auto game = [&](const std::string& folder) {
        layers.GameFolder = folder;
        layers.UserFolder = context.UserFolder;
        if (layers.UserFolder.empty() && context.DefaultUserFolder)
            layers.UserFolder = context.DefaultUserFolder(folder);
    };
    if (path.empty()) {
        const std::string found = context.GameFolder ? context.GameFolder() : std::string();
        if (found.empty())
            layers.Problems.push_back("no game was found: name its folder in NWN_ROOT, or browse a folder or file");
        else
            game(found);
        return layers;
    }
    if (platform::IsFolder(path)) {
        if (!game::GameKeyPaths(path, layers.Language).empty())
            game(path);
        else
            layers.Folders.push_back(path);
        return layers;
    }
    const std::string kind = KindOfFile(path);
    if (kind == "a KEY") {
        layers.Keys.push_back(path);
    } else if (IsErfKind(kind)) {
        layers.Archives.push_back(path);
        if (kind == "a module (MOD)") {
            layers.Module = path;
            layers.UserFolder = context.UserFolder;
        }
    } else if (!platform::PathExists(path)) {
        layers.Problems.push_back(QuotedPath(path) + " does not exist");
    } else {
        layers.Problems.push_back(QuotedPath(path) + " is " + (kind.empty() ? "no file Vellocar reads" : kind) +
                                  ", not a game folder, KEY, archive or folder");
    }
    return layers;
}

// ---- Reading the layers ------------------------------------------------------------------------

TBrowser::TBrowser(Toolkit& toolkit, const TViewerHost& host, TBrowseLayers layers,
                   std::function<void(TBrowser&)> closed, TViewerTalk* talk)
    : toolkit_(toolkit), host_(host), closed_(std::move(closed)), talk_(talk) {
    ReadLayers(layers);
    Reindex();
    window_ = toolkit_.OpenBrowserWindow("Resources - Vellocar", *this);
    ShowLayers();
    ShowCommands();
    ShowTable();
}

TBrowser::~TBrowser() {
    // The viewers first: the docked one lives in the window's pane.
    dockedViewer_.reset();
    viewers_.clear();
    window_.reset();
    for (const std::string& folder : dragFolders_) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

void TBrowser::Raise() { window_->Raise(); }

void TBrowser::ReadLayers(const TBrowseLayers& layers) {
    gameFolder_ = layers.GameFolder;
    language_ = layers.Language;
    userFolder_ = layers.UserFolder;
    if (!gameFolder_.empty())
        for (const std::string& key : game::GameKeyPaths(gameFolder_, language_)) AddKey(key);
    for (const std::string& key : layers.Keys) AddKey(key);
    if (!gameFolder_.empty()) {
        // Not every release ships an ovr folder: one that is not there is no problem.
        const std::string ovr = platform::JoinPath(gameFolder_, "ovr");
        if (platform::PathExists(ovr)) AddFolder(ovr, "ovr", TSection::BelowHaks);
        const std::string localized = platform::ResolveStoredName(gameFolder_, "lang\\" + language_ + "\\data\\ovr");
        if (platform::PathExists(localized)) AddFolder(localized, "ovr", TSection::BelowHaks);
    }
    const std::string override = userFolder_.empty() ? "" : platform::JoinPath(userFolder_, "override");
    if (!override.empty() && platform::PathExists(override)) AddFolder(override, "override", TSection::BelowHaks);
    if (!layers.Module.empty()) SetModule(layers.Module);
    for (const std::string& archive : layers.Archives) AddArchive(archive);
    const std::string development = userFolder_.empty() ? "" : platform::JoinPath(userFolder_, "development");
    if (!development.empty() && platform::PathExists(development))
        AddFolder(development, "development", TSection::AboveHaks);
    for (const std::string& folder : layers.Folders) AddFolder(folder, "folder", TSection::AboveHaks);
    for (const std::string& problem : layers.Problems) AddProblem("", problem);
}

TSourceKind TBrowser::KindOf(TSection section) const {
    switch (section) {
        case TSection::Keys:
            return TSourceKind::Key;
        case TSection::ModuleHaks:
        case TSection::Archives:
            return TSourceKind::Hak;
        case TSection::BelowHaks:
        case TSection::AboveHaks:
            break;
    }
    return TSourceKind::Folder;
}

void TBrowser::InsertLine(TLayerLine line) {
    // After every line of its section and those below it: the game's order, lowest first.
    const auto at = std::find_if(lines_.begin(), lines_.end(), [&](const TLayerLine& l) {
        return static_cast<int>(l.Section) > static_cast<int>(line.Section);
    });
    lines_.insert(at, std::move(line));
}

void TBrowser::AddProblem(const std::string& path, const std::string& problem) {
    InsertLine({TSection::AboveHaks, std::nullopt, path.empty() ? "(nothing)" : platform::FileNamePart(path), path,
                problem, false});
}

void TBrowser::AddKey(const std::string& path) {
    TLayerLine line{TSection::Keys, std::nullopt, platform::FileNamePart(path), path, "", true};
    try {
        set_.Keys.push_back({path, ReadKey(path).Key});
        line.Source = set_.Keys.size() - 1;
    } catch (const EVellocarError& error) {
        line.Problem = error.what();
    }
    InsertLine(std::move(line));
}

void TBrowser::AddFolder(const std::string& path, const std::string& role, TSection section) {
    std::vector<std::string> problems;
    set_.Folders.push_back(ReadFolderLayer(
        path, role, section == TSection::BelowHaks ? TFolderPlace::BelowHaks : TFolderPlace::AboveHaks, problems));
    InsertLine({section, set_.Folders.size() - 1, role == "folder" ? platform::FileNamePart(path) : role, path,
                Joined(problems, "; "), true});
}

void TBrowser::AddArchive(const std::string& path) {
    TLayerLine line{TSection::Archives, std::nullopt, platform::FileNamePart(path), path, "", true};
    try {
        // The last added wins, and the set's HAKs go from the winner down.
        set_.Haks.insert(set_.Haks.begin(), ErfContainer(path));
        for (TLayerLine& l : lines_)
            if (KindOf(l.Section) == TSourceKind::Hak && l.Source) ++*l.Source;
        line.Source = 0;
    } catch (const EVellocarError& error) {
        line.Problem = error.what();
    }
    InsertLine(std::move(line));
}

void TBrowser::SetModule(const std::string& module) {
    // The module's HAKs stand below every archive added (the set's HAKs: those added, then the
    // module's): the old module's go.
    const auto added = static_cast<std::size_t>(std::count_if(
        lines_.begin(), lines_.end(), [](const TLayerLine& l) { return l.Section == TSection::Archives && l.Source; }));
    set_.Haks.resize(added);
    std::erase_if(lines_, [](const TLayerLine& l) { return l.Section == TSection::ModuleHaks; });
    module_ = module;

    // Where the game looks for a module's HAKs.
    game::GameLayersAsked asked;
    asked.GameFolder = gameFolder_;
    asked.UserFolder = userFolder_;
    asked.Module = module;
    const std::vector<std::string> hakFolders = game::GameLayerRequest(asked).HakFolders;

    std::vector<TLayerLine> found; // in the module's order, the first winning
    try {
        for (const std::string& name : ModuleHakNames(module)) {
            TLayerLine line{TSection::ModuleHaks, std::nullopt, name + ".hak", "", "", true};
            if (!IsHakName(name)) {
                line.Name = Windows1252ToUtf8(name);
                line.Problem = "the module lists " + Quoted(line.Name) + ", which is no HAK's name";
            } else {
                for (const std::string& folder : hakFolders) {
                    const std::string path = platform::ResolveStoredName(folder, name + ".hak");
                    if (platform::IsRegularFile(path)) {
                        line.Path = path;
                        break;
                    }
                }
                if (line.Path.empty()) {
                    line.Problem = "the HAK is in none of the HAK folders (" + Joined(hakFolders, ", ") + ")";
                } else {
                    try {
                        set_.Haks.push_back(ErfContainer(line.Path));
                        line.Source = set_.Haks.size() - 1;
                    } catch (const EVellocarError& error) {
                        line.Problem = error.what();
                    }
                }
            }
            found.push_back(std::move(line));
        }
    } catch (const EVellocarError& error) {
        found.push_back({TSection::ModuleHaks, std::nullopt, platform::FileNamePart(module), module,
                         std::string("its HAKs are not read: ") + error.what(), false});
    }
    // Shown lowest first: the module's last HAK first.
    for (auto line = found.rbegin(); line != found.rend(); ++line) InsertLine(std::move(*line));
}

// ---- The table ---------------------------------------------------------------------------------

void TBrowser::Reindex() {
    const std::vector<TIndexLayer> layers = TResourceIndex::LayersOf(set_);
    std::vector<bool> counted(layers.size(), false);
    lineOfLayer_.assign(layers.size(), 0);
    for (std::size_t l = 0; l < layers.size(); ++l)
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].Source == layers[l].Source && KindOf(lines_[i].Section) == layers[l].Kind) {
                lineOfLayer_[l] = i;
                counted[l] = lines_[i].Checked;
            }
    index_ = std::make_unique<TResourceIndex>(set_, counted);
    differ_.assign(index_->Rows().size(), std::nullopt);
    Refilter(false);
}

void TBrowser::Refilter(bool narrowing) {
    std::vector<std::uint32_t> conflicts;
    const std::vector<std::uint32_t>* within = nullptr;
    if (narrowing) {
        within = &filtered_;
    } else if (conflicts_) {
        conflicts = index_->Conflicts();
        within = &conflicts;
    }
    std::vector<std::uint32_t> kept = index_->Filter(query_, within);
    filtered_ = std::move(kept);
    constexpr std::array<TIndexColumn, 5> kColumns = {TIndexColumn::Name, TIndexColumn::Type, TIndexColumn::Size,
                                                      TIndexColumn::Layer, TIndexColumn::Copies};
    index_->Sort(filtered_, sortColumn_ < kColumns.size() ? kColumns[sortColumn_] : TIndexColumn::Name,
                 sortColumn_ < kColumns.size() && descending_);
    if (conflicts_) {
        CompareCopies();
        if (sortColumn_ == kColumns.size())
            std::stable_sort(filtered_.begin(), filtered_.end(), [&](std::uint32_t a, std::uint32_t b) {
                return descending_ ? DifferOf(a) > DifferOf(b) : DifferOf(a) < DifferOf(b);
            });
    }
    shown_.clear();
    shown_.reserve(filtered_.size());
    for (const std::uint32_t r : filtered_) {
        shown_.push_back({r, 0});
        if (shadowed_)
            for (std::uint32_t c = 1; c < index_->Rows()[r].CopyCount; ++c) shown_.push_back({r, c});
    }
    ShowTable();
}

std::string TBrowser::CopyKey(const TIndexRow&, const TIndexCopy& copy) const {
    return index_->Layers()[copy.Layer].Label + '\n' + std::to_string(copy.Bif) + '\n' + std::to_string(copy.Line);
}

void TBrowser::CompareCopies() {
    // Hashing every copy of a game's conflicts takes a while: the status line tells how far, and
    // each copy is hashed once for the browser's life, whichever layers are checked.
    std::optional<TPieceFinder> finder;
    constexpr std::size_t kEvery = 64;
    for (std::size_t i = 0; i < filtered_.size(); ++i) {
        const std::uint32_t r = filtered_[i];
        if (differ_[r]) continue;
        const TIndexRow& row = index_->Rows()[r];
        std::vector<TCopyDigest> digests;
        for (std::uint32_t c = 0; c < row.CopyCount; ++c) {
            const auto cached = digests_.find(CopyKey(row, index_->Copies()[row.FirstCopy + c]));
            if (cached == digests_.end()) break;
            digests.push_back(cached->second);
        }
        if (digests.size() != row.CopyCount) {
            if (i % kEvery == 0 && window_)
                window_->SetStatus("Comparing the copies: " + WithThousands(i) + " of " +
                                   WithThousands(filtered_.size()));
            if (!finder) finder.emplace(set_);
            digests = CopyDigests(*index_, row, *finder);
            for (std::uint32_t c = 0; c < row.CopyCount; ++c)
                digests_[CopyKey(row, index_->Copies()[row.FirstCopy + c])] = digests[c];
        }
        const bool unreadable =
            std::any_of(digests.begin(), digests.end(), [](const TCopyDigest& d) { return !d.Digest; });
        differ_[r] = CopiesDiffer(digests) ? TDiffer::Differ : unreadable ? TDiffer::Unreadable : TDiffer::Same;
    }
}

TBrowser::TDiffer TBrowser::DifferOf(std::uint32_t row) const { return differ_[row].value_or(TDiffer::Unreadable); }

std::size_t TBrowser::ColumnCount() const { return conflicts_ ? 6 : 5; }

std::string TBrowser::ColumnTitle(std::size_t column) const {
    static constexpr std::array<std::string_view, 6> kTitles = {"Name", "Type", "Size", "Layer", "Copies", "Differ"};
    return column < kTitles.size() ? std::string(kTitles[column]) : std::string();
}

bool TBrowser::ColumnRightAligned(std::size_t column) const { return column == 2; }

std::size_t TBrowser::ColumnWidth(std::size_t column) const {
    static constexpr std::array<std::size_t, 6> kWidths = {16, 4, 11, 20, 24, 10};
    return column < kWidths.size() ? kWidths[column] : 0;
}

std::size_t TBrowser::RowCount() const { return shown_.size(); }

std::string TBrowser::LayerName(std::uint16_t layer) const {
    return Utf8OfSystemText(lines_[lineOfLayer_[layer]].Name);
}

std::string TBrowser::Cell(std::size_t row, std::size_t column) const {
    if (row >= shown_.size()) return "";
    const TShownRow& shown = shown_[row];
    const TIndexRow& r = index_->Rows()[shown.Row];
    const TIndexCopy& copy = index_->Copies()[r.FirstCopy + shown.Copy];
    switch (column) {
        case 0:
            return Windows1252ToUtf8(index_->NameOf(r));
        case 1:
            return std::string(ResTypeExtension(r.Type));
        case 2:
            return copy.HasSize ? WithThousands(copy.Size) : "";
        case 3:
            return LayerName(copy.Layer);
        case 4:
            if (shown.Copy > 0) return "shadowed by " + LayerName(index_->Loaded(r).Layer);
            return r.CopyCount > 1 ? "wins over " + WithThousands(r.CopyCount - 1) : "";
        case 5:
            if (shown.Copy > 0 || !conflicts_) return "";
            switch (DifferOf(shown.Row)) {
                case TDiffer::Same:
                    return "same";
                case TDiffer::Differ:
                    return "differ";
                case TDiffer::Unreadable:
                    return "unreadable";
            }
            break;
        default:
            break;
    }
    return "";
}

// ---- What the window shows ---------------------------------------------------------------------

void TBrowser::ShowTable() {
    if (!window_) return;
    window_->ShowRows(*this, sortColumn_, !descending_);
    window_->SetCount(index_->CountText(filtered_.size()));
    selected_ = 0;
    ShowCommands();
    ShowStatus();
}

void TBrowser::ShowLayers() {
    std::vector<BrowserLayer> shown;
    std::vector<std::string> bifFaults(lines_.size());
    for (const TResourceIndex::TLayerProblem& p : index_->BifProblems()) {
        std::string& faults = bifFaults[lineOfLayer_[p.Layer]];
        faults += (faults.empty() ? "" : "\n") + p.Text;
    }
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const TLayerLine& line = lines_[i];
        std::size_t count = 0;
        if (line.Source) {
            switch (KindOf(line.Section)) {
                case TSourceKind::Key:
                    for (const auto& bif : set_.Keys[*line.Source].Key->Filenames) count += bif.Resources.size();
                    break;
                case TSourceKind::Hak:
                    count = set_.Haks[*line.Source].Entries().size();
                    break;
                case TSourceKind::Folder:
                    count = set_.Folders[*line.Source].Entries.size();
                    break;
            }
        }
        const std::string problem = Joined({line.Problem, bifFaults[i]}, "\n");
        BrowserLayer layer;
        layer.Text = Utf8OfSystemText(line.Name) + (line.Source ? "  " + WithThousands(count) : "");
        layer.Tooltip = Utf8OfSystemText(Joined({line.Path, problem}, "\n"));
        layer.Checked = line.Checked;
        layer.Problem = !problem.empty();
        shown.push_back(std::move(layer));
    }
    window_->SetLayers(shown);
}

void TBrowser::ShowCommands() {
    if (!window_) return;
    const bool any = selected_ > 0;
    const auto command = [](BrowserCommand c, std::string caption, bool enabled, bool inRowMenu) {
        BrowserCommandState state;
        state.Command = c;
        state.Caption = std::move(caption);
        state.Enabled = enabled;
        state.InRowMenu = inRowMenu;
        return state;
    };
    const auto toggle = [&](BrowserCommand c, std::string caption, bool checked) {
        BrowserCommandState state = command(c, std::move(caption), true, false);
        state.Toggle = true;
        state.Checked = checked;
        return state;
    };
    window_->SetCommands({
        command(BrowserCommand::ChooseModule, "Module...", true, false),
        command(BrowserCommand::AddArchive, "Add archive...", true, false),
        command(BrowserCommand::AddFolder, "Add folder...", true, false),
        toggle(BrowserCommand::ShowConflicts, "Conflicts", conflicts_),
        toggle(BrowserCommand::ShowShadowed, "Shadowed copies", shadowed_),
        toggle(BrowserCommand::DockViewer, "Docked viewer", docked_),
        command(BrowserCommand::View, "View", selected_ == 1, true),
        command(BrowserCommand::ExportRaw, "Export...", any, true),
        command(BrowserCommand::ExportPng, "Export as PNG...", any, true),
        command(BrowserCommand::ExportJson, "Export as JSON...", any, true),
        command(BrowserCommand::CopyName, "Copy name", any, true),
        command(BrowserCommand::SaveConflicts, "Save conflicts...", conflicts_, false),
    });
}

void TBrowser::ShowStatus() {
    if (!window_) return;
    std::size_t unread = 0;
    for (const TLayerLine& line : lines_)
        if (!line.Problem.empty()) ++unread;
    std::vector<bool> faulty(lines_.size(), false);
    for (const TResourceIndex::TLayerProblem& p : index_->BifProblems())
        if (lines_[lineOfLayer_[p.Layer]].Problem.empty() && !faulty[lineOfLayer_[p.Layer]]) {
            faulty[lineOfLayer_[p.Layer]] = true;
            ++unread;
        }
    const std::string problems = unread == 0 ? ""
        : unread == 1                        ? "1 layer could not be read; see its tooltip"
                                             : WithThousands(unread) + " layers could not be read; see their tooltips";
    window_->SetStatus(Joined({selected_ > 0 ? WithThousands(selected_) + " selected" : "", note_, problems}, "; "));
}

// ---- Events ------------------------------------------------------------------------------------

void TBrowser::Run(const std::function<void()>& command) {
    ++running_;
    // The events come straight from a window procedure or a Qt slot, where nothing may arrive.
    try {
        try {
            command();
        } catch (const std::bad_alloc&) {
            host_.ReportError(EVellocarError("Out of memory"));
        } catch (const std::exception& e) {
            host_.ReportError(e);
        } catch (...) {
            host_.ReportError(EVellocarError("An unexpected error occurred; the operation was stopped"));
        }
    } catch (...) {
        // Nothing is left to report it with; the browser goes on as the command left it.
    }
    --running_;
    // A close asked while a dialog of this window was open.
    if (running_ == 0 && closeAsked_) closed_(*this);
}

void TBrowser::LayerChecked(std::size_t layer, bool checked) {
    Run([&] {
        if (layer >= lines_.size()) return;
        lines_[layer].Checked = checked;
        Reindex();
        ShowLayers();
    });
}

void TBrowser::FilterChanged(const std::string& text) {
    Run([&] {
        // Typing on after a plain word or a blank only takes rows away: only the rows kept are
        // looked at again. A glob or a type grows its matches as it is typed on.
        const std::size_t lastWord = query_.rfind(' ');
        const std::string word = query_.substr(lastWord == std::string::npos ? 0 : lastWord + 1);
        const bool narrowing = !query_.empty() && text.starts_with(query_) &&
            word.find_first_of("*?[]") == std::string::npos && !EqualIgnoringCase(word.substr(0, 5), "type:");
        query_ = text;
        Refilter(narrowing);
    });
}

void TBrowser::ColumnClicked(std::size_t column) {
    Run([&] {
        if (column >= ColumnCount()) return;
        descending_ = column == sortColumn_ && !descending_;
        sortColumn_ = column;
        Refilter(true);
    });
}

void TBrowser::SelectionChanged() {
    Run([&] {
        selected_ = window_->SelectedRows().size();
        ShowCommands();
        ShowStatus();
    });
}

void TBrowser::RowOpened(std::size_t row) {
    Run([&] { View(row); });
}

void TBrowser::CommandChosen(BrowserCommand command) {
    Run([&] {
        switch (command) {
            case BrowserCommand::ChooseModule:
                return ChooseModule();
            case BrowserCommand::AddArchive:
                return AddArchiveAsked();
            case BrowserCommand::AddFolder:
                return AddFolderAsked();
            case BrowserCommand::ShowConflicts:
                conflicts_ = !conflicts_;
                if (sortColumn_ >= ColumnCount()) sortColumn_ = 0;
                return Refilter(false);
            case BrowserCommand::ShowShadowed:
                shadowed_ = !shadowed_;
                return Refilter(true);
            case BrowserCommand::DockViewer:
                docked_ = !docked_;
                return ShowCommands();
            case BrowserCommand::View: {
                const std::vector<std::size_t> rows = window_->SelectedRows();
                if (rows.size() == 1) View(rows[0]);
                return;
            }
            case BrowserCommand::ExportRaw:
            case BrowserCommand::ExportPng:
            case BrowserCommand::ExportJson:
                return Export(command);
            case BrowserCommand::CopyName:
                return CopyName();
            case BrowserCommand::SaveConflicts:
                return SaveConflicts();
        }
    });
}

void TBrowser::CloseAsked() {
    if (running_ > 0) {
        closeAsked_ = true;
        return;
    }
    closed_(*this);
}

// ---- Commands ----------------------------------------------------------------------------------

std::vector<TResourceHit> TBrowser::SelectedHits() const {
    std::vector<TResourceHit> hits;
    for (const std::size_t row : window_->SelectedRows()) {
        if (row >= shown_.size()) continue;
        const TIndexRow& r = index_->Rows()[shown_[row].Row];
        hits.push_back(index_->HitOf(r, index_->Copies()[r.FirstCopy + shown_[row].Copy]));
    }
    return hits;
}

void TBrowser::ChooseModule() {
    // The game's modules to choose from, then any module file.
    const std::vector<game::ModuleChoice> modules = game::ModuleChoices(gameFolder_, userFolder_);
    std::optional<std::string> module;
    std::optional<std::size_t> choice = modules.size();
    if (!modules.empty()) {
        std::vector<std::string> items;
        for (const game::ModuleChoice& m : modules) items.push_back(Utf8OfSystemText(m.Name));
        items.push_back("Other module file...");
        choice = toolkit_.RunContextMenu(items);
        if (!choice) return;
    }
    if (*choice < modules.size()) {
        module = modules[*choice].Path;
    } else {
        FileDialogSpec dialog;
        dialog.DialogMode = FileDialogSpec::Mode::Open;
        dialog.Title = "Choose a module";
        dialog.Filter = "Modules (*.mod)|*.mod";
        dialog.DefaultExt = "mod";
        dialog.InitialDir = userFolder_.empty() ? "" : platform::JoinPath(userFolder_, "modules");
        dialog.HideReadOnly = dialog.PathMustExist = dialog.EnableSizing = true;
        module = toolkit_.RunFileDialog(dialog);
    }
    if (!module) return;
    SetModule(*module);
    note_ = "module " + Quoted(Utf8OfSystemText(platform::FileNamePart(*module))) + " chosen";
    Reindex();
    ShowLayers();
}

void TBrowser::AddArchiveAsked() {
    FileDialogSpec dialog;
    dialog.DialogMode = FileDialogSpec::Mode::Open;
    dialog.Title = "Add archive";
    dialog.Filter = "Archives (*.hak;*.mod;*.erf)|*.hak;*.mod;*.erf|*.*|*.*";
    dialog.HideReadOnly = dialog.PathMustExist = dialog.EnableSizing = true;
    const auto path = toolkit_.RunFileDialog(dialog);
    if (!path) return;
    AddArchive(*path);
    note_.clear();
    Reindex();
    ShowLayers();
}

void TBrowser::AddFolderAsked() {
    const auto folder = toolkit_.BrowseForFolder("Add a folder of resources:", saveFolder_);
    if (!folder) return;
    AddFolder(*folder, "folder", TSection::AboveHaks);
    note_.clear();
    Reindex();
    ShowLayers();
}

void TBrowser::View(std::size_t row) {
    if (row >= shown_.size()) return;
    const TIndexRow& r = index_->Rows()[shown_[row].Row];
    const TResourceHit hit = index_->HitOf(r, index_->Copies()[r.FirstCopy + shown_[row].Copy]);
    const std::string line = index_->LineOf(r);
    const std::string shown = platform::ShownName(TArchiveName{line});
    std::string keyPath;
    if (hit.Kind == TSourceKind::Key) {
        keyPath = set_.Keys[hit.Source].Path;
        // A build of the KEY that died since it was read is put right first.
        RecoverBeforeReadingAgain(keyPath, "Nothing was shown", "view its files as they are now");
    }
    TPieceFinder finder(set_);
    const TResourcePiece piece = finder.Find(hit);
    if (ReadSize(piece.Span) > kMaxViewedBytes)
        throw EVellocarError(Quoted(shown) + " is too large to view (" + WithThousands(ReadSize(piece.Span)) +
                             " bytes; the viewer reads at most " + WithThousands(kMaxViewedBytes) +
                             "): export it instead. Nothing was read");
    TViewedResource resource{TArchiveName{line}, r.Type, {}, piece.Path, keyPath};
    {
        // Open only while it is read: the game, or a build, may want the file next.
        platform::File file = platform::File::OpenRead(piece.Path);
        CheckResourceSpan(file, piece.Span, shown);
        resource.Bytes = ReadResourceBytes(file, piece.Span, shown);
    }
    if (docked_) {
        // One at a time in the pane: the one before goes first.
        dockedViewer_.reset();
        dockedViewer_ = std::make_unique<TViewer>(
            toolkit_, host_, std::move(resource), saveFolder_, [this](TViewer&) { dockedViewer_.reset(); }, talk_,
            [this](const std::string& title, ViewerEvents& events) {
                return window_->OpenDockedViewer(title, events);
            });
        return;
    }
    viewers_.push_back(std::make_unique<TViewer>(
        toolkit_, host_, std::move(resource), saveFolder_,
        [this](TViewer& closing) {
            const auto it =
                std::find_if(viewers_.begin(), viewers_.end(), [&](const auto& v) { return v.get() == &closing; });
            if (it != viewers_.end()) viewers_.erase(it);
        },
        talk_));
}

void TBrowser::Export(BrowserCommand how) {
    const std::vector<TResourceHit> hits = SelectedHits();
    if (hits.empty()) return;
    const auto folder = toolkit_.BrowseForFolder("Export the selected resources to:", saveFolder_);
    if (!folder) return;
    saveFolder_ = *folder;
    TLayerExportRequest request;
    request.Target =
        folder->empty() || platform::IsPathSeparator(folder->back()) ? *folder : *folder + platform::kPathSeparator;
    request.TexturesAsPng = how == BrowserCommand::ExportPng;
    request.GffAsJson = how == BrowserCommand::ExportJson;
    const TLayerExportReport report = ExportHits(set_, hits, request);
    std::string converted;
    if (request.TexturesAsPng) converted = ", " + WithThousands(report.Pngs) + " as PNG";
    if (request.GffAsJson) converted = ", " + WithThousands(report.Jsons) + " as JSON";
    note_ = Counted(report.Written, "file", "files") + converted + " exported to " + Quoted(Utf8OfSystemText(*folder));
    ShowStatus();
    if (const std::string skipped = SkippedText(report); !skipped.empty())
        toolkit_.ShowMessage(skipped, std::string(kTitle), MessageKind::OkWarning);
}

void TBrowser::CopyName() {
    std::vector<std::string> names;
    for (const std::size_t row : window_->SelectedRows())
        if (row < shown_.size()) names.push_back(Windows1252ToUtf8(index_->LineOf(index_->Rows()[shown_[row].Row])));
    if (names.empty()) return;
    window_->SetClipboardText(Joined(names, "\n"));
    note_ = Counted(names.size(), "name", "names") + " copied";
    ShowStatus();
}

void TBrowser::SaveConflicts() {
    if (!conflicts_) return;
    FileDialogSpec dialog;
    dialog.DialogMode = FileDialogSpec::Mode::Save;
    dialog.Title = "Save conflicts";
    dialog.Filter = "Text (*.txt)|*.txt|JSON (*.json)|*.json";
    dialog.DefaultExt = "txt";
    dialog.FileName = "conflicts.txt";
    dialog.InitialDir = saveFolder_;
    dialog.HideReadOnly = dialog.PathMustExist = dialog.EnableSizing = dialog.OverwritePrompt = true;
    const auto path = toolkit_.RunFileDialog(dialog);
    if (!path) return;
    saveFolder_ = platform::FolderPart(*path);
    // Never over a file the browser reads from.
    for (const TIndexLayer& layer : index_->Layers())
        if (layer.Kind != TSourceKind::Folder && platform::SameFile(*path, layer.Label))
            throw EVellocarError("the conflicts are not saved over " + QuotedPath(layer.Label) +
                                 ", which the browser reads. Nothing was written");
    const bool json = path->size() >= 5 && EqualIgnoringCase(path->substr(path->size() - 5), ".json");
    // The rows shown, in their order.
    TConflictsReportRequest request;
    request.Rows = &filtered_;
    TPieceFinder finder(set_);
    std::vector<std::string> problems;
    std::string text;
    if (json) {
        TJsonWriter writer([&text](std::string_view chunk) {
            text += chunk;
            return true;
        });
        WriteConflictsJson(*index_, finder, writer, problems, request);
        writer.Finish();
    } else {
        WriteConflictsText(
            *index_, finder, [&text](const std::vector<std::string>& fields) { text += ReportLine(fields) + "\n"; },
            problems, request);
    }
    // Created afresh: whatever stands at the name, a link included, is replaced, never written
    // through.
    SaveResourceFile(*path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), "", "");
    note_ = "conflicts saved as " + Quoted(Utf8OfSystemText(*path));
    if (!problems.empty()) note_ += "; " + Counted(problems.size(), "copy", "copies") + " could not be read";
    ShowStatus();
}

std::vector<std::string> TBrowser::DragStarted() {
    std::vector<std::string> files;
    Run([&] {
        const std::vector<TResourceHit> hits = SelectedHits();
        if (hits.empty()) return;
        const std::string folder = FreshTemporaryFolder();
        dragFolders_.push_back(folder);
        TLayerExportRequest request;
        request.Target = folder + platform::kPathSeparator;
        const TLayerExportReport report = ExportHits(set_, hits, request);
        for (const std::string& name : platform::ListPlainFiles(folder))
            files.push_back(platform::JoinPath(folder, name));
        if (const std::string skipped = SkippedText(report); !skipped.empty())
            toolkit_.ShowMessage(skipped, std::string(kTitle), MessageKind::OkWarning);
    });
    return files;
}

// ---- The browsers of a program -----------------------------------------------------------------

TBrowsers::TBrowsers(Toolkit& toolkit, TViewerHost host, TBrowseContext context, std::unique_ptr<TViewerTalk> talk)
    : toolkit_(toolkit), host_(std::move(host)), context_(std::move(context)), talk_(std::move(talk)) {}

TBrowsers::~TBrowsers() = default;

TBrowser& TBrowsers::Open(const std::string& path) {
    browsers_.push_back(std::make_unique<TBrowser>(
        toolkit_, host_, BrowseLayersOf(path, context_),
        [this](TBrowser& closing) {
            // The browser goes, and this function with it: the erase is the last thing done.
            const auto it = std::find_if(browsers_.begin(), browsers_.end(),
                                         [&](const std::unique_ptr<TBrowser>& b) { return b.get() == &closing; });
            if (it != browsers_.end()) browsers_.erase(it);
        },
        talk_.get()));
    browsers_.back()->Raise();
    return *browsers_.back();
}

} // namespace vellocar::ui
