#pragma once
// Text as the program meets it: UTF-8 (the names of a Linux folder, JSON, a terminal),
// Windows-1252 (the names inside an archive), UTF-16 surrogates (the escapes of Wine's registry
// and of JSON), hexadecimal, and the quoting of names in messages. Pure functions, the same on
// every system.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar {

// ---- ASCII

inline constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
inline constexpr bool IsAsciiCapital(char c) { return c >= 'A' && c <= 'Z'; }
inline constexpr bool IsAsciiSmall(char c) { return c >= 'a' && c <= 'z'; }
inline constexpr bool IsAsciiLetter(char c) { return IsAsciiCapital(c) || IsAsciiSmall(c); }
// A letter in the other case; anything else stands for itself.
inline constexpr char FoldAscii(char c) { return IsAsciiCapital(c) ? static_cast<char>(c - 'A' + 'a') : c; }
inline constexpr char UpperAscii(char c) { return IsAsciiSmall(c) ? static_cast<char>(c - 'a' + 'A') : c; }
// How many leading bytes of text are ASCII (below 0x80).
std::size_t AsciiPrefix(std::string_view text);

// Whether text is one or more decimal digits.
inline constexpr bool AllAsciiDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (!IsAsciiDigit(c)) return false;
    return true;
}

// ---- UTF-8

// Decodes the UTF-8 sequence at text[at] into codePoint and moves at past it; false (at
// unchanged) for a sequence that is not well-formed: a stray continuation byte, an overlong
// form, a surrogate, a code point above U+10FFFF, or one cut short.
bool NextCodePoint(std::string_view text, std::size_t& at, std::uint32_t& codePoint);

// Whether every sequence of text is well-formed.
bool IsValidUtf8(std::string_view text);

// Appends the UTF-8 form of a code point (up to U+10FFFF) to out.
void AppendUtf8(std::string& out, std::uint32_t codePoint);

// ---- UTF-16 surrogates

inline constexpr bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline constexpr bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline constexpr bool IsSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }
// The code point a high and a low surrogate stand for together.
inline constexpr std::uint32_t CombineSurrogates(std::uint32_t high, std::uint32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}
// What a lone surrogate, or anything else that is no character, becomes in text.
inline constexpr std::uint32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-16 form of a code point (up to U+10FFFF) to out.
void AppendUtf16(std::u16string& out, std::uint32_t codePoint);

// ---- Windows-1252

// What becomes of the five bytes that Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D).
enum class TUndefinedBytes {
    AsControls, // the C1 controls of the same value, as Windows itself maps them
    Kept, // the bytes themselves, not valid UTF-8 (a terminal shows them as \xHH)
    Escaped, // the four characters \xHH
};

// Whether a byte is one of the five that Windows-1252 leaves undefined.
bool IsUndefinedInWindows1252(std::uint8_t byte);

// The character a byte stands for in Windows-1252, the five undefined bytes as the C1 controls of
// their value.
std::uint32_t Windows1252CodePoint(std::uint8_t byte);

// The Windows-1252 byte of a character (the C1 controls U+0081, U+008D, U+008F, U+0090 and U+009D
// as their own byte); nothing for a character that Windows-1252 lacks.
std::optional<std::uint8_t> Windows1252Byte(std::uint32_t codePoint);

std::string Windows1252ToUtf8(std::string_view bytes, TUndefinedBytes undefined = TUndefinedBytes::AsControls);
// The same appended to out.
void AppendWindows1252AsUtf8(std::string& out, std::string_view bytes,
                             TUndefinedBytes undefined = TUndefinedBytes::AsControls);

// Text of unknown spelling (a path) as UTF-8: itself when it is valid UTF-8, else decoded as
// Windows-1252.
std::string Utf8OrWindows1252(std::string_view text);

// The Windows-1252 bytes of UTF-8 text; nothing when the text is not valid UTF-8 or holds a
// character that Windows-1252 lacks. The C1 controls U+0081, U+008D, U+008F, U+0090 and U+009D
// give their own byte, the reverse of TUndefinedBytes::AsControls.
std::optional<std::string> Utf8ToWindows1252(std::string_view text);

// ---- Windows code pages

// The code pages that talk tables and other game text come in: each language's table holds the
// Windows code page of its language (1252 for the Western ones, 1250 for Polish, 1251 for the
// community's Russian tables; 932, 936, 949 and 950 for the East Asian ones).
inline constexpr std::uint32_t kCodePageCentralEurope = 1250;
inline constexpr std::uint32_t kCodePageCyrillic = 1251;
inline constexpr std::uint32_t kCodePageWestern = 1252;

// Whether codePage is one of the single-byte pages decoded here (1250, 1251, 1252).
bool IsSingleByteCodePage(std::uint32_t codePage);

// The character a byte stands for in a single-byte code page (IsSingleByteCodePage); a byte the
// page leaves undefined stands for the C1 control of its value, as Windows itself maps it.
std::uint32_t CodePageCodePoint(std::uint32_t codePage, std::uint8_t byte);

// Text of codePage as UTF-8, appended to out. The single-byte pages are decoded whole, but for
// the bytes a page leaves undefined, shown as the four characters \xHH (as C1 controls they could
// drive a terminal). The
// multibyte East Asian pages are not decoded here, so that both systems show the same text: their
// ASCII bytes stand as they are, and each lead byte (0x80 and up) with the byte after it is shown
// as the characters \xHH\xHH, the bytes the file holds.
void AppendCodePageAsUtf8(std::string& out, std::uint32_t codePage, std::string_view bytes);
std::string CodePageToUtf8(std::uint32_t codePage, std::string_view bytes);

// ---- Hexadecimal

// The value of a hexadecimal digit (either case), -1 for any other character.
inline constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Appends a byte as two hexadecimal digits, small letters unless capitals is set.
void AppendHex(std::string& out, std::uint8_t byte, bool capitals = false);

// The bytes of text as small hexadecimal digits, two each.
std::string HexBytes(std::string_view text);

// ---- Messages

// Items as a message lists them: "a", "a and b", "a, b and c"; past the first most of them, how
// many more there are ("a, b and 3 more").
std::string Enumeration(const std::vector<std::string>& items, std::size_t most = SIZE_MAX);

// A count as messages write it: 301234567 -> "301,234,567".
std::string WithThousands(std::uint64_t value);

// text in double quotes, as messages name files and resources.
std::string Quoted(std::string_view text);

// How much of a path a message quotes: a longer one (from a setting or a file, which can be as
// long as it likes) is cut in its middle.
inline constexpr std::size_t kQuotedPathBytes = 512;

// path in double quotes, as Quoted does, when it is at most kQuotedPathBytes long; otherwise its
// beginning and its end around "...", and how long it is ("/a/b...y/z" (31457280 bytes)), cut
// between characters.
std::string QuotedPath(std::string_view path);

// Bytes from a file as a message shows them: printable ASCII as it is, any other byte (and the
// backslash and the double quote) as \xHH, so that a message shows exactly what a file holds.
std::string Printable(std::string_view bytes);

} // namespace vellocar
