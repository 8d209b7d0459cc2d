// Talk tables, soundsets and music: tables laid out here by the format rule read back with their
// texts decoded by hand, and each kind of damage refused with its own words.

#include "ArchiveBytes.h"
#include "base/Errors.h"
#include "formats/Tlk.h"

#include <gtest/gtest.h>

#include <bit>

namespace vellocar::test {
namespace {

struct TlkRow {
    std::uint32_t Flags;
    std::string Sound, Bytes; // Bytes: the text as the file holds it
    float Length;
};

// Header (20 bytes: "TLK V3.0", language, count, texts' offset), 40-byte entries, the texts.
Bytes TlkBytes(std::uint32_t language, const std::vector<TlkRow>& rows) {
    Bytes b;
    b.Text("TLK V3.0").U32(language).U32(static_cast<std::uint32_t>(rows.size()));
    b.U32(static_cast<std::uint32_t>(20 + 40 * rows.size()));
    std::uint32_t at = 0;
    std::string texts;
    for (const TlkRow& r : rows) {
        b.U32(r.Flags).Text(r.Sound, 16).U32(0).U32(0).U32(at).U32(static_cast<std::uint32_t>(r.Bytes.size()));
        b.U32(std::bit_cast<std::uint32_t>(r.Length));
        at += static_cast<std::uint32_t>(r.Bytes.size());
        texts += r.Bytes;
    }
    return b.Text(texts);
}

struct GoodTable {
    const char* Name;
    std::uint32_t Language, CodePageUsed; // 0: the language's
    TlkRow Row;
    std::uint32_t CodePage;
    std::string Utf8;
};

TEST(TalkTable, ReadsEntriesInTheirLanguagesCodePage) {
    const std::vector<GoodTable> cases = {
        {"western", 0, 0, {7, "vs_hello", "Caf\xe9 \x80 \xbd", 1.5f}, 1252, "Café € ½"},
        {"polish 1250", 5, 0, {1, "", "\xa3\xf3\x64\x9f \x9c\xb9 \x8a\xbe", 0}, 1250, "Łódź śą Šľ"},
        {"russian 1251", 0, 1251, {1, "", "\xcf\xf0\xe8\xe2\xe5\xf2 \xa8\xb8 \x80\xb9", 0}, 1251, "Привет Ёё Ђ№"},
        {"undefined byte", 2, 0, {1, "", "a\x81z", 0}, 1252, "a\\x81z"},
        {"korean, not decoded", 128, 0, {1, "", "A\xb0\x41!", 0}, 949, "A\\xb0\\x41!"},
        {"no text flag", 3, 0, {0, "snd", "kept", 0}, 1252, "kept"},
    };
    for (const GoodTable& c : cases) {
        SCOPED_TRACE(c.Name);
        const Bytes b = TlkBytes(c.Language, {{0, "", "", 0}, c.Row});
        tlk::TTalkTable table = tlk::TTalkTable::Read(b);
        if (c.CodePageUsed != 0) table.UseCodePage(c.CodePageUsed);
        EXPECT_EQ(table.Language(), c.Language);
        EXPECT_EQ(table.CodePage(), c.CodePage);
        ASSERT_EQ(table.Count(), 2u);
        const auto entry = table.Entry(1);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->Flags, c.Row.Flags);
        EXPECT_EQ(entry->SoundResRef, c.Row.Sound);
        EXPECT_EQ(entry->SoundLength, c.Row.Length);
        EXPECT_EQ(entry->Text, c.Utf8);
        EXPECT_EQ(table.Text(1), (c.Row.Flags & 1) ? std::optional(c.Utf8) : std::nullopt);
        EXPECT_FALSE(table.Text(0)); // no text flag
        EXPECT_FALSE(table.Entry(2));
    }
}

struct BadFile {
    const char* Name;
    Bytes File;
    std::string Says;
};

TEST(TalkTable, RefusesEachKindOfDamage) {
    const Bytes one = TlkBytes(0, {{1, "", "text", 0}});
    Bytes stringPast = one, countHuge = one, textsPast = one, shortTable = one;
    stringPast[20 + 32] = 5; // the text's size: one byte past the end
    countHuge[12] = countHuge[13] = countHuge[14] = countHuge[15] = 0xFF;
    textsPast[16] = 0xFF;
    shortTable.resize(59); // one byte short of the entry
    const std::vector<BadFile> cases = {
        {"truncated header", Bytes("TLK V3.0").U32(0), "too short for a talk table's header"},
        {"wrong version", Bytes("TLK V4.0").Zeros(12), "not \"TLK V3.0\""},
        {"no talk table", Bytes("GFF V3.2").Zeros(12), "this is no talk table"},
        {"entry table past end", shortTable, "the entry table runs past the end"},
        {"count overflow", countHuge, "the entry table runs past the end"},
        {"texts past end", textsPast, "the texts start past the end"},
        {"string past end", stringPast, "the text of strref 0 runs past the end"},
    };
    for (const BadFile& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            tlk::TTalkTable::Read(c.File);
            ADD_FAILURE() << "read";
        } catch (const EFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
        }
    }
}

