#include "names/NamePattern.h"

#include <gtest/gtest.h>

#include <string>

namespace vellocar {
namespace {

TEST(NamePattern, GlobsMatchNamesWithoutRegardToCase) {
    struct Case {
        const char* pattern;
        std::string name;
        bool matches;
    };
    const Case cases[] = {
        {"*.2da", "appearance.2da", true},
        {"*.2da", "APPEARANCE.2DA", true},
        {"*.2da", "a.2dax", false},
        {"c_drag*", "C_Dragon.mdl", true},
        {"c_drag*", "xc_dragon.mdl", false},
        {"?.nss", "a.nss", true},
        {"?.nss", "ab.nss", false},
        {"[ab]*", "Bx.txt", true},
        {"[!ab]*", "bx.txt", false},
        {"[^ab]*", "cx.txt", true},
        {"[a-c]1.2da", "B1.2da", true},
        {"[a-c]1.2da", "d1.2da", false},
        {"[]x].txt", "].txt", true},
        {"[x.txt", "[x.txt", true},
        {"*", "", true},
        {"", "a", false},
        {"a*b*c", "aXbYc", true},
        {"a*b*c", "aXbYcZ", false},
        {"**.mdl", "x.mdl", true},
        {"*a*a*a*a*b", std::string(64, 'a'), false},
        // Letters of Windows-1252, the archive's bytes: one byte each, either case.
        {"?.txt", "\xE9.txt", true},
        {"\xE9*", "\xC9T\xC9.2da", true},
        {"\x9A*", "\x8A\x61", true},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesPattern(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
    constexpr TNameSpelling kUtf8 = TNameSpelling::Utf8;
    EXPECT_TRUE(TNamePatterns({}, kUtf8).Matches({"anything"}));
    EXPECT_TRUE(TNamePatterns({"*.nss", "*.2da"}, kUtf8).Matches({"x.2da"}));
    EXPECT_FALSE(TNamePatterns({"*.nss", "*.2da"}, kUtf8).Matches({"x.mdl"}));
    // Typed in UTF-8, matched on Windows-1252; a character no archive name holds matches none.
    EXPECT_TRUE(TNamePatterns({"\xC3\x89*"}, kUtf8).Matches({"\xE9t\xE9.2da"}));
    EXPECT_FALSE(TNamePatterns({"\xE6\x97\xA5*"}, kUtf8).Matches({"x.2da"}));
    // Typed in the code page: the archive's bytes as they are.
    EXPECT_TRUE(TNamePatterns({"\xC9*"}, TNameSpelling::CodePage).Matches({"\xE9t\xE9.2da"}));
}

} // namespace
} // namespace vellocar
