// The ERF family's codec: what the writer writes the reader reads back, and each kind of damage
// refused (or, for a check, reported) with its own words.

#include "ArchiveBytes.h"
#include "base/Errors.h"
#include "formats/ErfCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vellocar::test {
namespace {

TResRef Ref(const std::string& name) {
    TResRef r{};
    std::copy(name.begin(), name.end(), r.begin());
    return r;
}

TErfFile ParseAll(const Bytes& b) { return erfcodec::Parse(b, b.size(), "t.hak"); }

struct RoundTrip {
    const char* Name;
    std::vector<std::pair<std::string, std::uint16_t>> Given; // in this order
    std::vector<TErfLocalizedString> Strings;
    std::vector<std::string> ReadBack; // ResRefs in the order a build packs a folder in
};

TEST(ErfCodec, WrittenArchivesReadBackInFolderOrder) {
    const std::vector<RoundTrip> cases = {
        {"empty", {}, {}, {}},
        {"one", {{"readme", kTypeTxt}}, {}, {"readme"}},
        {"many, long names",
         {{"zz_sixteen_chars", kTypeNss}, {"a", kType2da}, {"ab", kTypeTxt}, {"A_", kTypeTxt}, {"a", kTypeNss}},
         {},
         {"a", "a", "ab", "A_", "zz_sixteen_chars"}},
        {"localized strings", {{"x", kTypeTxt}}, {{0, "English words"}, {2, ""}, {1, "mots"}}, {"x"}},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.Name);
        TErfContent content;
        content.FileType = {'M', 'O', 'D', ' '};
        content.Built = {126, 300};
        content.Strings = c.Strings;
        for (const auto& [name, type] : c.Given)
            content.Resources.push_back({Ref(name), type, std::vector<std::uint8_t>(name.begin(), name.end())});
        const Bytes b(erfcodec::Serialize(content, "t.mod"));
        EXPECT_EQ(b.Str().substr(0, 8), "MOD V1.0");
        EXPECT_EQ(U32At(b, 16), c.ReadBack.size());
        EXPECT_EQ(U32At(b, 20), 160u);
        const TErfFile erf = ParseAll(b);
        EXPECT_EQ(erf.BuildYear, 126u);
        EXPECT_EQ(erf.BuildDay, 300u);
        EXPECT_EQ(erf.Strings, c.Strings);
        ASSERT_EQ(erf.Keys.size(), c.ReadBack.size());
        for (std::size_t i = 0; i < c.ReadBack.size(); ++i) {
            EXPECT_EQ(ResRefToString(erf.Keys[i].ResRef), c.ReadBack[i]);
            EXPECT_EQ(erf.Keys[i].ResId, i);
            EXPECT_EQ(TextAt(b, erf.Resources[i].Offset, erf.Resources[i].Size), c.ReadBack[i]);
        }
        // The same content gives the same bytes, whatever its order.
        std::reverse(content.Resources.begin(), content.Resources.end());
        EXPECT_EQ(Bytes(erfcodec::Serialize(content, "t.mod")), b);
    }
}

TEST(ErfCodec, WriterRefusesTwoResourcesThatAreOne) {
    TErfContent content;
    content.Resources = {{Ref("Same"), kTypeTxt, {}}, {Ref("sAME"), kTypeTxt, {}}};
    EXPECT_THROW(erfcodec::Serialize(content, "t.hak"), EFormatError);
}

// A byte patch of a sound two-resource archive (E1.0: its resource list at 261, its bytes at 293).
struct Damage {
    const char* Name;
    std::size_t At;
    std::uint32_t Value;
    std::string Fault;
    std::string Version = "HAK V1.0";
};

Bytes Patched(const Damage& d) {
    Bytes b = ErfBytes({{"one", kTypeTxt, "1111"}, {"two", kTypeNss, "22"}}, {{0, "words"}}, d.Version);
    b[d.At] = static_cast<unsigned char>(d.Value);
    b[d.At + 1] = static_cast<unsigned char>(d.Value >> 8);
    b[d.At + 2] = static_cast<unsigned char>(d.Value >> 16);
    b[d.At + 3] = static_cast<unsigned char>(d.Value >> 24);
    return b;
}

TEST(ErfCodec, RefusesTablesThatDoNotFitAndOtherVersions) {
    const std::vector<Damage> cases = {
        {"entry count past the end", 16, 1000, "the key list runs past the end of the file (offset 173, 1000 x 24"},
        {"resource list past the end", 28, 0xFFFFFFF0, "the resource list runs past the end of the file"},
        {"strings past the end", 12, 0x7FFFFFFF, "the localized strings run past the end of the file"},
        {"more strings than bytes", 8, 5, "localized string 1 of 5 runs past the end of the localized strings"},
        {"another version", 4, 0x312E3156 /* "V1.1" */,
         "it is of version \"V1.1\", which Vellocar does not read (it reads HAK versions \"V1.0\" and \"E1.0\")"},
        {"E1.0 key rows past the end", 16, 3, "the key list runs past the end of the file (offset 173, 3 x 44",
         "HAK E1.0"},
        {"E1.0 resource rows past the end", 28, 270,
         "the resource list runs past the end of the file (offset 270, 2 x 16", "HAK E1.0"},
    };
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.Name);
        try {
            ParseAll(Patched(d));
            ADD_FAILURE() << "accepted";
        } catch (const EFormatError& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot open HAK \"t.hak\": " + d.Fault), std::string::npos)
                << e.what();
        }
    }
    const Bytes tooShort("HAK V1.0    ");
    EXPECT_THROW(ParseAll(tooShort), EFormatError);
}

TEST(ErfCodec, CheckReportsResourcesThatReadingLeavesToEachRead) {
    // Resource list at 173 + 2 x 24 = 221, bytes from 237: "1111" then "22".
    const std::vector<Damage> cases = {
        {"overlapping", 229, 237,
         "the bytes of entry 1 (\"two.nss\") (offset 237, 2 bytes) overlap the bytes of "
         "entry 0 (\"one.txt\") (offset 237, 4 bytes)"},
        {"over the tables", 221, 100, "the bytes of entry 0 (\"one.txt\") (offset 100, 4 bytes) overlap the header"},
        {"past the end", 233, 3, "the bytes of entry 1 (\"two.nss\") run past the end of the file (offset 241, 3"},
        {"one resource twice", 217, kTypeTxt, "key entry 1 (\"one.txt\") is the same resource as entry 0"},
        {"ResID out of place", 213, 7, "key entry 1 (\"two.nss\") gives ResID 7, not its place"},
    };
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.Name);
        Bytes b = Patched(d);
        if (std::string(d.Name) == "one resource twice") std::copy_n("one", 4, b.begin() + 173 + 24);
        EXPECT_NO_THROW(ParseAll(b));
        std::vector<std::string> faults;
        ASSERT_TRUE(erfcodec::ParseForCheck(b, b.size(), [&](const std::string& f) { faults.push_back(f); }));
        ASSERT_EQ(faults.size(), 1u) << (faults.empty() ? "" : faults[0]);
        EXPECT_EQ(faults[0].substr(0, d.Fault.size()), d.Fault);
    }
}

} // namespace
} // namespace vellocar::test
