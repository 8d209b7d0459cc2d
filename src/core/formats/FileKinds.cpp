// The kinds of NWN's files by their leading bytes: see FileKinds.h.

#include "formats/FileKinds.h"

#include "base/ByteIO.h"
#include "base/Text.h"

#include <algorithm>
#include <array>

namespace vellocar {

namespace {

constexpr std::string_view kGffVersion = "V3.2";

// Kinds named by their type alone, whatever their version: an archive of another version is
// still that archive, and is named so.
struct TKind {
    std::string_view Type;
    std::string_view Words;
};
constexpr std::array kKinds{
    TKind{"KEY ", "a KEY"},
    TKind{"BIFF", "a BIF"},
    TKind{"ERF ", "an ERF archive"},
    TKind{"HAK ", "a HAK"},
    TKind{"MOD ", "a module (MOD)"},
    TKind{"NWM ", "a premium module (NWM)"},
    TKind{"SAV ", "a saved game (SAV)"},
    TKind{"TLK ", "a talk table (TLK)"},
    TKind{"SSF ", "a sound set (SSF)"},
    TKind{"2DA ", "a 2DA"},
    TKind{"2DA\t", "a 2DA"},
};

// A GFF's type as its writers spell it: three or four capitals or digits, padded with blanks.
bool IsGffType(std::string_view type) {
    const auto letter = [](char c) { return IsAsciiDigit(c) || (c >= 'A' && c <= 'Z'); };
    const std::size_t end = type.find_last_not_of(' ');
    return end != std::string_view::npos && end >= 2 && std::all_of(type.begin(), type.begin() + end + 1, letter);
}

} // namespace

std::string FileKindOf(std::string_view head) {
    if (head.size() < kKindBytes) return {};
    const std::string_view type = head.substr(0, 4);
    for (const TKind& kind : kKinds)
        if (type == kind.Type) return std::string(kind.Words);
    if (head.substr(4, 4) == kGffVersion && IsGffType(type))
        return "a GFF file of type " + std::string(type.substr(0, type.find_last_not_of(' ') + 1));
    return {};
}

std::string FileKindOf(std::span<const std::uint8_t> head) {
    return FileKindOf(byteio::AsChars(head.data(), head.size()));
}

std::string WrongKindText(std::string_view kind, std::string_view head, const TFourCC& type, const TFourCC& version) {
    const std::string_view wantedType(type.data(), type.size());
    const std::string_view found = head.substr(0, std::min(head.size(), kKindBytes));
    if (found.size() >= wantedType.size() && found.substr(0, wantedType.size()) == wantedType) {
        if (found.substr(wantedType.size()) == std::string_view(version.data(), version.size())) return {};
        return "it is " + OtherVersionText(kind, found.substr(wantedType.size()), version);
    }
    const std::string words = FileKindOf(found);
    if (!words.empty()) return "it is " + words + ", not a " + std::string(kind);
    return "it is no " + std::string(kind) + ": its signature is " + Quoted(Printable(found)) + ", not " +
        Quoted(std::string(wantedType) + std::string(version.data(), version.size()));
}

std::string WrongKindText(std::string_view kind, std::span<const std::uint8_t> head, const TFourCC& type,
                          const TFourCC& version) {
    return WrongKindText(kind, byteio::AsChars(head.data(), head.size()), type, version);
}

} // namespace vellocar
