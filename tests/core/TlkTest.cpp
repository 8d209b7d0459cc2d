// Talk tables, soundsets and music: tables laid out here by the format rule read back with their
// texts decoded by hand, and each kind of damage refused with its own words.

#include "ArchiveBytes.h"
#include "base/Errors.h"
#include "formats/Tlk.h"

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <tuple>

namespace vellocar::test {
namespace {

// Header ("TLK V3.0", language, count 2, texts at 100), an empty entry, one entry with the text.
Bytes TlkBytes(std::uint32_t language, std::uint32_t flags, const std::string& sound, const std::string& text) {
    Bytes b = Bytes("TLK V3.0").U32(language).U32(2).U32(100).Zeros(40).U32(flags).Text(sound, 16).Zeros(8);
    return b.U32(0).U32(static_cast<std::uint32_t>(text.size())).U32(std::bit_cast<std::uint32_t>(1.5f)).Text(text);
}

TEST(TalkTable, ReadsEntriesInTheirLanguagesCodePage) {
    struct Case {
        std::uint32_t Language, Flags, UseCodePage, CodePage; // UseCodePage 0: the language's
        std::string Bytes, Utf8;
    };
    const std::vector<Case> cases = {
        {0, 7, 0, 1252, "Caf\xe9 \x80 \xbd", "Café € ½"},
        {5, 1, 0, 1250, "\xa3\xf3\x64\x9f \x9c\xb9 \x8a\xbe", "Łódź śą Šľ"},
        {0, 1, 1251, 1251, "\xcf\xf0\xe8\xe2\xe5\xf2 \xa8\xb8 \x80\xb9", "Привет Ёё Ђ№"},
        {2, 1, 0, 1252, "a\x81z", "a\\x81z"}, // undefined in the page: shown, never a C1 control
        {128, 1, 0, 949, "A\xb0\x41!", "A\\xb0\\x41!"}, // Korean: lead and trail byte shown
        {3, 0, 0, 1252, "kept", "kept"}, // no text flag: no Text(), but Entry() shows the bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Utf8);
        tlk::TTalkTable table = tlk::TTalkTable::Read(TlkBytes(c.Language, c.Flags, "vs_hello", c.Bytes));
        if (c.UseCodePage != 0) table.UseCodePage(c.UseCodePage);
        EXPECT_EQ(table.Language(), c.Language);
        EXPECT_EQ(table.CodePage(), c.CodePage);
        ASSERT_EQ(table.Count(), 2u);
        const auto entry = table.Entry(1);
        ASSERT_TRUE(entry);
        EXPECT_EQ(std::tie(entry->Flags, entry->SoundResRef, entry->SoundLength, entry->Text),
                  std::make_tuple(c.Flags, std::string("vs_hello"), 1.5f, c.Utf8));
        EXPECT_EQ(table.Text(1), (c.Flags & 1) ? std::optional(c.Utf8) : std::nullopt);
        EXPECT_FALSE(table.Text(0) || table.Entry(2));
    }
}

void ExpectRefused(const std::function<void()>& read, const std::string& says) {
    try {
        read();
        ADD_FAILURE() << "read: " << says;
    } catch (const EFormatError& e) {
        EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
    }
}

TEST(TalkTable, RefusesEachKindOfDamage) {
    const Bytes good = TlkBytes(0, 1, "", "text");
    Bytes stringPast = good, countHuge = good, textsPast = good, shortTable = good;
    stringPast[20 + 40 + 32] = 5; // the text's size: one byte past the end
    std::fill_n(countHuge.begin() + 12, 4, 0xFF);
    textsPast[16] = 0xFF;
    shortTable.resize(99); // one byte short of the second entry
    for (const auto& [file, says] :
         std::vector<std::pair<Bytes, std::string>>{{Bytes("TLK V3.0").U32(0), "too short for a talk table's header"},
                                                    {Bytes("TLK V4.0").Zeros(12), "not \"TLK V3.0\""},
                                                    {Bytes("GFF V3.2").Zeros(12), "this is no talk table"},
                                                    {shortTable, "the entry table runs past the end"},
                                                    {countHuge, "the entry table runs past the end"},
                                                    {textsPast, "the texts start past the end"},
                                                    {stringPast, "the text of strref 1 runs past the end"}})
        ExpectRefused([&file = file] { tlk::TTalkTable::Read(file); }, says);
}

// Header ("SSF V1.0", count, table at 40, padding), the entries' offsets, 20-byte entries.
Bytes SsfBytes(const std::vector<std::pair<std::string, std::uint32_t>>& sounds) {
    const auto n = static_cast<std::uint32_t>(sounds.size());
    Bytes b = Bytes("SSF V1.0").U32(n).U32(40).Zeros(24);
    for (std::uint32_t i = 0; i < n; ++i) b.U32(40 + 4 * n + 20 * i);
    for (const auto& [resRef, strRef] : sounds) b.Text(resRef, 16).U32(strRef);
    return b;
}

TEST(Soundset, ReadsSoundsByTheirOffsetsAndRefusesDamage) {
    const auto sounds = tlk::ReadSsf(SsfBytes({{"vs_attack", 1234}, {"sixteen_chars_ab", 0xFFFFFFFF}}));
    ASSERT_EQ(sounds.size(), 2u);
    EXPECT_EQ(std::tie(sounds[0].ResRef, sounds[0].StrRef), std::make_tuple(std::string("vs_attack"), 1234u));
    EXPECT_EQ(std::tie(sounds[1].ResRef, sounds[1].StrRef),
              std::make_tuple(std::string("sixteen_chars_ab"), 0xFFFFFFFFu));
    EXPECT_EQ(tlk::SsfSoundName(0) + tlk::SsfSoundName(11) + tlk::SsfSoundName(48) + tlk::SsfSoundName(49),
              "AttackAttack Grunt 1ThreatenSound 49");

    Bytes tableHuge = SsfBytes({{"a", 1}}), entryPast = tableHuge;
    std::fill_n(tableHuge.begin() + 8, 4, 0xFF);
    entryPast[40] = 0xF0; // the entry's offset: past the end
    for (const auto& [file, says] :
         std::vector<std::pair<Bytes, std::string>>{{Bytes("SSF V1.1").Zeros(32), "not \"SSF V1.0\""},
                                                    {Bytes("SSF V1.0").Zeros(8), "too short"},
                                                    {tableHuge, "the entry table runs past the end"},
                                                    {entryPast, "sound 0 runs past the end"}})
        ExpectRefused([&file = file] { tlk::ReadSsf(file); }, says);
}

TEST(Music, Mp3OfBmuCutsTheHeaderOnly) {
    for (const auto& [file, mp3] : std::vector<std::pair<std::string, std::string>>{
             {"BMU V1.0ID3\x04", "ID3\x04"}, {"ID3\x04", "ID3\x04"}, {"BMU V1.", "BMU V1."}, {"BMU V1.0", ""}}) {
        const Bytes bmu(file);
        const auto out = tlk::Mp3OfBmu(bmu);
        EXPECT_EQ(std::string(out.begin(), out.end()), mp3);
    }
}

} // namespace
} // namespace vellocar::test
