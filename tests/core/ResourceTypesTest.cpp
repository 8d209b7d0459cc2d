#include "BifFiles.h"
#include "KeyFiles.h"

#include <gtest/gtest.h>

#include <set>

namespace vellocar {
namespace {

TEST(ResourceTypes, KnownTypesMapToTheirExtensions) {
    EXPECT_EQ(ResTypeToExt(1), "bmp");
    EXPECT_EQ(ResTypeToExt(10), "txt");
    EXPECT_EQ(ResTypeToExt(2017), "2da");
    EXPECT_EQ(ResTypeToExt(2066), "ptt");
}

TEST(ResourceTypes, NumbersWithoutARowHaveNoExtension) {
    for (std::int64_t type : {0, 2, 11, 2001, 2034, 2048, 2061, 2067, 65535, -1, -2017, 2017 + 65536})
        EXPECT_EQ(ResTypeToExt(type), "") << type;
}

TEST(ResourceTypes, ExtensionsMatchWholeAndFoldOnlyAsciiCapitals) {
    EXPECT_EQ(ExtToResType(".2da"), 2017);
    EXPECT_EQ(ExtToResType(".2DA"), 2017);
    EXPECT_EQ(ExtToResType(".2Da"), 2017);
    EXPECT_EQ(ExtToResType(".BMP"), 1);
    for (const char* ext : {"2da", ".2da ", " .2da", ".2dax", ".2d", ".", "", "..2da"})
        EXPECT_EQ(ExtToResType(ext), kUnknownResType) << '"' << ext << '"';
    // An accented capital is not folded: "\xC9" is no "e".
    EXPECT_EQ(ExtToResType(".ar\xC9"), kUnknownResType);
    EXPECT_EQ(ExtToResType(std::string(".2da\0", 5)), kUnknownResType);
}

TEST(ResourceTypes, BothDirectionsHoldTheSame42Rows) {
    std::set<std::string> extensions;
    int rows = 0;
    for (std::int64_t type = -1; type <= 70000; ++type) {
        const std::string ext = ResTypeToExt(type);
        if (ext.empty()) continue;
        ++rows;
        EXPECT_EQ(ext.size(), 3u);
        EXPECT_TRUE(extensions.insert(ext).second) << ext;
        EXPECT_EQ(ExtToResType("." + ext), type) << ext;
    }
    EXPECT_EQ(rows, 42);
    EXPECT_EQ(ResTypeToExt(kUnknownResType), "");
}

} // namespace
} // namespace vellocar
