// E1 KEYs and BIFs as a packer writes them, and E1.0 HAKs (zlib and zstd compress here): read, lies refused.

#include "ArchiveBytes.h"
#include "operations/Containers.h"
#include "operations/Export.h"
#include "operations/ResourceRead.h"
#include "operations/Verify.h"

#include <gmock/gmock.h>
#include <regex>
#include <zlib.h>
#ifdef VELLOCAR_HAVE_ZSTD
#include <zstd.h>
#endif

namespace vellocar {
namespace {

using test::XRes;
using namespace testing;

// text compressed by zlib (algorithm 1) or zstd (2).
std::string Packed(int algorithm, const std::string& text) {
    std::string out(2 * text.size() + 64, '\0');
    auto size = static_cast<uLongf>(out.size());
    if (algorithm == 1)
        compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
                 static_cast<uLong>(text.size()));
#ifdef VELLOCAR_HAVE_ZSTD
    if (algorithm == 2) size = ZSTD_compress(out.data(), out.size(), text.data(), text.size(), 3);
#endif
    return out.substr(0, size);
}

// The resource as the one entry of an E1.0 HAK at path.
TResourceContainer E1Hak(const std::string& path, const test::E1Resource& r) {
    test::WriteFile(path,
                    test::ErfBytes({{r.ResRef, test::kTypeTxt, r.Stored, r.Compression, r.UncompressedSize, r.Sha1}},
                                   {}, "HAK E1.0"));
    return ErfContainer(path);
}

const std::string kPlain = "stored as it is\n", kTable(3310, 't');
const auto kN = static_cast<std::uint32_t>(kTable.size());
const std::string kPlainSha = "\x0a\x8e\x8e\x7a\x28\xbb\x75\x33\xa3\x32\x88\x50\x5e\x8b\x61\x69\x14\x61\x26\xaa",
                  kTableSha = "\x36\x9b\x0a\x32\x1b\x49\x77\x51\xff\xef\x8b\x10\x4d\x5d\x08\x02\xce\x7d\xb0\x04";

TEST(Sha1, StandardVectors) {
    for (const std::string_view v : {"abc a9993e364706816aba3e25717850c26c9cd0d89d",
                                     " da39a3ee5e6b4b0d3255bfef95601890afd80709", // the empty message
                                     "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq "
                                     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"}) {
        const std::string_view message = v.substr(0, v.size() - 41), digest = v.substr(v.size() - 40);
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
        TSha1Hasher pieces; // cut every 7 bytes, across the 64-byte blocks
        for (std::size_t at = 0; at < bytes.size(); at += 7)
            pieces.Add(bytes.subspan(at, std::min<std::size_t>(7, bytes.size() - at)));
        EXPECT_EQ(Sha1Hex(Sha1Of(bytes)), digest);
        EXPECT_EQ(Sha1Hex(pieces.Finish()), digest);
    }
}

TEST(E1Archive, ReadsListsExtractsAndVerifiesEachKindOfResource) {
    const std::vector<test::E1Resource> cases = {
        {"plain", kPlain, 0, 16, kPlainSha}, // stored as it is
        {"inside", XRes(0, 16, kPlain), 1, 16, kPlainSha}, // a buffer of algorithm none
        {"zlib", XRes(1, kN, Packed(1, kTable)), 1, kN, kTableSha},
#ifdef VELLOCAR_HAVE_ZSTD
        {"zstd", XRes(2, kN, Packed(2, kTable)), 1, kN, kTableSha},
#endif
    };
    test::TempDir dir;
    TNWNKeyFile key;
    key.LoadFromFile(test::WriteE1Archive(dir.path(), cases));
    const TOpenedBif bif = OpenBif(dir / "data/e1.bif", &key);
    EXPECT_EQ(ExportResources(bif, &key, TExportRequest(dir.withSeparator())).Written, cases.size());
    std::filesystem::create_directory(dir / "hak"); // and each resource as the one entry of an E1.0 HAK
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const test::E1Resource& resource = cases[i];
        const std::string& content = resource.UncompressedSize == kN ? kTable : kPlain;
        EXPECT_EQ(ResourceSize(bif.Tables.VarResources.at(i)), content.size()); // as a list shows it
        const TResourceContainer hak = E1Hak(dir / (resource.ResRef + ".hak"), resource);
        EXPECT_EQ(ResourceSize(hak.Bytes.Tables.VarResources.at(0)), content.size());
        EXPECT_EQ(ExportContainer(hak, TExportRequest(dir / "hak/")).Written, 1u);
        EXPECT_NE(VerifyErfArchive(hak.Label, [](const std::string& f) { ADD_FAILURE() << f; }), std::nullopt);
        for (const std::string folder : {"", "hak/"}) {
            const auto exported = test::ReadFile(dir / (folder + resource.ResRef + ".txt"));
            EXPECT_EQ(std::string(exported.begin(), exported.end()), content) << resource.ResRef;
        }
    }
    EXPECT_TRUE(VerifyArchive(key, key.Path, {0}).Problems.empty());
}

// An export unpacks every resource into the same two buffers, grown to the largest so far: each
// file must hold its own resource's bytes and no more, whether a larger one came before it, one
// between failed part-way, or one is stored as it is.
TEST(E1Archive, ExportsEachResourceWholeAfterLargerAndFailedOnes) {
    const std::string shortText = "a short one\n", zlibText(2000, 'z'), stored = "kept as it is";
    const std::string zlibTable = Packed(1, kTable), zlibHalf = zlibTable.substr(0, zlibTable.size() / 2);
    const std::vector<test::E1Resource> cases = {
        {"large", XRes(1, kN, Packed(1, kTable)), 1, kN, kTableSha},
        {"short", XRes(1, 12, Packed(1, shortText)), 1, 12, std::string(20, 'x')},
        {"broken", XRes(1, kN, zlibHalf), 1, kN, kTableSha},
        {"after", XRes(1, 2000, Packed(1, zlibText)), 1, 2000, std::string(20, 'x')},
        {"plain", stored, 0, 13, std::string(20, 'x')},
#ifdef VELLOCAR_HAVE_ZSTD
        {"zlarge", XRes(2, kN, Packed(2, kTable)), 1, kN, kTableSha},
        {"zbroken", XRes(2, kN, Packed(2, kTable).substr(0, 12)), 1, kN, kTableSha},
        {"zshort", XRes(2, 12, Packed(2, shortText)), 1, 12, std::string(20, 'x')},
#endif
    };
    test::TempDir dir;
    TNWNKeyFile key;
    key.LoadFromFile(test::WriteE1Archive(dir.path(), cases));
    const TOpenedBif bif = OpenBif(dir / "data/e1.bif", &key);
    const TExportReport report = ExportResources(bif, &key, TExportRequest(dir.withSeparator()));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"large", kTable},  {"short", shortText},  {"after", zlibText}, {"plain", stored},
#ifdef VELLOCAR_HAVE_ZSTD
        {"zlarge", kTable}, {"zshort", shortText},
#endif
    };
    EXPECT_EQ(report.Written, expected.size());
    for (const auto& [name, content] : expected) {
        const auto exported = test::ReadFile(dir / (name + ".txt"));
        EXPECT_EQ(std::string(exported.begin(), exported.end()), content) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "broken.txt"));
