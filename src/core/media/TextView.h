#pragma once
// Which resources read as text, and their text as UTF-8.

#include "names/ResourceTypes.h"

#include <cstdint>
#include <span>
#include <string>

namespace vellocar::media {

// Whether the game keeps this resource type as text: txt, ini, nss (scripts), set (tilesets),
// 2da (tables), txi (texture information).
bool IsTextType(TResType resType);

// Whether bytes are printable Windows-1252 text: every byte a character Windows-1252 defines
// and no control byte but tab, line feed, carriage return and form feed. Empty bytes are text.
bool IsPrintableText(std::span<const std::uint8_t> bytes);

// Whether a resource is best shown as text: by its type, or by its bytes (so the Enhanced
// Edition's materials and shaders, mtr and shd, when they hold only text).
bool ReadsAsText(TResType resType, std::span<const std::uint8_t> bytes);

// The text of Windows-1252 bytes in UTF-8 (line ends as they are; the five bytes Windows-1252
// leaves undefined as the C1 controls of their value).
std::string TextOf(std::span<const std::uint8_t> bytes);

} // namespace vellocar::media
