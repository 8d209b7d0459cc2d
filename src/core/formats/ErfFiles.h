#pragma once
// Archives of the ERF family (HAK, MOD, ERF, NWM, SAV) on disk: telling one by its first bytes,
// and reading its header and tables (never its resources' bytes, which are read one at a time,
// each bounded by its size, as a BIF's are). The layout and the reading of the bytes are in
// ErfCodec.h.

#include "formats/ErfCodec.h"

#include <functional>
#include <optional>
#include <string>

namespace vellocar {

// Whether the file at path starts as an archive of the family (of any version); false for a
// file that is none, too short to say, or cannot be read.
bool IsErfArchive(const std::string& path);

// Reads the header and tables of the archive at path, only the bytes they take. Tables that do
// not fit the file are refused with EFormatError before anything is allocated for them.
TErfFile ReadErfTables(const std::string& path);

// Reads the archive at path for a check of it (erfcodec::ParseForCheck): every fault told to
// fault, in words that follow the path, and what lies within the file read all the same.
// Nothing when not even its header is one of the family of this version. Raises only when the
// file cannot be read (missing, unreadable).
std::optional<TErfFile> ReadErfForCheck(const std::string& path,
                                        const std::function<void(const std::string& fault)>& fault);

} // namespace vellocar
