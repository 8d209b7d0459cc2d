// Shell-style patterns (*, ?, [...]) on resource names in Windows-1252, letter case ignored.

#include "names/NamePattern.h"

#include "base/Text.h"
#include "names/Names.h"

#include <cstddef>
#include <optional>

namespace vellocar {

namespace {

// The set that opens at pattern[at] ("["): whether c is in it, and where the pattern goes on
// after its "]". Nothing when no "]" closes it; the "[" is then an ordinary character.
struct SetMatch {
    bool Matches = false;
    std::size_t Next = 0;
};

std::optional<SetMatch> MatchSet(std::string_view pattern, std::size_t at, char c) {
    std::size_t i = at + 1;
    const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
    if (negated) ++i;
    // Ranges run over the bytes' values: the letters beyond ASCII lie above 127.
    const auto folded = static_cast<unsigned char>(FoldArchiveLetter(c));
    bool found = false;
    // A "]" right after the opening (or its negation) belongs to the set.
    for (bool first = true; i < pattern.size(); first = false) {
        if (pattern[i] == ']' && !first) return SetMatch{found != negated, i + 1};
        const auto low = static_cast<unsigned char>(FoldArchiveLetter(pattern[i]));
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            const auto high = static_cast<unsigned char>(FoldArchiveLetter(pattern[i + 2]));
            if (low <= folded && folded <= high) found = true;
            i += 3;
        } else {
            if (low == folded) found = true;
            ++i;
        }
    }
    return std::nullopt;
}

} // namespace

bool MatchesPattern(std::string_view pattern, std::string_view name) {
    std::size_t p = 0;
    std::size_t n = 0;
    // Where to go back to when the rest fails after the last "*": that star lets one more
    // character of the name go by. Earlier stars need no revisiting.
    std::optional<std::size_t> starPattern;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size()) {
            const char c = pattern[p];
            if (c == '*') {
                starPattern = ++p;
                starName = n;
                continue;
            }
            if (c == '?') {
                ++p;
                ++n;
                continue;
            }
            if (c == '[') {
                if (const auto set = MatchSet(pattern, p, name[n])) {
                    if (set->Matches) {
                        p = set->Next;
                        ++n;
                        continue;
                    }
                } else if (name[n] == '[') {
                    ++p;
                    ++n;
                    continue;
                }
            } else if (FoldArchiveLetter(c) == FoldArchiveLetter(name[n])) {
                ++p;
                ++n;
                continue;
            }
        }
        if (!starPattern) return false;
        p = *starPattern;
        n = ++starName;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::optional<std::string> ArchivePattern(std::string_view typed, TNameSpelling spelling) {
    if (spelling == TNameSpelling::CodePage) return std::string(typed);
    return Utf8ToWindows1252(typed);
}

TNamePatterns::TNamePatterns(const std::vector<std::string>& typed, TNameSpelling spelling) : empty_(typed.empty()) {
    for (const std::string& pattern : typed)
        if (auto bytes = ArchivePattern(pattern, spelling)) patterns_.push_back(std::move(*bytes));
}

bool TNamePatterns::Matches(const TArchiveName& name) const {
    if (empty_) return true;
    for (const std::string& pattern : patterns_)
        if (MatchesPattern(pattern, name.Bytes)) return true;
    return false;
}

} // namespace vellocar
