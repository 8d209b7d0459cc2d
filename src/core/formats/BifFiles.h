#pragma once
// BIF data archives on disk: where a KEY's BIF lies, and opening one with its KEY, as a value
// (OpenBif). The records and tables are BifTables.h's, the reading of the bytes BifCodec.h's.

#include "formats/BifTables.h"
#include "formats/KeyModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellocar {

// Where the BIF that a KEY in keyFolder stores as storedName lies. First where the classic
// game keeps it: keyFolder + storedName (platform::ResolveStoredName). When nothing is there,
// the Enhanced Edition's layouts, whose KEYs sit one folder below the names' root: the KEY's
// parent folder + storedName (<game>/data/nwn_base.key naming data\base_2da.bif), then the
// KEY's own folder + the stored name's last part (the language KEYs in <game>/lang/xx/data).
// A name beyond ASCII is looked for as stored, then (Classic false) as this system spells it
// (FileNameOf: UTF-8 on Linux).
// found says whether a file stands there; when none does, the classic path is returned, so
// that the error names where the BIF was looked for first.
struct TBifLocation {
    std::string Path;
    bool Found = false;
    bool Classic = true; // the path is keyFolder + storedName
};
TBifLocation LocateBif(const std::string& keyFolder, const std::string& storedName);

// Which entry of key the BIF at path is: bifIndex where the caller knows it; otherwise the KEY
// Filename that ends path, else the first one that occurs in it (a path that holds none of them
// is refused with EFormatError); 0 without a KEY.
std::int32_t BifEntryOf(const std::string& path, const TNWNKeyFile* key, std::optional<std::int32_t> bifIndex = {});

// Reads the header and tables of the BIF at path. Tables that do not fit the file are refused
// with EFormatError before anything is allocated.
TBifTables ReadBifTables(const std::string& path);

// Why the BIF at path, read as tables, cannot be a BIF of key: a BIF of the other version (V1
// and E1 are made in pairs), or an E1 BIF whose object ID is not the KEY's (a BIF of another
// build of the KEY, whose resources the KEY's entries do not describe); "" when it can be.
std::string BifKeyMismatch(const TBifTables& tables, const TNWNKeyFile& key);

// Both: the BIF at path read as entry BifEntryOf of key, refused with EFormatError when it cannot
// be a BIF of key (BifKeyMismatch).
TOpenedBif OpenBif(const std::string& path, const TNWNKeyFile* key, std::optional<std::int32_t> bifIndex = {});

// The lines a list shows for BIF bif of key: one per KEY entry in KEY order, each the
// resource's name and extension as this system spells names.
std::vector<std::string> ResourceLines(const TNWNKeyFile& key, std::size_t bif);

} // namespace vellocar
