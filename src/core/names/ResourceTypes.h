#pragma once
// The one table that joins resource type numbers and file extensions, in both directions: the
// types the game knows by the three letters a loose file of that type is named with, those of
// the classic game and those the Enhanced Edition added.

#include <cstdint>
#include <string>
#include <string_view>

namespace vellocar {

// A resource type number. A KEY stores 16 bits of it and a BIF 32: this holds either without
// loss, so that a BIF's type beyond 16 bits is no other type cut short.
using TResType = std::uint32_t;

// The type that no row of the table has: an extension the table does not know.
inline constexpr TResType kUnknownResType = 0xFFFF;

// The types that the program treats on their own (textures, tables, text), by name, so that
// their numbers are spelled here only; the table below checks each against its row.
namespace restype {
inline constexpr TResType kTga = 3;
inline constexpr TResType kPlt = 6;
inline constexpr TResType kIni = 7;
inline constexpr TResType kBmu = 8;
inline constexpr TResType kTxt = 10;
inline constexpr TResType kNss = 2009;
inline constexpr TResType kSet = 2013;
inline constexpr TResType kTwoDa = 2017;
inline constexpr TResType kTlk = 2018;
inline constexpr TResType kTxi = 2022;
inline constexpr TResType kDds = 2033;
inline constexpr TResType kSsf = 2060;
inline constexpr TResType kShd = 2069;
inline constexpr TResType kMtr = 2072;
} // namespace restype

// The extension (three lower-case letters or digits, no point) of a resource type; "" for a
// type the table does not know.
std::string ResTypeToExt(TResType type);
// The same without a copy, for the listing of many entries.
std::string_view ResTypeExtension(TResType type);

// The type number of an extension given with its leading point (".2da", ".BMP"); 65535 when no
// row of the table matches.
TResType ExtToResType(std::string_view extension);

// Whether resources of the type are GFF files (blueprints, areas, dialogues, the module's IFO,
// characters...): the types the game and its toolset read and write as GFF V3.2. The bytes of
// such a resource still say whether they are one.
bool IsGffType(TResType type);

} // namespace vellocar
