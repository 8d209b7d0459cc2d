// The KEY model's file operations: bytes in through the platform layer, the format itself in
// KeyCodec.

#include "KeyFiles.h"

#include "Errors.h"
#include "KeyCodec.h"
#include "ResourceTypes.h"
#include "Platform.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vellocar {

std::string OtherVersionText(std::string_view kind, std::string_view found, const TFourCC& read) {
    return "of version " + Quoted(Printable(found)) + ", which Vellocar does not read (it reads " + std::string(kind) +
        " version " + Quoted(std::string_view(read.data(), read.size())) + ")";
}

bool TNWNKeyFile::IsE1() const { return FileVersion == keycodec::kVersionE1; }

TOid TNWNKeyFile::Oid() const {
    TOid oid{};
    // The reserved bytes are the header's last ones.
    constexpr std::size_t at = keycodec::kOidAt - (keycodec::Header::Size - kKeyReservedSize);
    static_assert(at + kOidSize <= kKeyReservedSize);
    if (IsE1())
        for (std::size_t i = 0; i < oid.size(); ++i) oid[i] = static_cast<char>(Reserved[at + i]);
    return oid;
}

std::string ResRefToString(const TResRef& resRef) {
    const auto end = std::find(resRef.begin(), resRef.end(), '\0');
    return std::string(resRef.begin(), end);
}

namespace {

// The bytes of an entry's line, in a buffer of the longest there is: a ResRef, a point and an
// extension of three letters.
struct TLineBytes {
    std::array<char, kResRefSize + 4> Text;
    std::size_t Size = 0;
    bool Ascii = true; // no byte beyond ASCII: this system spells the line as it stands
    std::string_view View() const { return {Text.data(), Size}; }
};

TLineBytes LineBytes(const TNWNKeyEntry& entry) {
    TLineBytes line;
    const char* resRef = entry.ResRef.data();
    std::memcpy(line.Text.data(), resRef, kResRefSize);
    const void* zero = std::memchr(resRef, '\0', kResRefSize);
    line.Size = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - resRef) : kResRefSize;
    // All 16 bytes looked at in two words, the name's and any after its zero: a byte beyond
    // ASCII anywhere only sends the line the longer way.
    std::uint64_t words[2];
    static_assert(sizeof words == kResRefSize);
    std::memcpy(words, resRef, kResRefSize);
    line.Ascii = ((words[0] | words[1]) & 0x8080808080808080u) == 0;
    line.Text[line.Size++] = '.';
    line.Size += ResTypeExtension(entry.ResType).copy(line.Text.data() + line.Size, line.Text.size() - line.Size);
    return line;
}

} // namespace

TArchiveName ResourceLine(const TNWNKeyEntry& entry) { return {std::string(LineBytes(entry).View())}; }

void AppendShownLine(std::string& out, const TNWNKeyEntry& entry) {
    const TLineBytes line = LineBytes(entry);
    if (line.Ascii)
        out.append(line.View());
    else
        AppendShownName(out, line.View(), platform::kHostSpelling);
}

void TNWNKeyFile::LoadFromFile(const std::string& path, const TKeyParts& parts) {
    // Only the bytes the header and tables point at are read, in at most three rounds, so a
    // huge file that is no KEY costs no more than its header.
    std::uint64_t fileSize = 0;
    const std::vector<std::uint8_t> bytes = platform::ReadFormatBytes(
        path, "KEY", [&](auto prefix, std::uint64_t size) { return keycodec::BytesNeeded(prefix, size, path, parts); },
        fileSize);
    TNWNKeyFile loaded = keycodec::Parse(bytes, fileSize, path, parts);
    loaded.Path = path;
    *this = std::move(loaded);
}

std::optional<TNWNKeyFile> LoadKeyForCheck(const std::string& path, const keycodec::TFaultSink& fault) {
    // The whole file, once its header says it is a KEY of this version: a file that is none
    // costs no more than its header.
    std::uint64_t fileSize = 0;
    const std::vector<std::uint8_t> bytes = platform::ReadFormatBytes(
        path, "KEY",
        [](std::span<const std::uint8_t> prefix, std::uint64_t size) -> std::uint64_t {
            if (prefix.size() < keycodec::Header::Size) return std::min<std::uint64_t>(size, keycodec::Header::Size);
            const TNWNKeyFile header = keycodec::Header::Read(prefix.data());
            const bool isKey = header.FileType == keycodec::kFileType &&
                (header.FileVersion == keycodec::kVersion1 || header.FileVersion == keycodec::kVersionE1);
            return isKey ? size : prefix.size();
        },
        fileSize);
    // All of the file, or only the header that says it is no KEY of this version.
    std::optional<TNWNKeyFile> key = keycodec::ParseForCheck(bytes, fault);
    if (key) key->Path = path;
    return key;
}

void TNWNKeyFile::SaveToFile(const std::string& path) {
    const std::vector<std::uint8_t> bytes = keycodec::Serialize(*this, path);
    platform::WriteWholeFile(path, bytes);
    keycodec::ComputeLayout(*this); // the model now says where its tables lie in the file
    Path = path;
}

} // namespace vellocar
