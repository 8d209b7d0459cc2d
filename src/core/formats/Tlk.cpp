// Talk tables, soundsets and music over bytes: see Tlk.h.
//
// TLK V3.0: a 20-byte header ("TLK ", "V3.0", LanguageID, StringCount, StringEntriesOffset), then
// StringCount entries of 40 bytes right after it, then the texts, each entry's at
// StringEntriesOffset + its OffsetToString.
// SSF V1.0: a 40-byte header ("SSF ", "V1.0", EntryCount, TableOffset, 24 bytes of padding), a
// table of EntryCount u32 offsets from the start of the file, each to a 20-byte entry (a ResRef
// of 16 bytes, a u32 strref).

#include "formats/Tlk.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"

#include <array>
#include <bit>
#include <cstring>
#include <utility>

namespace vellocar::tlk {

namespace {

using byteio::Get32;
using byteio::RangeEnd;

constexpr std::size_t kSignatureBytes = 4;
constexpr char kTlkType[] = "TLK ";
constexpr char kTlkVersion[] = "V3.0";

// The TLK header, field by field.
namespace tlkheader {
constexpr std::size_t Language = 8;
constexpr std::size_t StringCount = 12;
constexpr std::size_t StringsOffset = 16;
constexpr std::size_t Size = 20;
} // namespace tlkheader

// One TLK entry, field by field.
namespace tlkentry {
constexpr std::size_t Flags = 0;
constexpr std::size_t SoundResRef = 4;
constexpr std::size_t ResRefBytes = 16;
constexpr std::size_t VolumeVariance = 20;
constexpr std::size_t PitchVariance = 24;
constexpr std::size_t StringOffset = 28;
constexpr std::size_t StringSize = 32;
constexpr std::size_t SoundLength = 36;
constexpr std::size_t Size = 40;
static_assert(SoundLength + 4 == Size && VolumeVariance + 4 == PitchVariance && PitchVariance + 4 == StringOffset);
} // namespace tlkentry

constexpr std::uint32_t kTextPresent = 1;

// The SSF header and entries, field by field.
constexpr char kSsfType[] = "SSF ";
constexpr char kSsfVersion[] = "V1.0";
namespace ssfheader {
constexpr std::size_t EntryCount = 8;
constexpr std::size_t TableOffset = 12;
constexpr std::size_t Size = 40;
} // namespace ssfheader
namespace ssfentry {
constexpr std::size_t ResRefBytes = 16;
constexpr std::size_t StrRef = 16;
constexpr std::size_t Size = 20;
} // namespace ssfentry
constexpr std::size_t kSsfOffsetBytes = 4;

constexpr char kBmuHeader[] = "BMU V1.0";
constexpr std::size_t kBmuHeaderBytes = sizeof(kBmuHeader) - 1;

bool Starts(std::span<const std::uint8_t> bytes, std::size_t at, const char* text) {
    const std::size_t n = std::strlen(text);
    return bytes.size() >= at + n && std::memcmp(bytes.data() + at, text, n) == 0;
}

// A ResRef of a fixed field: its bytes up to the first NUL.
std::string ResRefOf(const std::uint8_t* field, std::size_t size) {
    std::size_t n = 0;
    while (n < size && field[n] != 0) ++n;
    return std::string(byteio::AsChars(field, n));
}

std::string NotA(const char* kind, std::span<const std::uint8_t> bytes, const char* type, const char* version) {
    const std::size_t shown = std::min<std::size_t>(bytes.size(), 2 * kSignatureBytes);
    return std::string("this is no ") + kind + " (it starts with " +
        Quoted(Printable(byteio::AsChars(bytes.data(), shown))) + ", not " + Quoted(std::string(type) + version) + ")";
}

} // namespace

std::uint32_t CodePageOfLanguage(std::uint32_t language) {
    switch (language) {
        case 5:
            return kCodePageCentralEurope; // Polish
        case 128:
            return 949; // Korean
        case 129:
            return 950; // Chinese, traditional
        case 130:
            return 936; // Chinese, simplified
        case 131:
            return 932; // Japanese
        default:
            return kCodePageWestern; // English, French, German, Italian, Spanish, and the unknown
    }
}

TTalkTable TTalkTable::Read(std::vector<std::uint8_t> bytes) {
    const std::span<const std::uint8_t> all(bytes);
    const std::uint64_t fileSize = bytes.size();
    if (!Starts(all, 0, kTlkType) ||
        (bytes.size() >= 2 * kSignatureBytes && !Starts(all, kSignatureBytes, kTlkVersion)))
        throw EFormatError(NotA("talk table of version V3.0", all, kTlkType, kTlkVersion));
    if (bytes.size() < tlkheader::Size)
        throw EFormatError("the file is too short for a talk table's header (file " + std::to_string(fileSize) +
                           " bytes, header " + std::to_string(tlkheader::Size) + " bytes)");
    TTalkTable table;
    table.language_ = Get32(bytes.data() + tlkheader::Language);
    const std::uint32_t count = Get32(bytes.data() + tlkheader::StringCount);
    table.stringsOffset_ = Get32(bytes.data() + tlkheader::StringsOffset);
    if (!RangeEnd(tlkheader::Size, count, tlkentry::Size, fileSize))
        throw EFormatError(byteio::PastEnd("the entry table", tlkheader::Size, count, tlkentry::Size, fileSize));
    if (table.stringsOffset_ > fileSize)
        throw EFormatError("the texts start past the end of the file (offset " + std::to_string(table.stringsOffset_) +
                           ", file " + std::to_string(fileSize) + " bytes)");
    // Every text within the file, once, so that an entry can be read later without a check.
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = bytes.data() + tlkheader::Size + std::size_t{i} * tlkentry::Size;
        const std::uint32_t offset = Get32(entry + tlkentry::StringOffset);
        const std::uint32_t size = Get32(entry + tlkentry::StringSize);
        if (size != 0 && !RangeEnd(std::uint64_t{table.stringsOffset_} + offset, size, 1, fileSize))
            throw EFormatError("the text of strref " + std::to_string(i) + " runs past the end of the file (offset " +
                               std::to_string(table.stringsOffset_) + " + " + std::to_string(offset) + ", " +
                               std::to_string(size) + " bytes, file " + std::to_string(fileSize) + " bytes)");
    }
    table.count_ = count;
    table.bytes_ = std::move(bytes);
    return table;
}

