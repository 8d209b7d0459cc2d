#pragma once
// KEY index files on disk: TNWNKeyFile's LoadFromFile and SaveToFile (KeyFiles.cpp), and the
// reading of a KEY for a check. The model is KeyModel.h's.

#include "formats/KeyModel.h"

#include <functional>
#include <optional>
#include <string>

namespace vellocar {

// Reads the KEY at path for a check of it (keycodec::ParseForCheck): every fault of its
// structure told to fault (in words that follow the KEY's path), and what lies within the file
// read all the same. Nothing when not even its header is a KEY header of this version. Raises
// only when the file cannot be read (missing, unreadable).
std::optional<TNWNKeyFile> LoadKeyForCheck(const std::string& path,
                                           const std::function<void(const std::string& fault)>& fault);

} // namespace vellocar
