#pragma once
// A GFF as JSON, both ways, in the shape that modders keep in version control (the one Neverwinter
// Nights' community tools write), so that a file converted here and there comes back the same:
//
//   {
//     "__data_type": "UTI ",                 the file type, blank kept
//     "Tag": {"type": "cexostring", "value": "x"},
//     "Sub": {"__struct_id": 3, "type": "struct", "value": {"__struct_id": 3, ...}},
//     "Items": {"type": "list", "value": [{"__struct_id": 0, ...}]},
//     "Name": {"type": "cexolocstring", "value": {"0": "Sword", "id": 1234}},
//     "Blob": {"type": "void", "value64": "AAEC"}
//   }
//
// Every object's keys in the order of their lower-cased bytes (a shorter key first at a common
// start; keys equal but for case in the file's order); a struct's "__struct_id" left out when it is
// 0xFFFFFFFF (-1), a CExoLocString's "id" when it has no StrRef; struct ids and StringIDs as signed
// 32-bit numbers; floats (widened to double) and doubles in their shortest exact digits, always
// with a point or an exponent ("1.0", "0.10000000149011612", "1e+20"), NaN and the infinities as
// the strings "nan", "inf", "-inf". Two spaces per level, "\n" inside, "\r\n" after the document.
// Text (labels, strings, ResRefs, the file type) goes from the game's Windows-1252 into UTF-8 and
// back; a character that Windows-1252 cannot hold is refused, naming the field.

#include "base/Json.h"
#include "formats/Gff.h"

#include <string>
#include <string_view>

namespace vellocar::gff {

// How the community's tools lay the document out.
inline constexpr TJsonStyle kGffJsonStyle{true, "\r\n"};

// Writes gff as JSON to sink in bounded chunks; false when the sink refused a chunk. Raises
// EJsonError for a model that JSON cannot hold (two fields of one label in a struct, a label
// that is one of the document's own keys, two strings of one StringID, structs nested past
// kMaxGffDepth) or that does not hold together (an index out of range).
bool WriteGffJson(const TGff& gff, const TJsonWriter::Sink& sink);

// The same as one text.
std::string GffToJson(const TGff& gff);

// Reads the JSON text of a GFF. Raises EJsonError, naming the line, column and field, for text
// that is not such a document: not JSON, a field without a known "type", a value of the wrong kind
// or out of its type's range, a label longer than kMaxLabel or twice in one struct, text that
// Windows-1252 cannot hold, base64 that does not decode, nesting past kMaxGffDepth, no
// "__data_type" of four characters.
TGff GffFromJson(std::string_view text);

// The shortest digits of value as the community's writer spells a double: "1.0", "0.001",
// "1e-7", "1.5e+20", "-0.0" (finite values only).
std::string JsonDoubleText(double value);

} // namespace vellocar::gff
