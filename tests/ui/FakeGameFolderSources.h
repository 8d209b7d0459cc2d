#pragma once
// The game-folder search's view of a machine, made up by a test: environment variables and
// registry values from maps, files from the real file system (a scratch folder) or from a set
// of paths that exist only here (for another system's spelling of paths).

#include "GameFolder.h"
#include "Platform.h"

#include <fstream>
#include <map>
#include <set>

namespace vellocar::ui::test {

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

} // namespace vellocar::ui::test
