#include "ListJson.h"

#include "ArchiveNames.h"
#include "BifFiles.h"
#include "Errors.h"
#include "Platform.h"
#include "Progress.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <iterator>
#include <optional>
#include <utility>

namespace vellocar::cli {

namespace {

// Text is handed to the sink once this much has gathered.
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kIndent = 2;

// Whether text goes into a JSON string as it is: printable ASCII but the quote and backslash.
bool NeedsNoEscape(std::string_view text) {
    for (const char c : text)
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') return false;
    return true;
}

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

} // namespace

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

// ---- TJsonWriter ------------------------------------------------------------------------------

TJsonWriter::TJsonWriter(Sink sink) : sink_(std::move(sink)) { buffer_.reserve(kChunk + kChunk / 4); }

// A comma where a value follows another, then a new line and the value's indentation; nothing
// right after a member's name or before the document's top value.
void TJsonWriter::Separate() {
    if (afterKey_) {
        afterKey_ = false;
    } else if (!members_.empty()) {
        static constexpr std::string_view kBreak = ",\n                                ";
        const std::size_t indent = kIndent * members_.size();
        const std::size_t from = members_.back()++ == 0 ? 1 : 0;
        if (indent + 2 <= kBreak.size()) {
            buffer_.append(kBreak.substr(from, 2 - from + indent));
        } else {
            buffer_.append(kBreak.substr(from, 2 - from)).append(indent, ' ');
        }
    }
}

void TJsonWriter::Close(char bracket) {
    const std::size_t written = members_.back();
    members_.pop_back();
    if (written > 0) {
        buffer_ += '\n';
        buffer_.append(kIndent * members_.size(), ' ');
    }
    buffer_ += bracket;
    Spill();
}

void TJsonWriter::Spill() {
    if (buffer_.size() < kChunk) return;
    ok_ = sink_(buffer_) && ok_;
    buffer_.clear();
}

void TJsonWriter::BeginObject() {
    Separate();
    buffer_ += '{';
    members_.push_back(0);
}

void TJsonWriter::EndObject() { Close('}'); }

void TJsonWriter::BeginArray() {
    Separate();
    buffer_ += '[';
    members_.push_back(0);
}

void TJsonWriter::EndArray() { Close(']'); }

TJsonWriter& TJsonWriter::Key(std::string_view name) {
    String(name);
    buffer_ += ": ";
    afterKey_ = true;
    return *this;
}

void TJsonWriter::String(std::string_view utf8) {
    Separate();
    if (NeedsNoEscape(utf8)) {
        buffer_ += '"';
        buffer_.append(utf8);
        buffer_ += '"';
    } else {
        // nlohmann-json's own escaping, so that the text is what its dump gives.
        buffer_ += nlohmann::json(std::string(utf8)).dump();
    }
    Spill();
}

void TJsonWriter::Number(std::uint64_t value) {
    Separate();
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    buffer_.append(digits, static_cast<std::size_t>(end - digits));
}

void TJsonWriter::Bool(bool value) {
    Separate();
    buffer_ += value ? "true" : "false";
}

void TJsonWriter::Null() {
    Separate();
    buffer_ += "null";
}

bool TJsonWriter::Finish() {
    buffer_ += '\n';
    ok_ = sink_(buffer_) && ok_;
    buffer_.clear();
    return ok_;
}

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
    for (const TNWNKeyEntry& entry : key->Filenames[bif].Resources) {
        const std::string name = ResRefToString(entry.ResRef);
        const std::uint32_t index = entry.ResId & kResIdIndexMask;
        const bool inTable = table && index < table->size();
        out.BeginObject();
        out.Key("line").String(Windows1252ToUtf8(ResourceLine(entry)));
        out.Key("name").String(Windows1252ToUtf8(name));
        out.Key("name_hex").String(HexBytes(UnpaddedBytes(entry.ResRef)));
        out.Key("type").Number(entry.ResType);
        out.Key("extension").String(ResTypeToExt(entry.ResType));
        out.Key("res_id").Number(entry.ResId);
        out.Key("index").Number(index);
        if (inTable) {
            out.Key("offset").Number((*table)[index].Offset);
            out.Key("size").Number((*table)[index].FileSize);
        } else {
            out.Key("offset").Null();
            out.Key("size").Null();
        }
        out.EndObject();
    }
    out.EndArray();
    out.EndObject();
}

} // namespace vellocar::cli
