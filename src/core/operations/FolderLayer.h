#pragma once
// A folder of loose files as one layer of the game's resources (the game's ovr, the user's
// override and development folders, a module kept as a folder, any folder a user adds): its
// files named as an export writes them, "name.ext", with a ResRef of 1 to 16 bytes and an
// extension of a known type. Anything else in the folder is passed over: a file of another name,
// a sub-folder, a link (never followed: a folder layer is what the folder itself holds), a FIFO or
// device. Only the listing is read; the files' bytes are read when a resource is asked for.

#include "formats/KeyModel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vellocar {

// Where a folder stands against a module's HAKs: the game's ovr and the user's override below
// them, the development folder and the folders a user adds above them.
enum class TFolderPlace : std::uint8_t { BelowHaks, AboveHaks };

struct TFolderLayer {
    std::string Path; // the folder, as given
    std::string Role; // what the layer is: "ovr", "override", "development", "folder"
    TFolderPlace Place = TFolderPlace::AboveHaks;
    // One entry per resource file, in the order of the folder's listing (FolderOrderLess); an
    // entry's ResId is its index here, as in Files and Sizes.
    std::vector<TNWNKeyEntry> Entries;
    std::vector<std::string> Files; // the file's name in the folder
    std::vector<std::uint32_t> Sizes;
};

// The folder at path as a layer. A folder that is missing, is no folder, or cannot be listed
// gives a layer of no resources and a line in problems; so does a file of more than 4 GiB
// (no resource of the game is so large), which is passed over.
TFolderLayer ReadFolderLayer(const std::string& path, std::string role, TFolderPlace place,
                             std::vector<std::string>& problems);

// The path of a folder layer's file.
std::string FolderFilePath(const TFolderLayer& layer, std::size_t line);

} // namespace vellocar
