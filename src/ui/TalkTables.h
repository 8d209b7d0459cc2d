#pragma once
// The texts of strrefs for the viewer: the game's own talk table (its dialog.tlk, read on first
// use from the game folder that the window finds) for strrefs below kCustomStrRefBase, and a
// custom talk table that the user chose (a module's) for those from there up, kept for the run.
// A game that is missing, or a dialog.tlk that is damaged, is no error: the texts are then
// nothing, and Problem() says why (for the status line).

#include "formats/Tlk.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vellocar::game {
class GameFolderSources;
}

namespace vellocar {

class TTalkTables {
public:
    // The game's folder, asked for once, on the first text of a game strref: "" when there is
    // no game. language is the Enhanced Edition's folder below lang/ ("en", "de", ...).
    using GameFolderFinder = std::function<std::string()>;
    explicit TTalkTables(GameFolderFinder gameFolder, std::string language = "en");
    ~TTalkTables();

    // The text of strref, UTF-8: from the game's table below kCustomStrRefBase, from the custom
    // table from there up. Nothing when that table is not there (or could not be read), holds no
    // such strref, or the entry has no text.
    std::optional<std::string> Text(std::uint32_t strref);

    // Reads the talk table at path as the custom one, for strrefs from kCustomStrRefBase up; the
    // one before it is dropped. Raises EVellocarError naming the file and the fault when it cannot
    // be read as a talk table; the custom table before stays then.
    void SetCustomTable(const std::string& path);
    // The custom table's path, "" when none is set.
    const std::string& CustomTablePath() const { return customPath_; }

    // The game's table, read now if it was not yet; nullptr when there is none (see Problem()).
    const tlk::TTalkTable* GameTable();
    // The game's dialog.tlk that was read (or tried), "" before the first look or when the game
    // has none.
    const std::string& GameTablePath() const { return gamePath_; }
    // Why the game's texts are not there ("no game folder found", "Cannot open talk table
    // "...": ..."); "" when they are, or before the first look.
    const std::string& Problem() const { return problem_; }

private:
    GameFolderFinder findGame_;
    std::string language_;
    bool looked_ = false;
    std::unique_ptr<tlk::TTalkTable> game_;
    std::string gamePath_;
    std::string problem_;
    std::unique_ptr<tlk::TTalkTable> custom_;
    std::string customPath_;
};

// The game's folder as the main window finds it (game::FindGame over sources, with the classic
// installer's registry folder); "" when no place holds the game. For TTalkTables' finder.
std::string FoundGameFolder(const game::GameFolderSources& sources, const std::string& registryFolder);

// A talk table read from the file at path, the whole file checked. Raises EVellocarError
// "Cannot open talk table "<path>": <fault>".
tlk::TTalkTable ReadTalkTableFile(const std::string& path);

} // namespace vellocar
