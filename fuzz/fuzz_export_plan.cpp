// Any bytes as a KEY and a BIF, in memory: the export plans for everything and for a selection
// never write a file outside the export folder or over another file of the same export, say
// exactly which resources run past the end of the BIF, and account for every resource and
// every KEY entry of the BIF once, and never write one resource twice.
//
// Input: an 8-byte head, then the KEY, then the BIF.
//   bytes 0-3  the KEY's size (little-endian; cut to what follows the head)
//   bytes 4-5  which of the KEY's BIFs the BIF is (little-endian, modulo the KEY's BIF count)
//   bytes 6-7  the selection: list line i is selected when bit i % 16 is set
// A KEY that does not read leaves the BIF without one, as when it is opened on its own.

#include "base/Errors.h"
#include "formats/BifCodec.h"
#include "formats/KeyCodec.h"
#include "FuzzCheck.h"
#include "names/ExportNames.h"
#include "operations/Export.h"
#include "platform/Platform.h"

#include <algorithm>
#include <optional>
#include <vector>

using namespace vellocar;

namespace {

const std::string kName = "fuzz";
constexpr std::size_t kHead = 8;

std::uint32_t IndexOf(const TNWNKeyEntry& e) { return e.ResId & kResIdIndexMask; }

// What every plan holds to: the bytes of each item are past the end exactly when they do not
// fit the BIF, and each item to be written has a file name that stays inside the folder and
// that no other written item shares (nor its resource: the files pack again).
void CheckPlan(const std::vector<TExportItem>& plan, const TExportSource& source) {
    static std::vector<std::string> keys, identities; // kept between runs: no allocation per input
    keys.clear();
    identities.clear();
    for (const TExportItem& item : plan) {
        fuzz::Check(item.PastEnd == (std::uint64_t{item.Offset} + item.Size > source.BifSize),
                    "PastEnd is not \"offset + size > BIF size\"");
        if (!item.SkipReason.empty()) continue;

        fuzz::Check(item.Resource < source.Resources.size(), "a written item names no resource of the BIF");
        const TNWNVarResEntry& resource = source.Resources[item.Resource];
        fuzz::Check(item.Offset == resource.Offset && item.Size == resource.FileSize,
                    "a written item does not take its resource's bytes");
        const std::string& name = item.Name.Bytes;
        if (const auto reason = UnsafeExportNameReason(name)) fuzz::Fail("an unsafe name is written", *reason);
        fuzz::Check(!name.empty() && name != "." && name != "..", "a written name is a folder");
        for (const char ch : name) {
            const auto c = static_cast<unsigned char>(ch);
            fuzz::Check(c != '/' && c != '\\' && c != ':' && c >= 0x20 && c != 0x7F,
                        "a written name holds a separator or a control byte");
        }
        keys.push_back(platform::NameKey(name));
        identities.push_back(item.Identity);
    }
    for (auto* names : {&keys, &identities}) {
        std::sort(names->begin(), names->end());
        fuzz::Check(std::adjacent_find(names->begin(), names->end()) == names->end(),
                    "two written items share a file or a resource");
    }
}

// PlanExportAll: resource i is item i, named by the first KEY entry for it ("#i" when none),
// then each other KEY entry of the BIF once, in KEY order.
void CheckAll(const std::vector<TExportItem>& plan, const TExportSource& source) {
    const std::size_t count = source.Resources.size();
    static std::vector<const TNWNKeyEntry*> first;
    first.assign(count, nullptr);
    std::size_t others = 0;
    if (source.Entries)
        for (const TNWNKeyEntry& e : *source.Entries) {
            if (IndexOf(e) < count && !first[IndexOf(e)])
                first[IndexOf(e)] = &e;
            else
                ++others;
        }
    fuzz::Check(plan.size() == count + others, "the plan has not one item per resource and per other KEY entry");

    for (std::size_t i = 0; i < count; ++i) {
        const TExportItem& item = plan[i];
        fuzz::Check(item.Resource == i, "the resources are not planned once each, in index order");
        if (first[i]) {
            fuzz::Check(item.Name == ResourceLine(*first[i]), "a resource is not named by its first KEY entry");
        } else {
            fuzz::Check(item.Name.Bytes == "#" + std::to_string(i) && !item.SkipReason.empty(),
                        "a resource the KEY does not name is not skipped as #index");
        }
    }
    if (!source.Entries) return;
    std::size_t next = count;
    for (const TNWNKeyEntry& e : *source.Entries) {
        if (IndexOf(e) < count && first[IndexOf(e)] == &e) continue;
        const TExportItem& item = plan[next++];
        fuzz::Check(item.Name == ResourceLine(e) && item.Resource == IndexOf(e) && !item.SkipReason.empty(),
                    "a KEY entry without a resource of its own is not skipped in KEY order");
    }
}

// PlanExportChosen: one item per chosen line, named as the line shows it.
void CheckSelected(const std::vector<TExportItem>& plan, const TExportSource& source,
                   const std::vector<TArchiveName>& lines, const std::vector<std::size_t>& chosen) {
    std::size_t next = 0;
    for (const std::size_t line : chosen) {
        fuzz::Check(next < plan.size(), "a chosen line has no item");
        const TExportItem& item = plan[next++];
        fuzz::Check(item.Name == lines[line], "an item is not named as its line");
        const TNWNKeyEntry& entry = (*source.Entries)[line];
        if (IndexOf(entry) >= source.Resources.size())
            fuzz::Check(!item.SkipReason.empty(), "a line whose entry names no resource is written");
        else
            fuzz::Check(item.Resource == IndexOf(entry), "a line is exported from another resource");
    }
    fuzz::Check(next == plan.size(), "the plan has items for lines not chosen");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHead) return 0;
    const std::size_t keySize = std::min<std::size_t>(fuzz::Le32(data), size - kHead);
    const std::uint32_t choice = fuzz::Le16(data + 4);
    const std::uint32_t selection = fuzz::Le16(data + 6);
    const std::span<const std::uint8_t> keyBytes(data + kHead, keySize);
    const std::span<const std::uint8_t> bifBytes(data + kHead + keySize, size - kHead - keySize);

    std::optional<TNWNKeyFile> key;
    std::optional<TBifTables> bif;
    try {
        key = keycodec::Parse(keyBytes, keyBytes.size(), kName);
    } catch (const EFormatError&) {}
    try {
        bif = bifcodec::Parse(bifBytes, bifBytes.size(), kName);
    } catch (const EFormatError&) {
        return 0;
    }

    // The lines as the window lists them: one per KEY entry of the BIF; some of them chosen.
    static std::vector<TArchiveName> lines;
    static std::vector<std::size_t> chosen;
    lines.clear();
    chosen.clear();
    TExportSource source{bif->VarResources, bifBytes.size()};
    if (key && !key->Filenames.empty()) {
        source.BifIndex = choice % static_cast<std::uint32_t>(key->Filenames.size());
        source.Entries = &key->Filenames[source.BifIndex].Resources;
        for (const TNWNKeyEntry& entry : *source.Entries) lines.push_back(ResourceLine(entry));
        for (std::size_t i = 0; i < lines.size(); ++i)
            if ((selection >> (i % 16) & 1) != 0) chosen.push_back(i);
    }

    const std::vector<TExportItem> all = PlanExportAll(source);
    CheckPlan(all, source);
    CheckAll(all, source);

    const std::vector<TExportItem> selected = PlanExportChosen(source, chosen);
    CheckPlan(selected, source);
    CheckSelected(selected, source, lines, chosen);
    return 0;
}
