// The KEY model's file operations: bytes in through the platform layer, the format itself in
// KeyCodec.

#include "KeyFiles.h"

#include "Errors.h"
#include "KeyCodec.h"
#include "ResourceTypes.h"
#include "Platform.h"

#include <algorithm>
#include <vector>

namespace vellocar {

std::string OtherVersionText(std::string_view kind, std::string_view found, const TFourCC& read) {
    return "of version " + Quoted(Printable(found)) + ", which Vellocar does not read (it reads " + std::string(kind) +
        " version " + Quoted(std::string_view(read.data(), read.size())) + ")";
}

std::string ResRefToString(const TResRef& resRef) {
    const auto end = std::find(resRef.begin(), resRef.end(), '\0');
    return std::string(resRef.begin(), end);
}

TArchiveName ResourceLine(const TNWNKeyEntry& entry) {
    const auto nameEnd = std::find(entry.ResRef.begin(), entry.ResRef.end(), '\0');
    const std::string_view ext = ResTypeExtension(entry.ResType);
    TArchiveName line;
    line.Bytes.reserve(static_cast<std::size_t>(nameEnd - entry.ResRef.begin()) + 1 + ext.size());
    line.Bytes.append(entry.ResRef.begin(), nameEnd);
    line.Bytes += '.';
    line.Bytes.append(ext);
    return line;
}

void TNWNKeyFile::LoadFromFile(const std::string& path) {
    // Only the bytes the header and tables point at are read, in at most three rounds, so a
    // huge file that is no KEY costs no more than its header.
    std::uint64_t fileSize = 0;
    const std::vector<std::uint8_t> bytes = platform::ReadFormatBytes(
        path, "KEY", [&](auto prefix, std::uint64_t size) { return keycodec::BytesNeeded(prefix, size, path); },
        fileSize);
    TNWNKeyFile loaded = keycodec::Parse(bytes, fileSize, path);
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
            return header.FileVersion == keycodec::kVersion1 ? size : prefix.size();
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
