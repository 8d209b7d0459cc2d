// The search for the game's folder: the places each store keeps its libraries in, read
// through GameFolderSources, and those sources on this machine.

#include "GameFolder.h"

#include "base/Text.h"
#include "BeamdogSettings.h"
#include "platform/ConfigFile.h"
#include "platform/Platform.h"
#include "SteamLibraries.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <initializer_list>
#include <utility>

namespace vellocar::game {

namespace {

// Steam's folder of the game, inside a library's steamapps/common.
constexpr std::string_view kSteamGameFolder = "Neverwinter Nights";
// The Beamdog client's product folders of the Enhanced Edition inside each of its library
// folders: the release first, then its development and Digital Deluxe preview branches.
constexpr std::array<std::string_view, 3> kBeamdogProducts{"00785", "00829", "00840"};
// GOG's product id of the Enhanced Edition, the name of its key under GOG.com\Games.
constexpr std::string_view kGogRegistryKey = "SOFTWARE\\GOG.com\\Games\\1097893768";
constexpr std::string_view kGogFolder = "Neverwinter Nights Enhanced Edition";
constexpr std::string_view kSteamRegistryKey = "SOFTWARE\\Valve\\Steam";

// Configuration files larger than this are not Steam's or Beamdog's: not read.
constexpr std::uintmax_t kMaxTextBytes = 4u << 20;

// folder and names, one separator of that system between each.
std::string Join(std::string folder, std::initializer_list<std::string_view> names, TPathSystem system) {
    for (std::string_view name : names) folder = JoinPath(std::move(folder), name, system);
    return folder;
}

// ---- The search --------------------------------------------------------------------------------

class Search {
public:
    Search(const GameFolderSources& sources, TPathSystem system) : sources_(sources), system_(system) {}

    TGameSearch Run(const std::string& registryFolder) {
        // The folder the user names comes first, then the one the classic installer wrote down.
        if (auto root = sources_.Environment("NWN_ROOT"); root && Found(*root, "NWN_ROOT")) return found_;
        if (Found(registryFolder, "the registry's Location")) return found_;
        for (const std::string& steam : SteamRoots())
            if (FromSteam(steam)) return found_;
        for (const std::string& settings : BeamdogSettings())
            if (FromBeamdog(settings)) return found_;
        for (const auto& [gog, where] : GogFolders())
            if (Found(gog, where)) return found_;
        return found_;
    }

private:
    bool Windows() const { return system_ == TPathSystem::Windows; }

    std::optional<std::string> Env(const char* name) const { return sources_.Environment(name); }

