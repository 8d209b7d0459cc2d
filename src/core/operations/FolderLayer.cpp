// A folder of loose files read as a layer of resources.

#include "operations/FolderLayer.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "names/ArchiveNames.h"
#include "platform/Platform.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace vellocar {

TFolderLayer ReadFolderLayer(const std::string& path, std::string role, TFolderPlace place,
                             std::vector<std::string>& problems) {
    TFolderLayer layer;
    layer.Path = path;
    layer.Role = std::move(role);
    layer.Place = place;
    // The folder itself is looked at without following a link, as its files are.
    const auto facts = platform::LookAt(path);
    if (!facts || facts->What != platform::EntryFacts::Kind::Folder) {
        problems.push_back("the " + layer.Role + " folder " + QuotedPath(path) +
                           (facts ? " is no folder" : " is missing") + "; none of its resources read");
        return layer;
    }
    if (!platform::CanListFolder(path)) {
        problems.push_back("the " + layer.Role + " folder " + QuotedPath(path) +
                           " cannot be listed; none of its resources read");
        return layer;
    }
    for (std::string& name : platform::ListPlainFiles(path)) {
        const TPackedName packed = ArchiveNameOfFile(name, platform::kHostSpelling);
        if (!packed.Problem.empty() || packed.Type == kUnknownResType || packed.BaseName.Bytes.empty() ||
            packed.BaseName.Bytes.size() > kResRefSize)
            continue;
        // The listing follows links; a layer holds the folder's own regular files only.
        const auto file = platform::LookAt(platform::JoinPath(path, name));
        if (!file || file->What != platform::EntryFacts::Kind::Regular) continue;
        if (file->Size > std::numeric_limits<std::uint32_t>::max()) {
            problems.push_back(QuotedPath(platform::JoinPath(path, name)) +
                               " holds more than 4 GiB, more than any resource of the game; passed over");
            continue;
        }
        TNWNKeyEntry entry;
        std::copy(packed.BaseName.Bytes.begin(), packed.BaseName.Bytes.end(), entry.ResRef.begin());
        entry.ResType = static_cast<std::uint16_t>(packed.Type);
        entry.ResId = static_cast<std::uint32_t>(layer.Entries.size());
        layer.Entries.push_back(entry);
        layer.Files.push_back(std::move(name));
        layer.Sizes.push_back(static_cast<std::uint32_t>(file->Size));
    }
    return layer;
}

std::string FolderFilePath(const TFolderLayer& layer, std::size_t line) {
    return platform::JoinPath(layer.Path, layer.Files.at(line));
}

} // namespace vellocar
