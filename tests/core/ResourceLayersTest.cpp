// The game's layers in order (which copy wins), and the index a browser filters and sorts.

#include "ArchiveBytes.h"
#include "operations/ExportLayers.h"
#include "operations/KeyReading.h"
#include "operations/ResourceIndex.h"
#include "operations/ResourceLayers.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace vellocar {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A KEY; the game's ovr; override; a module listing h1 (winning), h2, a damaged HAK and a missing
// one; development; an added "folder" that is a file. Each resource's content names its layer.
class Layers : public ::testing::Test {
protected:
    void SetUp() override {
        using test::kType2da;
        const std::string key = test::WriteArchive(dir.path(), "data/k.key",
                                                   {{"data\\k.bif",
                                                     {{"a", kType2da, "key"},
                                                      {"b", kType2da, "key"},
                                                      {"f", kType2da, "key"},
                                                      {"g", kType2da, "key"},
                                                      {"h", kType2da, "key"}}}});
        set.Keys.push_back({key, ReadKey(key, {}, {}).Key});
        fs::create_directories(dir.path() / "ovr");
        fs::create_directories(dir.path() / "override");
        fs::create_directories(dir.path() / "dev");
        fs::create_directories(dir.path() / "hak");
        test::WriteFile(dir / "ovr/b.2da", "ovr");
        test::WriteFile(dir / "ovr/c.2da", "ovr");
        fs::create_directories(dir.path() / "lang/en/data/ovr");
        test::WriteFile(dir / "lang/en/data/ovr/b.2da", "language's ovr");
        test::WriteFile(dir / "override/c.2da", "override");
        test::WriteFile(dir / "override/d.2da", "override");
        test::WriteFile(dir / "override/G.2DA", "override");
        test::WriteFile(dir / "override/notes.zzz", "not a resource");
        test::WriteFile(dir / "elsewhere.2da", "linked");
#ifndef _WIN32
        // Wine makes no links, nor may a Windows user without the right: there, no h.2da in
        // override is what a skipped link leaves too.
        fs::create_symlink(dir.path() / "elsewhere.2da", dir.path() / "override/h.2da");
#endif
        test::WriteFile(dir / "hak/h1.hak", test::ErfBytes({{"d", kType2da, "h1"}, {"e", kType2da, "h1"}}));
        test::WriteFile(dir / "hak/h2.hak", test::ErfBytes({{"d", kType2da, "h2"}, {"f", kType2da, "h2"}}));
        test::WriteFile(dir / "hak/broken.hak", "HAK V1.0 and no more");
        test::WriteFile(dir / "dev/e.2da", "development");
        test::WriteFile(dir / "m.mod",
                        test::ErfBytes({{"module", test::kTypeIfo,
                                         test::ModuleIfoBytes({"h1", "h2", "broken", "gone", "../hak/h1"}).Str()}},
                                       {}, "MOD V1.0"));
        AddLayers(set,
                  {dir.path().string(),
                   dir / "override",
                   dir / "m.mod",
                   {dir / "hak"},
                   {},
                   dir / "dev",
                   {dir / "elsewhere.2da"},
                   "en"});
    }
    TempDir dir;
    TResourceSet set;
};

TEST_F(Layers, TheLaterLayerWinsAndWhatCannotBeReadIsNamed) {
    const TResourceIndex index(set);
    struct Case {
        std::string line;
        std::string loaded; // the role of the layer that wins
        std::uint32_t copies;
    };
    const std::vector<Case> cases = {
        {"a.2da", "key", 1},      {"b.2da", "ovr", 3},         {"c.2da", "override", 2},
        {"d.2da", "hak", 3},      {"e.2da", "development", 2}, {"f.2da", "hak", 2},
        {"G.2da", "override", 2}, {"h.2da", "key", 1}, // a link is not followed
    };
    ASSERT_EQ(index.Rows().size(), cases.size()); // notes.zzz is no resource
    for (const Case& c : cases) {
        const auto shown = index.Filter(c.line);
        ASSERT_EQ(shown.size(), 1u) << c.line;
        const TIndexRow& row = index.Rows()[shown[0]];
        EXPECT_EQ(index.Layers()[index.Loaded(row).Layer].Role, c.loaded) << c.line;
        EXPECT_EQ(row.CopyCount, c.copies) << c.line;
    }
    // Of the HAKs the module's first wins; the loaded copy's bytes say so.
    const TIndexRow& d = index.Rows()[index.Filter("d.2da")[0]];
    EXPECT_EQ(index.Layers()[index.Loaded(d).Layer].Label, (dir.path() / "hak" / "h1.hak").string());
    TPieceFinder finder(set);
    const auto digests = CopyDigests(index, d, finder);
    EXPECT_EQ(Sha1Hex(*digests[0].Digest), "ac4ae97285c19b13201deb9b192d921316db3447"); // SHA-1 of "h1"
    EXPECT_TRUE(CopiesDiffer(digests));

    const std::vector<std::string> problems = {"broken.hak", "\"gone\" is in none of the HAK folders",
                                               "\"../hak/h1\", which is no HAK's name", "elsewhere.2da\" is no folder"};
    ASSERT_EQ(index.Problems().size(), problems.size());
    for (std::size_t i = 0; i < problems.size(); ++i)
        EXPECT_NE(index.Problems()[i].find(problems[i]), std::string::npos) << index.Problems()[i];
}

