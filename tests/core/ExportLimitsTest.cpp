// An export keeps to the folder it was given and to the bytes its BIF holds: a BIF's folder
// below the target that is a link or a file is refused, and resources that share their bytes
// stop at the BIF's own size unless the user allows them all.

#include "BuildTestHelpers.h"

#include "Export.h"
#include "ExportBifs.h"

#include <filesystem>

namespace vellocar::test {
namespace {

namespace fs = std::filesystem;

// k.key naming data\m.bif, whose entries all point at one span of bytes.
struct ExportLimits : ::testing::Test {
    void Write(std::uint32_t count, std::uint32_t span) {
        fs::create_directories(dir.path() / "data");
        Bytes bif;
        bif.Text("BIFFV1  ").U32(count).U32(0).U32(20);
        Key key;
        key.Bifs.push_back({"data\\m.bif", {}, 0, 20 + 16 * count + span});
        for (std::uint32_t i = 0; i < count; ++i) {
            bif.U32(i).U32(20 + 16 * count).U32(span).U32(kTypeTxt);
            key.Entries.push_back({"r" + std::to_string(i), kTypeTxt, ResId(0, i)});
        }
        WriteFile(dir / "data/m.bif", bif.Text(std::string(span, 'x')));
        WriteFile(dir / "k.key", key.Write());
        auto model = std::make_shared<TNWNKeyFile>();
        model->LoadFromFile(dir / "k.key");
        keys = {{dir / "k.key", model}};
    }
    TExportBifsReport ExportAll(const std::string& target) {
        return ExportBifs(keys, {{{0, 0}}, (dir.path() / target / "").string(), false, {}, {}}, gauge);
    }
    std::uintmax_t BytesIn(const std::string& folder) const {
        std::uintmax_t bytes = 0;
        for (const auto& file : fs::directory_iterator(dir.path() / folder)) bytes += file.file_size();
        return bytes;
    }
    TempDir dir;
    std::vector<TGameKey> keys;
    ScriptedGauge gauge;
};

TEST_F(ExportLimits, ABifsFolderThatIsALinkOrAFileIsRefused) {
    Write(2, 4);
    fs::create_directories(dir.path() / "elsewhere");
    fs::create_directories(dir.path() / "out");
    WriteFile(dir / "out/m", std::string("a file"));
    std::vector<std::pair<std::string, std::string>> cases{{"out", "\" is a file, not a folder"}};
    std::error_code linkFailed; // Wine makes no links; Linux and Windows do
    fs::create_directories(dir.path() / "linked");
    fs::create_directory_symlink("../elsewhere", dir.path() / "linked/m", linkFailed);
    if (!linkFailed) cases.push_back({"linked", "\" is a "});
    for (const auto& [target, says] : cases) {
        const TExportBifsReport report = ExportAll(target);
        EXPECT_EQ(report.Written, 0u);
        ASSERT_EQ(report.Skipped.size(), 1u);
        EXPECT_TRUE(Contains(report.Skipped[0].Reason, says));
        EXPECT_TRUE(Contains(report.Skipped[0].Reason, "an export writes only below the folder it was given"));
    }
    EXPECT_TRUE(fs::is_empty(dir.path() / "elsewhere"));
}

TEST_F(ExportLimits, SharedBytesStopAtTheBifsOwnSizeUnlessAllowed) {
    constexpr std::uint32_t kCount = 40, kSpan = 64 << 10;
    Write(kCount, kSpan);
    const std::uint64_t bifSize = 20 + 16 * kCount + kSpan;
    for (const bool allow : {false, true}) {
        SCOPED_TRACE(allow);
        TStringResourceList list;
        TNWNBifFile bif(list, gauge);
        bif.Open(dir / "data/m.bif", keys[0].Key, 0);
        std::vector<std::uint64_t> asked;
        bif.AllowOverlaps = [&](std::uint64_t planned, std::uint64_t size) {
            asked.insert(asked.end(), {planned, size});
            return allow;
        };
        const std::string out = allow ? "all" : "bounded";
        fs::create_directories(dir.path() / out);
        bif.ExtractAll((dir.path() / out / "").string());
        EXPECT_EQ(asked, (std::vector<std::uint64_t>{std::uint64_t{kCount} * kSpan, bifSize}));
        EXPECT_EQ(bif.Overlapping.size(), kCount - 1);
        EXPECT_EQ(bif.ExportStopped, !allow);
        if (allow) EXPECT_EQ(BytesIn(out), std::uint64_t{kCount} * kSpan);
        if (!allow) EXPECT_LE(BytesIn(out), bifSize + kOverlapMargin);
        EXPECT_EQ(bif.Skipped.size(), kCount - BytesIn(out) / kSpan);
    }
    const TExportBifsReport tree = ExportAll("tree");
    EXPECT_EQ(tree.Stopped, 1u);
    EXPECT_EQ(tree.Overlapping.size(), kCount - 1);
    EXPECT_LE(BytesIn("tree/m"), bifSize + kOverlapMargin);
}

} // namespace
} // namespace vellocar::test
