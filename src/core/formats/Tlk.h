#pragma once
// Talk tables (TLK V3.0: the game's dialog.tlk and a module's custom TLK), soundsets (SSF) and
// music (BMU), read from bytes.
//
// A talk table is read lazily: the header and the entry table are checked against the bytes
// once, and each string is decoded when asked for, so that the game's dialog.tlk (about 14 MB,
// some 100,000 entries) opens in a few milliseconds.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellocar::tlk {

// Strrefs from here up refer to a module's custom talk table (its entry strref - kCustomBase).
inline constexpr std::uint32_t kCustomStrRefBase = 0x01000000u;

struct TTlkEntry {
    std::uint32_t Flags = 0; // 1 text present, 2 sound present, 4 sound length present
    std::string SoundResRef; // up to 16 bytes, NULs cut
    float SoundLength = 0;
    std::string Text; // UTF-8, decoded with the table's code page
};

class TTalkTable {
public:
    // Reads a TLK V3.0; raises EFormatError (base/Errors.h) naming the fault for a header,
    // entry table or string that the bytes cannot hold. Takes the bytes and keeps them.
    static TTalkTable Read(std::vector<std::uint8_t> bytes);

    std::uint32_t Language() const { return language_; }
    // The Windows code page of the table's language: 1252 for the Western languages, 1250 for
    // Polish, ... (the game's own table).
    std::uint32_t CodePage() const;
    // Decodes the texts with codePage instead of the language's: a table whose language ID says
    // nothing of its text (the community's Russian tables carry one of the Western IDs).
    void UseCodePage(std::uint32_t codePage) { codePage_ = codePage; }
    std::size_t Count() const { return count_; }
    // Entry strref (0-based, below Count()); nothing past the end.
    std::optional<TTlkEntry> Entry(std::uint32_t strref) const;
    // Just the text of strref, UTF-8; nothing past the end or when the entry has no text.
    std::optional<std::string> Text(std::uint32_t strref) const;

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t language_ = 0;
    std::size_t count_ = 0;
    std::uint32_t stringsOffset_ = 0;
    std::optional<std::uint32_t> codePage_;
};

// The Windows code page of a talk table's language as the game reads it: 1252 for English (0),
// French (1), German (2), Italian (3) and Spanish (4), 1250 for Polish (5), 949 for Korean (128),
// 950 for traditional (129) and 936 for simplified Chinese (130), 932 for Japanese (131); 1252
// for any other.
std::uint32_t CodePageOfLanguage(std::uint32_t language);

// A soundset: its sounds, each a ResRef of a WAV and a strref of the text shown with it.
struct TSsfEntry {
    std::string ResRef; // up to 16 bytes, NULs cut
    std::uint32_t StrRef = 0xFFFFFFFFu; // 0xFFFFFFFF: none
};
// Reads an SSF V1.0 (the soundsets of the game); raises EFormatError naming the fault.
std::vector<TSsfEntry> ReadSsf(std::span<const std::uint8_t> bytes);
// The name of a soundset's sound by its index ("Attack", "Battlecry 1", ...), as the toolset
// names them; "Sound <n>" past the known ones.
std::string SsfSoundName(std::size_t index);

// The MP3 inside a BMU: the bytes after its 8-byte "BMU V1.0" header; the bytes themselves
// when they do not start with it (some BMUs are plain MP3).
std::span<const std::uint8_t> Mp3OfBmu(std::span<const std::uint8_t> bytes);

} // namespace vellocar::tlk
