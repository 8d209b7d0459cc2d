#include "ExportBifs.h"

#include "ArchiveNames.h"
#include "BifFiles.h"
#include "Errors.h"
#include "Export.h"
#include "ExportNames.h"
#include "NamePattern.h"
#include "Names.h"
#include "Platform.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

namespace vellocar {

namespace {

int ClampToInt(std::uint64_t value) {
    return static_cast<int>(std::min<std::uint64_t>(value, std::numeric_limits<int>::max()));
}

// One BIF's share of the whole job's gauge: its export moves the gauge over [base, base + span).
class TPartGauge final : public TGauge {
public:
    TPartGauge(TGauge& whole, std::uint64_t base, std::uint64_t span) : whole_(whole), base_(base), span_(span) {}
    void SetMinValue(int) override {}
    void SetMaxValue(int value) override { max_ = std::max(value, 0); }
    void SetProgress(int value) override {
        const auto done = static_cast<std::uint64_t>(std::clamp(value, 0, max_));
        whole_.SetProgress(ClampToInt(base_ + span_ * done / (static_cast<std::uint64_t>(max_) + 1)));
    }
    void Show() override {}
    void RepaintNow() override { whole_.RepaintNow(); }

private:
    TGauge& whole_;
    std::uint64_t base_;
    std::uint64_t span_;
    int max_ = 0;
};

// The KEYs and BIFs of the job: no export may write over one of them, whichever BIF it comes
// from. Only a name that the file system could take for one of theirs (or a possible 8.3
// alias) is asked about, so that the common case costs no system call.
class TFilesBeingRead {
public:
    void Add(const std::string& path) {
        // Under the loosest rules, those of a folder that ignores case.
        if (!path.empty())
            files_.emplace_back(path, platform::NameKey(platform::FileNamePart(path), platform::NameRules::Windows));
    }
    std::optional<std::string> Hit(const std::string& out, const std::string& name) const {
        const std::string key = platform::NameKey(name, platform::NameRules::Windows);
        const bool alias = name.find('~') != std::string::npos;
        for (const auto& [path, fileKey] : files_)
            if ((alias || key == fileKey) && platform::SameFile(out, path)) return path;
        return std::nullopt;
    }

private:
    std::vector<std::pair<std::string, std::string>> files_;
};

std::string Folded(std::string text) {
    for (char& c : text) c = FoldAscii(c);
    return text;
}

} // namespace

std::string BifFolderName(const std::string& storedName) {
    const std::size_t separator = storedName.find_last_of("\\/");
    std::string name = separator == std::string::npos ? storedName : storedName.substr(separator + 1);
    if (const std::size_t point = name.rfind('.'); point != std::string::npos && point > 0) name.resize(point);
    return FileNameOfArchiveName(name);
}

namespace {

// The name rules of the folder the files go to, or of its nearest folder that already exists
// (the one it will be made in).
platform::NameRules TargetRules(std::string folder) {
    while (!folder.empty() && platform::IsPathSeparator(folder.back())) folder.pop_back();
    for (;;) {
        const auto info = platform::Stat(folder.empty() ? "." : folder);
        if (info && info->IsDirectory) return platform::FolderNameRules(folder.empty() ? "." : folder);
        const std::string parent = platform::FolderPart(folder);
        if (parent == folder || folder.empty()) return platform::kHostNameRules;
        folder = parent;
    }
}

} // namespace

TExportBifsReport ExportBifs(const std::vector<TGameKey>& keys, const TExportBifsRequest& request, TGauge& gauge) {
    TExportBifsReport report;
    const auto storedName = [&](const TBifRef& ref) -> const std::string& {
        return keys[ref.Key].Key->Filenames[ref.Bif].Filename;
    };
    const auto skipBif = [&](const TBifRef& ref, std::string reason) {
        report.Skipped.push_back({ref, {}, std::move(reason)});
    };

    // Where each BIF lies, where its files go, and how far into the job it starts.
    TFilesBeingRead beingRead;
    for (const TGameKey& key : keys) beingRead.Add(key.Path);
    const platform::NameRules rules = TargetRules(request.Target);
    std::vector<TBifLocation> locations;
    std::vector<std::string> folders; // NameKey of each BIF's folder; "" when flat
    std::unordered_map<std::string, std::size_t> lastUse; // folder -> the last BIF written there
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < request.Bifs.size(); ++i) {
        const TBifRef& ref = request.Bifs[i];
        locations.push_back(LocateBif(KeyFolderOf(keys[ref.Key].Path), storedName(ref)));
        if (locations.back().Found) beingRead.Add(locations.back().Path);
        folders.push_back(request.Flat ? std::string() : platform::NameKey(BifFolderName(storedName(ref)), rules));
        lastUse[folders.back()] = i;
        total += keys[ref.Key].Key->Filenames[ref.Bif].Resources.size();
    }

