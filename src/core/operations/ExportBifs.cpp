// The export of many BIFs in one job: see ExportBifs.h.

#include "operations/ExportBifs.h"

#include "base/Errors.h"
#include "formats/BifFiles.h"
#include "names/ArchiveNames.h"
#include "names/ExportNames.h"
#include "names/NamePattern.h"
#include "names/Names.h"
#include "operations/Export.h"
#include "platform/Platform.h"
#include "platform/SafeFolders.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>

namespace vellocar {

namespace {

// One BIF's share of the whole job's progress: its export moves it over [base, base + span)
// of all the resources.
TProgress PartOf(const TProgress& whole, std::uint64_t base, std::uint64_t span, std::uint64_t total) {
    if (!whole) return {};
    return [&whole, base, span, total](std::uint64_t done, std::uint64_t steps) {
        whole(base + span * std::min(done, steps) / steps, total);
    };
}

std::string Folded(const TArchiveName& name) {
    std::string text = name.Bytes;
    FoldArchiveLetters(text);
    return text;
}

} // namespace

std::string BifFolderName(const std::string& storedName) {
    std::string name(LastPartOfStoredName(storedName));
    if (const std::size_t point = name.rfind('.'); point != std::string::npos && point > 0) name.resize(point);
    return platform::FileNameOf({name});
}

namespace {

// Per folder, the file names and resources written so far, each by "<BIF>: <name>".
using TNamesWritten = std::unordered_map<std::string, TExportClaims>;

// One export of many BIFs: what it learns of all of them first, then each BIF in turn.
class TBifsExport {
public:
    TBifsExport(const std::vector<TGameKey>& keys, const TExportBifsRequest& request)
        : keys_(keys),
          request_(request),
          rules_(TargetNameRules(request.Target)),
          patterns_(request.Patterns, platform::kHostSpelling) {}

    TExportBifsReport Run(const TProgress& progress) {
        const std::uint64_t total = Survey();
        if (request_.Flat && keys_.size() > 1) FindLastKeys();
        std::uint64_t base = 0;
        for (std::size_t i = 0; i < request_.Bifs.size(); ++i) {
            const std::uint64_t span = Entry(request_.Bifs[i]).Resources.size();
            const TProgress part = PartOf(progress, base, span, total);
            base += span;
            ExportOne(i, part);
            // This BIF's names are dropped after the last BIF that shares its folder.
            if (lastUse_[folders_[i]] == i) {
                written_.erase(folders_[i]);
                pngNames_.erase(folders_[i]);
            }
        }
        return std::move(report_);
    }

private:
    const TNWNFilenameEntry& Entry(const TBifRef& ref) const { return keys_[ref.Key].Key->Filenames[ref.Bif]; }
    void SkipBif(const TBifRef& ref, std::string reason) { report_.Skipped.push_back({ref, {}, std::move(reason)}); }

    // Where each BIF lies and where its files go; the number of resources in all.
    std::uint64_t Survey() {
        for (const TGameKey& key : keys_) beingRead_.Add(key.Path);
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < request_.Bifs.size(); ++i) {
            const TBifRef& ref = request_.Bifs[i];
            const std::string& stored = Entry(ref).Filename;
            locations_.push_back(LocateBif(platform::FolderOf(keys_[ref.Key].Path), stored));
            if (locations_.back().Found) beingRead_.Add(locations_.back().Path);
            folders_.push_back(request_.Flat ? std::string() : platform::NameKey(BifFolderName(stored), rules_));
            lastUse_[folders_.back()] = i;
            total += Entry(ref).Resources.size();
            if (request_.TexturesAsPng) AddPngNames(i);
        }
        return total;
    }

