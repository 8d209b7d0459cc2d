// The escaping of text bound for a terminal, and whether a stream is one.

#include "TerminalText.h"

#include "base/Text.h"

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vellocar::cli {

namespace {

bool IsHexDigit(char c) { return HexDigitValue(c) >= 0; }

// The UTF-8 forms of the C1 controls, which a terminal acts on as it does on their bytes.
bool IsC1Control(std::uint32_t codePoint) { return codePoint >= 0x80 && codePoint <= 0x9F; }

// How many bytes from at may be shown as they are: 1 for printable ASCII, the length of a
// well-formed UTF-8 sequence that encodes no C1 control, and 0 for a byte that must be escaped.
std::size_t ShownAsIs(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead == '\\') {
        const bool looksEscaped =
            text.size() - at >= 4 && text[at + 1] == 'x' && IsHexDigit(text[at + 2]) && IsHexDigit(text[at + 3]);
        return looksEscaped ? 0 : 1;
    }
    if (lead < 0x80) return lead >= 0x20 && lead < 0x7f ? 1 : 0; // C0 controls and DEL escaped
    std::size_t end = at;
    std::uint32_t codePoint = 0;
    if (!NextCodePoint(text, end, codePoint) || IsC1Control(codePoint)) return 0;
    return end - at;
}

} // namespace

std::string Escaped(std::string_view text) {
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
        shown += "\\x";
        AppendHex(shown, static_cast<std::uint8_t>(text[at]));
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
