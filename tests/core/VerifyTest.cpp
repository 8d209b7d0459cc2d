#include "ArchiveBytes.h"
#include "BuildTestHelpers.h"
#include "operations/Verify.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

namespace vellocar {
namespace {

namespace fs = std::filesystem;
using test::Resource;
using KeyEntry = test::Key::Entry;

constexpr std::uint16_t kTxt = 10;
constexpr std::uint16_t kNss = 2009;
constexpr std::uint16_t k2da = 2017;

// A KEY naming data\a.bif (one.txt, two.2da) and data\b.bif (three.nss), and the two BIFs
// beside it, each resource where its entry says. A case spoils one part before it is written.
struct Pair {
    std::vector<Resource> a{{"first", kTxt}, {"second bytes", k2da}};
    std::vector<Resource> b{{"third", kNss}};
    std::vector<KeyEntry> aEntries{KeyEntry{"one", kTxt, test::ResId(0, 0)}, KeyEntry{"two", k2da, test::ResId(0, 1)}};
    std::vector<KeyEntry> bEntries{KeyEntry{"three", kNss, test::ResId(1, 0)}};
    std::optional<std::vector<unsigned char>> bBytes; // instead of b; nothing when empty
    bool writeB = true;
    std::size_t cutFromA = 0; // bytes cut from a's end
    std::vector<std::pair<std::size_t, std::uint32_t>> patchA; // 32-bit values put into a's bytes
    std::function<void(test::Key&)> editKey = [](test::Key&) {};
    std::vector<std::size_t> check{0, 1};
};

// a's layout: its variable table at 20, 16 bytes a row (ID, offset, size, type); "first" at 52,
// "second bytes" at 57, 69 bytes in all.
constexpr std::size_t ARow(std::size_t i, std::size_t field) { return 20 + 16 * i + 4 * field; }
constexpr std::size_t kWholeKey = SIZE_MAX; // a problem of the KEY itself

struct Expected {
    std::size_t bif;
    std::string resource;
    std::string message; // a part of it
};

TVerifyReport Verify(const Pair& pair, const test::TempDir& dir) {
    fs::create_directories(dir.path() / "data");
    auto a = test::BifBytes(pair.a);
    a.resize(a.size() - pair.cutFromA);
    for (const auto& [at, value] : pair.patchA)
        for (std::size_t i = 0; i < 4; ++i) a[at + i] = static_cast<unsigned char>(value >> (8 * i));
    test::WriteFile(dir / "data/a.bif", a);
    const test::Bytes b = pair.bBytes ? *pair.bBytes : test::BifBytes(pair.b);
    if (pair.writeB) test::WriteFile(dir / "data/b.bif", b);
    test::Key written;
    written.Bifs = {{"data\\a.bif", {}, 0, static_cast<std::uint32_t>(a.size())}, {"data\\b.bif", {}, 0, b.Size()}};
    written.Entries = pair.aEntries;
    written.Entries.insert(written.Entries.end(), pair.bEntries.begin(), pair.bEntries.end());
    pair.editKey(written);
    test::WriteFile(dir / "chitin.key", written.Write());
    TNWNKeyFile key;
    key.LoadFromFile(dir / "chitin.key");
    return VerifyArchive(key, dir / "chitin.key", pair.check);
}

TEST(Verify, ACleanPairHasNoProblems) {
    test::TempDir dir;
    const TVerifyReport report = Verify(Pair{}, dir);
    EXPECT_EQ(report.Bifs, 2u);
    EXPECT_EQ(report.Resources, 3u);
    EXPECT_TRUE(report.Problems.empty()) << report.Problems.front().Message;

    // Asking for one BIF, twice, checks it once.
    Pair one;
    one.check = {1, 1};
    EXPECT_EQ(Verify(one, dir).Bifs, 1u);
}

TEST(Verify, ReportsEachFaultOnItsBifAndResource) {
    const struct {
        const char* name;
        std::function<void(Pair&)> spoil;
        std::vector<Expected> expected;
    } cases[] = {
        {"missing BIF", [](Pair& p) { p.writeB = false; }, {{1, "", "not found"}}},
        {"BIF that does not open",
         [](Pair& p) {
             p.bBytes = std::vector<unsigned char>{'B', 'I', 'F', 'F'};
         },
         {{1, "", "b.bif"}}},
        {"index past the table",
         [](Pair& p) {
             p.aEntries[1] = KeyEntry{"two", k2da, test::ResId(0, 5)};
         },
         {{0, "two.2da", "no resource at index 5 (it has 2)"}, {0, "#1", "no KEY entry names this resource"}}},
        {"bytes past the end", [](Pair& p) { p.cutFromA = 2; }, {{0, "two.2da", "run past the end of the BIF"}}},
        {"type mismatch",
         [](Pair& p) { p.aEntries[0].ResType = kNss; },
         {{0, "one.nss", "the BIF gives type 10 (txt), the KEY 2009 (nss)"}}},
        {"unnamed resource",
         [](Pair& p) {
             p.a.push_back({"stray", kTxt});
         },
         {{0, "#2", "no KEY entry names this resource (type 10 (txt))"}}},
        {"two entries, one resource",
         [](Pair& p) {
             p.aEntries.push_back(KeyEntry{"again", kTxt, test::ResId(0, 0)});
         },
         {{0, "again.txt", "is also named by \"one.txt\""}}},
        {"name and type twice in one BIF",
         [](Pair& p) {
             p.a.push_back({"x", kTxt});
             p.aEntries.push_back(KeyEntry{"ONE", kTxt, test::ResId(0, 2)});
         },
         {{0, "ONE.txt", "duplicate of \"one.txt\" earlier in this BIF"}}},
        {"name and type twice across BIFs",
         [](Pair& p) {
             p.b[0].Type = kTxt;
             p.bEntries[0] = KeyEntry{"one", kTxt, test::ResId(1, 0)};
         },
         {{1, "one.txt", "duplicate of \"one.txt\" in data\\a.bif"}}},
        {"the later duplicate's BIF not checked",
         [](Pair& p) {
             p.b[0].Type = kTxt;
             p.bEntries[0] = KeyEntry{"one", kTxt, test::ResId(1, 0)};
             p.check = {0};
         },
         {{0, "one.txt", "duplicated by \"one.txt\" in data\\b.bif"}}},
        {"bytes that overlap",
         [](Pair& p) {
             p.patchA = {{ARow(1, 1), 54}};
         },
         {{0, "two.2da", "its bytes (offset 54, 12 bytes) overlap those of \"one.txt\" (offset 52, 5 bytes)"}}},
        {"bytes over the tables",
         [](Pair& p) {
             p.patchA = {{ARow(0, 1), 30}};
         },
         {{0, "one.txt", "lie over the variable resource table (bytes 20 to 51)"}}},
        {"bytes over the header",
         [](Pair& p) {
             p.patchA = {{ARow(0, 1), 0}};
         },
         {{0, "one.txt", "lie over the BIF's header (bytes 0 to 19)"}}},
        {"ID out of place",
         [](Pair& p) {
             p.patchA = {{ARow(1, 0), 7}};
         },
         {{0, "two.2da", "gives it the ID 7"}}},
        {"ID with the BIF's index above its own: fine",
         [](Pair& p) {
             p.patchA = {{ARow(1, 0), 3u << 20 | 1}};
         },
         {}},
        {"BIF signature",
         [](Pair& p) {
             p.patchA = {{0, 0x58464942}};
         }, // "BIFX"
         {{0, "", "it is no BIF: its signature is \"BIFXV1  \", not \"BIFFV1  \""}}},
        {"BIF version, which the reader refuses",
         [](Pair& p) {
             p.patchA = {{4, 0x312E3156}};
         }, // "V1.1"
         {{0, "", "it is of version \"V1.1\", which Vellocar does not read"}}},
        {"FileSize not the BIF's",
         [](Pair& p) { p.editKey = [](test::Key& k) { k.Bifs[1].FileSize = 0; }; },
         {{1, "", "the KEY gives its size as 0 bytes, the file has 41"}}},
        {"BIF listed twice, the later entry not checked",
         [](Pair& p) { p.editKey = [](test::Key& k) { k.Bifs.push_back({"DATA/A.BIF"}); }; },
         {{0, "", "the KEY lists this BIF twice: it is also entry 2 (\"DATA/A.BIF\")"}}},
        {"same name, other type",
         [](Pair& p) {
             p.b[0].Type = k2da;
             p.bEntries[0] = KeyEntry{"one", k2da, test::ResId(1, 0)};
         },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        Pair pair;
        c.spoil(pair);
        const TVerifyReport report = Verify(pair, dir);
        std::vector<TVerifyProblem> problems;
        for (const std::string& message : report.KeyProblems) problems.push_back({kWholeKey, "", message});
        problems.insert(problems.end(), report.Problems.begin(), report.Problems.end());
        ASSERT_EQ(problems.size(), c.expected.size()) << (problems.empty() ? "" : problems[0].Message);
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(problems[i].Bif, c.expected[i].bif);
            EXPECT_EQ(problems[i].Resource, c.expected[i].resource);
            EXPECT_TRUE(test::Contains(problems[i].Message, c.expected[i].message)) << problems[i].Message;
        }
    }
}

} // namespace
} // namespace vellocar
