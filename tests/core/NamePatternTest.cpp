#include "NamePattern.h"

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
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesPattern(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
    EXPECT_TRUE(MatchesAnyPattern({}, "anything"));
    EXPECT_TRUE(MatchesAnyPattern({"*.nss", "*.2da"}, "x.2da"));
    EXPECT_FALSE(MatchesAnyPattern({"*.nss", "*.2da"}, "x.mdl"));
}

} // namespace
} // namespace vellocar