// Header (40 bytes: "SSF V1.0", count, table offset, padding), offsets, 20-byte entries.
Bytes SsfBytes(const std::vector<std::pair<std::string, std::uint32_t>>& sounds) {
    const auto n = static_cast<std::uint32_t>(sounds.size());
    Bytes b;
    b.Text("SSF V1.0").U32(n).U32(40).Zeros(24);
    for (std::uint32_t i = 0; i < n; ++i) b.U32(40 + 4 * n + 20 * i);
    for (const auto& [resRef, strRef] : sounds) b.Text(resRef, 16).U32(strRef);
    return b;
}

TEST(Soundset, ReadsSoundsByTheirOffsetsAndRefusesDamage) {
    const auto sounds = tlk::ReadSsf(SsfBytes({{"vs_attack", 1234}, {"sixteen_chars_ab", 0xFFFFFFFF}}));
    ASSERT_EQ(sounds.size(), 2u);
    EXPECT_EQ(sounds[0].ResRef, "vs_attack");
    EXPECT_EQ(sounds[0].StrRef, 1234u);
    EXPECT_EQ(sounds[1].ResRef, "sixteen_chars_ab");
    EXPECT_EQ(sounds[1].StrRef, 0xFFFFFFFFu);
    EXPECT_EQ(tlk::SsfSoundName(0), "Attack");
    EXPECT_EQ(tlk::SsfSoundName(11), "Attack Grunt 1");
    EXPECT_EQ(tlk::SsfSoundName(48), "Threaten");
    EXPECT_EQ(tlk::SsfSoundName(49), "Sound 49");

    Bytes tableHuge = SsfBytes({{"a", 1}}), entryPast = tableHuge;
    tableHuge[8] = tableHuge[9] = tableHuge[10] = tableHuge[11] = 0xFF;
    entryPast[40] = 0xF0; // the entry's offset: past the end
    for (const auto& [file, says] :
         std::vector<std::pair<Bytes, std::string>>{{Bytes("SSF V1.1").Zeros(32), "not \"SSF V1.0\""},
                                                    {Bytes("SSF V1.0").Zeros(8), "too short"},
                                                    {tableHuge, "the entry table runs past the end"},
                                                    {entryPast, "sound 0 runs past the end"}}) {
        try {
            tlk::ReadSsf(file);
            ADD_FAILURE() << says;
        } catch (const EFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
        }
    }
}

TEST(Music, Mp3OfBmuCutsTheHeaderOnly) {
    for (const auto& [file, mp3] : std::vector<std::pair<std::string, std::string>>{
             {"BMU V1.0ID3\x04", "ID3\x04"}, {"ID3\x04", "ID3\x04"}, {"BMU V1.", "BMU V1."}, {"BMU V1.0", ""}}) {
        const Bytes b(file);
        const auto out = tlk::Mp3OfBmu(b);
        EXPECT_EQ(std::string(out.begin(), out.end()), mp3);
    }
}

} // namespace
} // namespace vellocar::test
