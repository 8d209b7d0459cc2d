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

bool SameStoredName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return SameChar(x, y, true); });
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

} // namespace vellocar
