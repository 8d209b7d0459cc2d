#pragma once
// The game-folder search's view of a machine, made up by a test: environment variables and
// registry values from maps, files from the real file system (a scratch folder) or from a set
// of paths that exist only here (for another system's spelling of paths).

#include "ArchiveBytes.h"
#include "GameFolder.h"
#include "platform/Platform.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace vellocar::game::test {

class FakeGameFolderSources final : public GameFolderSources {
public:
    std::map<std::string, std::string> Variables;
    std::map<std::string, std::string> Registry; // "key|value" -> text
    std::set<std::string> VirtualFiles;

    std::optional<std::string> Environment(const std::string& name) const override {
        const auto it = Variables.find(name);
        if (it == Variables.end() || it->second.empty()) return std::nullopt;
        return it->second;
    }
    std::optional<std::string> RegistryString(const std::string& key, const std::string& value) const override {
        const auto it = Registry.find(key + "|" + value);
        if (it == Registry.end()) return std::nullopt;
        return it->second;
    }
    bool IsFile(const std::string& path) const override {
        if (VirtualFiles.contains(path)) return true;
        const auto info = platform::Stat(path);
        return info && info->IsRegular;
    }
    std::optional<std::string> ReadText(const std::string& path) const override {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        if (!in) return std::nullopt;
        std::string text(static_cast<std::size_t>(in.tellg()), '\0');
        in.seekg(0);
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        return text;
    }
};

// A scratch folder to install the game into, and the sources that see it.
class GameFolderSearch : public ::testing::Test {
public: // the tables' set-up functions use these
    GameFolderSearch() { sources.Variables["HOME"] = Path("home"); }

    std::string Path(const std::string& relative) const { return (dir.path() / relative).string(); }
    // The same, as a quoted string of the configuration files spells it (a backslash doubled).
    std::string Quoted(const std::string& relative) const {
        std::string out;
        for (char c : Path(relative)) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
        return out;
    }
    void Write(const std::string& relative, const std::string& text) const {
        std::filesystem::create_directories((dir.path() / relative).parent_path());
        vellocar::test::WriteFile(Path(relative), text);
    }
    // An Enhanced Edition install: a folder with its base KEY in data.
    void Install(const std::string& relative) const { Write(relative + "/data/nwn_base.key", "KEY V1  "); }
    // A folder that once held the game: what a stale entry names.
    void Stale(const std::string& relative) const {
        std::filesystem::create_directories(dir.path() / relative / "data");
    }
    // The classic game: its KEYs beside it.
    void Classic(const std::string& relative) const { Write(relative + "/chitin.key", "KEY V1  "); }

    vellocar::test::TempDir dir;
    FakeGameFolderSources sources;
    std::string registry; // the classic installer's folder
};

} // namespace vellocar::game::test
