// The rule of what is one resource, which the build, verify and the export apply alike; and its
// promise: whatever a build writes, verify accepts and an export writes back whole.

#include "BuildTestHelpers.h"

#include "base/Errors.h"
#include "operations/Export.h"
#include "operations/Verify.h"

#include <random>

namespace vellocar::test {
namespace {

namespace fs = std::filesystem;

// "é" and "É" as this system's file names spell them (the ANSI code page on Windows).
const std::string kSmallE = platform::kPathSeparator == '\\' ? "\xE9" : "\xC3\xA9";
const std::string kCapitalE = platform::kPathSeparator == '\\' ? "\xC9" : "\xC3\x89";

// Packs the folder's plain files as the window lists them (on Windows "a." is "a"); the
// refusal, or "" when the build went through.
std::string Pack(BuildFixture& f, const std::string& bif = "m.bif", bool append = false) {
    f.List = platform::ListPlainFiles(f.Source);
    try {
        f.Build(bif, "m.key", append);
    } catch (const EBuildRefused& e) {
        return e.what();
    }
    return "";
}

// What verify finds in the KEY at key, and what an export of its first BIF writes and skips.
struct Checked {
    std::size_t Problems = 0, Written = 0, Skipped = 0;
    bool operator==(const Checked&) const = default;
};
Checked VerifyAndExport(const std::string& key, const std::string& bif, const std::string& out) {
    auto model = std::make_shared<TNWNKeyFile>();
    model->LoadFromFile(key);
    const TVerifyReport report = VerifyArchive(*model, key, {0});
    const TOpenedBif opened = OpenBif(bif, model.get(), 0);
    fs::create_directories(out);
    const TExportReport exported = ExportResources(opened, model.get(), TExportRequest((fs::path(out) / "").string()));
    const auto written = static_cast<std::size_t>(std::distance(fs::directory_iterator(out), {}));
    return {report.KeyProblems.size() + report.Problems.size(), written, exported.Skipped.size()};
}

TEST(OneResource, TheBuildVerifyAndTheExportApplyOneRule) {
    const struct {
        std::string a, b; // two files
        Key::Entry ea, eb; // the entries a KEY would hold for them
        bool one;
    } cases[] = {
        {"a.nss", "A.NSS", {"a", kTypeNss}, {"A", kTypeNss}, true},
        {"x.foo", "x.bar", {"x", 0xFFFF}, {"x", 0xFFFF}, true},
        {kSmallE + ".txt", kCapitalE + ".TXT", {"\xE9", kTypeTxt}, {"\xC9", kTypeTxt}, true},
        {"a.nss", "a.ncs", {"a", kTypeNss}, {"a", 2010}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a + " " + c.b);
        BuildFixture f;
        f.AddFile(c.a, 3);
        f.AddFile(c.b, 4);
        // A folder that folds case holds only one of "a.nss" and "A.NSS": nothing to refuse.
        if (std::distance(fs::directory_iterator(f.Source), {}) == 2) {
            const std::string refusal = Pack(f);
            EXPECT_EQ(Contains(refusal, "\"" + c.a + "\"") && Contains(refusal, "\"" + c.b + "\""), c.one);
            if (!c.one) {
                EXPECT_EQ(VerifyAndExport(f.OutPath("m.key"), f.OutPath("m.bif"), f.OutPath("m")), Checked({0, 2, 0}));
            }
        }
        // The same pair in a KEY that some other tool wrote: verify reports it, export writes one.
        WriteKey(f.OutPath("w.key"), {{"w.bif", {}, 0, 20 + 2 * 16 + 2}},
                 {{c.ea.ResRef, c.ea.ResType, ResId(0, 0)}, {c.eb.ResRef, c.eb.ResType, ResId(0, 1)}});
        WriteFile(f.OutPath("w.bif"), BifBytes({{"1", c.ea.ResType}, {"2", c.eb.ResType}}));
        EXPECT_EQ(VerifyAndExport(f.OutPath("w.key"), f.OutPath("w.bif"), f.OutPath("w")),
                  c.one ? Checked({1, 1, 1}) : Checked({0, 2, 0}));
    }
}

TEST(OneResource, WhatAPackWritesVerifyAcceptsAndAnExportWritesBack) {
    // Folders of random names, many of them one resource with another: letters of either case,
    // an accented pair, points, known and unknown extensions.
    const std::vector<std::string> letters{"a", "A", "b", kSmallE, kCapitalE, "."};
    const std::vector<std::string> extensions{"", ".nss", ".NSS", ".2da", ".txt", ".foo", ".bar"};
    std::mt19937 random(24);
    const auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    const auto resourceOf = [](std::string n) { // by the rule: letters small (É is é less 0x20 in its last byte)
        for (char& c : n) c = (c >= 'A' && c <= 'Z') || c == kCapitalE.back() ? static_cast<char>(c | 0x20) : c;
        const std::string ext = n.rfind('.') == std::string::npos ? "" : n.substr(n.rfind('.'));
        return n.substr(0, n.rfind('.')) + (ext == ".nss" || ext == ".2da" || ext == ".txt" ? ext : "?"); // one unknown
    };
    int packed = 0;
    std::vector<std::unique_ptr<BuildFixture>> rounds;
    BuildFixture* last = nullptr; // the last folder packed, appended to the next one's KEY
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        BuildFixture& f = *rounds.emplace_back(std::make_unique<BuildFixture>());
        for (int file = 0; file < 6; ++file) {
            std::string name = pick(letters);
            for (std::uint32_t more = random() % 2; more > 0; --more) name += pick(letters);
            f.AddFile(name + pick(extensions), 1 + random() % 5);
        }
        if (!Pack(f).empty()) continue;
        ++packed;
        EXPECT_EQ(VerifyAndExport(f.OutPath("m.key"), f.OutPath("m.bif"), f.OutPath("back")),
                  Checked({0, f.List.size(), 0}));
        BuildFixture* const into = std::exchange(last, &f); // appended as this BIF, in capitals, or its own
        const std::string bif =
            std::vector<std::string>{"m.bif", "M.BIF", "n.bif"}[static_cast<std::size_t>(round % 3)];
        if (!into) continue;
        std::vector<std::string> named; // in the refusal: the other file, or each file another BIF holds
        if (bif == "M.BIF" && !fs::exists(f.OutPath(bif))) named.push_back("file, \"" + f.OutPath("m.bif"));
        for (const std::string& name : into->List)
            for (const std::string& old : f.List)
                if (bif == "n.bif" && resourceOf(name) == resourceOf(old)) named.push_back("\"" + name + "\" (\"");
        into->Out = f.Out;
        const std::string refusal = Pack(*into, bif, true);
        EXPECT_EQ(refusal.empty(), named.empty()) << refusal;
        for (const std::string& part : named) EXPECT_TRUE(Contains(refusal, part));
        EXPECT_EQ(VerifyAndExport(f.OutPath("m.key"), f.OutPath("m.bif"), f.OutPath("again")),
                  Checked({0, (bif == "n.bif" || !refusal.empty() ? &f : into)->List.size(), 0}));
    }
    EXPECT_GT(packed, 5) << "too few folders packed to show anything";
}

} // namespace
} // namespace vellocar::test