std::uint32_t TTalkTable::CodePage() const { return codePage_.value_or(CodePageOfLanguage(language_)); }

std::optional<TTlkEntry> TTalkTable::Entry(std::uint32_t strref) const {
    if (strref >= count_) return std::nullopt;
    const std::uint8_t* entry = bytes_.data() + tlkheader::Size + std::size_t{strref} * tlkentry::Size;
    TTlkEntry out;
    out.Flags = Get32(entry + tlkentry::Flags);
    out.SoundResRef = ResRefOf(entry + tlkentry::SoundResRef, tlkentry::ResRefBytes);
    out.SoundLength = std::bit_cast<float>(Get32(entry + tlkentry::SoundLength));
    const std::uint32_t size = Get32(entry + tlkentry::StringSize);
    if (size != 0) {
        const std::size_t at = std::size_t{stringsOffset_} + Get32(entry + tlkentry::StringOffset);
        out.Text = CodePageToUtf8(CodePage(), byteio::AsChars(bytes_.data() + at, size));
    }
    return out;
}

std::optional<std::string> TTalkTable::Text(std::uint32_t strref) const {
    if (strref >= count_) return std::nullopt;
    const std::uint8_t* entry = bytes_.data() + tlkheader::Size + std::size_t{strref} * tlkentry::Size;
    if ((Get32(entry + tlkentry::Flags) & kTextPresent) == 0) return std::nullopt;
    const std::uint32_t size = Get32(entry + tlkentry::StringSize);
    if (size == 0) return std::string();
    const std::size_t at = std::size_t{stringsOffset_} + Get32(entry + tlkentry::StringOffset);
    return CodePageToUtf8(CodePage(), byteio::AsChars(bytes_.data() + at, size));
}

