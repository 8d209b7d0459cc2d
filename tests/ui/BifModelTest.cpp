// The window's BIF model: opening a BIF with its KEY fills the resource list; its exports go
// through the core's, with every rule of those.

#include "base/Errors.h"
#include "BifModel.h"
#include "BuildTestHelpers.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace vellocar::ui {
namespace {

namespace fs = std::filesystem;
using test::BifBytes;
using test::Bytes;
using test::Contains;

// A resource list that keeps its lines, and which of them are selected, in memory.
class StringList final : public TResourceList {
public:
    void Clear() override { lines_.clear(), selected_.clear(); }
    void Add(const std::string& line) override { lines_.push_back(line), selected_.push_back(false); }
    int Count() const override { return static_cast<int>(lines_.size()); }
    std::string Line(int index) const override { return lines_.at(static_cast<std::size_t>(index)); }
    bool Selected(int index) const override { return selected_.at(static_cast<std::size_t>(index)); }
    void SetSelected(int index, bool selected) { selected_.at(static_cast<std::size_t>(index)) = selected; }
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    std::vector<bool> selected_;
};

// The scripted gauge of the core's tests as the model's gauge.
class Gauge final : public TGauge, public test::ScriptedGauge {
public:
    void SetMinValue(int value) override { ScriptedGauge::SetMinValue(value); }
    void SetMaxValue(int value) override { ScriptedGauge::SetMaxValue(value); }
    void SetProgress(int value) override { ScriptedGauge::SetProgress(value); }
    void Show() override { ScriptedGauge::Show(); }
    void RepaintNow() override { ScriptedGauge::RepaintNow(); }
};

test::Key::Entry Entry(const std::string& name, std::uint16_t type, std::uint32_t bif, std::uint32_t index) {
    return {name, type, test::ResId(bif, index)};
}

// A KEY naming these BIFs, each with its entries, in order.
test::Key KeyOf(const std::vector<std::pair<std::string, std::vector<test::Key::Entry>>>& bifs) {
    test::Key key;
    for (const auto& [name, entries] : bifs) {
        key.Bifs.push_back({name});
        key.Entries.insert(key.Entries.end(), entries.begin(), entries.end());
    }
    return key;
}

// A KEY naming data\a.bif, a BIF at <dir>/data/a.bif and an empty export folder <dir>/out/.
class BifTest : public testing::Test {
protected:
    void Write(const test::Key& key, const std::vector<unsigned char>& bif) {
        fs::create_directories(dir_.path() / "data");
        fs::create_directories(dir_.path() / "out");
        test::WriteFile(BifPath(), bif);
        LoadKey(key);
    }
    // The KEY as the program reads it from disk, at path (chitin.key when none is given).
    void LoadKey(const test::Key& key, std::string path = {}) {
        if (path.empty()) path = dir_ / "chitin.key";
        test::WriteFile(path, key.Write());
        key_ = std::make_shared<TNWNKeyFile>();
        key_->LoadFromFile(path);
    }
    void Open() { bif_.Open(BifPath(), key_); }
    // A path inside the scratch folder, written with "/" and given in the system's own form
    // (the KEY's "data\a.bif" must occur in it on Windows too).
    std::string At(const std::string& relative) const {
        return (dir_.path() / fs::path(relative).make_preferred()).string();
    }
    std::string BifPath() const { return At("data/a.bif"); }
    std::string Out() const { return (dir_.path() / "out" / "").string(); }
    std::string Exported(const std::string& name) const {
        const auto bytes = test::ReadFile(Out() + name);
        return std::string(bytes.begin(), bytes.end());
    }
    std::vector<std::string> OutNames() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.path() / "out")) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir_;
    StringList list_;
    Gauge gauge_;
    TNWNBifFile bif_{list_, gauge_};
    std::shared_ptr<TNWNKeyFile> key_;
};

