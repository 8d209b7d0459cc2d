#include "TerminalText.h"

#include "Names.h"

#include <cstddef>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vellocar::cli {

namespace {

bool IsHexDigit(char c) { return HexDigitValue(c) >= 0; }

// How many bytes from at may be shown as they are: 1 for printable ASCII, the length of a
// well-formed UTF-8 sequence that encodes neither a control nor a surrogate, and 0 for a byte
// that must be escaped. The first byte's range fixes the sequence's length and the range of
// its second byte, which is what rules out overlong forms, surrogates, code points above
// U+10FFFF and, after 0xc2, the C1 controls.
std::size_t ShownAsIs(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead == '\\') {
        const bool looksEscaped =
            text.size() - at >= 4 && text[at + 1] == 'x' && IsHexDigit(text[at + 2]) && IsHexDigit(text[at + 3]);
        return looksEscaped ? 0 : 1;
    }
    if (lead >= 0x20 && lead < 0x7f) return 1;

    std::size_t length = 0;
    unsigned char low = 0x80; // bounds of the second byte; every later one is 0x80..0xbf
    unsigned char high = 0xbf;
    if (lead == 0xc2) {
        length = 2;
        low = 0xa0; // c2 80 .. c2 9f are the C1 controls
    } else if (lead >= 0xc3 && lead <= 0xdf) {
        length = 2;
    } else if (lead == 0xe0) {
        length = 3;
        low = 0xa0;
    } else if (lead == 0xed) {
        length = 3;
        high = 0x9f; // ed a0 .. ed bf would be surrogates
    } else if (lead >= 0xe1 && lead <= 0xef) {
        length = 3;
    } else if (lead == 0xf0) {
        length = 4;
        low = 0x90;
    } else if (lead >= 0xf1 && lead <= 0xf3) {
        length = 4;
    } else if (lead == 0xf4) {
        length = 4;
        high = 0x8f;
    } else {
        return 0; // C0, DEL, a continuation byte on its own, c0, c1, f5 .. ff
    }
    if (text.size() - at < length) return 0;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (second < low || second > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if (next < 0x80 || next > 0xbf) return 0;
    }
    return length;
}

} // namespace

std::string Escaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t run = ShownAsIs(text, at);
        if (run > 0) {
            shown.append(text.substr(at, run));
            at += run;
            continue;
        }
        // One byte at a time: the bytes after a broken sequence get their own verdict.
        const auto byte = static_cast<unsigned char>(text[at]);
        shown += "\\x";
        shown += kHex[byte >> 4];
        shown += kHex[byte & 0xf];
        ++at;
    }
    return shown;
}

std::size_t TextPrefixLength(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        const std::size_t run = c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\\' ? 1 : ShownAsIs(text, at);
        if (run == 0) break;
        at += run;
    }
    return at;
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

} // namespace vellocar::cli
