#include "names/Names.h"

#include <gtest/gtest.h>

namespace vellocar {
namespace {

TEST(Names, StoredNamesInPathsSlashesCountEqualCaseOnlyWhenAsked) {
    const struct {
        const char* path;
        const char* name;
        bool ends, contains, endsIgnoringCase;
    } cases[] = {
        {"/games/nwn/data/2da.bif", "data\\2da.bif", true, true, true},
        {"C:\\nwn\\data\\2da.bif", "data\\2da.bif", true, true, true},
        {"C:\\nwn\\data\\2da.bif", "data/2da.bif", true, true, true},
        {"/games/nwn/Data/2DA.bif", "data\\2da.bif", false, false, true},
        {"/games/nwn/olddata/2da.bif", "data\\2da.bif", false, true, false},
        {"/games/nwn/data/2da.bif.bak", "data\\2da.bif", false, true, false},
        {"/games/nwn/data/2da.bif", "", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathEndsWithName(c.path, c.name, false), c.ends) << c.path << " " << c.name;
        EXPECT_EQ(PathContainsName(c.path, c.name, false), c.contains) << c.path << " " << c.name;
        EXPECT_EQ(PathEndsWithName(c.path, c.name, true), c.endsIgnoringCase) << c.path << " " << c.name;
    }
    EXPECT_TRUE(SameStoredName("DATA\\ONE.BIF", "data/one.bif"));
    EXPECT_FALSE(SameStoredName("data\\one.bif", "data\\one.bi"));
    EXPECT_TRUE(SameStoredName("data\\\xC9.bif", "data\\\xE9.bif")) << "letters of Windows-1252 fold too";
}

TEST(Names, FolderOrderIsNtfsOrderAndTotal) {
    std::vector<std::string> names{"b.nss", "_x.2da", "A.2da", "a.2da", "Z.txt", "a", "a.2DA", "10.txt", "1.txt"};
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return FolderOrderLess(a, b); });
    EXPECT_EQ(
        names,
        (std::vector<std::string>{"1.txt", "10.txt", "a", "A.2da", "a.2DA", "a.2da", "b.nss", "Z.txt", "_x.2da"}));
}

} // namespace
} // namespace vellocar