TEST(LocateBif, TheClassicPlaceFirstThenTheEnhancedEditionsLayouts) {
    // A game folder as the Enhanced Edition lays it out: KEYs one folder below the names' root,
    // language KEYs beside their own BIFs; and a classic BIF beside a KEY in the game folder.
    test::TempDir game;
    for (const char* file : {"data/base_2da.bif", "lang/en/data/base_loc.bif", "data/data/both.bif", "data/both.bif",
                             "chitin.key", "data/classic.bif"}) {
        fs::create_directories((game.path() / file).parent_path());
        test::WriteFile(game / file, std::string("BIFF"));
    }
    const auto at = [&](const std::string& relative) { return (game.path() / relative).make_preferred().string(); };
    const struct {
        std::string keyFolder, stored, expected;
        bool found, classic;
    } cases[] = {
        {at("data"), "data\\base_2da.bif", at("data/../data/base_2da.bif"), true, false},
        {at("lang/en/data"), "lang\\en\\data\\base_loc.bif", at("lang/en/data/base_loc.bif"), true, false},
        {at("data"), "data\\both.bif", at("data/data/both.bif"), true, true}, // the classic place wins
        {at(""), "data\\classic.bif", at("data/classic.bif"), true, true},
        {at("data"), "data\\missing.bif", at("data/data/missing.bif"), false, true},
    };
    for (const auto& c : cases) {
        const TBifLocation found = LocateBif(c.keyFolder, c.stored);
        EXPECT_EQ(found.Found, c.found) << c.stored;
        EXPECT_EQ(found.Classic, c.classic) << c.stored;
        if (c.found) {
            EXPECT_TRUE(fs::equivalent(found.Path, c.expected)) << found.Path << " for " << c.stored;
        } else {
            EXPECT_EQ(fs::path(found.Path).make_preferred(), fs::path(c.expected)) << c.stored;
        }
    }
}

TEST_F(BifTest, OpenListsTheKeyEntriesOfItsBif) {
    Write(KeyOf({{"data\\other.bif", {Entry("elsewhere", 10, 0, 0)}},
                 {"data\\a.bif",
                  {Entry("abcdefgh", 2017, 1, 0), Entry("abcdefghijklmnop", 2009, 1, 1), Entry("odd", 9990, 1, 2)}}}),
          BifBytes({{"x", 2017}, {"y", 2009}}));
    Open();
    EXPECT_EQ(bif_.Opened.BifIndex, 1);
    EXPECT_EQ(bif_.Opened.Tables.VarResCount, 2u);
    EXPECT_EQ(bif_.Opened.Tables.VarResources[1].Offset, 20u + 32 + 1);
    EXPECT_TRUE(bif_.Opened.Tables.HeaderExtra.empty());
    // The list follows the KEY, even though it names more entries than the BIF holds.
    EXPECT_EQ(list_.Lines(), (std::vector<std::string>{"abcdefgh.2da", "abcdefghijklmnop.nss", "odd."}));
}

