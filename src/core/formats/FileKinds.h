#pragma once
// What a file is, by its first 8 bytes. NWN's own formats start with a 4-byte type and a 4-byte
// version, both ASCII ("KEY V1  ", "BIFFV1  ", "HAK V1.0", "UTI V3.2"), so a file taken for the
// wrong kind can be named in the message that refuses it: a BIF given as a KEY would otherwise
// be read as garbage tables, or a HAK called a KEY "of version V1.0".

#include "formats/KeyModel.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vellocar {

// How many leading bytes FileKindOf looks at.
inline constexpr std::size_t kKindBytes = 8;

// What a file whose leading bytes are head is, in words for a message: "a KEY", "a BIF", "an
// ERF archive", "a HAK", "a module (MOD)", "a talk table (TLK)", "a GFF file of type UTI", "a
// 2DA", ...; "" when they are none of these (or fewer than a type and version are at hand).
// Only the type decides, except for a GFF, whose type is its own and whose version says it.
std::string FileKindOf(std::span<const std::uint8_t> head);
std::string FileKindOf(std::string_view head);

// Why a file whose leading bytes are head cannot be read as kind ("KEY", "BIF"), whose files
// start with type and version; "" when it starts as one. The words follow "it" in the message
// of CannotOpenAs: "it is a BIF, not a KEY"; "it is of version "V1.1", which Vellocar does not
// read (...)" (OtherVersionText); for a file of no kind known here "it is no KEY: its first
// bytes are "KEYSV1  ", not "KEY V1  "".
std::string WrongKindText(std::string_view kind, std::string_view head, const TFourCC& type, const TFourCC& version);
std::string WrongKindText(std::string_view kind, std::span<const std::uint8_t> head, const TFourCC& type,
                          const TFourCC& version);

} // namespace vellocar
