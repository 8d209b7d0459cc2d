#include "ArchiveNames.h"

#include "BifFiles.h"
#include "ExportNames.h"
#include "KeyFiles.h"
#include "Names.h"

#include <array>
#include <cstdint>
#include <utility>

namespace vellocar {

namespace {

// The code points of the bytes 0x80 .. 0x9f in Windows-1252; the five it leaves undefined keep
// their own value, as Windows itself maps them.
constexpr std::array<std::uint32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
constexpr std::uint8_t kFirstHighByte = 0x80;

bool IsUndefinedByte(std::uint8_t byte) {
    return byte >= kFirstHighByte && byte < kFirstHighByte + kHighControls.size() &&
        kHighControls[byte - kFirstHighByte] == byte;
}

// Decodes the UTF-8 sequence at text[at], moving at past it; false for a sequence that is not
// well-formed. The lead byte fixes the length and the range of the second byte, which is what
// rules out overlong forms, surrogates and code points above U+10FFFF.
bool NextCodePoint(std::string_view text, std::size_t& at, std::uint32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        codePoint = lead;
        ++at;
        return true;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return false;
    }
    if (text.size() - at < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return false;
        codePoint = codePoint << 6 | (next & 0x3Fu);
    }
    at += length;
    return true;
}

bool HoldsControl(std::string_view bytes) {
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F || IsUndefinedByte(byte)) return true;
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

bool IsValidUtf8(std::string_view text) {
    std::uint32_t codePoint = 0;
    for (std::size_t at = 0; at < text.size();)
        if (!NextCodePoint(text, at, codePoint)) return false;
    return true;
}

std::string Windows1252ToUtf8(std::string_view bytes, TUndefinedBytes undefined) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte < kFirstHighByte) {
            out += c;
            continue;
        }
        if (IsUndefinedByte(byte) && undefined != TUndefinedBytes::AsControls) {
            if (undefined == TUndefinedBytes::Kept) {
                out += c;
            } else {
                out.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xF]);
            }
            continue;
        }
        const bool high = byte >= kFirstHighByte && byte < kFirstHighByte + kHighControls.size();
        AppendUtf8(out, high ? kHighControls[byte - kFirstHighByte] : std::uint32_t{byte});
    }
    return out;
}

std::optional<std::string> Utf8ToWindows1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t codePoint = 0;
        if (!NextCodePoint(text, at, codePoint)) return std::nullopt;
        if (codePoint < kFirstHighByte || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
            out += static_cast<char>(codePoint);
            continue;
        }
        std::size_t i = 0;
        while (i < kHighControls.size() && kHighControls[i] != codePoint) ++i;
        if (i == kHighControls.size()) return std::nullopt;
        out += static_cast<char>(kFirstHighByte + i);
    }
    return out;
}

std::optional<std::string> ArchiveNameOf(std::string_view fileName) {
#ifdef _WIN32
    // The listing gives "?" for what the code page cannot hold, a character no real name has.
    if (fileName.find('?') != std::string_view::npos) return std::nullopt;
    return std::string(fileName);
#else
    return Utf8ToWindows1252(fileName);
#endif
}

TArchiveName ArchiveNameOfFile(std::string_view fileName) {
    TArchiveName name;
    auto bytes = ArchiveNameOf(fileName);
    if (!bytes) {
#ifdef _WIN32
        name.Problem = "it holds characters that this system's code page cannot hold";
#else
        name.Problem = IsValidUtf8(fileName) ? "it holds characters that Windows-1252, the code page of the game's "
                                               "names, cannot hold"
                                             : "it is not valid UTF-8";
#endif
        return name;
    }
    name.Bytes = std::move(*bytes);
    if (HoldsControl(name.Bytes)) {
        name.Problem = "it holds a control character";
    } else if (const auto reason = UnsafeExportNameReason(ResourceLineOf(name.Bytes))) {
        name.Problem = "it could not be exported again: " + *reason;
    }
    return name;
}

std::string ShownName(std::string_view archiveName) {
#ifdef _WIN32
    return std::string(archiveName);
#else
    return Windows1252ToUtf8(archiveName, TUndefinedBytes::Kept);
#endif
}

std::string FileNameOfArchiveName(std::string_view archiveName) {
#ifdef _WIN32
    return std::string(archiveName);
#else
    return Windows1252ToUtf8(archiveName, TUndefinedBytes::Escaped);
#endif
}

} // namespace vellocar
