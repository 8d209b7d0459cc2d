// Talk tables and soundsets as JSON: see TalkJson.h.

#include "formats/TalkJson.h"

#include "base/Text.h"
#include "formats/Tlk.h"

#include <utility>

namespace vellocar {

namespace {

void WriteTalkTable(const tlk::TTalkTable& table, TJsonWriter& json) {
    json.BeginObject();
    json.Key("language").Number(table.Language());
    json.Key("code_page").Number(table.CodePage());
    json.Key("entries").BeginArray();
    for (std::uint32_t strref = 0; strref < table.Count(); ++strref) {
        const tlk::TTlkEntry entry = *table.Entry(strref);
        json.BeginObject();
        json.Key("strref").Number(strref);
        json.Key("flags").Number(entry.Flags);
        json.Key("text").String(entry.Text);
        json.Key("sound").String(Windows1252ToUtf8(entry.SoundResRef, TUndefinedBytes::Escaped));
        json.Key("sound_length").Real(static_cast<double>(entry.SoundLength));
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

void WriteSoundset(const std::vector<tlk::TSsfEntry>& sounds, TJsonWriter& json) {
    json.BeginObject();
    json.Key("sounds").BeginArray();
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        json.BeginObject();
        json.Key("index").Number(i);
        json.Key("name").String(tlk::SsfSoundName(i));
        json.Key("resref").String(Windows1252ToUtf8(sounds[i].ResRef, TUndefinedBytes::Escaped));
        json.Key("strref").Number(sounds[i].StrRef);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

} // namespace

void WriteTalkJson(TResType type, std::span<const std::uint8_t> bytes, std::optional<std::uint32_t> codePage,
                   TJsonWriter& json) {
    if (type == restype::kSsf) {
        WriteSoundset(tlk::ReadSsf(bytes), json);
        return;
    }
    tlk::TTalkTable table = tlk::TTalkTable::Read(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if (codePage) table.UseCodePage(*codePage);
    WriteTalkTable(table, json);
}

} // namespace vellocar