    // What BIF i writes into its folder, for the names of the PNGs there: from its KEY entries,
    // so that a texture of a later BIF and one of an earlier BIF are named alike.
    void AddPngNames(std::size_t i) {
        TPngNames& names = pngNames_.try_emplace(folders_[i], rules_).first->second;
        for (const TNWNKeyEntry& e : Entry(request_.Bifs[i]).Resources) {
            const TArchiveName line = ResourceLine(e);
            if (patterns_.Matches(line)) names.Add(line, media::TextureTypeOf(e.ResType).has_value());
        }
    }

    // Flat from several KEYs: the last KEY that holds a resource gives its file. A BIF that is
    // not there gives none, so it takes nothing from the KEYs before it.
    void FindLastKeys() {
        for (std::size_t i = 0; i < request_.Bifs.size(); ++i) {
            if (!locations_[i].Found) continue;
            const TBifRef& ref = request_.Bifs[i];
            for (const TNWNKeyEntry& entry : Entry(ref).Resources) {
                std::size_t& last = lastKeyOf_[Folded(ResourceLine(entry))];
                last = std::max(last, ref.Key);
            }
        }
    }

    void ExportOne(std::size_t i, const TProgress& part) {
        const TBifRef& ref = request_.Bifs[i];
        // A BIF that holds nothing asked for is not looked at: its absence loses nothing.
        std::vector<TNWNKeyEntry> wanted;
        for (const TNWNKeyEntry& e : Entry(ref).Resources)
            if (patterns_.Matches(ResourceLine(e))) wanted.push_back(e);
        if (!patterns_.Empty() && wanted.empty()) return;
        const std::string folderName = BifFolderName(Entry(ref).Filename);
        if (!request_.Flat) {
            if (const auto reason = UnsafeExportNameReason(folderName))
                return SkipBif(ref, "its folder " + Quoted(folderName) + " cannot be made: " + *reason);
        }
        if (!locations_[i].Found)
            return SkipBif(ref, "the BIF is missing (looked for at " + Quoted(locations_[i].Path) + ")");

        std::vector<TExportItem> plan;
        std::optional<platform::File> file;
        try {
            // Only this BIF's tables are held, and only while its plan is made.
            const TBifTables bif =
                OpenBif(locations_[i].Path, keys_[ref.Key].Key.get(), static_cast<std::int32_t>(ref.Bif)).Tables;
            file.emplace(platform::File::OpenRead(locations_[i].Path));
            const auto names = pngNames_.find(folders_[i]);
            plan = PlanExportAll({bif.VarResources, file->Size(), &wanted, static_cast<std::uint32_t>(ref.Bif), rules_,
                                  request_.TexturesAsPng, names != pngNames_.end() ? &names->second : nullptr,
                                  request_.GffAsJson});
        } catch (const EVellocarError& error) {
            return SkipBif(ref, error.what());
        }
        ++report_.Bifs;
        LeaveOut(plan, ref);

        const std::string target =
            request_.Flat ? request_.Target : request_.Target + folderName + platform::kPathSeparator;
        // The folder each file goes to, held open from its check to the BIF's last file.
        std::optional<platform::HeldFolder> below;
        const platform::HeldFolder* folder = nullptr;
        if (ClaimNames(plan, i, target)) {
            // The folder given is the user's, links and all: held once for the whole job.
            if (!chosen_) {
                platform::CreateDirectories(request_.Target);
                chosen_.emplace(platform::HeldFolder::OpenChosen(request_.Target));
            }
            folder = &*chosen_;
            // The BIF's folder below it must be a folder of its own.
            if (!request_.Flat) {
                auto made = chosen_->MakeBelow(folderName);
                if (const auto* refused = std::get_if<std::string>(&made))
                    return SkipBif(ref, *refused + ": an export writes only below the folder it was given");
                folder = &below.emplace(std::move(std::get<platform::HeldFolder>(made)));
            }
        }
        try {
            const TExportReport done =
                WriteExport(plan, *file, keys_[ref.Key].Path, folder, part, request_.AllowOverlaps);
            report_.Written += done.Written;
            report_.Pngs += done.Pngs;
            report_.Jsons += done.Jsons;
            for (const TSkippedResource& kept : done.AsBytes) report_.AsBytes.push_back({ref, kept.Name, kept.Reason});
            for (const TSkippedResource& skipped : done.Skipped)
                report_.Skipped.push_back({ref, skipped.Name, skipped.Reason});
            for (const TSkippedResource& overlap : done.Overlapping)
                report_.Overlapping.push_back({ref, overlap.Name, overlap.Reason});
            if (done.Stopped) ++report_.Stopped;
        } catch (const EReadError& error) {
            SkipBif(ref, error.what());
        } catch (const EFCreateError& error) {
            // Its folder was moved or swapped for a link while it was written: the files written
            // before stay where they went (the folder checked), the rest of this BIF is not
            // written, and the next BIF's folder is checked afresh. Any other failure to create
            // (a read-only folder) would meet every BIF alike and stops the job.
            if (!folder || folder->StillAtPath()) throw;
            SkipBif(ref, error.what());
        }
    }