TEST_F(BifTest, HeaderGapAndTablesAtOddOffsets) {
    Write(KeyOf({{"data\\a.bif", {Entry("x", 10, 0, 0)}}}), {});
    // VarTableOffset 24: four gap bytes, then one variable and one fixed entry.
    Bytes gap;
    gap.Text("BIFF").Text("V1  ").U32(1).U32(1).U32(24).Text("GAP!");
    gap.U32(0).U32(60).U32(2).U32(10); // variable: 2 bytes at 60
    gap.U32(7).U32(66).U32(3).U32(4).U32(2002); // fixed, read and kept
    gap.Text("hi");
    test::WriteFile(BifPath(), gap);
    Open();
    EXPECT_EQ(std::string(bif_.Opened.Tables.HeaderExtra.begin(), bif_.Opened.Tables.HeaderExtra.end()), "GAP!");
    ASSERT_EQ(bif_.Opened.Tables.FixedResources.size(), 1u);
    EXPECT_EQ(bif_.Opened.Tables.FixedResources[0].PartSize, 4u);
    EXPECT_EQ(bif_.Opened.Tables.FixedResources[0].ResType, 2002u);
    bif_.ExtractAll(Out());
    EXPECT_EQ(Exported("x.txt"), "hi");

    // VarTableOffset 4: the table overlaps the header and no gap is read.
    Bytes overlap;
    // Read as the entry: Id "V1  " (the version field), Offset 1 (VarResCount), FileSize 0
    // (FixedResCount), ResType 4 (VarTableOffset).
    overlap.Text("BIFF").Text("V1  ").U32(1).U32(0).U32(4);
    test::WriteFile(BifPath(), overlap);
    TNWNBifFile second(list_, gauge_);
    second.Open(BifPath(), key_);
    EXPECT_TRUE(second.Opened.Tables.HeaderExtra.empty());
    ASSERT_EQ(second.Opened.Tables.VarResources.size(), 1u);
    EXPECT_EQ(second.Opened.Tables.VarResources[0].Id, test::U32At(overlap, 4));
    EXPECT_EQ(second.Opened.Tables.VarResources[0].Offset, 1u);
    EXPECT_EQ(second.Opened.Tables.VarResources[0].ResType, 4u);
}

TEST_F(BifTest, OpenPrefersTheNameThatEndsThePath) {
    // Both names occur in ".../olddata/a.bif"; the one that ends it is the BIF the path means.
    Write(KeyOf({{"data\\a.bif", {Entry("first", 10, 0, 0)}}, {"olddata\\a.bif", {Entry("second", 10, 1, 0)}}}),
          BifBytes({{"1"}}));
    fs::create_directories(dir_.path() / "olddata");
    fs::copy_file(BifPath(), At("olddata/a.bif"));
    bif_.Open(At("olddata/a.bif"), key_);
    EXPECT_EQ(bif_.Opened.BifIndex, 1);
    EXPECT_EQ(list_.Lines(), std::vector<std::string>{"second.txt"});

    // Where no name ends the path, the first that occurs anywhere in it is taken.
    fs::copy_file(BifPath(), At("olddata/a.bif.orig"));
    TNWNBifFile copy(list_, gauge_);
    copy.Open(At("olddata/a.bif.orig"), key_);
    EXPECT_EQ(copy.Opened.BifIndex, 0);
    EXPECT_EQ(list_.Lines(), std::vector<std::string>{"first.txt"});
}

TEST_F(BifTest, LetterCaseCountsFirstAndIsIgnoredOnlyAsAFallback) {
    Write(KeyOf({{"DATA\\A.BIF", {Entry("upper", 10, 0, 0)}}, {"data\\a.bif", {Entry("exact", 10, 1, 0)}}}),
          BifBytes({{"1"}}));
    Open();
    EXPECT_EQ(bif_.Opened.BifIndex, 1); // the exact name wins though it comes second

    // With no exact match the name is matched without regard to case, on every system: the
    // Linux lookup finds BIFs that way, and Windows names files that way.
    LoadKey(KeyOf({{"DATA\\A.BIF", {Entry("upper", 10, 0, 0)}}}));
    TNWNBifFile other(list_, gauge_);
    other.Open(BifPath(), key_);
    EXPECT_EQ(list_.Lines(), std::vector<std::string>{"upper.txt"});
}

