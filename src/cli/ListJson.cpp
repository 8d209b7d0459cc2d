// The documents of list --json: the KEY with its BIFs, or one BIF with its KEY entries.

#include "ListJson.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "formats/BifFiles.h"
#include "names/ArchiveNames.h"
#include "platform/Platform.h"

#include <optional>
#include <string_view>
#include <vector>

namespace vellocar::cli {

namespace {

void KeyHeader(TJsonWriter& out, const TNWNKeyFile& key, const std::string& keyPath) {
    std::size_t resources = 0;
    for (const TNWNFilenameEntry& bif : key.Filenames) resources += bif.Resources.size();
    out.Key("key").BeginObject();
    out.Key("path").String(PathText(keyPath));
    out.Key("build_year").Number(key.BuildYear);
    out.Key("build_day").Number(key.BuildDay);
    out.Key("bif_count").Number(key.Filenames.size());
    out.Key("resource_count").Number(resources);
    out.EndObject();
}

// The members of a BIF's object, which the BIF listing continues.
void BifMembers(TJsonWriter& out, const TNWNKeyFile& key, std::size_t index, const std::string& path, bool exists) {
    const TNWNFilenameEntry& bif = key.Filenames[index];
    out.Key("index").Number(index);
    out.Key("name").String(Windows1252ToUtf8(bif.Filename));
    out.Key("name_hex").String(HexBytes(bif.Filename));
    if (index < key.FileTable.size()) {
        out.Key("file_size").Number(key.FileTable[index].FileSize);
    } else {
        out.Key("file_size").Null();
    }
    out.Key("resource_count").Number(bif.Resources.size());
    out.Key("path").String(PathText(path));
    out.Key("exists").Bool(exists);
}

// A ResRef's bytes less the zero bytes that pad it out at the end.
std::string_view UnpaddedBytes(const TResRef& resRef) {
    std::size_t size = resRef.size();
    while (size > 0 && resRef[size - 1] == '\0') --size;
    return {resRef.data(), size};
}

// One resource's object: its entry, and where its bytes lie when table has its index.
void ResourceObject(TJsonWriter& out, const TNWNKeyEntry& entry, const std::vector<TNWNVarResEntry>* table) {
    const std::string name = ResRefToString(entry.ResRef);
    const std::uint32_t index = entry.ResId & kResIdIndexMask;
    const bool inTable = table && index < table->size();
    out.BeginObject();
    out.Key("line").String(Windows1252ToUtf8(ResourceLine(entry).Bytes));
    out.Key("name").String(Windows1252ToUtf8(name));
    out.Key("name_hex").String(HexBytes(UnpaddedBytes(entry.ResRef)));
    out.Key("type").Number(entry.ResType);
    out.Key("extension").String(ResTypeToExt(entry.ResType));
    out.Key("res_id").Number(entry.ResId);
    out.Key("index").Number(index);
    if (inTable) {
        out.Key("offset").Number((*table)[index].Offset);
        out.Key("size").Number(ResourceSize((*table)[index]));
    } else {
        out.Key("offset").Null();
        out.Key("size").Null();
    }
    out.EndObject();
}

} // namespace

// ---- the listings -----------------------------------------------------------------------------

void WriteKeyListing(TJsonWriter& out, const TNWNKeyFile& key, const std::string& keyPath,
                     const std::string& keyFolder) {
    out.BeginObject();
    KeyHeader(out, key, keyPath);
    out.Key("bifs").BeginArray();
    for (std::size_t i = 0; i < key.Filenames.size(); ++i) {
        const std::string path = LocateBif(keyFolder, key.Filenames[i].Filename).Path;
        out.BeginObject();
        BifMembers(out, key, i, path, platform::PathExists(path));
        out.EndObject();
    }
    out.EndArray();
    out.EndObject();
}

void WriteBifListing(TJsonWriter& out, const std::shared_ptr<const TNWNKeyFile>& key, const std::string& keyPath,
                     const std::string& keyFolder, std::size_t bif) {
    const std::string path = LocateBif(keyFolder, key->Filenames[bif].Filename).Path;
    const bool exists = platform::PathExists(path);

    // The BIF's table, when its file is there and opens: read once for all entries.
    std::optional<std::vector<TNWNVarResEntry>> table;
    std::optional<std::string> fault; // why it did not open; none when it did or is not there
    if (exists) {
        try {
            table = ReadBifTables(path).VarResources; // the table alone, no list of lines
        } catch (const EVellocarError& error) {
            fault = PathText(error.what());
        }
    }

    out.BeginObject();
    KeyHeader(out, *key, keyPath);
    out.Key("bif").BeginObject();
    BifMembers(out, *key, bif, path, exists);
    out.Key("opened").Bool(table.has_value());
    if (fault) {
        out.Key("error").String(*fault);
    } else {
        out.Key("error").Null();
    }
    out.EndObject();

    out.Key("resources").BeginArray();
    for (const TNWNKeyEntry& entry : key->Filenames[bif].Resources)
        ResourceObject(out, entry, table ? &*table : nullptr);
    out.EndArray();
    out.EndObject();
}

void WriteErfListing(TJsonWriter& out, const TResourceContainer& erf) {
    const TErfFile& header = *erf.Erf;
    out.BeginObject();
    out.Key("archive").BeginObject();
    out.Key("path").String(PathText(erf.Bytes.Path));
    out.Key("type").String(erf.Kind);
    out.Key("build_year").Number(header.BuildYear);
    out.Key("build_day").Number(header.BuildDay);
    out.Key("description_strref").Number(header.DescriptionStrRef);
    out.Key("resource_count").Number(erf.Entries().size());
    out.Key("strings").BeginArray();
    for (const TErfLocalizedString& s : header.Strings) {
        out.BeginObject();
        out.Key("language").Number(s.LanguageId);
        out.Key("text").String(Windows1252ToUtf8(s.Text));
        out.Key("text_hex").String(HexBytes(s.Text));
        out.EndObject();
    }
    out.EndArray();
    out.EndObject();
    out.Key("resources").BeginArray();
    for (const TNWNKeyEntry& entry : erf.Entries()) ResourceObject(out, entry, &erf.Bytes.Tables.VarResources);
    out.EndArray();
    out.EndObject();
}

} // namespace vellocar::cli
