// Any bytes as a KEY, in memory: the codec refuses them with one of its own errors, the same
// whether it is given the whole file or only the leading bytes its loader asks for, or it gives
// a model that walks cleanly and writes back to bytes that read as the same model. Its names
// cross into UTF-8 and back unchanged. Verify's reading finds a fault exactly when Parse does.

#include "base/Errors.h"
#include "formats/KeyCodec.h"
#include "FuzzCheck.h"
#include "names/ArchiveNames.h"
#include "operations/GameKeys.h"

#include <memory>
#include <optional>

using namespace vellocar;

namespace {

const std::string kName = "fuzz";

// The model, or the message of the format error that refused the bytes.
std::optional<TNWNKeyFile> Read(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, std::string& error) {
    try {
        return keycodec::Parse(bytes, fileSize, kName);
    } catch (const EFormatError& e) {
        error = e.what();
        return std::nullopt;
    }
}

// A name from the KEY as this system shows it and spells its file: read back into Windows-1252
// (the undefined bytes, which the file name escapes, aside), it is the name again, so no two
// names of a KEY become one file name, and JSON gets valid UTF-8.
void CrossesBack(const std::string& name) {
    const std::string text = Windows1252ToUtf8(name);
    fuzz::Check(IsValidUtf8(text), "a name decodes to text that is not UTF-8");
    fuzz::Check(Utf8ToWindows1252(text) == name, "a name does not come back from UTF-8 as it was");
    // Both ways a system spells its names, on every system.
    for (const TNameSpelling spelling : {TNameSpelling::Utf8, TNameSpelling::CodePage}) {
        const std::string fileName = FileNameOf({name}, spelling);
        if (fileName == ShownName({name}, spelling)) // no undefined byte escaped
            fuzz::Check(
                ArchiveNameOf(fileName, spelling) == TArchiveName{name} || fileName.find('?') != std::string::npos,
                "a name's file name packs to another name");
    }
}

// Everything a listing shows: every BIF name and every entry's line.
void Walk(const TNWNKeyFile& key) {
    fuzz::Check(key.FileTable.size() == key.BifCount && key.Filenames.size() == key.BifCount,
                "the file table and the names disagree with BifCount");
    std::uint64_t entries = 0;
    for (std::size_t i = 0; i < key.Filenames.size(); ++i) {
        const TNWNFilenameEntry& bif = key.Filenames[i];
        fuzz::Check(bif.Filename.size() <= key.FileTable[i].FilenameSize, "a name is longer than its FilenameSize");
        fuzz::Check(bif.Filename.find('\0') == std::string::npos, "a name holds its zero byte");
        for (const TNWNKeyEntry& entry : bif.Resources) {
            fuzz::Check((entry.ResId >> kResIdBifShift) == i, "an entry is filed under a BIF its ResId does not name");
            fuzz::Check(ResourceLine(entry).Bytes.find('\0') == std::string::npos, "a resource line holds a zero byte");
            CrossesBack(ResourceLine(entry).Bytes);
        }
        entries += bif.Resources.size();
    }
    fuzz::Check(entries == key.KeyCount, "the entries filed under the BIFs do not add up to KeyCount");

    // The KEY twice over, as the game reads a set: each entry found twice, the second KEY's
    // copy the one loaded, and every resource of the first KEY shadowed.
    const auto shared = std::make_shared<const TNWNKeyFile>(key);
    const TResourceSet keys{{{kName, shared}, {kName, shared}}, {}, {}, {}};
    const std::vector<TResourceHit> hits = FindResources(keys, "*");
    fuzz::Check(hits.size() == 2 * entries, "find over two copies misses entries");
    for (const TResourceHit& hit : hits) {
        if (!hit.Loaded) continue;
        fuzz::Check(hit.Source == 1, "a resource of the first KEY is loaded over the second's");
        const auto loaded = LoadedResource(keys, ResRefToString(hit.Entry.ResRef), hit.Entry.ResType);
        fuzz::Check(loaded && loaded->Source == hit.Source && loaded->Bif == hit.Bif && loaded->Line == hit.Line,
                    "find and the lookup disagree on the loaded entry");
    }
    for (const TResourceHit& hit : ShadowedResources(keys))
        fuzz::Check(hit.Source == 0, "the last KEY has resources shadowed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    std::string wholeError;
    std::optional<TNWNKeyFile> key = Read(file, size, wholeError);

    // The reading verify makes: silent exactly when Parse accepts the file, and then the same
    // model; otherwise whatever it kept is filed as a model is, under rows it has.
    std::size_t faults = 0;
    const auto checked = keycodec::ParseForCheck(file, [&](const std::string&) { ++faults; });
    fuzz::Check((faults == 0) == key.has_value(), "the check's reading and Parse disagree about a fault");
    if (key) fuzz::Check(checked && fuzz::SameKey(*checked, *key, true), "the check's reading gives another model");
    for (std::size_t i = 0; checked && i < checked->Filenames.size(); ++i)
        for (const TNWNKeyEntry& entry : checked->Filenames[i].Resources)
            fuzz::Check((entry.ResId >> kResIdBifShift) == i && i < checked->FileTable.size(),
                        "the check files an entry under another BIF, or one without a row");

    // The loader reads only what BytesNeeded asks for (header, tables, names); from those bytes
    // the codec must come to the same model, or refuse with the same words.
    std::size_t have = 0;
    try {
        have = fuzz::PrefixRounds(
            file, 3, [&](std::span<const std::uint8_t> prefix) { return keycodec::BytesNeeded(prefix, size, kName); });
    } catch (const EFormatError& e) {
        if (key || wholeError != e.what()) fuzz::Fail("BytesNeeded refuses what Parse does not", e.what());
        return 0;
    }
    std::string partError;
    const std::optional<TNWNKeyFile> part = Read(file.first(have), size, partError);
    if (part.has_value() != key.has_value() || partError != wholeError)
        fuzz::Fail("the leading bytes read otherwise than the whole file", partError + " / " + wholeError);
    if (!key) return 0;
    fuzz::Check(fuzz::SameKey(*part, *key, true), "the leading bytes give another model than the whole file");

    Walk(*key);

    if (key->IsE1()) return 0; // read, never written

    // Written and read back, the model comes out field for field the same as it was read,
    // except for where the tables and names lie, which the writer places anew; with the model
    // as the writer left it (layout recomputed), even those agree. Writing the copy again gives
    // the same bytes.
    const std::uint32_t keyCount = key->KeyCount;
    try {
        const std::vector<std::uint8_t> saved = keycodec::Serialize(*key, kName);
        keycodec::ComputeLayout(*key); // the model as a save leaves it
        fuzz::Check(key->KeyCount == keyCount, "laying the KEY out changed KeyCount");
        TNWNKeyFile again = keycodec::Parse(saved, saved.size(), kName);
        fuzz::Check(fuzz::SameKey(*part, again, false), "the written KEY reads back as another model");
        fuzz::Check(fuzz::SameKey(*key, again, true), "the written KEY reads back with another layout");
        fuzz::Check(keycodec::Serialize(again, kName) == saved, "the KEY read back writes other bytes");
    } catch (const EVellocarError& e) {
        fuzz::Fail("a KEY that was read cannot be written and read back", e.what());
    }
    return 0;
}
