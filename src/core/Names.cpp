#include "Names.h"

#include <algorithm>

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

bool SameStoredName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
        std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return SameChar(x, y, true); });
}

std::string StoredNameKey(std::string_view name) {
    std::string key(name);
    for (char& c : key) c = IsAnySeparator(c) ? '\\' : FoldAscii(c);
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

} // namespace vellocar
