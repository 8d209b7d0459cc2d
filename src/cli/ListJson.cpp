#include "ListJson.h"

#include "BifFiles.h"
#include "Errors.h"
#include "Names.h"
#include "Platform.h"
#include "Progress.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vellocar::cli {

namespace {

using json = nlohmann::ordered_json;

// The code points of 0x80 .. 0x9f in Windows-1252; the five it leaves undefined keep their
// own value, as Windows itself maps them.
constexpr std::array<std::uint32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Whether text is well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = 1;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            ++at;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (text.size() - at < length) return false;
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return false;
        }
        at += length;
    }
    return true;
}

json KeyHeader(const TNWNKeyFile& key, const std::string& keyPath) {
    std::size_t resources = 0;
    for (const TNWNFilenameEntry& bif : key.Filenames) resources += bif.Resources.size();
    return {{"path", PathText(keyPath)},
            {"build_year", key.BuildYear},
            {"build_day", key.BuildDay},
            {"bif_count", key.Filenames.size()},
            {"resource_count", resources}};
}

json BifEntry(const TNWNKeyFile& key, std::size_t index, const std::string& path) {
    const TNWNFilenameEntry& bif = key.Filenames[index];
    return {{"index", index},
            {"name", Windows1252ToUtf8(bif.Filename)},
            {"name_hex", HexBytes(bif.Filename)},
            {"file_size", index < key.FileTable.size() ? json(key.FileTable[index].FileSize) : json(nullptr)},
            {"resource_count", bif.Resources.size()},
            {"path", PathText(path)},
            {"exists", platform::PathExists(path)}};
}

} // namespace

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : std::uint32_t{byte});
    }
    return out;
}

std::string HexBytes(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
    return out;
}

std::string PathText(std::string_view path) { return IsValidUtf8(path) ? std::string(path) : Windows1252ToUtf8(path); }

json KeyListing(const TNWNKeyFile& key, const std::string& keyPath, const std::string& keyFolder) {
    json bifs = json::array();
    for (std::size_t i = 0; i < key.Filenames.size(); ++i) {
        bifs.push_back(BifEntry(key, i, LocateBif(keyFolder, key.Filenames[i].Filename).Path));
    }
    return {{"key", KeyHeader(key, keyPath)}, {"bifs", std::move(bifs)}};
}

json BifListing(const std::shared_ptr<const TNWNKeyFile>& key, const std::string& keyPath, const std::string& keyFolder,
                std::size_t bif) {
    const std::string path = LocateBif(keyFolder, key->Filenames[bif].Filename).Path;
    json described = BifEntry(*key, bif, path);

    // The BIF's table, when its file is there and opens: read once for all entries.
    std::optional<std::vector<TNWNVarResEntry>> table;
    json fault = nullptr;
    if (described["exists"].get<bool>()) {
        try {
            TStringResourceList noList;
            TNullGauge noGauge;
            TNWNBifFile opened(noList, noGauge);
            opened.Open(path, key, static_cast<std::int32_t>(bif));
            table = std::move(opened.VarResources);
        } catch (const EVellocarError& error) {
            fault = PathText(error.what());
        }
    }
    described["opened"] = table.has_value();
    described["error"] = std::move(fault); // why it did not open; null when it did or is not there

    json resources = json::array();
    for (const TNWNKeyEntry& entry : key->Filenames[bif].Resources) {
        const std::string name = ResRefToString(entry.ResRef);
        const std::uint32_t index = entry.ResId & kResIdIndexMask;
        const bool inTable = table && index < table->size();
        resources.push_back({{"line", Windows1252ToUtf8(ResourceLine(entry))},
                             {"name", Windows1252ToUtf8(name)},
                             {"name_hex", HexBytes(name)},
                             {"type", entry.ResType},
                             {"extension", ResTypeToExt(entry.ResType)},
                             {"res_id", entry.ResId},
                             {"index", index},
                             {"offset", inTable ? json((*table)[index].Offset) : json(nullptr)},
                             {"size", inTable ? json((*table)[index].FileSize) : json(nullptr)}});
    }
    return {{"key", KeyHeader(*key, keyPath)}, {"bif", std::move(described)}, {"resources", std::move(resources)}};
}

} // namespace vellocar::cli
