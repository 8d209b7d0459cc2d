#include "base/Errors.h"
#include "BuildTestHelpers.h"
#include "formats/BifFiles.h"
#include "formats/KeyCodec.h"
#include "formats/KeyFiles.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

namespace vellocar {
namespace {

using test::Bytes;
using test::Contains;
using test::U32At;

// The 64-byte header with the given counts and offsets, BuildYear 0, BuildDay 0, Reserved zero.
Bytes Header(std::uint32_t bifs, std::uint32_t keys, std::uint32_t fileTable, std::uint32_t keyTable) {
    test::Key k;
    k.BifCount = bifs;
    k.KeyCount = keys;
    k.OffsetToFileTable = fileTable;
    k.OffsetToKeyTable = keyTable;
    k.BuildYear = 0;
    return k.Write();
}

// A KEY model as the builder leaves it, for the tests of SaveToFile itself.
TNWNKeyEntry Entry(const std::string& name, std::uint16_t type, std::uint32_t resId) {
    TNWNKeyEntry e{{}, type, resId};
    std::copy(name.begin(), name.end(), e.ResRef.begin());
    return e;
}
TNWNKeyFile Model(const std::vector<std::pair<std::string, std::vector<TNWNKeyEntry>>>& bifs) {
    TNWNKeyFile key;
    key.FileType = {'K', 'E', 'Y', ' '};
    key.FileVersion = {'V', '1', ' ', ' '};
    for (const auto& [name, entries] : bifs) {
        TNWNFileTableEntry row;
        row.FilenameSize = static_cast<std::uint16_t>(name.size());
        key.FileTable.push_back(row);
        key.Filenames.push_back({name, entries});
    }
    key.BifCount = static_cast<std::uint32_t>(bifs.size());
    return key;
}

// A KEY laid out as the game's own are not: key table first, then the file table, then the
// names, with every oddity real files show.
std::vector<unsigned char> GameLikeKey() {
    Bytes b;
    b.Text("KEY ").Text("V1  ").U32(3).U32(4).U32(152).U32(64).U32(102).U32(200);
    for (std::uint8_t i = 1; i <= 32; ++i) b.push_back(i); // Reserved: 01 .. 20
    // key table at 64, BIF entries interleaved
    b.Text("abcdefghijklmnop").U16(2017).U32((1u << 20) + 0); // 16 characters, no zero byte
    b.Text("My File.v2-x", 16).U16(2009).U32((0u << 20) + 0); // blank, dot, dash, mixed case
    b.Text(std::string("ab\0trail", 8), 16).U16(9996).U32((1u << 20) + 1); // bytes after the zero
    b.Text("second", 16).U16(10).U32((0u << 20) + 1);
    // file table at 152
    b.U32(1000).U32(188).U16(13).U16(1); // "data\2da.bif" + its zero byte counted
    b.U32(2000).U32(201).U16(15).U16(3); // "data\x.bif", zero, then "junk" inside the size
    b.U32(3000).U32(216).U16(10).U16(0); // "data\y.bif" without a zero byte
    // names at 188
    b.Text(std::string("data\\2da.bif\0", 13));
    b.Text(std::string("data\\x.bif\0junk", 15));
    b.Text("data\\y.bif");
    return b;
}

TEST(KeyFileLoad, ReadsTablesWhereverTheyLie) {
    test::TempDir dir;
    test::WriteFile(dir / "game.key", GameLikeKey());
    TNWNKeyFile key;
    key.LoadFromFile(dir / "game.key");

    EXPECT_EQ(std::string(key.FileType.begin(), key.FileType.end()), "KEY ");
    EXPECT_EQ(key.BifCount, 3u);
    EXPECT_EQ(key.KeyCount, 4u);
    EXPECT_EQ(key.BuildYear, 102u);
    EXPECT_EQ(key.BuildDay, 200u);
    EXPECT_EQ(key.Reserved[0], 1);
    EXPECT_EQ(key.Reserved[31], 32);
    EXPECT_EQ(key.Path, dir / "game.key");

    ASSERT_EQ(key.Filenames.size(), 3u);
    EXPECT_EQ(key.Filenames[0].Filename, "data\\2da.bif");
    EXPECT_EQ(key.Filenames[1].Filename, "data\\x.bif");
    EXPECT_EQ(key.Filenames[2].Filename, "data\\y.bif");
    EXPECT_EQ(key.FileTable[1].FileSize, 2000u);
    EXPECT_EQ(key.FileTable[0].Drives, 1);
    EXPECT_EQ(key.FileTable[1].Drives, 3);

    // Gathered by BIF, each keeping its key-table order.
    ASSERT_EQ(key.Filenames[0].Resources.size(), 2u);
    EXPECT_EQ(ResRefToString(key.Filenames[0].Resources[0].ResRef), "My File.v2-x");
    EXPECT_EQ(ResRefToString(key.Filenames[0].Resources[1].ResRef), "second");
    ASSERT_EQ(key.Filenames[1].Resources.size(), 2u);
    EXPECT_EQ(ResRefToString(key.Filenames[1].Resources[0].ResRef), "abcdefghijklmnop");
    EXPECT_EQ(ResRefToString(key.Filenames[1].Resources[1].ResRef), "ab");
    EXPECT_EQ(key.Filenames[1].Resources[1].ResType, 9996);
    EXPECT_EQ(key.Filenames[1].Resources[1].ResId, (1u << 20) + 1);
    EXPECT_TRUE(key.Filenames[2].Resources.empty());
}

TEST(KeyFileSave, LoadAndSaveKeepsEveryFieldAndGroupsByBif) {
    test::TempDir dir;
    test::WriteFile(dir / "game.key", GameLikeKey());
    TNWNKeyFile key;
    key.LoadFromFile(dir / "game.key");
    key.SaveToFile(dir / "out.key");

    const auto out = test::ReadFile(dir / "out.key");
    // 64 + 3 x 12 + names (13 + 11 + 11) + 4 x 22
    ASSERT_EQ(out.size(), 64u + 36 + 35 + 88);
    EXPECT_EQ(U32At(out, 16), 64u); // OffsetToFileTable
    EXPECT_EQ(U32At(out, 20), 135u); // OffsetToKeyTable
    EXPECT_EQ(U32At(out, 64 + 4), 100u);
    EXPECT_EQ(U32At(out, 76 + 4), 113u);
    EXPECT_EQ(U32At(out, 88 + 4), 124u);
    // FilenameSize and Drives as read; names each followed by one zero byte.
    EXPECT_EQ(out[64 + 8], 13);
    EXPECT_EQ(out[76 + 8], 15);
    EXPECT_EQ(out[88 + 8], 10);
    EXPECT_EQ(out[76 + 10], 3);
    EXPECT_EQ(std::string(out.begin() + 100, out.begin() + 135),
              std::string("data\\2da.bif\0data\\x.bif\0data\\y.bif\0", 35));
    // The resref bytes after the zero are written back as held.
    const long fourth = 135 + 3 * 22; // BIF 1's second entry
    EXPECT_EQ(std::string(out.begin() + fourth, out.begin() + fourth + 8), std::string("ab\0trail", 8));

    TNWNKeyFile again;
    again.LoadFromFile(dir / "out.key");
    EXPECT_EQ(again.Reserved, key.Reserved);
    EXPECT_EQ(again.BuildDay, 200u);
    ASSERT_EQ(again.Filenames.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(again.Filenames[i].Filename, key.Filenames[i].Filename);
        EXPECT_EQ(again.FileTable[i].FilenameSize, key.FileTable[i].FilenameSize);
        EXPECT_EQ(again.FileTable[i].Drives, key.FileTable[i].Drives);
        ASSERT_EQ(again.Filenames[i].Resources.size(), key.Filenames[i].Resources.size());
        for (std::size_t k = 0; k < key.Filenames[i].Resources.size(); ++k) {
            EXPECT_EQ(again.Filenames[i].Resources[k].ResRef, key.Filenames[i].Resources[k].ResRef);
            EXPECT_EQ(again.Filenames[i].Resources[k].ResId, key.Filenames[i].Resources[k].ResId);
        }
    }
}

TEST(KeyFileSave, LayoutOfEmptyAndTwoNameKeys) {
    test::TempDir dir;
    TNWNKeyFile empty = Model({});
    empty.SaveToFile(dir / "empty.key");
    const auto bytes = test::ReadFile(dir / "empty.key");
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(U32At(bytes, 12), 0u);
    EXPECT_EQ(U32At(bytes, 16), 64u);
    EXPECT_EQ(U32At(bytes, 20), 64u);
    TNWNKeyFile loaded;
    loaded.LoadFromFile(dir / "empty.key");
    EXPECT_TRUE(loaded.Filenames.empty());
    EXPECT_TRUE(loaded.FileTable.empty());

    TNWNKeyFile two = Model({{"data\\abc.bif", {Entry("x", 10, test::ResId(0, 0))}},
                             {"data\\abcd.bif", {Entry("y", 10, test::ResId(1, 0))}}});
    two.SaveToFile(dir / "two.key"); // lays the model out as it writes it
    EXPECT_EQ(two.FileTable[0].FilenameOffset, 88u);
    EXPECT_EQ(two.FileTable[1].FilenameOffset, 101u);
    EXPECT_EQ(two.OffsetToKeyTable, 115u);
    EXPECT_EQ(two.KeyCount, 2u);
}

TEST(KeyFileSave, AGenerousLastNameSizeSurvivesASaveAndReload) {
    // The name claims 40 bytes but its zero byte comes first; saved again, fewer bytes follow
    // it than FilenameSize says, and the KEY must still load.
    test::TempDir dir;
    Bytes b = Header(1, 0, 64, 64);
    b.U32(0).U32(76).U16(40).U16(0).Text("data\\a.bif", 30);
    test::WriteFile(dir / "in.key", b);
    TNWNKeyFile key;
    key.LoadFromFile(dir / "in.key");
    key.SaveToFile(dir / "out.key");
    EXPECT_EQ(test::ReadFile(dir / "out.key").size(), 64u + 12 + 11);
    TNWNKeyFile again;
    again.LoadFromFile(dir / "out.key");
    EXPECT_EQ(again.Filenames[0].Filename, "data\\a.bif");
    EXPECT_EQ(again.FileTable[0].FilenameSize, 40);
}

TEST(KeyFileSave, RefusesAModelWhoseCountsDisagree) {
    test::TempDir dir;
    TNWNKeyFile key = Model({{"data\\a.bif", {}}});
    key.BifCount = 2;
    EXPECT_THROW(key.SaveToFile(dir / "bad.key"), EFormatError);
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.key"));
}

#ifndef _WIN32
TEST(KeyFileSave, AFailedWriteRaisesAndLeavesNoFile) {
    test::TempDir dir;
    TNWNKeyFile key = Model({{"data\\a.bif", {Entry("x", 10, test::ResId(0, 0))}}});
    {
        test::FileSizeLimit limit(40); // less than the 64-byte header
        EXPECT_THROW(key.SaveToFile(dir / "full.key"), EWriteError);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "full.key"));
}
#endif

// ------------------------------------------------------------------- refused files

class KeyFileCorrupt : public testing::Test {
protected:
    // Loads bytes into a model that already holds something, expects EFormatError naming the
    // file, and checks the model is as it was.
    std::string Refusal(const std::vector<unsigned char>& bytes) {
        const std::string path = dir_ / "bad.key";
        test::WriteFile(path, bytes);
        TNWNKeyFile key = Model({{"data\\keep.bif", {}}});
        key.BuildDay = 77;
        try {
            key.LoadFromFile(path);
        } catch (const EFormatError& e) {
            EXPECT_EQ(key.BuildDay, 77u);
            EXPECT_EQ(key.Filenames.size(), 1u);
            const std::string message = e.what();
            EXPECT_TRUE(Contains(message, "Cannot open KEY \"" + path + "\": "));
            return message;
        }
        ADD_FAILURE() << "the KEY was accepted";
        return {};
    }
    test::TempDir dir_;
};

TEST_F(KeyFileCorrupt, FileTooShortForTheHeader) {
    Bytes b = Header(0, 0, 64, 64);
    b.resize(63);
    EXPECT_TRUE(Contains(Refusal(b), "too short for a KEY header (file 63 bytes"));
}

TEST_F(KeyFileCorrupt, FileTablePastTheEnd) {
    // One file-table row announced at 64, but the file ends with the header.
    EXPECT_TRUE(Contains(Refusal(Header(1, 0, 64, 64)),
                         "file table runs past the end of the file (offset 64, 1 x 12 bytes, file 64 bytes)"));
    // A file table starting beyond the end.
    EXPECT_TRUE(Contains(Refusal(Header(0, 0, 1000, 64)), "file table runs past the end"));
}

TEST_F(KeyFileCorrupt, KeyTablePastTheEnd) {
    Bytes b = Header(0, 2, 64, 64);
    b.Text("one", 16).U16(10).U32(0); // one entry of the two announced
    EXPECT_TRUE(
        Contains(Refusal(b), "key table runs past the end of the file (offset 64, 2 x 22 bytes, file 86 bytes)"));
}

TEST_F(KeyFileCorrupt, CountsTooLargeForAnyFile) {
    // Counts that would ask for gigabytes are refused before anything is allocated.
    EXPECT_TRUE(Contains(Refusal(Header(0xFFFFFFFF, 0, 64, 64)), "4294967295 x 12 bytes"));
    EXPECT_TRUE(Contains(Refusal(Header(0, 0xFFFFFFFF, 64, 0xFFFFFFF0)), "key table runs past the end"));
}

TEST_F(KeyFileCorrupt, NamePastTheEnd) {
    Bytes b = Header(1, 0, 64, 64);
    b.U32(0).U32(76).U16(20).U16(0); // a 20-byte name at 76 ...
    b.Text("data\\a.bif"); // ... of which only 10 bytes exist
    EXPECT_TRUE(
        Contains(Refusal(b), "name of BIF 0 runs past the end of the file (offset 76, 20 bytes, file 86 bytes)"));

    Bytes far = Header(1, 0, 64, 64);
    far.U32(0).U32(0xFFFFFFFF).U16(0xFFFF).U16(0); // offset + size beyond 32 bits
    EXPECT_TRUE(Contains(Refusal(far), "name of BIF 0 runs past the end"));
}

TEST_F(KeyFileCorrupt, NamesSharedBeyondTheFileSize) {
    // 40,000 rows sharing one 65,535-byte name: 545 KB on disk, 2.6 GB as separate copies.
    // Refused once the copies would pass the file's size, before any is made.
    EXPECT_TRUE(Contains(Refusal(test::SharedNameKey(40000, 0xFFFF)),
                         "the BIF names add up to more bytes than the file holds (589815 bytes by BIF 8, "
                         "file 545599 bytes)"));

    // Rows may share a name while the copies stay within the file's size.
    const std::string path = dir_ / "shared.key";
    test::WriteFile(path, test::SharedNameKey(3, 10));
    TNWNKeyFile key;
    key.LoadFromFile(path);
    ASSERT_EQ(key.Filenames.size(), 3u);
    EXPECT_EQ(key.Filenames[2].Filename, "nnnnnnnnnn");
}

TEST_F(KeyFileCorrupt, VersionsItDoesNotReadAreNamed) {
    // Other versions lay their tables out otherwise: named, never misread.
    for (const std::string& version : {std::string("V1.1"), std::string("E2  "), std::string(4, '\0')}) {
        Bytes b = Header(0, 0, 64, 64);
        std::copy(version.begin(), version.end(), b.begin() + 4);
        EXPECT_TRUE(Contains(Refusal(b),
                             "it is of version \"" + (version[0] ? version : "\\x00\\x00\\x00\\x00") +
                                 "\", which Vellocar does not read"));
    }
}

TEST_F(KeyFileCorrupt, BifIndexOutOfRange) {
    Bytes b = Header(1, 2, 64, 86);
    b.U32(0).U32(76).U16(10).U16(0).Text("data\\a.bif"); // one BIF, index 0
    b.Text("fine", 16).U16(10).U32(0); // BIF 0: fine
    b.Text("stray", 16).U16(10).U32((1u << 20) + 4); // BIF 1: not in the table
    EXPECT_TRUE(Contains(Refusal(b), "key entry 1 (\"stray\") names BIF 1, but the file table has 1 entries"));
}

TEST_F(KeyFileCorrupt, ACheckListsEveryFaultAndReadsTheRest) {
    Bytes b = Header(3, 4, 64, 112);
    b.U32(9).U32(5000).U16(10).U16(0); // BIF 0's name past the end
    b.U32(9).U32(0).U16(0).U16(0); // BIF 1: no name
    b.U32(9).U32(100).U16(10).U16(0).Text("data\\a.bif", 12); // BIF 2: fine
    b.Text("fine", 16).U16(10).U32(2u << 20);
    b.Text("seven", 16).U16(10).U32(7u << 20); // and the key table's last two rows are missing
    test::WriteFile(dir_ / "bad.key", b);
    std::vector<std::string> faults;
    const auto key = LoadKeyForCheck(dir_ / "bad.key", [&](const std::string& f) { faults.push_back(f); });
    ASSERT_EQ(faults.size(), 3u);
    EXPECT_TRUE(Contains(faults[0], "the key table runs past the end of the file (offset 112, 4 x 22 bytes"));
    EXPECT_TRUE(Contains(faults[1], "the name of BIF 0 runs past the end"));
    EXPECT_TRUE(Contains(faults[2], "key entry 1 (\"seven\") names BIF 7, but the file table has 3 entries"));
    ASSERT_TRUE(key && key->Filenames.size() == 3);
    EXPECT_EQ(key->Filenames[2].Resources.size(), 1u) << "BIF 2 and its entry are read all the same";
}

TEST(FileKinds, EachReaderNamesWhatAFileIsInstead) {
    // Leading bytes (then zeros) x what the KEY and the BIF reader say after "Cannot open KEY "x": ".
    const std::string v11 = "it is of version \"V1.1\", which Vellocar does not read (it reads KEY version \"V1  \")";
    const std::vector<std::array<std::string, 3>> cases = {
        {"BIFFV1  ", "it is a BIF, not a KEY", ""},
        {"KEY V1  ", "", "it is a KEY, not a BIF"},
        {"HAK V1.0", "it is a HAK, not a KEY", "it is a HAK, not a BIF"},
        {"UTI V3.2", "it is a GFF file of type UTI, not a KEY", "it is a GFF file of type UTI, not a BIF"},
        {"2DA\tV2.0", "it is a 2DA, not a KEY", "it is a 2DA, not a BIF"},
        {"KEY V1.1", v11, "it is a KEY, not a BIF"},
        {"XYZ V3.3", "it is no KEY: its signature is \"XYZ V3.3\", not \"KEY V1  \"",
         "it is no BIF: its signature is \"XYZ V3.3\", not \"BIFFV1  \""},
    };
    test::TempDir dir;
    const std::string path = dir / "x";
    for (const auto& [head, asKey, asBif] : cases) {
        test::WriteFile(path, Bytes().Text(head).Zeros(56));
        for (const auto& [kind, expected] : {std::pair{"KEY", asKey}, std::pair{"BIF", asBif}}) try {
                kind == std::string("KEY") ? TNWNKeyFile().LoadFromFile(path) : void(ReadBifTables(path));
                EXPECT_EQ(expected, "") << head << " read as a " << kind;
            } catch (const EFormatError& e) {
                EXPECT_EQ(e.what(), "Cannot open " + std::string(kind) + " \"" + path + "\": " + expected);
            }
    }
}

TEST(KeyFileLoadErrors, MissingFileNamesThePath) {
    test::TempDir dir;
    TNWNKeyFile key;
    try {
        key.LoadFromFile(dir / "none.key");
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_TRUE(Contains(e.what(), "Cannot open file \"" + (dir / "none.key") + "\". "));
    }
}

TEST(KeyFileLoad, ReadingPartOfAKeyStillChecksTheTablesItSkips) {
    const Bytes two =
        test::KeyBytes({{"data\\a.bif", {{"x", test::kTypeTxt, ""}}}, {"data\\b.bif", {{"y", test::kTypeTxt, ""}}}});
    const auto parse = [](const Bytes& b, const TKeyParts& parts) { return keycodec::Parse(b, b.size(), "k", parts); };
    const TNWNKeyFile names = parse(two, {.Entries = false, .OnlyBif = std::nullopt});
    EXPECT_EQ(names.Filenames[1].Filename, "data\\b.bif");
    EXPECT_TRUE(names.Filenames[0].Resources.empty() && names.Filenames[1].Resources.empty());
    const TNWNKeyFile one = parse(two, {.Entries = true, .OnlyBif = 1});
    EXPECT_TRUE(one.Filenames[0].Resources.empty());
    ASSERT_EQ(one.Filenames[1].Resources.size(), 1u);
    EXPECT_EQ(ResRefToString(one.Filenames[1].Resources[0].ResRef), "y");

    Bytes shortTable = two;
    shortTable.resize(shortTable.size() - 1); // the key table's last byte is gone
    EXPECT_THROW(parse(shortTable, {.Entries = false, .OnlyBif = std::nullopt}), EFormatError);
    Bytes stray = two;
    stray[stray.size() - 1] = 0x10; // the last entry's ResId names BIF 256
    EXPECT_NO_THROW(parse(stray, {.Entries = false, .OnlyBif = std::nullopt}));
    EXPECT_THROW(parse(stray, {.Entries = true, .OnlyBif = 0}), EFormatError);
}

} // namespace
} // namespace vellocar
