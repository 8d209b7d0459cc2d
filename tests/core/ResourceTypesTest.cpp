#include "names/ResourceTypes.h"

#include "ArchiveBytes.h"
#include "formats/BifFiles.h"
#include "operations/Build.h"
#include "operations/KeyReading.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <utility>

namespace vellocar {
namespace {

TEST(ResourceTypes, WellKnownPairsHoldBothWays) {
    // A few types every modder knows, from the ends and the middle of the table.
    const std::pair<TResType, const char*> known[] = {{0, "res"},
                                                      {1, "bmp"},
                                                      {8, "bmu"},
                                                      {10, "txt"},
                                                      {2009, "nss"},
                                                      {2010, "ncs"},
                                                      {2017, "2da"},
                                                      {2027, "utc"},
                                                      {2059, "4pc"},
                                                      {2066, "ptt"},
                                                      {2067, "bak"},
                                                      {9996, "ids"},
                                                      {9999, "key"},
                                                      // The Enhanced Edition's, from its first to its last.
                                                      {2068, "dat"},
                                                      {2069, "shd"},
                                                      {2072, "mtr"},
                                                      {2074, "ttf"},
                                                      {2077, "sq3"},
                                                      {2080, "png"},
                                                      {2081, "jpg"},
                                                      {2083, "jui"}};
    for (const auto& [type, ext] : known) {
        EXPECT_EQ(ResTypeToExt(type), ext) << type;
        EXPECT_EQ(ExtToResType(std::string(".") + ext), type) << ext;
    }
}

TEST(ResourceTypes, NumbersWithoutARowHaveNoExtension) {
    // Gaps of the game's own table, past its ends, and a type cut to 16 bits would be another.
    for (TResType type : {11u, 1999u, 2004u, 2006u, 2019u, 2021u, 2028u, 2084u, 2099u, 9995u, 10000u, 65535u,
                          0xFFFFFFFFu, 2017u + 65536u, 2072u + 65536u})
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
    for (TResType type = 0; type <= 70000; ++type) {
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

TEST(ResourceTypes, EnhancedEditionFilesPackAndListUnderTheirExtensions) {
    using namespace test;
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "src");
    const std::pair<const char*, std::uint16_t> files[] = {{"x.mtr", 2072}, {"y.shd", 2069}, {"z.png", 2080}};
    for (const auto& [name, type] : files) WriteFile(dir / ("src/" + std::string(name)), std::string(name));
    TBuildRequest request((dir.path() / "src" / "").string(), dir / "ee.bif", dir / "ee.key");
    request.Files = {"x.mtr", "y.shd", "z.png"};
    BuildArchive(request);

    const RawKey key = ParseKey(ReadFile(dir / "ee.key"));
    ASSERT_EQ(key.Keys.size(), 3u);
    const std::vector<std::string> lines = ResourceLines(*ReadKey(dir / "ee.key").Key, 0);
    ASSERT_EQ(lines.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(key.Keys[i].ResRef, ResRef16(std::string(1, files[i].first[0])));
        EXPECT_EQ(key.Keys[i].ResType, files[i].second) << files[i].first;
        EXPECT_EQ(lines[i], files[i].first);
    }
}

} // namespace
} // namespace vellocar
