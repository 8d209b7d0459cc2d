// Name comparisons as the game and Windows make them, and the order a folder is listed in.

#include "names/Names.h"

#include <algorithm>
#include <array>

namespace vellocar {

namespace {

bool SameChar(char a, char b, bool ignoreCase) {
    if (IsAnySeparator(a) && IsAnySeparator(b)) return true;
    return ignoreCase ? FoldAscii(a) == FoldAscii(b) : a == b;
}

} // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
        std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

bool FolderOrderLess(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
        const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

bool SameStoredName(std::string_view a, std::string_view b) { return StoredNameKey(a) == StoredNameKey(b); }

std::string_view LastPartOfStoredName(std::string_view name) {
    const std::size_t separator = name.find_last_of("\\/");
    return separator == std::string_view::npos ? name : name.substr(separator + 1);
}

std::string StoredNameKey(std::string_view name) {
    std::string key(name);
    for (char& c : key) c = IsAnySeparator(c) ? '\\' : FoldArchiveLetter(c);
    return key;
}

bool PathEndsWithName(std::string_view path, std::string_view storedName, bool ignoreCase) {
    if (storedName.empty() || storedName.size() > path.size()) return false;
    const std::size_t start = path.size() - storedName.size();
    if (start > 0 && !IsAnySeparator(path[start - 1])) return false;
    return std::equal(storedName.begin(), storedName.end(), path.begin() + static_cast<std::ptrdiff_t>(start),
                      [ignoreCase](char x, char y) { return SameChar(x, y, ignoreCase); });
}

bool PathContainsName(std::string_view path, std::string_view storedName, bool ignoreCase) {
    if (storedName.empty() || storedName.size() > path.size()) return false;
    return std::search(path.begin(), path.end(), storedName.begin(), storedName.end(),
                       [ignoreCase](char x, char y) { return SameChar(x, y, ignoreCase); }) != path.end();
}

namespace {

// The capital of a small letter, for the alphabets a modder's file names are written in: the
// Windows-1252 letters and the rest of Latin Extended-A, Greek and Cyrillic. Anything else is
// its own capital.
std::uint32_t Capital(std::uint32_t c) {
    if (c < 0x80 && IsAsciiSmall(static_cast<char>(c))) return c - 0x20;
    if (c < 0x80) return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c == 0x3C2) return 0x3A3; // the final sigma
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    // Latin Extended-A pairs a capital with the small letter after it, on even code points in
    // two runs and on odd ones in two others; the dotless i (whose capital is I, which a
    // volume's table does not give it) and the long s stand apart.
    if (c == 0x131) return c;
    const bool evenPairs = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenPairs && c % 2 == 1) || (oddPairs && c % 2 == 0)) return c - 1;
    return c;
}

} // namespace

namespace {

// The small letter of each Windows-1252 byte, from the capitals of the characters they stand for.
const std::array<char, 256>& SmallLetters() {
    static const std::array<char, 256> small = [] {
        std::array<char, 256> table{};
        for (std::size_t b = 0; b < table.size(); ++b) table[b] = static_cast<char>(b);
        for (std::size_t b = 0; b < table.size(); ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            const auto capital = Windows1252Byte(Capital(Windows1252CodePoint(byte)));
            if (capital && *capital != byte) table[*capital] = static_cast<char>(byte);
        }
        return table;
    }();
    return small;
}

} // namespace

char FoldArchiveLetter(char c) { return SmallLetters()[static_cast<std::uint8_t>(c)]; }

void FoldArchiveLetters(std::span<char> name) {
    const auto& small = SmallLetters();
    for (char& c : name) c = small[static_cast<std::uint8_t>(c)];
}

std::string WindowsNameKey(std::string_view name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    std::string key;
    key.reserve(name.size());
    for (std::size_t at = 0; at < name.size();) {
        std::uint32_t codePoint = 0;
        if (NextCodePoint(name, at, codePoint)) {
            AppendUtf8(key, Capital(codePoint));
        } else {
            key += UpperAscii(name[at++]);
        }
    }
    return key;
}

} // namespace vellocar
