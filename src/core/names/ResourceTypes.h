#pragma once
// The one table that joins resource type numbers and file extensions, in both directions: the
// types the game knows by the three letters a loose file of that type is named with.

#include <cstdint>
#include <string>
#include <string_view>

namespace vellocar {

// The type that no row of the table has: an extension the table does not know.
inline constexpr std::int64_t kUnknownResType = 0xFFFF;

// The extension (three lower-case letters, no point) of a resource type; "" for a type the
// table does not know.
std::string ResTypeToExt(std::int64_t type);
// The same without a copy, for the listing of many entries.
std::string_view ResTypeExtension(std::int64_t type);

// The type number of an extension given with its leading point (".2da", ".BMP"); 65535 when no
// row of the table matches.
std::int64_t ExtToResType(std::string_view extension);

} // namespace vellocar
