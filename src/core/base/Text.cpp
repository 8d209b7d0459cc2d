// UTF-8, UTF-16, Windows-1252, hexadecimal and message quoting: see Text.h.

#include "base/Text.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vellocar {

namespace {

// The code points of the bytes 0x80 .. 0x9f in Windows-1252; the five it leaves undefined keep
// their own value, as Windows itself maps them.
constexpr std::array<std::uint32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
constexpr std::uint8_t kFirstHighByte = 0x80;

// The code points of the bytes 0x80 .. 0xff in Windows-1250 and Windows-1251, from the code page
// charts; the bytes a page leaves undefined keep their own value, as in Windows-1252 above.
constexpr std::size_t kHighHalf = 128;
// The first character past the C1 controls (U+0080 .. U+009F).
constexpr std::uint32_t kFirstC1Free = 0xA0;
constexpr std::array<std::uint16_t, kHighHalf> kWindows1250 = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
    0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
    0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
    0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};
constexpr std::array<std::uint16_t, kHighHalf> kWindows1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C,
    0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A,
    0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9,
    0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    // 0xC0 .. 0xFF: the Russian alphabet, capitals then small letters, in the order of U+0410 .. U+044F.
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B,
    0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439,
    0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

constexpr char kSmallHex[] = "0123456789abcdef";
constexpr char kCapitalHex[] = "0123456789ABCDEF";

} // namespace

// ---- ASCII

std::size_t AsciiPrefix(std::string_view text) {
    // Eight bytes at a time while none of them has its high bit set: names and paths are ASCII
    // far more often than not, and every conversion copies that run as it stands.
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::size_t at = 0;
    for (std::uint64_t word; text.size() - at >= sizeof word; at += sizeof word) {
        std::memcpy(&word, text.data() + at, sizeof word);
        if (word & kHighBits) break;
    }
    while (at < text.size() && static_cast<std::uint8_t>(text[at]) < kFirstHighByte) ++at;
    return at;
}

// ---- UTF-8

// The lead byte fixes the length and the range of the second byte, which is what rules out
// overlong forms, surrogates and code points above U+10FFFF.
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

bool IsValidUtf8(std::string_view text) {
    std::uint32_t codePoint = 0;
    for (std::size_t at = 0; at < text.size();)
        if (!NextCodePoint(text, at, codePoint)) return false;
    return true;
}

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
    const auto byte = [](std::uint32_t bits) { return static_cast<char>(bits); };
    if (codePoint < 0x80) {
        out += byte(codePoint);
    } else if (codePoint < 0x800) {
        out += byte(0xC0 | (codePoint >> 6));
        out += byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += byte(0xE0 | (codePoint >> 12));
        out += byte(0x80 | ((codePoint >> 6) & 0x3F));
        out += byte(0x80 | (codePoint & 0x3F));
    } else {
        out += byte(0xF0 | (codePoint >> 18));
        out += byte(0x80 | ((codePoint >> 12) & 0x3F));
        out += byte(0x80 | ((codePoint >> 6) & 0x3F));
        out += byte(0x80 | (codePoint & 0x3F));
    }
}

// ---- UTF-16

void AppendUtf16(std::u16string& out, std::uint32_t codePoint) {
    if (codePoint < 0x10000) {
        out += static_cast<char16_t>(codePoint);
        return;
    }
    codePoint -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
    out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
}

// ---- Windows-1252

bool IsUndefinedInWindows1252(std::uint8_t byte) {
    return byte >= kFirstHighByte && byte < kFirstHighByte + kHighControls.size() &&
        kHighControls[byte - kFirstHighByte] == byte;
}

std::uint32_t Windows1252CodePoint(std::uint8_t byte) {
    const bool high = byte >= kFirstHighByte && byte < kFirstHighByte + kHighControls.size();
    return high ? kHighControls[byte - kFirstHighByte] : std::uint32_t{byte};
}

std::optional<std::uint8_t> Windows1252Byte(std::uint32_t codePoint) {
    if (codePoint < kFirstHighByte || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<std::uint8_t>(codePoint);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == codePoint) return static_cast<std::uint8_t>(kFirstHighByte + i);
    return std::nullopt;
}

std::string Windows1252ToUtf8(std::string_view bytes, TUndefinedBytes undefined) {
    std::string out;
    AppendWindows1252AsUtf8(out, bytes, undefined);
    return out;
}

void AppendWindows1252AsUtf8(std::string& out, std::string_view bytes, TUndefinedBytes undefined) {
    // Names are ASCII far more often than not: that much goes over as it is, in one piece.
    const std::size_t ascii = AsciiPrefix(bytes);
    out.append(bytes.substr(0, ascii));
    for (const char c : bytes.substr(ascii)) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte < kFirstHighByte) {
            out += c;
            continue;
        }
        if (IsUndefinedInWindows1252(byte) && undefined != TUndefinedBytes::AsControls) {
            if (undefined == TUndefinedBytes::Kept) {
                out += c;
            } else {
                out += "\\x";
                AppendHex(out, byte);
            }
            continue;
        }
        AppendUtf8(out, Windows1252CodePoint(byte));
    }
}