TEST_F(Layers, TheIndexFiltersSortsAndCounts) {
    const TResourceIndex index(set);
    struct Case {
        std::string query;
        TIndexColumn column;
        bool descending;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"", TIndexColumn::Copies, true, {"b.2da", "d.2da", "c.2da", "e.2da", "f.2da", "G.2da", "a.2da", "h.2da"}},
        {"type:2da ?.2DA [a-c]*", TIndexColumn::Name, false, {"a.2da", "b.2da", "c.2da"}},
        {"G", TIndexColumn::Name, false, {"G.2da"}},
        {"type:txt", TIndexColumn::Name, false, {}},
        {"e.2 *a", TIndexColumn::Layer, false, {"e.2da"}},
    };
    for (const Case& c : cases) {
        auto shown = index.Filter(c.query);
        index.Sort(shown, c.column, c.descending);
        std::vector<std::string> lines;
        for (const std::uint32_t r : shown) lines.push_back(index.LineOf(index.Rows()[r]));
        EXPECT_EQ(lines, c.lines) << c.query;
    }
    EXPECT_EQ(index.CountText(3), "3 of 8");
}

// ExportHits across layers: copies that would be one file (the first given written), an output
// that would be a file being read, and a folder's file that is a link by the time it is read.
TEST_F(Layers, ExportHitsWritesEachFileOnceAndFollowsNoLink) {
    const std::vector<TResourceHit> d = FindResources(set, "d.2da"); // h1's, h2's, override's
    ASSERT_EQ(d.size(), 3u);
    struct Case {
        std::vector<TResourceHit> hits;
        std::string target;
        std::vector<std::string> files; // what the target holds afterwards
        std::vector<std::string> skipped; // a part of each reason, in order
    };
    std::vector<Case> cases = {
        {d, dir / "o1", {"d.2da"}, {"h2.hak: \"d.2da from hak ", "override: \"d.2da from hak "}},
        {{d[2]}, dir / "override", {"G.2DA", "c.2da", "d.2da", "h.2da", "notes.zzz"}, {"which is being read"}},
    };
#ifndef _WIN32
    fs::remove(dir.path() / "override/c.2da");
    fs::create_symlink(dir.path() / "elsewhere.2da", dir.path() / "override/c.2da");
    cases.push_back({{FindResources(set, "c.2da").at(0)}, dir / "o3", {}, {"c.2da\" is no plain file now"}});
#else
    cases[1].files.erase(cases[1].files.begin() + 3);
#endif
    for (const Case& c : cases) {
        const TLayerExportReport report = ExportHits(set, c.hits, {c.target + "/", false, false, {}});
        std::vector<std::string> files;
        if (fs::exists(c.target))
            for (const auto& entry : fs::directory_iterator(c.target))
                files.push_back(entry.path().filename().string());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, c.files) << c.target;
        ASSERT_EQ(report.Skipped.size(), c.skipped.size()) << c.target;
        for (std::size_t i = 0; i < c.skipped.size(); ++i)
            EXPECT_NE(report.Skipped[i].Reason.find(c.skipped[i]), std::string::npos) << report.Skipped[i].Reason;
    }
    const auto text = [](const std::string& path) {
        const std::vector<unsigned char> bytes = test::ReadFile(path);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(text(dir / "o1/d.2da"), "h1");
    EXPECT_EQ(text(dir / "override/d.2da"), "override");
    EXPECT_EQ(text(dir / "elsewhere.2da"), "linked");
}

} // namespace
} // namespace vellocar
