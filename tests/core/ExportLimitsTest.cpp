// An export keeps to the folder it was given and to the bytes its BIF holds: a BIF's folder
// below the target that is a link or a file is refused, and resources that share their bytes
// stop at the BIF's own size unless the user allows them all.

#include "BuildTestHelpers.h"

#include "operations/Export.h"
#include "operations/ExportBifs.h"

#include <filesystem>
#include <map>

namespace vellocar::test {
namespace {

namespace fs = std::filesystem;

// k.key naming m.bif beside it, whose count entries all lie on one span of bytes.
struct ExportLimits : ::testing::Test {
    void Write(std::uint32_t count, std::uint32_t span) {
        WriteFile(dir / "m.bif", SharedSpanBif(count, span));
        WriteFile(dir / "k.key", Key().AddBif("m.bif", static_cast<int>(count), "r").Write());
        auto key = std::make_shared<TNWNKeyFile>();
        key->LoadFromFile(dir / "k.key");
        keys = {{dir / "k.key", key}};
    }
    TExportBifsReport ExportAll(const std::string& target, const TAllowOverlaps& allow = {}) {
        return ExportBifs(keys, {{{0, 0}}, (dir.path() / target / "").string(), false, {}, false, allow, false},
                          gauge.Progress());
    }
    TempDir dir;
    std::vector<TGameKey> keys;
    ScriptedGauge gauge;
};

TEST_F(ExportLimits, ABifsFolderThatIsALinkOrAFileIsRefused) {
    Write(2, 4);
    fs::create_directories(dir.path() / "elsewhere");
    fs::create_directories(dir.path() / "file");
    WriteFile(dir / "file/m", std::string("a file"));
    std::vector<std::string> targets{"file"};
    std::error_code noLink; // Wine makes no links; Linux and Windows do
    fs::create_directories(dir.path() / "link");
    fs::create_directory_symlink("../elsewhere", dir.path() / "link/m", noLink);
    if (!noLink) targets.push_back("link");
    for (const std::string& target : targets) {
        const TExportBifsReport report = ExportAll(target);
        ASSERT_EQ(report.Skipped.size(), 1u);
        EXPECT_TRUE(Contains(report.Skipped[0].Reason, target == "file" ? "is a file, not a folder" : "is a "));
        EXPECT_TRUE(Contains(report.Skipped[0].Reason, "an export writes only below the folder it was given"));
    }
    EXPECT_TRUE(fs::is_empty(dir.path() / "elsewhere"));
}

// Every file below folder and its bytes.
std::map<std::string, std::vector<unsigned char>> Snapshot(const fs::path& folder) {
    std::map<std::string, std::vector<unsigned char>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().string()] = ReadFile(entry.path().string());
    return files;
}

TEST_F(ExportLimits, ABifsFolderSwappedForALinkMidExportGetsNothing) {
    Write(3, 4);
    // The link's target holds a file under the very name the export writes next.
    fs::create_directories(dir.path() / "elsewhere/inner");
    WriteFile(dir / "elsewhere/r1.2da", std::string("precious"));
    WriteFile(dir / "elsewhere/inner/r2.2da", std::string("kept"));
    const auto before = Snapshot(dir.path() / "elsewhere");
    const fs::path folder = dir.path() / "out/m";
    bool tried = false;
    std::error_code moved, linked; // Windows holds the folder against moves; Wine makes no links
    const TExportBifsReport report =
        ExportBifs(keys, {{{0, 0}}, (dir.path() / "out" / "").string(), false, {}, false, {}, false},
                   [&](std::uint64_t done, std::uint64_t) {
                       if (done != 1 || tried) return; // after r0.2da, before r1.2da
                       tried = true;
                       fs::rename(folder, dir.path() / "out/moved", moved);
                       if (!moved) fs::create_directory_symlink(dir.path() / "elsewhere", folder, linked);
                   });
    ASSERT_TRUE(tried);
    EXPECT_EQ(Snapshot(dir.path() / "elsewhere"), before);
    if (moved || linked) GTEST_SKIP() << "the folder could not be swapped for a link here";
    ASSERT_EQ(report.Skipped.size(), 1u);
    EXPECT_TRUE(Contains(report.Skipped[0].Reason, "was moved or replaced")) << report.Skipped[0].Reason;
    EXPECT_EQ(Snapshot(dir.path() / "out/moved").size(), 1u);
}

TEST_F(ExportLimits, SharedBytesStopAtTheBifsOwnSizeUnlessAllowed) {
    constexpr std::uint32_t kCount = 40, kSpan = 64 << 10;
    Write(kCount, kSpan);
    const std::uint64_t bifSize = 20 + 16 * kCount + kSpan;
    for (const bool allow : {false, true}) {
        std::vector<std::uint64_t> asked;
        const std::string out = allow ? "all" : "bounded";
        const TExportBifsReport report = ExportAll(out, [&](std::uint64_t planned, std::uint64_t size) {
            asked.insert(asked.end(), {planned, size});
            return allow;
        });
        EXPECT_EQ(asked, (std::vector<std::uint64_t>{std::uint64_t{kCount} * kSpan, bifSize}));
        EXPECT_EQ(report.Overlapping.size(), kCount - 1);
        EXPECT_EQ(report.Stopped, allow ? 0u : 1u);
        const auto files =
            static_cast<std::uint64_t>(std::distance(fs::directory_iterator(dir.path() / out / "m"), {}));
        EXPECT_TRUE(allow ? files == kCount : files * kSpan <= bifSize + kOverlapMargin);
        EXPECT_EQ(report.Skipped.size(), kCount - files);
    }
}

} // namespace
} // namespace vellocar::test
