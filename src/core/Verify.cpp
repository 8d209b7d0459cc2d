#include "Verify.h"

#include "BifFiles.h"
#include "ByteIO.h"
#include "Errors.h"
#include "Names.h"
#include "Platform.h"
#include "Progress.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace vellocar {

namespace {

// "2017 (2da)", "9996" for a type without an extension.
std::string TypeText(std::uint32_t type) {
    const std::string ext = ResTypeToExt(type);
    return ext.empty() ? std::to_string(type) : std::to_string(type) + " (" + ext + ")";
}

// Where a KEY entry stands: its BIF and its position in that BIF's list.
struct TEntryAt {
    std::size_t Bif = 0;
    std::size_t Line = 0;
    bool operator==(const TEntryAt&) const = default;
};

struct TEntryAtHash {
    std::size_t operator()(const TEntryAt& at) const noexcept {
        return std::hash<std::uint64_t>()((static_cast<std::uint64_t>(at.Bif) << 32) ^ at.Line);
    }
};

// The name-and-type pairs that the KEY lists more than once, as notes on the entries of the
// checked BIFs: each later entry is noted against the first one, and when the later one's BIF
// is not checked, the first one is noted against it instead.
std::unordered_map<TEntryAt, std::vector<std::string>, TEntryAtHash> DuplicateNotes(const TNWNKeyFile& key,
                                                                                    const std::vector<bool>& checked) {
    std::unordered_map<std::string, TEntryAt> first;
    std::unordered_map<TEntryAt, std::vector<std::string>, TEntryAtHash> notes;
    for (std::size_t b = 0; b < key.Filenames.size(); ++b) {
        const std::vector<TNWNKeyEntry>& entries = key.Filenames[b].Resources;
        for (std::size_t line = 0; line < entries.size(); ++line) {
            // A ResRef holds no zero byte, so one separates it from the type.
            std::string pair = ResRefToString(entries[line].ResRef);
            for (char& c : pair) c = FoldAscii(c);
            pair += '\0';
            pair += std::to_string(entries[line].ResType);
            const TEntryAt here{b, line};
            const auto [earlier, fresh] = first.try_emplace(std::move(pair), here);
            if (fresh) continue;
            const TEntryAt at = earlier->second;
            const std::string firstLine = ResourceLine(key.Filenames[at.Bif].Resources[at.Line]);
            if (checked[b]) {
                notes[here].push_back(at.Bif == b
                                          ? "duplicate of \"" + firstLine + "\" earlier in this BIF"
                                          : "duplicate of \"" + firstLine + "\" in " + key.Filenames[at.Bif].Filename);
            } else if (checked[at.Bif]) {
                notes[at].push_back("duplicated by \"" + ResourceLine(entries[line]) + "\" in " +
                                    key.Filenames[b].Filename);
            }
        }
    }
    return notes;
}

// The variable table of the BIF at path and the file's size, or the reason there is none.
struct TOpenedBif {
    std::vector<TNWNVarResEntry> Resources;
    std::uint64_t Size = 0;
    std::string Fault;
};

TOpenedBif OpenBif(const std::string& path) {
    TOpenedBif opened;
    const auto info = platform::Stat(path);
    if (!info) {
        opened.Fault = "not found (looked for \"" + path + "\")";
        return opened;
    }
    if (!info->IsRegular) {
        opened.Fault = "\"" + path + "\" is not a file";
        return opened;
    }
    try {
        TStringResourceList noList;
        TNullGauge noGauge;
        TNWNBifFile bif(noList, noGauge);
        bif.Open(path, nullptr);
        opened.Resources = std::move(bif.VarResources);
        opened.Size = info->Size;
    } catch (const EVellocarError& error) {
        opened.Fault = error.what();
    }
    return opened;
}

} // namespace

TVerifyReport VerifyArchive(const TNWNKeyFile& key, const std::string& keyPath,
                            const std::vector<std::size_t>& bifIndexes) {
    std::vector<bool> checked(key.Filenames.size(), false);
    std::vector<std::size_t> order;
    for (const std::size_t b : bifIndexes) {
        if (b < checked.size() && !checked[b]) {
            checked[b] = true;
            order.push_back(b);
        }
    }
    const auto duplicates = DuplicateNotes(key, checked);
    std::string folder = platform::FolderPart(keyPath);
    if (folder.empty()) folder = ".";

    TVerifyReport report;
    for (const std::size_t b : order) {
        const TNWNFilenameEntry& named = key.Filenames[b];
        ++report.Bifs;
        report.Resources += named.Resources.size();
        const auto problem = [&](std::string resource, std::string message) {
            report.Problems.push_back({b, std::move(resource), std::move(message)});
        };

        const TOpenedBif bif = OpenBif(LocateBif(folder, named.Filename).Path);
        if (!bif.Fault.empty()) problem("", bif.Fault);
        const bool opened = bif.Fault.empty();

        // The first entry of each resource, as export names it.
        std::vector<const TNWNKeyEntry*> namedBy(bif.Resources.size(), nullptr);
        for (std::size_t line = 0; line < named.Resources.size(); ++line) {
            const TNWNKeyEntry& entry = named.Resources[line];
            const std::string name = ResourceLine(entry);
            if (opened) {
                const std::uint32_t index = entry.ResId & kResIdIndexMask;
                if (index >= bif.Resources.size()) {
                    problem(name,
                            "the BIF holds no resource at index " + std::to_string(index) + " (it has " +
                                std::to_string(bif.Resources.size()) + ")");
                } else {
                    const TNWNVarResEntry& resource = bif.Resources[index];
                    if (!byteio::RangeEnd(resource.Offset, resource.FileSize, 1, bif.Size)) {
                        problem(name,
                                "its bytes (offset " + std::to_string(resource.Offset) + ", " +
                                    std::to_string(resource.FileSize) + " bytes) run past the end of the BIF (" +
                                    std::to_string(bif.Size) + " bytes)");
                    }
                    if (resource.ResType != entry.ResType) {
                        problem(name,
                                "the BIF gives type " + TypeText(resource.ResType) + ", the KEY " +
                                    TypeText(entry.ResType));
                    }
                    if (namedBy[index]) {
                        problem(name,
                                "its resource (index " + std::to_string(index) + ") is also named by \"" +
                                    ResourceLine(*namedBy[index]) + "\"");
                    } else {
                        namedBy[index] = &entry;
                    }
                }
            }
            if (const auto notes = duplicates.find({b, line}); notes != duplicates.end()) {
                for (const std::string& note : notes->second) problem(name, note);
            }
        }
        for (std::size_t index = 0; index < namedBy.size(); ++index) {
            if (!namedBy[index]) {
                problem("#" + std::to_string(index),
                        "no KEY entry names this resource (type " + TypeText(bif.Resources[index].ResType) + ")");
            }
        }
    }
    return report;
}

} // namespace vellocar
