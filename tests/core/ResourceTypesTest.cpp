#include "ResourceTypes.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <utility>

namespace vellocar {
namespace {

TEST(ResourceTypes, WellKnownPairsHoldBothWays) {
    // A few types every modder knows, from the ends and the middle of the table.
    const std::pair<std::int64_t, const char*> known[] = {{1, "bmp"},    {10, "txt"},   {2009, "nss"}, {2010, "ncs"},
                                                          {2017, "2da"}, {2027, "utc"}, {2066, "ptt"}};
    for (const auto& [type, ext] : known) {
        EXPECT_EQ(ResTypeToExt(type), ext) << type;
        EXPECT_EQ(ExtToResType(std::string(".") + ext), type) << ext;
    }
}

TEST(ResourceTypes, NumbersWithoutARowHaveNoExtension) {
    for (std::int64_t type : {0, 2, 11, 2001, 2034, 2048, 2061, 2067, 65535, -1, -2017, 2017 + 65536})
        EXPECT_EQ(ResTypeToExt(type), "") << type;
}

TEST(ResourceTypes, ExtensionsMatchWholeAndFoldOnlyAsciiCapitals) {
    EXPECT_EQ(ExtToResType(".2Da"), 2017);
    for (const char* ext : {"2da", ".2da ", " .2da", ".2dax", ".2d", ".", "", "..2da"})
        EXPECT_EQ(ExtToResType(ext), kUnknownResType) << '"' << ext << '"';
    // An accented capital is not folded: "\xC9" is no "e".
    EXPECT_EQ(ExtToResType(".ar\xC9"), kUnknownResType);
    EXPECT_EQ(ExtToResType(std::string(".2da\0", 5)), kUnknownResType);
}

TEST(ResourceTypes, EveryKnownTypeComesBackFromItsExtensionInEitherCase) {
    // A file named after a resource packs back to the same type: no two types share an
    // extension, and the extension's letter case does not matter.
    std::set<std::string> extensions;
    for (std::int64_t type = -1; type <= 70000; ++type) {
        const std::string ext = ResTypeToExt(type);
        if (ext.empty()) continue;
        EXPECT_TRUE(extensions.insert(ext).second) << ext;
        EXPECT_EQ(ExtToResType("." + ext), type) << ext;
        std::string upper = ext;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(ExtToResType("." + upper), type) << upper;
    }
    EXPECT_EQ(ResTypeToExt(kUnknownResType), "");
}

} // namespace
} // namespace vellocar