    // Flat from several KEYs: the last KEY that holds a resource gives its file. A BIF that is
    // not there gives none, so it takes nothing from the KEYs before it.
    std::unordered_map<std::string, std::size_t> lastKeyOf; // folded line -> KEY index
    if (request.Flat && keys.size() > 1) {
        for (std::size_t i = 0; i < request.Bifs.size(); ++i) {
            const TBifRef& ref = request.Bifs[i];
            if (!locations[i].Found) continue;
            for (const TNWNKeyEntry& entry : keys[ref.Key].Key->Filenames[ref.Bif].Resources) {
                std::size_t& last = lastKeyOf[Folded(ResourceLine(entry))];
                last = std::max(last, ref.Key);
            }
        }
    }

    if (total > 0) {
        gauge.SetMinValue(0);
        gauge.SetMaxValue(ClampToInt(total));
        gauge.SetProgress(0);
        gauge.Show();
    }

    // Per folder, the file names written so far (NameKey -> "<BIF>: <name>").
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> written;
    std::uint64_t base = 0;
    for (std::size_t i = 0; i < request.Bifs.size(); ++i) {
        const TBifRef& ref = request.Bifs[i];
        const TNWNFilenameEntry& entry = keys[ref.Key].Key->Filenames[ref.Bif];
        const std::uint64_t span = entry.Resources.size();
        TPartGauge part(gauge, base, span);
        base += span;
        // This BIF's names are dropped after the last BIF that shares its folder.
        struct Forget {
            std::unordered_map<std::string, std::unordered_map<std::string, std::string>>& map;
            const std::string& folder;
            bool last;
            ~Forget() {
                if (last) map.erase(folder);
            }
        } forget{written, folders[i], lastUse[folders[i]] == i};

        // A BIF that holds nothing asked for is not looked at: its absence loses nothing.
        std::vector<TNWNKeyEntry> wanted;
        for (const TNWNKeyEntry& e : entry.Resources)
            if (MatchesAnyPattern(request.Patterns, ShownName(ResourceLine(e)))) wanted.push_back(e);
        if (!request.Patterns.empty() && wanted.empty()) continue;
        const std::string folderName = BifFolderName(entry.Filename);
        if (!request.Flat) {
            if (const auto reason = UnsafeExportNameReason(folderName)) {
                skipBif(ref, "its folder \"" + folderName + "\" cannot be made: " + *reason);
                continue;
            }
        }
        if (!locations[i].Found) {
            skipBif(ref, "the BIF is missing (looked for at \"" + locations[i].Path + "\")");
            continue;
        }

        TBifTables bif;
        std::vector<TExportItem> plan;
        std::optional<platform::File> file;
        try {
            bif = OpenBif(locations[i].Path, keys[ref.Key].Key.get(), static_cast<std::int32_t>(ref.Bif)).Tables;
            file.emplace(platform::File::OpenRead(locations[i].Path));
            plan = PlanExportAll({bif.VarResources, file->Size(), &wanted, static_cast<std::uint32_t>(ref.Bif), rules});
        } catch (const EVellocarError& error) {
            skipBif(ref, error.what());
            continue;
        }
        ++report.Bifs;
        bif.VarResources = {};
        bif.FixedResources = {};

        // With patterns, the resources that no entry names were never asked for; their
        // placeholders ("#<index>", the only names without a point) go.
        if (!request.Patterns.empty())
            std::erase_if(plan, [](const TExportItem& item) { return item.Name.find('.') == std::string::npos; });
        if (!lastKeyOf.empty()) {
            const std::size_t before = plan.size();
            std::erase_if(plan, [&](const TExportItem& item) {
                const auto last = lastKeyOf.find(Folded(item.Name));
                return last != lastKeyOf.end() && last->second > ref.Key;
            });
            report.Shadowed += before - plan.size();
        }

        const std::string target =
            request.Flat ? request.Target : request.Target + folderName + platform::kPathSeparator;
        auto& names = written[folders[i]];
        bool anyToWrite = false;
        for (TExportItem& item : plan) {
            if (!item.SkipReason.empty()) continue;
            const std::string fileName = FileNameOfArchiveName(item.Name);
            if (const auto hit = beingRead.Hit(target + fileName, fileName)) {
                item.SkipReason = "writing it would overwrite \"" + *hit + "\", which is being read";
                continue;
            }
            const auto [earlier, fresh] =
                names.try_emplace(platform::NameKey(fileName, rules), entry.Filename + ": " + item.Name);
            if (!fresh) {
                item.SkipReason = "\"" + earlier->second + "\" comes first under the same file name";
                continue;
            }
            anyToWrite = true;
        }

        if (anyToWrite) platform::CreateDirectories(target);
        try {
            const TExportReport done = WriteExport(plan, *file, keys[ref.Key].Path, target, part);
            report.Written += done.Written;
            for (const TSkippedResource& skipped : done.Skipped)
                report.Skipped.push_back({ref, skipped.Name, skipped.Reason});
        } catch (const EReadError& error) {
            skipBif(ref, error.what());
        }
    }
    return report;
}

} // namespace vellocar