TEST_F(BifTest, RefusedOpensLeaveTheListAlone) {
    Write(KeyOf({{"data\\zzz.bif", {Entry("x", 10, 0, 0)}}}), BifBytes({{"1"}}));
    list_.Add("previous");
    try {
        Open();
        FAIL() << "a path without any KEY name was accepted";
    } catch (const EFormatError& e) {
        EXPECT_TRUE(Contains(e.what(), "Cannot open BIF \"" + BifPath() + "\": the KEY lists no BIF"));
    }

    LoadKey(KeyOf({{"data\\a.bif", {Entry("x", 10, 0, 0)}}}));
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        const char* message;
    };
    Bytes shortHeader;
    shortHeader.Text("BIFF").Text("V1  ").U32(0); // 12 of the 20 header bytes
    Bytes varPastEnd;
    varPastEnd.Text("BIFF").Text("V1  ").U32(2).U32(0).U32(20).U32(0).U32(36).U32(1).U32(10); // 1 of 2 entries
    Bytes fixedPastEnd;
    fixedPastEnd.Text("BIFF").Text("V1  ").U32(0).U32(1).U32(20).U32(0); // a fixed entry cut short
    Bytes hugeCount;
    hugeCount.Text("BIFF").Text("V1  ").U32(0xFFFFFFFF).U32(0xFFFFFFFF).U32(0xFFFFFFFF);
    const Case cases[] = {
        {"short header", shortHeader, "too short for a BIF header (file 12 bytes"},
        {"variable table", varPastEnd,
         "variable resource table runs past the end of the file (offset 20, 2 x 16 bytes, file 36 bytes)"},
        {"fixed table", fixedPastEnd,
         "fixed resource table runs past the end of the file (offset 20, 1 x 20 bytes, file 24 bytes)"},
        {"huge count", hugeCount, "variable resource table runs past the end"},
    };
    for (const Case& c : cases) {
        test::WriteFile(BifPath(), c.bytes);
        TNWNBifFile bif(list_, gauge_);
        try {
            bif.Open(BifPath(), key_);
            ADD_FAILURE() << c.what << " accepted";
        } catch (const EFormatError& e) {
            EXPECT_TRUE(Contains(e.what(), c.message)) << c.what;
        }
        EXPECT_EQ(list_.Lines(), std::vector<std::string>{"previous"}) << c.what;
    }
}

TEST_F(BifTest, ExtractAllWritesEveryNamedResource) {
    Write(KeyOf({{"data\\a.bif",
                  {Entry("abcdefgh", 2017, 0, 0), Entry("empty", 10, 0, 1), Entry("My File.v2-x", 2009, 0, 2),
                   Entry("abcdefgh", 2017, 0, 3)}}}),
          BifBytes({{"first"}, {""}, {"void main() {}"}, {"later"}}));
    Open();
    bif_.ExtractAll(Out());
    EXPECT_EQ(OutNames(), (std::vector<std::string>{"My File.v2-x.nss", "abcdefgh.2da", "empty.txt"}));
    // The first of two equal names is written; the later one would overwrite it and is reported.
    EXPECT_EQ(Exported("abcdefgh.2da"), "first");
    EXPECT_EQ(Exported("empty.txt"), "");
    EXPECT_EQ(Exported("My File.v2-x.nss"), "void main() {}");
    ASSERT_EQ(bif_.Skipped.size(), 1u);
    EXPECT_EQ(bif_.Skipped[0].Name, "abcdefgh.2da");
    EXPECT_TRUE(test::RanOver(gauge_, 3));
}

TEST_F(BifTest, AnEmptyBifWritesNothingAndLeavesTheGaugeAlone) {
    Write(KeyOf({{"data\\a.bif", {}}}), BifBytes({}));
    Open();
    bif_.ExtractAll(Out());
    EXPECT_TRUE(OutNames().empty());
    EXPECT_TRUE(gauge_.Log.empty());
}

