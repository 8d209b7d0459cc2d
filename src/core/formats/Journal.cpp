// The build journal's reader and writer over bytes, checked by its CRC-32.

#include "formats/Journal.h"

#include "base/ByteIO.h"
#include "base/Crc32.h"
#include "base/Errors.h"
#include "base/Text.h"

#include <array>
#include <limits>

namespace vellocar::journalcodec {

namespace {

constexpr std::array<char, 4> kMagic{'V', 'L', 'C', 'J'};
constexpr std::uint16_t kVersion = 3;
constexpr std::uint8_t kHadCurrent = 1;
constexpr std::uint8_t kNewChecksumKnown = 2;
constexpr std::uint8_t kOldChecksumKnown = 4;
constexpr std::uint8_t kRenumbering = 8;
constexpr std::uint8_t kKnownFlags = kHadCurrent | kNewChecksumKnown | kOldChecksumKnown | kRenumbering;
constexpr std::size_t kHeaderSize = kMagic.size() + 2 + 1 + 1 + 8;
constexpr std::size_t kTrailerSize = 4;
// The longest piece of a name that a message about it quotes.
constexpr std::size_t kQuotedNameBytes = 64;

void PutName(byteio::Writer& out, const std::string& name) {
    // Paths this long cannot be opened anywhere; a build never gets as far as its journal.
    if (name.size() > std::numeric_limits<std::uint16_t>::max())
        throw EJournalError("Cannot write a build journal: the path " + Quoted(name.substr(0, kQuotedNameBytes)) +
                            "... is too long");
    out.U16(static_cast<std::uint16_t>(name.size()));
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(name.data());
    for (std::size_t i = 0; i < name.size(); ++i) out.U8(p[i]);
}

std::string TakeName(byteio::Reader& in) {
    const std::uint16_t size = in.U16();
    const std::uint8_t* p = in.Take(size);
    return std::string(reinterpret_cast<const char*>(p), size);
}

void PutMark(byteio::Writer& out, const TFileMark& mark) {
    out.U64(mark.Size);
    out.U64(mark.Volume);
    out.U64(mark.Index);
    out.U32(mark.Checksum);
}

TFileMark TakeMark(byteio::Reader& in, bool checksumKnown) {
    TFileMark mark;
    mark.Size = in.U64();
    mark.Volume = in.U64();
    mark.Index = in.U64();
    mark.Checksum = in.U32();
    mark.ChecksumKnown = checksumKnown;
    return mark;
}

[[noreturn]] void Damaged(const std::string& name, const std::string& why) {
    throw EJournalError("The build journal " + Quoted(name) + " is damaged (" + why +
                        "), so Vellocar will not act on it; nothing was changed. Check the KEY and BIF beside "
                        "it and their .bak files, then delete the journal");
}

} // namespace

std::vector<std::uint8_t> Serialize(const TJournal& journal) {
    std::vector<std::uint8_t> bytes;
    byteio::Writer out(bytes);
    out.Bytes(kMagic);
    out.U16(kVersion);
    out.U8(static_cast<std::uint8_t>(journal.Phase));
    out.U8(static_cast<std::uint8_t>(journal.Files.size()));
    out.U64(journal.Token);
    for (const TJournalFile& file : journal.Files) {
        out.U8(static_cast<std::uint8_t>(
            (file.HadCurrent ? kHadCurrent : 0) | (file.New.ChecksumKnown ? kNewChecksumKnown : 0) |
            (file.Old.ChecksumKnown ? kOldChecksumKnown : 0) | (file.Renumbering ? kRenumbering : 0)));
        PutMark(out, file.New);
        PutMark(out, file.Old);
        for (const std::string* name : {&file.Folder, &file.Name, &file.Temporary, &file.Aside}) PutName(out, *name);
    }
    out.U32(Crc32(bytes));
    return bytes;
}

TJournal Parse(std::span<const std::uint8_t> bytes, const std::string& name) {
    if (bytes.size() < kHeaderSize + kTrailerSize) Damaged(name, "it is too short");
    if (bytes.size() > kMaxSize) Damaged(name, "it is too long");
    const auto body = bytes.first(bytes.size() - kTrailerSize);
    if (byteio::Get32(bytes.data() + body.size()) != Crc32(body)) Damaged(name, "its checksum does not match");

    byteio::Reader in(body.data(), body.size());
    std::array<char, 4> magic{};
    in.Bytes(magic);
    if (magic != kMagic) Damaged(name, "it does not start as a journal");
    const std::uint16_t version = in.U16();
    if (version != kVersion)
        throw EJournalError("The build journal " + Quoted(name) + " is of version " + std::to_string(version) +
                            ", which this Vellocar does not read, so it will not act on it; nothing was changed. "
                            "Finish with the Vellocar that wrote it, or check the files and delete the journal");
    TJournal journal;
    const std::uint8_t phase = in.U8();
    if (phase < static_cast<std::uint8_t>(TJournalPhase::Writing) ||
        phase > static_cast<std::uint8_t>(TJournalPhase::Undone))
        Damaged(name, "unknown phase " + std::to_string(phase));
    journal.Phase = static_cast<TJournalPhase>(phase);
    const std::uint8_t count = in.U8();
    if (count == 0 || count > kMaxFiles) Damaged(name, "it names " + std::to_string(count) + " files");
    journal.Token = in.U64();
    try {
        for (std::uint8_t i = 0; i < count; ++i) {
            TJournalFile file;
            const std::uint8_t flags = in.U8();
            if ((flags & ~kKnownFlags) != 0) Damaged(name, "unknown flags");
            file.HadCurrent = (flags & kHadCurrent) != 0;
            file.Renumbering = (flags & kRenumbering) != 0;
            file.New = TakeMark(in, (flags & kNewChecksumKnown) != 0);
            file.Old = TakeMark(in, (flags & kOldChecksumKnown) != 0);
            file.Folder = TakeName(in);
            file.Name = TakeName(in);
            file.Temporary = TakeName(in);
            file.Aside = TakeName(in);
            if (file.Folder.empty() || file.Name.empty() || file.Temporary.empty())
                Damaged(name, "a file without a name");
            journal.Files.push_back(std::move(file));
        }
    } catch (const EReadError&) {
        Damaged(name, "it ends inside a record");
    }
    if (in.Position() != body.size()) Damaged(name, "bytes after its last record");
    return journal;
}

} // namespace vellocar::journalcodec
