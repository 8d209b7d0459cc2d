#pragma once
// What `list --json` prints: the KEY, or one BIF of it, as one JSON document for scripts,
// written as it is read: a KEY of a million entries never stands in memory as a document.
//
// Names in a KEY are single bytes in the game's Windows-1252, and need not be valid UTF-8,
// which JSON text must be. So every name comes twice: "name", its bytes decoded as
// Windows-1252 (the five bytes that code page leaves undefined as the C1 controls of the same
// value), and "name_hex", the exact bytes in hex, for a script to pass back or compare. Paths
// of this machine are shown as they are when they are valid UTF-8 (as on Linux), otherwise
// decoded as Windows-1252 too.

#include "formats/KeyFiles.h"
#include "JsonWriter.h"
#include "operations/Containers.h"

#include <cstddef>
#include <memory>
#include <string>

namespace vellocar::cli {

// The KEY at keyPath (whose BIFs are looked for in keyFolder): its header fields and every
// BIF it names, with where that BIF's file is looked for and whether it is there.
void WriteKeyListing(TJsonWriter& out, const TNWNKeyFile& key, const std::string& keyPath,
                     const std::string& keyFolder);

// The same header and that BIF, with each of its KEY entries; where the BIF's file is there and
// opens, each entry's offset and size in it (null otherwise, and for an entry whose index the
// BIF does not have). A ResRef's "name_hex" holds all its bytes but the zero bytes that pad it
// out, so that a name that starts with a zero byte keeps its bytes too.
void WriteBifListing(TJsonWriter& out, const std::shared_ptr<const TNWNKeyFile>& key, const std::string& keyPath,
                     const std::string& keyFolder, std::size_t bif);

// An archive of the ERF family: its header fields and localized strings ("text" decoded as
// Windows-1252, "text_hex" its bytes), and each resource as a BIF's listing gives it.
void WriteErfListing(TJsonWriter& out, const TResourceContainer& erf);

} // namespace vellocar::cli
