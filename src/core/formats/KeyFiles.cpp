// The KEY model's file operations: bytes in through the platform layer, the format itself in
// KeyCodec.

#include "formats/KeyFiles.h"

#include "base/Errors.h"
#include "formats/KeyCodec.h"
#include "names/ResourceTypes.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vellocar {

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
