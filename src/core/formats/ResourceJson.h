#pragma once
// The JSON form of a resource, for the kinds that have one: one place that says which kinds
// those are, so that cat --json, extract --json and convert agree, and a new kind is one branch.

#include "base/Json.h"
#include "names/ResourceTypes.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vellocar {

// Whether resources of the type have a JSON form.
bool HasJsonForm(TResType type);

// Writes the JSON form of a resource of the type (its bytes) to sink: a GFF in the community's
// shape, a talk table's entries (its texts in codePage when one is given, else its language's),
// a soundset's sounds. False, nothing written, when the type has none. Raises EDecodeError when
// the bytes are not what the type says (a GFF that is not GFF V3.2, a damaged table) or JSON
// cannot hold them, and EWriteError when sink refuses a chunk.
bool WriteResourceJson(TResType type, std::span<const std::uint8_t> bytes, const TJsonWriter::Sink& sink,
                       std::optional<std::uint32_t> codePage = std::nullopt);

// Raises EDecodeError unless bytes start as a GFF V3.2 does, so that a file of another kind is
// named as such rather than read as a damaged GFF.
void CheckGffVersion(std::span<const std::uint8_t> bytes);

} // namespace vellocar
