#pragma once
// GFF V3.2, the game's generic file format (blueprints, dialogues, areas, modules, characters):
// a tree of structs whose fields are labelled values, read from and written to bytes.
//
// The tree is held flat, as the file holds it: structs, fields, labels and the variable data in
// arrays, fields referring to structs and lists by index. Each struct has one parent (the root
// none): a file in which a struct is reached twice, or refers back to an ancestor, is refused,
// so that the tree is never larger than the file says and a walk of it always ends.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vellocar::gff {

// The field types, with the file's numbers.
enum class TGffType : std::uint32_t {
    Byte = 0,
    Char = 1,
    Word = 2,
    Short = 3,
    Dword = 4,
    Int = 5,
    Dword64 = 6,
    Int64 = 7,
    Float = 8,
    Double = 9,
    ExoString = 10,
    ResRef = 11,
    ExoLocString = 12,
    Void = 13,
    Struct = 14,
    List = 15,
};
inline constexpr std::uint32_t kGffTypeCount = 16;

// The type's name as the community's JSON writes it: "byte", "char", ..., "cexostring",
// "resref", "cexolocstring", "void", "struct", "list".
const char* GffTypeName(TGffType type);

// The struct id of the root, and a CExoLocString's StrRef when it has none.
inline constexpr std::uint32_t kRootStructId = 0xFFFFFFFFu;
inline constexpr std::uint32_t kNoStrRef = 0xFFFFFFFFu;
// The longest label and ResRef the file can hold.
inline constexpr std::size_t kMaxLabel = 16;
inline constexpr std::size_t kMaxResRef = 255; // a ResRef's length is one byte (the game uses 16)

// A CExoLocString: its StrRef into a talk table, and its own strings by StringID
// (language x 2 + gender), in the file's order. Texts are bytes in the game's code page.
struct TGffLocString {
    std::uint32_t StrRef = kNoStrRef;
    std::vector<std::pair<std::uint32_t, std::string>> Strings;
};

struct TGffField {
    std::uint32_t Label = 0; // index into TGff::Labels
    TGffType Type = TGffType::Byte;
    // Byte .. Int64: the value, sign-extended for Char, Short, Int and Int64 (read it back
    // with static_cast<std::int64_t>); Float and Double: the IEEE bits (Float in the low 32).
    std::uint64_t Value = 0;
    // ExoString, ResRef, Void: index into TGff::Data; ExoLocString: into TGff::LocStrings;
    // Struct: the struct's index into TGff::Structs; List: index into TGff::Lists.
    std::uint32_t Ref = 0;
};

struct TGffStruct {
    std::uint32_t Id = 0; // the file's struct type; kRootStructId for the root
    // Its fields: TGff::Fields[FirstField, FirstField + FieldCount), in the file's order.
    std::uint32_t FirstField = 0;
    std::uint32_t FieldCount = 0;
};

// A list: its structs, TGff::ListItems[First, First + Count), each a struct index.
struct TGffList {
    std::uint32_t First = 0;
    std::uint32_t Count = 0;
};

struct TGff {
    std::string FileType = "GFF "; // four characters, blanks kept: "UTI ", "DLG ", "IFO "
    std::string FileVersion = "V3.2";
    std::vector<TGffStruct> Structs; // [0] is the root
    std::vector<TGffField> Fields;
    std::vector<std::string> Labels; // each at most kMaxLabel bytes, no NUL
    std::vector<std::string> Data; // ExoString, ResRef and Void bytes
    std::vector<TGffLocString> LocStrings;
    std::vector<TGffList> Lists;
    std::vector<std::uint32_t> ListItems;

    const TGffStruct& Root() const { return Structs.at(0); }
    std::span<const TGffField> FieldsOf(const TGffStruct& s) const {
        return std::span<const TGffField>(Fields).subspan(s.FirstField, s.FieldCount);
    }
    const std::string& LabelOf(const TGffField& field) const { return Labels.at(field.Label); }
    std::span<const std::uint32_t> ItemsOf(const TGffList& list) const {
        return std::span<const std::uint32_t>(ListItems).subspan(list.First, list.Count);
    }
};

// The deepest nesting of structs accepted (the game's deepest, a dialogue's, is far less).
inline constexpr std::size_t kMaxGffDepth = 256;

// Reads a GFF V3.2 of any file type. Raises EGffError (base/Errors.h), naming the fault, for
// anything the bytes cannot hold: counts or offsets past the end, a field of an unknown type,
// a label index out of range, a struct reached twice or inside itself, depth past kMaxGffDepth.
// Memory stays a small multiple of the input.
TGff ReadGff(std::span<const std::uint8_t> bytes);

// Writes gff as the game writes it: structs, fields, labels, field data, field indices, list
// indices, in that order; labels written once each. ReadGff(WriteGff(g)) gives g back field for
// field (labels may be renumbered). Raises EGffError for a model the format cannot hold.
std::vector<std::uint8_t> WriteGff(const TGff& gff);

} // namespace vellocar::gff
