#pragma once
// What `list --json` prints: the KEY, or one BIF of it, as one JSON document for scripts.
//
// Names in a KEY are single bytes in the game's Windows-1252, and need not be valid UTF-8,
// which JSON text must be. So every name comes twice: "name", its bytes decoded as
// Windows-1252 (the five bytes that code page leaves undefined as the C1 controls of the same
// value), and "name_hex", the exact bytes in hex, for a script to pass back or compare. Paths
// of this machine are shown as they are when they are valid UTF-8 (as on Linux), otherwise
// decoded as Windows-1252 too.

#include "KeyFiles.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace vellocar::cli {

std::string Windows1252ToUtf8(std::string_view bytes);

// The bytes of text as lower-case hex, two digits each.
std::string HexBytes(std::string_view text);

// A path as JSON text: itself when it is valid UTF-8, else decoded as Windows-1252.
std::string PathText(std::string_view path);

// The KEY at keyPath (whose BIFs are looked for in keyFolder): its header fields and every
// BIF it names, with where that BIF's file is looked for and whether it is there.
nlohmann::ordered_json KeyListing(const TNWNKeyFile& key, const std::string& keyPath, const std::string& keyFolder);

// The same header and that BIF, with each of its KEY entries; where the BIF's file is there and
// opens, each entry's offset and size in it (null otherwise, and for an entry whose index the
// BIF does not have).
nlohmann::ordered_json BifListing(const std::shared_ptr<const TNWNKeyFile>& key, const std::string& keyPath,
                                  const std::string& keyFolder, std::size_t bif);

} // namespace vellocar::cli
