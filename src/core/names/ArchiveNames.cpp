// Names crossing between an archive (Windows-1252) and this system's files: see ArchiveNames.h.

#include "names/ArchiveNames.h"

#include "names/ExportNames.h"
#include "names/Names.h"
#include "names/ResourceTypes.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace vellocar {

namespace {

bool HoldsControl(std::string_view bytes) {
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && IsUndefinedInWindows1252(byte))) return true;
    }
    return false;
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

void SortInFolderOrder(std::vector<std::string>& names, TNameSpelling spelling) {
    // Each name's key made once, all of them in one buffer: its archive bytes with ASCII letters
    // in capitals, a zero byte (which no name holds), and the bytes themselves. Compared byte by
    // byte, keys then order as FolderOrderLess orders the names, the shorter first where one
    // begins the other.
    struct TKey {
        std::size_t At = 0;
        std::size_t Size = 0;
        std::size_t Name = 0;
    };
    std::vector<TKey> keys;
    keys.reserve(names.size());
    std::string buffer;
    for (std::size_t n = 0; n < names.size(); ++n) {
        // An ASCII name is its own archive name in either spelling.
        std::optional<TArchiveName> archived;
        if (AsciiPrefix(names[n]) != names[n].size()) archived = ArchiveNameOf(names[n], spelling);
        const std::string& bytes = archived ? archived->Bytes : names[n];
        const std::size_t at = buffer.size();
        buffer.resize(at + 2 * bytes.size() + 1);
        char* key = buffer.data() + at;
        std::transform(bytes.begin(), bytes.end(), key, [](char c) { return UpperAscii(c); });
        key[bytes.size()] = '\0';
        std::copy(bytes.begin(), bytes.end(), key + bytes.size() + 1);
        keys.push_back({at, 2 * bytes.size() + 1, n});
    }
    const auto text = [&buffer](const TKey& k) { return std::string_view(buffer).substr(k.At, k.Size); };
    std::sort(keys.begin(), keys.end(), [&](const TKey& a, const TKey& b) {
        const int order = text(a).compare(text(b));
        return order != 0 ? order < 0 : names[a.Name] < names[b.Name];
    });
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const TKey& k : keys) sorted.push_back(std::move(names[k.Name]));
    names = std::move(sorted);
}

TPackedName ArchiveNameOfFile(std::string_view fileName, TNameSpelling spelling) {
    TPackedName packed;
    // An ASCII name in UTF-8 is its own archive name, looked at where it stands: most are.
    std::optional<TArchiveName> converted;
    std::string_view bytes = fileName;
    if (spelling == TNameSpelling::CodePage || AsciiPrefix(fileName) != fileName.size()) {
        converted = ArchiveNameOf(fileName, spelling);
        if (!converted) {
            if (spelling == TNameSpelling::CodePage)
                packed.Problem = "it holds characters that this system's code page cannot hold";
            else if (IsValidUtf8(fileName))
                packed.Problem =
                    "it holds characters that Windows-1252, the code page of the game's names, cannot hold";
            else
                packed.Problem = "it is not valid UTF-8";
            return packed;
        }
        bytes = converted->Bytes;
    }
    const auto dot = bytes.rfind('.');
    packed.BaseName.Bytes = bytes.substr(0, dot);
    packed.Type = ExtToResType(dot == std::string_view::npos ? std::string_view() : bytes.substr(dot));
    if (HoldsControl(bytes)) {
        packed.Problem = "it holds a control character";
        return packed;
    }
    // The resource's line, as an export names its file: the base name, a point, and the
    // extension of the type that the file's extension gives.
    std::string line = packed.BaseName.Bytes;
    line += '.';
    line += ResTypeExtension(packed.Type);
    if (const auto reason = UnsafeExportNameReason(line)) packed.Problem = "it could not be exported again: " + *reason;
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
    std::string shown;
    AppendShownName(shown, name.Bytes, spelling);
    return shown;
}

void AppendShownName(std::string& out, std::string_view archiveBytes, TNameSpelling spelling) {
    if (spelling == TNameSpelling::CodePage)
        out.append(archiveBytes);
    else
        AppendWindows1252AsUtf8(out, archiveBytes, TUndefinedBytes::Kept);
}

TArchiveName StemOf(const TArchiveName& line) {
    const std::size_t point = line.Bytes.rfind('.');
    return {point == std::string::npos ? line.Bytes : line.Bytes.substr(0, point)};
}

TArchiveName ExtensionOf(const TArchiveName& line) {
    const std::size_t point = line.Bytes.rfind('.');
    return {point == std::string::npos ? std::string() : line.Bytes.substr(point + 1)};
}

std::string FileNameOf(const TArchiveName& name, TNameSpelling spelling) {
    if (spelling == TNameSpelling::CodePage) return name.Bytes;
    return Windows1252ToUtf8(name.Bytes, TUndefinedBytes::Escaped);
}

} // namespace vellocar