    std::optional<std::string> Registry(std::string_view key, const char* value) const {
        // A value that is damaged or of another kind only means that this place is unknown.
        try {
            return sources_.RegistryString(std::string(key), value);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }

    // Whether folder holds the game's KEYs, those of the Enhanced Edition in its data folder or
    // the classic game's beside it; it is then the result. A folder that a setting named (where:
    // which one; nullptr for a place merely guessed) and that holds none is noted as passed over.
    bool Found(const std::string& folder, const char* where = nullptr) {
        if (folder.empty()) return false;
        std::string root = TrimSeparators(folder, system_);
        const bool enhanced = sources_.IsFile(Join(root, {"data", "nwn_base.key"}, system_));
        if (!enhanced && !sources_.IsFile(Join(root, {"chitin.key"}, system_))) {
            if (where) found_.PassedOver.push_back(std::string(where) + " " + QuotedPath(root));
            return false;
        }
        found_.Folder = std::move(root);
        found_.Enhanced = enhanced;
        return true;
    }

    // The user's home: $HOME, or on Windows %USERPROFILE%.
    std::optional<std::string> Home() const {
        if (Windows())
            if (auto profile = Env("USERPROFILE")) return profile;
        return Env("HOME");
    }

    std::vector<std::string> SteamRoots() const {
        std::vector<std::string> roots;
        if (Windows()) {
            if (auto path = Registry(kSteamRegistryKey, "InstallPath")) roots.push_back(*path);
            for (const char* programFiles : {"ProgramFiles(x86)", "ProgramFiles"})
                if (auto folder = Env(programFiles)) roots.push_back(JoinPath(*folder, "Steam", system_));
            return roots;
        }
        const auto home = Home();
        if (auto data = Env("XDG_DATA_HOME"))
            roots.push_back(JoinPath(*data, "Steam", system_));
        else if (home)
            roots.push_back(Join(*home, {".local", "share", "Steam"}, system_));
        if (home) {
            roots.push_back(Join(*home, {".steam", "steam"}, system_));
            roots.push_back(Join(*home, {".steam", "root"}, system_));
            // Steam from Flathub keeps its data inside the sandbox's home.
            roots.push_back(
                Join(*home, {".var", "app", "com.valvesoftware.Steam", ".local", "share", "Steam"}, system_));
        }
        return roots;
    }

    bool InLibrary(const std::string& library, const char* where = nullptr) {
        return !library.empty() && Found(Join(library, {"steamapps", "common", kSteamGameFolder}, system_), where);
    }

    bool FromSteam(const std::string& steam) {
        // An empty install path names no folder (its files would be looked for in the working
        // folder).
        if (steam.empty()) return false;
        if (InLibrary(steam)) return true;
        // Current clients keep the list in steamapps, older ones in config.
        for (std::string_view folder : {"steamapps", "config"}) {
            const auto text = sources_.ReadText(Join(steam, {folder, "libraryfolders.vdf"}, system_));
            if (!text) continue;
            for (const std::string& library : SteamLibraryFolders(*text))
                if (InLibrary(library, "Steam's library")) return true;
        }
        return false;
    }

    std::vector<std::string> BeamdogSettings() const {
        std::vector<std::string> files;
        if (Windows()) {
            if (auto appData = Env("APPDATA"))
                files.push_back(Join(*appData, {"Beamdog Client", "settings.json"}, system_));
        } else if (auto config = Env("XDG_CONFIG_HOME")) {
            files.push_back(Join(*config, {"Beamdog Client", "settings.json"}, system_));
        } else if (auto home = Home()) {
            files.push_back(Join(*home, {".config", "Beamdog Client", "settings.json"}, system_));
        }
        return files;
    }

    bool FromBeamdog(const std::string& settings) {
        const auto text = sources_.ReadText(settings);
        if (!text) return false;
        for (const std::string& library : BeamdogLibraryFolders(*text))
            for (std::string_view product : kBeamdogProducts)
                if (!library.empty() &&
                    Found(JoinPath(library, product, system_),
                          product == kBeamdogProducts[0] ? "Beamdog's library" : nullptr))
                    return true;
        return false;
    }

    // Each with the setting that names it, or nullptr for a default place.
    std::vector<std::pair<std::string, const char*>> GogFolders() const {
        std::vector<std::pair<std::string, const char*>> folders;
        if (Windows()) {
            if (auto path = Registry(kGogRegistryKey, "path")) folders.emplace_back(*path, "GOG's registry path");
            for (const char* programFiles : {"ProgramFiles(x86)", "ProgramFiles"})
                if (auto folder = Env(programFiles))
                    folders.emplace_back(Join(*folder, {"GOG Galaxy", "Games", kGogFolder}, system_), nullptr);
        } else if (auto home = Home()) {
            folders.emplace_back(Join(*home, {"GOG Games", kGogFolder}, system_), nullptr);
        }
        return folders;
    }

    const GameFolderSources& sources_;
    TPathSystem system_;
    TGameSearch found_;
};

class SystemSources final : public GameFolderSources {
public:
    explicit SystemSources(RegistryReader registry) : registry_(std::move(registry)) {}

    std::optional<std::string> Environment(const std::string& name) const override {
        const char* value = std::getenv(name.c_str());
        if (!value || !*value) return std::nullopt;
        return std::string(value);
    }
    std::optional<std::string> RegistryString(const std::string& key, const std::string& value) const override {
        return registry_(key, value);
    }
    bool IsFile(const std::string& path) const override { return platform::IsRegularFile(path); }
    std::optional<std::string> ReadText(const std::string& path) const override {
        // Checked and opened in one step: a FIFO put there after a look would block the window.
        return ReadConfigFile(path, kMaxTextBytes).Text;
    }

private:
    RegistryReader registry_;
};

} // namespace

std::unique_ptr<GameFolderSources> SystemGameFolderSources(RegistryReader registry) {
    return std::make_unique<SystemSources>(std::move(registry));
}

TGameSearch FindGame(const GameFolderSources& sources, const std::string& registryFolder, TPathSystem system) {
    return Search(sources, system).Run(registryFolder);
}

std::string ClassicGameFolder(std::optional<std::string> registryValue) {
    std::string folder = std::move(registryValue).value_or("");
    if (const auto zero = folder.find('\0'); zero != std::string::npos) folder.resize(zero);
    return folder;
}

std::string RegistryGameFolder(const GameFolderSources& sources) {
    return ClassicGameFolder(sources.RegistryString(std::string(kRegistryKey), std::string(kRegistryValue)));
}

} // namespace vellocar::game