std::string Utf8OrWindows1252(std::string_view text) {
    return IsValidUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
}

std::optional<std::string> Utf8ToWindows1252(std::string_view text) {
    const std::size_t ascii = AsciiPrefix(text);
    std::string out(text.substr(0, ascii));
    for (std::size_t at = ascii; at < text.size();) {
        std::uint32_t codePoint = 0;
        if (!NextCodePoint(text, at, codePoint)) return std::nullopt;
        const auto byte = Windows1252Byte(codePoint);
        if (!byte) return std::nullopt;
        out += static_cast<char>(*byte);
    }
    return out;
}

// ---- Windows code pages

bool IsSingleByteCodePage(std::uint32_t codePage) {
    return codePage == kCodePageCentralEurope || codePage == kCodePageCyrillic || codePage == kCodePageWestern;
}

std::uint32_t CodePageCodePoint(std::uint32_t codePage, std::uint8_t byte) {
    if (byte < kFirstHighByte) return byte;
    if (codePage == kCodePageCentralEurope) return kWindows1250[byte - kFirstHighByte];
    if (codePage == kCodePageCyrillic) return kWindows1251[byte - kFirstHighByte];
    return Windows1252CodePoint(byte);
}

void AppendCodePageAsUtf8(std::string& out, std::uint32_t codePage, std::string_view bytes) {
    const std::size_t ascii = AsciiPrefix(bytes);
    out.append(bytes.substr(0, ascii));
    const bool single = IsSingleByteCodePage(codePage);
    for (std::size_t at = ascii; at < bytes.size(); ++at) {
        const auto byte = static_cast<std::uint8_t>(bytes[at]);
        if (byte < kFirstHighByte) {
            out += bytes[at];
        } else if (single) {
            const std::uint32_t codePoint = CodePageCodePoint(codePage, byte);
            if (codePoint < kFirstC1Free) {
                // A byte the page leaves undefined: a C1 control would reach a terminal as a command.
                out += "\\x";
                AppendHex(out, byte);
            } else {
                AppendUtf8(out, codePoint);
            }
        } else {
            // A lead byte and its trail byte, which may well be an ASCII letter of its own.
            out += "\\x";
            AppendHex(out, byte);
            if (at + 1 < bytes.size()) {
                out += "\\x";
                AppendHex(out, static_cast<std::uint8_t>(bytes[++at]));
            }
        }
    }
}

std::string CodePageToUtf8(std::uint32_t codePage, std::string_view bytes) {
    std::string out;
    AppendCodePageAsUtf8(out, codePage, bytes);
    return out;
}

// ---- Hexadecimal

void AppendHex(std::string& out, std::uint8_t byte, bool capitals) {
    const char* digits = capitals ? kCapitalHex : kSmallHex;
    out += digits[byte >> 4];
    out += digits[byte & 0xF];
}

std::string HexBytes(std::string_view text) {
    std::string out;
    out.reserve(2 * text.size());
    for (const char c : text) AppendHex(out, static_cast<std::uint8_t>(c));
    return out;
}

// ---- Messages

std::string Enumeration(const std::vector<std::string>& items, std::size_t most) {
    std::string text;
    const std::size_t shown = std::min(items.size(), most);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) text += (i + 1 == shown && shown == items.size()) ? " and " : ", ";
        text += items[i];
    }
    if (shown < items.size()) text += " and " + std::to_string(items.size() - shown) + " more";
    return text;
}

std::string WithThousands(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string QuotedPath(std::string_view path) {
    if (path.size() <= kQuotedPathBytes) return Quoted(path);
    // Most of the room for the beginning, which says where the path starts, the rest for its
    // file name; neither cut inside a UTF-8 sequence.
    const auto isContinuation = [&](std::size_t at) { return (static_cast<unsigned char>(path[at]) & 0xC0) == 0x80; };
    std::size_t head = kQuotedPathBytes * 2 / 3;
    while (head > 0 && isContinuation(head)) --head;
    std::size_t tail = path.size() - kQuotedPathBytes / 3;
    while (tail < path.size() && isContinuation(tail)) ++tail;
    std::string text = Quoted(std::string(path.substr(0, head)) + "..." + std::string(path.substr(tail)));
    return text + " (" + std::to_string(path.size()) + " bytes)";
}

std::string Printable(std::string_view bytes) {
    std::string text;
    for (const char ch : bytes) {
        const auto c = static_cast<std::uint8_t>(ch);
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            text += ch;
        } else {
            text += "\\x";
            AppendHex(text, c, true);
        }
    }
    return text;
}

} // namespace vellocar
