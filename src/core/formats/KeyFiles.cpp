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

std::string ResRefToString(const TResRef& resRef) {
    const auto end = std::find(resRef.begin(), resRef.end(), '\0');
    return std::string(resRef.begin(), end);
}

std::string ResourceLine(const TNWNKeyEntry& entry) {
    const auto nameEnd = std::find(entry.ResRef.begin(), entry.ResRef.end(), '\0');
    const std::string_view ext = ResTypeExtension(entry.ResType);
    std::string line;
    line.reserve(static_cast<std::size_t>(nameEnd - entry.ResRef.begin()) + 1 + ext.size());
    line.append(entry.ResRef.begin(), nameEnd);
    line += '.';
    line.append(ext);
    return line;
}

void TNWNKeyFile::LoadFromFile(const std::string& path) {
    platform::File file = platform::File::OpenRead(path);
    const std::uint64_t fileSize = file.Size();
    // Only the bytes the header and tables point at are read, in at most three rounds, so a
    // huge file that is no KEY costs no more than its header.
    std::vector<std::uint8_t> bytes;
    try {
        bytes = platform::ReadLeadingBytes(
            file, [&](std::span<const std::uint8_t> prefix) { return keycodec::BytesNeeded(prefix, fileSize, path); });
    } catch (const EReadError&) {
        // Only a file that changes while it is read gets here: its size was checked first.
        throw EReadError("Cannot open KEY \"" + path + "\": the file could not be read in full (Stream read error)");
    }
    TNWNKeyFile loaded = keycodec::Parse(bytes, fileSize, path);
    loaded.Path = path;
    *this = std::move(loaded);
}

void TNWNKeyFile::SaveToFile(const std::string& path) {
    const std::vector<std::uint8_t> bytes = keycodec::Serialize(*this, path);
    platform::File file = platform::File::Create(path);
    try {
        file.WriteAll(bytes.data(), bytes.size());
        file.Flush();
        file.Close();
    } catch (...) {
        // A partly written KEY is worse than none: it would load as garbage or not at all.
        platform::RemoveFile(path);
        throw;
    }
    Path = path;
}

} // namespace vellocar
