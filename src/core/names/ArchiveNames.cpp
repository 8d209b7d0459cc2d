// Names crossing between an archive (Windows-1252) and this system's files: see ArchiveNames.h.

#include "ArchiveNames.h"

#include "ExportNames.h"
#include "ResourceTypes.h"
#include "Names.h"

#include <cstdint>
#include <utility>

namespace vellocar {

namespace {

bool HoldsControl(std::string_view bytes) {
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F || IsUndefinedInWindows1252(byte)) return true;
    }
    return false;
}

// The resource a file name packs to, as export names its file: the base name, a point, and
// the extension of the type that the file's extension gives.
std::string ResourceLineOf(const std::string& archiveName) {
    const auto dot = archiveName.rfind('.');
    const std::string base = archiveName.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : archiveName.substr(dot);
    return base + "." + ResTypeToExt(ExtToResType(extension));
}

} // namespace

std::optional<TArchiveName> ArchiveNameOf(std::string_view fileName, TNameSpelling spelling) {
    if (spelling == TNameSpelling::Utf8) {
        auto bytes = Utf8ToWindows1252(fileName);
        if (!bytes) return std::nullopt;
        return TArchiveName{std::move(*bytes)};
    }
    // The listing gives "?" for what the code page cannot hold, a character no real name has.
    if (fileName.find('?') != std::string_view::npos) return std::nullopt;
    return TArchiveName{std::string(fileName)};
}

TPackedName ArchiveNameOfFile(std::string_view fileName, TNameSpelling spelling) {
    TPackedName packed;
    auto name = ArchiveNameOf(fileName, spelling);
    if (!name) {
        if (spelling == TNameSpelling::CodePage)
            packed.Problem = "it holds characters that this system's code page cannot hold";
        else if (IsValidUtf8(fileName))
            packed.Problem = "it holds characters that Windows-1252, the code page of the game's names, cannot hold";
        else
            packed.Problem = "it is not valid UTF-8";
        return packed;
    }
    packed.Name = std::move(*name);
    if (HoldsControl(packed.Name.Bytes)) {
        packed.Problem = "it holds a control character";
    } else if (const auto reason = UnsafeExportNameReason(ResourceLineOf(packed.Name.Bytes))) {
        packed.Problem = "it could not be exported again: " + *reason;
    }
    return packed;
}

std::string ResourceKey(std::string_view resRef, std::uint16_t type) {
    std::string key(resRef.substr(0, resRef.find('\0')));
    FoldArchiveLetters(key);
    key += '\0';
    key += static_cast<char>(type & 0xFF);
    key += static_cast<char>(type >> 8);
    return key;
}

std::string ShownName(const TArchiveName& name, TNameSpelling spelling) {
    if (spelling == TNameSpelling::CodePage) return name.Bytes;
    return Windows1252ToUtf8(name.Bytes, TUndefinedBytes::Kept);
}

std::string FileNameOf(const TArchiveName& name, TNameSpelling spelling) {
    if (spelling == TNameSpelling::CodePage) return name.Bytes;
    return Windows1252ToUtf8(name.Bytes, TUndefinedBytes::Escaped);
}

} // namespace vellocar
