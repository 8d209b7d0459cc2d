#pragma once
// Talk tables and soundsets as JSON, for cat --json and extract --json.
//
// A talk table: {"language": ID, "code_page": N, "entries": [{"strref", "flags", "text",
// "sound", "sound_length"}, ...]}, every entry in strref order, its text in UTF-8 (decoded with
// the code page), its sound ResRef as Windows-1252 text (a byte that page leaves undefined as
// \xHH, never a C1 control that a terminal would act on).
// A soundset: {"sounds": [{"index", "name", "resref", "strref"}, ...]}, in the soundset's order,
// named as BioWare's description of the format names them; a strref of 4294967295 is none.

#include "base/Json.h"
#include "names/ResourceTypes.h"

#include <cstdint>
#include <optional>
#include <span>

namespace vellocar {

// Whether WriteTalkJson writes resources of type: talk tables and soundsets.
inline constexpr bool IsTalkJsonType(TResType type) { return type == restype::kTlk || type == restype::kSsf; }

// Writes the talk table or soundset in bytes (of type, IsTalkJsonType) as one JSON document;
// a talk table's texts in codePage when one is given, else in its language's. Raises EFormatError
// naming the fault when the bytes are not what type says, before anything is written.
void WriteTalkJson(TResType type, std::span<const std::uint8_t> bytes, std::optional<std::uint32_t> codePage,
                   TJsonWriter& json);

} // namespace vellocar