    // What the plan holds that nobody asked for: with patterns, the resources no entry names
    // (their "#<index>" placeholders, the only names without a point); flat from several KEYs,
    // those a later KEY gives.
    void LeaveOut(std::vector<TExportItem>& plan, const TBifRef& ref) {
        if (!patterns_.Empty())
            std::erase_if(plan, [](const TExportItem& item) { return item.Name.Bytes.find('.') == std::string::npos; });
        if (lastKeyOf_.empty()) return;
        const std::size_t before = plan.size();
        std::erase_if(plan, [&](const TExportItem& item) {
            const auto last = lastKeyOf_.find(Folded(item.Name));
            return last != lastKeyOf_.end() && last->second > ref.Key;
        });
        report_.Shadowed += before - plan.size();
    }

    // Marks the items that would land on a file being read or on one an earlier BIF wrote in
    // this folder; true when anything is left to write.
    bool ClaimNames(std::vector<TExportItem>& plan, std::size_t i, const std::string& target) {
        TExportClaims& names = written_.try_emplace(folders_[i], rules_).first->second;
        bool anyToWrite = false;
        for (TExportItem& item : plan) {
            if (!item.SkipReason.empty()) continue;
            const std::string fileName = platform::FileNameOf(OutputNameOf(item));
            if (const auto hit = beingRead_.Hit(target + fileName, fileName)) {
                item.SkipReason = "writing it would overwrite " + Quoted(*hit) + ", which is being read";
                continue;
            }
            const TArchiveName owner{Entry(request_.Bifs[i]).Filename + ": " + item.Name.Bytes};
            if (auto taken = names.Claim(item, platform::ShownName(owner))) {
                item.SkipReason = std::move(*taken);
                continue;
            }
            anyToWrite = true;
        }
        return anyToWrite;
    }

    const std::vector<TGameKey>& keys_;
    const TExportBifsRequest& request_;
    const platform::NameRules rules_;
    const TNamePatterns patterns_;
    TExportBifsReport report_;
    TFilesBeingRead beingRead_;
    std::vector<TBifLocation> locations_;
    std::vector<std::string> folders_; // NameKey of each BIF's folder; "" when flat
    std::unordered_map<std::string, std::size_t> lastUse_; // folder -> the last BIF written there
    std::unordered_map<std::string, std::size_t> lastKeyOf_; // folded line -> KEY index
    std::unordered_map<std::string, TPngNames> pngNames_; // per folder, with TexturesAsPng
    TNamesWritten written_;
    std::optional<platform::HeldFolder> chosen_; // the folder given, once anything is written
};

} // namespace

TExportBifsReport ExportBifs(const std::vector<TGameKey>& keys, const TExportBifsRequest& request,
                             const TProgress& progress) {
    return TBifsExport(keys, request).Run(progress);
}

} // namespace vellocar
