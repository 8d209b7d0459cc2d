#pragma once
// On-disk records declared once. A record's layout is the list of its fields in file order,
// each a member of the struct that holds it; its size and its reading and writing (little-
// endian, field by field, never a copy of a struct in host order) all follow from that list.
//
//   using VarEntry = TRecordLayout<&TNWNVarResEntry::Id, &TNWNVarResEntry::Offset, ...>;
//   static_assert(VarEntry::Size == 16);
//   VarEntry::Read(bytes, entry);  VarEntry::Write(entry, bytes);

#include "base/ByteIO.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace vellocar::byteio {

// How many bytes a field of type T takes: 8-, 16- and 32-bit integers, and fixed runs of bytes
// or single-byte characters (four-character tags, ResRefs, reserved space).
template <class T>
struct TFieldWidth;
template <>
struct TFieldWidth<std::uint8_t> {
    static constexpr std::size_t Value = 1;
};
template <>
struct TFieldWidth<std::uint16_t> {
    static constexpr std::size_t Value = 2;
};
template <>
struct TFieldWidth<std::uint32_t> {
    static constexpr std::size_t Value = 4;
};
template <class Element, std::size_t Count>
struct TFieldWidth<std::array<Element, Count>> {
    static_assert(sizeof(Element) == 1, "a run of bytes or characters");
    static constexpr std::size_t Value = Count;
};

template <class Member>
struct TMemberOf;
template <class Record, class Type>
struct TMemberOf<Type Record::*> {
    using RecordType = Record;
    using FieldType = Type;
};

template <auto Member>
inline constexpr std::size_t kFieldWidth = TFieldWidth<typename TMemberOf<decltype(Member)>::FieldType>::Value;

inline void ReadField(const std::uint8_t* in, std::uint8_t& field) { field = *in; }
inline void ReadField(const std::uint8_t* in, std::uint16_t& field) { field = Get16(in); }
inline void ReadField(const std::uint8_t* in, std::uint32_t& field) { field = Get32(in); }
template <class Element, std::size_t Count>
void ReadField(const std::uint8_t* in, std::array<Element, Count>& field) {
    for (std::size_t i = 0; i < Count; ++i) field[i] = static_cast<Element>(in[i]);
}

inline void WriteField(std::uint8_t* out, std::uint8_t field) { *out = field; }
inline void WriteField(std::uint8_t* out, std::uint16_t field) { Put16(out, field); }
inline void WriteField(std::uint8_t* out, std::uint32_t field) { Put32(out, field); }
template <class Element, std::size_t Count>
void WriteField(std::uint8_t* out, const std::array<Element, Count>& field) {
    for (std::size_t i = 0; i < Count; ++i) out[i] = static_cast<std::uint8_t>(field[i]);
}

template <auto First, auto... Rest>
struct TRecordLayout {
    using Record = typename TMemberOf<decltype(First)>::RecordType;
    static_assert((std::is_same_v<Record, typename TMemberOf<decltype(Rest)>::RecordType> && ...),
                  "every field is a member of one record");

    static constexpr std::size_t Size = (kFieldWidth<First> + ... + kFieldWidth<Rest>);

    // Reads the fields from in, which holds at least Size bytes.
    static void Read(const std::uint8_t* in, Record& record) {
        ReadField(in, record.*First);
        std::size_t at = kFieldWidth<First>;
        ((ReadField(in + at, record.*Rest), at += kFieldWidth<Rest>), ...);
    }
    static Record Read(const std::uint8_t* in) {
        Record record{};
        Read(in, record);
        return record;
    }
    // Writes the fields to out, which has room for Size bytes.
    static void Write(const Record& record, std::uint8_t* out) {
        WriteField(out, record.*First);
        std::size_t at = kFieldWidth<First>;
        ((WriteField(out + at, record.*Rest), at += kFieldWidth<Rest>), ...);
    }
};

} // namespace vellocar::byteio