std::vector<TSsfEntry> ReadSsf(std::span<const std::uint8_t> bytes) {
    const std::uint64_t fileSize = bytes.size();
    if (!Starts(bytes, 0, kSsfType) ||
        (bytes.size() >= 2 * kSignatureBytes && !Starts(bytes, kSignatureBytes, kSsfVersion)))
        throw EFormatError(NotA("soundset of version V1.0", bytes, kSsfType, kSsfVersion));
    if (bytes.size() < ssfheader::Size)
        throw EFormatError("the file is too short for a soundset's header (file " + std::to_string(fileSize) +
                           " bytes, header " + std::to_string(ssfheader::Size) + " bytes)");
    const std::uint32_t count = Get32(bytes.data() + ssfheader::EntryCount);
    const std::uint32_t table = Get32(bytes.data() + ssfheader::TableOffset);
    if (!RangeEnd(table, count, kSsfOffsetBytes, fileSize))
        throw EFormatError(byteio::PastEnd("the entry table", table, count, kSsfOffsetBytes, fileSize));
    // The count is bounded by the bytes now: each entry takes four bytes of the file.
    std::vector<TSsfEntry> entries;
    entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t at = Get32(bytes.data() + table + std::size_t{i} * kSsfOffsetBytes);
        if (!RangeEnd(at, 1, ssfentry::Size, fileSize))
            throw EFormatError("sound " + std::to_string(i) + " runs past the end of the file (offset " +
                               std::to_string(at) + ", " + std::to_string(ssfentry::Size) + " bytes, file " +
                               std::to_string(fileSize) + " bytes)");
        entries.push_back(
            {ResRefOf(bytes.data() + at, ssfentry::ResRefBytes), Get32(bytes.data() + at + ssfentry::StrRef)});
    }
    return entries;
}

std::string SsfSoundName(std::size_t index) {
    // The soundset's sounds in their order in every soundset, as the game's own description of the
    // format names them.
    static constexpr std::array<const char*, 49> kNames = {"Attack",
                                                           "Battlecry 1",
                                                           "Battlecry 2",
                                                           "Battlecry 3",
                                                           "Heal me",
                                                           "Help",
                                                           "Enemies sighted",
                                                           "Flee",
                                                           "Taunt",
                                                           "Guard me",
                                                           "Hold",
                                                           "Attack Grunt 1",
                                                           "Attack Grunt 2",
                                                           "Attack Grunt 3",
                                                           "Pain Grunt 1",
                                                           "Pain Grunt 2",
                                                           "Pain Grunt 3",
                                                           "Near death",
                                                           "Death",
                                                           "Poisoned",
                                                           "Spell failed",
                                                           "Weapon ineffective",
                                                           "Follow me",
                                                           "Look here",
                                                           "Group party",
                                                           "Move over",
                                                           "Pick lock",
                                                           "Search",
                                                           "Go stealthy",
                                                           "Can do",
                                                           "Cannot do",
                                                           "Task complete",
                                                           "Encumbered",
                                                           "Selected",
                                                           "Hello",
                                                           "Yes",
                                                           "No",
                                                           "Stop",
                                                           "Rest",
                                                           "Bored",
                                                           "Goodbye",
                                                           "Thank you",
                                                           "Laugh",
                                                           "Cuss",
                                                           "Cheer",
                                                           "Something to say",
                                                           "Good idea",
                                                           "Bad idea",
                                                           "Threaten"};
    if (index < kNames.size()) return kNames[index];
    return "Sound " + std::to_string(index);
}

std::span<const std::uint8_t> Mp3OfBmu(std::span<const std::uint8_t> bytes) {
    return Starts(bytes, 0, kBmuHeader) ? bytes.subspan(kBmuHeaderBytes) : bytes;
}

} // namespace vellocar::tlk