#ifdef VELLOCAR_HAVE_ZSTD
    EXPECT_FALSE(std::filesystem::exists(dir / "zbroken.txt"));
    EXPECT_THAT(
        report.Skipped,
        ElementsAre(Field(&TSkippedResource::Name, "broken.txt"), Field(&TSkippedResource::Name, "zbroken.txt")));
#else
    EXPECT_THAT(report.Skipped, ElementsAre(Field(&TSkippedResource::Name, "broken.txt")));
#endif
}

TEST(E1Archive, RefusesEachLieByName) {
    const std::string stream = Packed(1, kTable), good = XRes(1, kN, stream), sha = kTableSha;
    const struct {
        test::E1Resource Resource;
        std::string Says; // in the reader's refusal, the export's skip and verify's problem
        std::string BifOid = test::kE1Oid;
    } cases[] = {
        {{"r", good, 1, 1u << 30, sha}, "more than the 268,435,456 bytes Vellocar unpacks"},
        {{"r", good, 1, kN - 1, sha}, "its compressed buffer declares 3,310 bytes, its entry 3,309"},
        {{"r", XRes(1, kN, stream, "XREZ"), 1, kN, sha}, "starts with \"XREZ\", not \"XRES\""},
        {{"r", XRes(1, kN, stream.substr(0, stream.size() / 2)), 1, kN, sha}, "its zlib stream ends after"},
        {{"r", XRes(1, kN - 10, stream), 1, kN - 10, sha}, "gives more than the 3,300 bytes"},
        {{"r", kPlain, 0, 17, kPlainSha}, "stored uncompressed in 16 bytes, but its entry gives its size as 17 bytes"},
#ifdef VELLOCAR_HAVE_ZSTD
        {{"r", XRes(2, kN, "frame", "XRES", 3, 9), 1, kN, sha}, "needs dictionary 9"},
        {{"r", XRes(2, kN, Packed(2, kTable).substr(0, 12)), 1, kN, sha}, "its zstd frame"},
#else
        {{"r", XRes(2, kN, "frame"), 1, kN, sha}, "which this Windows build does not read"},
#endif
        // Read well: only verify finds the SHA-1 (and the size above); the BIF of another build is refused when opened.
        {{"r", good, 1, kN, std::string(20, 'x')},
         "SHA-1 is 369b0a321b497751ffef8b104d5d0802ce7db004, the KEY gives 7878"},
        {{"r", good, 1, kN, sha},
         "its object ID \"" + std::string(24, 'f') + "\" is not its KEY's (\"" + test::kE1Oid,
         std::string(24, 'f')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Says);
        test::TempDir dir;
        TNWNKeyFile key;
        key.LoadFromFile(test::WriteE1Archive(dir.path(), {c.Resource}, c.BifOid));
        if (c.BifOid != test::kE1Oid) {
            EXPECT_THAT([&] { OpenBif(dir / "data/e1.bif", &key); }, ThrowsMessage<EFormatError>(HasSubstr(c.Says)));
        } else if (c.Resource.Sha1 == sha) {
            const TOpenedBif bif = OpenBif(dir / "data/e1.bif", &key);
            const auto read = [&] { // the BIF open only meanwhile: Windows shares it with no export
                platform::File file = platform::File::OpenRead(bif.Path);
                ReadResourceBytes(file, SpanOf(bif.Tables.VarResources[0]), "r");
            };
            EXPECT_THAT(read, ThrowsMessage<EFormatError>(HasSubstr(c.Says)));
            EXPECT_THAT(ExportResources(bif, &key, TExportRequest(dir.withSeparator())).Skipped,
                        ElementsAre(Field(&TSkippedResource::Reason, HasSubstr(c.Says))));
        }
        const TVerifyReport verified = VerifyArchive(key, key.Path, {0});
        EXPECT_THAT(verified.Problems, ElementsAre(Field(&TVerifyProblem::Message, HasSubstr(c.Says))));
        if (c.BifOid != test::kE1Oid) continue; // a HAK has no KEY whose build it could miss
        // The same resource in an E1.0 HAK, whose entry the reading above takes as a BIF's: verify in the same words.
        std::vector<std::string> found;
        VerifyErfArchive(E1Hak(dir / "e1.hak", c.Resource).Label, [&](const std::string& f) { found.push_back(f); });
        EXPECT_THAT(found, ElementsAre(HasSubstr(std::regex_replace(c.Says, std::regex("KEY"), "HAK"))));
    }
}

} // namespace
} // namespace vellocar
