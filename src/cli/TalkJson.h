#pragma once
// Talk tables and soundsets as JSON, for cat --json, and the MP3 of a BMU for cat --mp3.
//
// A talk table: {"language": ID, "code_page": N, "entries": [{"strref", "flags", "text",
// "sound", "sound_length"}, ...]}, every entry in strref order, its text in UTF-8 (decoded with
// the code page), its sound ResRef as Windows-1252 text.
// A soundset: {"sounds": [{"index", "name", "resref", "strref"}, ...]}, in the soundset's order,
// named as the toolset names them; a strref of 4294967295 is none.

#include "JsonWriter.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vellocar::cli {

// The resource types read here (names/ResourceTypes.h gives the same numbers by extension).
inline constexpr std::uint16_t kBmuType = 8;
inline constexpr std::uint16_t kTlkType = 2018;
inline constexpr std::uint16_t kSsfType = 2060;

// Whether WriteTalkJson writes resources of type.
inline constexpr bool IsTalkJsonType(std::uint16_t type) { return type == kTlkType || type == kSsfType; }

// Writes the talk table or soundset in bytes (of type, IsTalkJsonType) as one JSON document;
// a talk table's texts in codePage when one is given, else in its language's. Raises EFormatError
// naming the fault when the bytes are not what type says, before anything is written.
void WriteTalkJson(std::uint16_t type, std::vector<std::uint8_t> bytes, std::optional<std::uint32_t> codePage,
                   TJsonWriter& json);

} // namespace vellocar::cli
