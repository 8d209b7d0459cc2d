// The game's and the custom talk table behind the viewer's strref texts: see TalkTables.h.

#include "TalkTables.h"

#include "base/Errors.h"
#include "GameFolder.h"
#include "GameInstall.h"
#include "platform/Platform.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

namespace vellocar {

namespace {

// A talk table's offsets and sizes are 32-bit: a larger file is none.
constexpr std::uint64_t kMostTalkTableBytes = std::numeric_limits<std::uint32_t>::max();

} // namespace

tlk::TTalkTable ReadTalkTableFile(const std::string& path) {
    try {
        platform::File file = platform::File::OpenRead(path);
        const std::uint64_t size = file.Size();
        if (size > kMostTalkTableBytes)
            throw EFormatError("the file is too large for a talk table (" + WithThousands(size) + " bytes)");
        // The signature first: a large file of another kind, picked by mistake in the dialog, is
        // refused before it is read whole.
        constexpr std::string_view kSignature = "TLK V3.0";
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(size, kSignature.size())));
        file.ReadExact(bytes.data(), bytes.size());
        if (bytes.size() == kSignature.size() &&
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()) == kSignature) {
            bytes.resize(static_cast<std::size_t>(size));
            file.ReadExact(bytes.data() + kSignature.size(), bytes.size() - kSignature.size());
        }
        return tlk::TTalkTable::Read(std::move(bytes));
    } catch (const EFOpenError&) {
        throw;
    } catch (const EVellocarError& e) {
        throw EVellocarError(CannotOpenAs("talk table", path, e.what()));
    }
}

std::string FoundGameFolder(const game::GameFolderSources& sources, const std::string& registryFolder) {
    return game::FindGame(sources, registryFolder).Folder;
}

TTalkTables::TTalkTables(GameFolderFinder gameFolder, std::string language)
    : findGame_(std::move(gameFolder)), language_(std::move(language)) {}

TTalkTables::~TTalkTables() = default;

const tlk::TTalkTable* TTalkTables::GameTable() {
    if (looked_) return game_.get();
    looked_ = true;
    try {
        const std::string folder = findGame_ ? findGame_() : std::string();
        if (folder.empty()) {
            problem_ = "no game folder found: the game's texts cannot be shown";
            return nullptr;
        }
        gamePath_ = game::GameDialogTlkPath(folder, language_);
        if (gamePath_.empty()) {
            problem_ =
                "the game folder " + QuotedPath(folder) + " holds no dialog.tlk: the game's texts cannot be shown";
            return nullptr;
        }
        game_ = std::make_unique<tlk::TTalkTable>(ReadTalkTableFile(gamePath_));
    } catch (const std::exception& e) {
        // A damaged or unreadable table costs the texts, not the viewer.
        problem_ = e.what();
    }
    return game_.get();
}

std::optional<std::string> TTalkTables::Text(std::uint32_t strref) {
    if (strref >= tlk::kCustomStrRefBase)
        return custom_ ? custom_->Text(strref - tlk::kCustomStrRefBase) : std::nullopt;
    const tlk::TTalkTable* table = GameTable();
    return table ? table->Text(strref) : std::nullopt;
}

void TTalkTables::SetCustomTable(const std::string& path) {
    auto table = std::make_unique<tlk::TTalkTable>(ReadTalkTableFile(path));
    custom_ = std::move(table);
    customPath_ = path;
}

} // namespace vellocar