TEST_F(BifTest, UnnamedAndUnsafeResourcesAreSkippedAndTheRestWritten) {
    // Index 1 has no KEY entry; it must not borrow a name from its neighbours.
    Write(KeyOf({{"data\\a.bif",
                  {Entry("ok", 10, 0, 0), Entry("../x", 10, 0, 2), Entry("a/b", 10, 0, 3), Entry("a\\b", 10, 0, 4),
                   Entry("con", 10, 0, 5), Entry("Lpt3", 2017, 0, 6), Entry("", 9990, 0, 7), Entry("q?", 10, 0, 8),
                   Entry("tab\t", 10, 0, 9), Entry("c:x", 10, 0, 10), Entry("console", 10, 0, 11)}}}),
          BifBytes({{"0"}, {"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}, {"7"}, {"8"}, {"9"}, {"10"}, {"11"}}));
    Open();
    bif_.ExtractAll(Out());
    EXPECT_EQ(OutNames(), (std::vector<std::string>{"console.txt", "ok.txt"}));
    EXPECT_FALSE(fs::exists(dir_ / "x.txt"));
    EXPECT_FALSE(fs::exists(At("out/a")));
    std::vector<std::string> skipped;
    for (const auto& s : bif_.Skipped) {
        skipped.push_back(s.Name);
        EXPECT_FALSE(s.Reason.empty()) << s.Name;
    }
    EXPECT_EQ(skipped,
              (std::vector<std::string>{"#1", "../x.txt", "a/b.txt", "a\\b.txt", "con.txt", "Lpt3.2da", ".", "q?.txt",
                                        "tab\t.txt", "c:x.txt"}));
}

TEST_F(BifTest, EveryListedResourceIsAccountedFor) {
    // KEY entries whose resource the BIF does not hold, or holds for an earlier entry, are
    // reported after the resources, as well as written or skipped ones.
    struct Case {
        const char* what;
        std::vector<test::Key::Entry> entries;
        std::size_t resources;
        std::vector<std::string> written, skipped;
    } cases[] = {
        {"index past the table", {Entry("a", 10, 0, 0), Entry("gone", 10, 0, 5)}, 1, {"a.txt"}, {"gone.txt"}},
        {"empty BIF", {Entry("a", 10, 0, 0), Entry("b", 10, 0, 1)}, 0, {}, {"a.txt", "b.txt"}},
        {"shared index", {Entry("a", 10, 0, 0), Entry("twin", 10, 0, 0)}, 1, {"a.txt"}, {"twin.txt"}},
    };
    for (const Case& c : cases) {
        std::vector<test::Resource> resources(c.resources, test::Resource{"bytes"});
        Write(KeyOf({{"data\\a.bif", c.entries}}), BifBytes(resources));
        fs::remove_all(dir_.path() / "out");
        fs::create_directories(dir_.path() / "out");
        Open();
        bif_.ExtractAll(Out());
        EXPECT_EQ(OutNames(), c.written) << c.what;
        std::vector<std::string> skipped;
        for (const auto& s : bif_.Skipped) skipped.push_back(s.Name);
        EXPECT_EQ(skipped, c.skipped) << c.what;
    }
}

TEST_F(BifTest, TwoResourcesForOneFileNeverOverwriteEachOther) {
    // Types without an extension give "name."; "X.2da" is one resource with "x.2da" to the
    // game. Windows also drops a trailing dot, so there more names meet in one file.
#ifdef _WIN32
    const std::vector<std::string> skipped{"first.", "X.2da", "first..", "x.2da."};
#else
    const std::vector<std::string> written{"first.", "first..", "x.2da", "x.2da."};
    const std::vector<std::string> skipped{"first.", "X.2da"};
#endif
    Write(KeyOf({{"data\\a.bif",
                  {Entry("first", 9990, 0, 0), Entry("first", 9991, 0, 1), Entry("x", 2017, 0, 2),
                   Entry("X", 2017, 0, 3), Entry("first.", 9990, 0, 4), Entry("x.2da", 9990, 0, 5)}}}),
          BifBytes({{"one"}, {"two"}, {"three"}, {"four"}, {"five"}, {"six"}}));
    Open();
    bif_.ExtractAll(Out());
    EXPECT_EQ(Exported("first."), "one");
    std::vector<std::string> names;
    for (const auto& s : bif_.Skipped) names.push_back(s.Name);
    EXPECT_EQ(names, skipped);
#ifndef _WIN32
    EXPECT_EQ(OutNames(), written);
#else
    EXPECT_EQ(OutNames(), (std::vector<std::string>{"first", "x.2da"}));
#endif
}

TEST_F(BifTest, ExistingFilesAndLinksAreReplacedNotWrittenThrough) {
    Write(KeyOf({{"data\\a.bif", {Entry("linked", 10, 0, 0), Entry("plain", 10, 0, 1)}}}),
          BifBytes({{"new bytes"}, {"fresh"}}));
    test::WriteFile(dir_ / "precious", std::string("keep me"));
#ifndef _WIN32 // Wine has no symbolic links
    fs::create_symlink(dir_ / "precious", Out() + "linked.txt");
#endif
    test::WriteFile(Out() + "plain.txt", std::string("a much longer old content"));
    Open();
    bif_.ExtractAll(Out());
    EXPECT_FALSE(fs::is_symlink(Out() + "linked.txt"));
    EXPECT_EQ(Exported("linked.txt"), "new bytes");
    EXPECT_EQ(Exported("plain.txt"), "fresh");
    const auto precious = test::ReadFile(dir_ / "precious");
    EXPECT_EQ(std::string(precious.begin(), precious.end()), "keep me");
}

TEST_F(BifTest, AResourcePastTheEndIsRefusedBeforeItsFileExists) {
    Write(KeyOf({{"data\\a.bif", {Entry("good", 10, 0, 0), Entry("broken", 10, 0, 1), Entry("after", 10, 0, 2)}}}), {});
    Bytes b;
    b.Text("BIFF").Text("V1  ").U32(3).U32(0).U32(20);
    b.U32(0).U32(68).U32(2).U32(10);
    b.U32(1).U32(69).U32(100).U32(10); // 100 bytes at 69 in a 70-byte file
    b.U32(2).U32(68).U32(1).U32(10);
    b.Text("ok");
    test::WriteFile(BifPath(), b);
    Open();
    try {
        bif_.ExtractAll(Out());
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Stream read error", 0), 0u) << e.what();
        EXPECT_TRUE(Contains(e.what(), "\"broken.txt\"")) << e.what();
        EXPECT_TRUE(Contains(e.what(), "offset 69, 100 bytes, file 70 bytes"));
    }
    EXPECT_EQ(OutNames(), std::vector<std::string>{"good.txt"});
}

TEST_F(BifTest, NeverWritesOverTheBifOrKeyBeingRead) {
    // The BIF's own name is res.2da, and the export goes into its folder.
    // On Windows "keyres.2da." (a type without an extension) and "KEYRES.2da" are the KEY too.
    fs::create_directories(dir_.path() / "data");
    fs::create_directories(dir_.path() / "out");
    const auto bifBytes = BifBytes({{"inner"}, {"k"}, {"o"}, {"dot"}, {"case"}});
    const std::string bifPath = At("data/res.2da");
    test::WriteFile(bifPath, bifBytes);
    LoadKey(KeyOf({{"data\\res.2da",
                    {Entry("res", 2017, 0, 0), Entry("keyres", 2017, 0, 1), Entry("other", 10, 0, 2),
                     Entry("keyres.2da", 9990, 0, 3), Entry("KEYRES", 2017, 0, 4)}}}),
            At("data/keyres.2da"));
    const auto keyBytes = test::ReadFile(At("data/keyres.2da"));

    bif_.Open(bifPath, key_);
    bif_.ExtractAll((dir_.path() / "data" / "").string());
    EXPECT_EQ(test::ReadFile(bifPath), bifBytes);
    EXPECT_EQ(test::ReadFile(At("data/keyres.2da")), keyBytes);
    EXPECT_TRUE(fs::exists(At("data/other.txt")));
    ASSERT_GE(bif_.Skipped.size(), 2u);
    EXPECT_EQ(bif_.Skipped[0].Name, "res.2da");
    EXPECT_EQ(bif_.Skipped[1].Name, "keyres.2da");
#ifdef _WIN32
    EXPECT_EQ(bif_.Skipped.size(), 4u);
#else
    EXPECT_EQ(bif_.Skipped.size(), 3u) << "KEYRES.2da is one resource with keyres.2da";
    EXPECT_FALSE(fs::exists(At("data/KEYRES.2da")));
#endif
}

#ifndef _WIN32
TEST_F(BifTest, NamesInWindows1252AreListedAndWrittenAsUtf8) {
    // "café", "Œuvre" and a byte that Windows-1252 leaves undefined, which stays as listed on a
    // terminal, escaped.
    Write(KeyOf({{"data\\a.bif", {Entry("caf\xe9", 10, 0, 0), Entry("\x8cuvre", 10, 0, 1), Entry("x\x81", 10, 0, 2)}}}),
          BifBytes({{"1"}, {"2"}, {"3"}}));
    Open();
    EXPECT_EQ(list_.Lines(), (std::vector<std::string>{"caf\xc3\xa9.txt", "\xc5\x92uvre.txt", "x\x81.txt"}));
    bif_.ExtractAll(Out());
    EXPECT_EQ(OutNames(), (std::vector<std::string>{"caf\xc3\xa9.txt", "x\\x81.txt", "\xc5\x92uvre.txt"}));
    EXPECT_EQ(Exported("\xc5\x92uvre.txt"), "2");
}

TEST_F(BifTest, AFailedWriteRemovesThePartialFile) {
    Write(KeyOf({{"data\\a.bif", {Entry("small", 10, 0, 0), Entry("big", 10, 0, 1)}}}),
          BifBytes({{"tiny"}, {std::string(5000, 'x')}}));
    Open();
    {
        test::FileSizeLimit limit(1000);
        try {
            bif_.ExtractAll(Out());
            ADD_FAILURE() << "no error";
        } catch (const EWriteError& e) {
            EXPECT_TRUE(Contains(e.what(), "Stream write error: file too large, writing \"" + Out() + "big.txt\""))
                << e.what();
        }
    }
    EXPECT_EQ(OutNames(), std::vector<std::string>{"small.txt"});
}
#endif

TEST_F(BifTest, ExtractSelectedFollowsTheKeyEntriesOfTheSelectedLines) {
    // The KEY lists the BIF backwards, so line i is not variable entry i; and it names index 9,
    // which the BIF does not have.
    Write(KeyOf({{"data\\a.bif",
                  {Entry("third", 10, 0, 2), Entry("second", 10, 0, 1), Entry("first", 10, 0, 0),
                   Entry("ghost", 10, 0, 9)}}}),
          BifBytes({{"A"}, {"B"}, {"C"}}));
    Open();
    bif_.ExtractSelected(Out());
    EXPECT_TRUE(OutNames().empty());

    list_.SetSelected(0, true);
    list_.SetSelected(2, true);
    list_.SetSelected(3, true);
    gauge_.Log.clear();
    bif_.ExtractSelected(Out());
    EXPECT_EQ(OutNames(), (std::vector<std::string>{"first.txt", "third.txt"}));
    EXPECT_EQ(Exported("third.txt"), "C");
    EXPECT_EQ(Exported("first.txt"), "A");
    ASSERT_EQ(bif_.Skipped.size(), 1u);
    EXPECT_EQ(bif_.Skipped[0].Name, "ghost.txt");
    EXPECT_TRUE(gauge_.Log.empty());
}

TEST_F(BifTest, ExportsReportAMissingBifOrTarget) {
    Write(KeyOf({{"data\\a.bif", {Entry("x", 10, 0, 0)}}}), BifBytes({{"1"}}));
    Open();
    EXPECT_THROW(bif_.ExtractAll((dir_.path() / "nowhere" / "").string()), EFCreateError);
    fs::remove(BifPath());
    try {
        bif_.ExtractAll(Out());
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_TRUE(Contains(e.what(), "Cannot open file \"" + BifPath() + "\". "));
    }
}

} // namespace
} // namespace vellocar::ui
