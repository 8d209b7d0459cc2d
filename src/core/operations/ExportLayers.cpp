// The export of chosen resources of a set of layers: see ExportLayers.h.

#include "operations/ExportLayers.h"

#include "base/Errors.h"
#include "formats/BifFiles.h"
#include "media/Textures.h"
#include "names/ArchiveNames.h"
#include "names/ExportNames.h"
#include "operations/Containers.h"
#include "platform/Platform.h"
#include "platform/SafeFolders.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <tuple>
#include <utility>

namespace vellocar {

namespace {

// The hits of one container, in the order given: a KEY's BIF, a HAK, or one loose file of a
// folder (each file is a container of one resource, read by its own path).
struct THitGroup {
    TSourceKind Kind = TSourceKind::Key;
    std::size_t Source = 0;
    std::size_t Bif = 0; // a KEY's BIF; a folder's line
    std::vector<std::size_t> Hits; // indexes into the hits
    std::string Path; // the file read: the BIF found, the archive, the loose file; "" when missing
    std::vector<TExportItem> Plan; // one item per hit, in that order
};

// One export of many hits: all planned and their names claimed in the order of the hits, then
// written container by container.
class THitsExport {
public:
    THitsExport(const TResourceSet& set, const std::vector<TResourceHit>& hits, const TLayerExportRequest& request)
        : set_(set), hits_(hits), request_(request), rules_(TargetNameRules(request.Target)), pngNames_(rules_) {}

    TLayerExportReport Run(const TProgress& progress) {
        Group();
        if (request_.TexturesAsPng)
            for (const TResourceHit& hit : hits_) {
                const bool texture = media::TextureTypeOf(hit.Entry.ResType).has_value();
                pngNames_.Add(ResourceLine(hit.Entry), texture);
            }
        for (THitGroup& group : groups_) Plan(group);
        const bool anyToWrite = ClaimNames();
        if (anyToWrite) {
            // The folder given is the user's, links and all: held once for the whole job.
            platform::CreateDirectories(request_.Target);
            try {
                target_.emplace(platform::HeldFolder::OpenChosen(request_.Target));
            } catch (const EFOpenError& e) {
                throw EFCreateError(e.what());
            }
        }
        const std::uint64_t total = hits_.size();
        const TProgress told = progress
            ? TProgress([&progress, total](std::uint64_t done, std::uint64_t) { progress(done, total); })
            : TProgress();
        for (THitGroup& group : groups_) Write(group, told);
        return std::move(report_);
    }

private:
    // The layer a group's resources come from, as a report names it.
    std::string LayerText(const THitGroup& group) const {
        switch (group.Kind) {
            case TSourceKind::Key:
                return "key " + set_.Keys[group.Source].Path + " (" +
                    set_.Keys[group.Source].Key->Filenames[group.Bif].Filename + ")";
            case TSourceKind::Hak:
                return "hak " + set_.Haks[group.Source].Label;
            case TSourceKind::Folder:
                return set_.Folders[group.Source].Role + " " + set_.Folders[group.Source].Path;
        }
        return {};
    }

    void Note(std::vector<TSkippedResource>& list, const THitGroup& group, std::string name,
              const std::string& reason) const {
        list.push_back({std::move(name), "from " + LayerText(group) + ": " + reason});
    }

    // The hits by container, the containers in the order of their first hit.
    void Group() {
        std::map<std::tuple<TSourceKind, std::size_t, std::size_t>, std::size_t> found;
        for (std::size_t i = 0; i < hits_.size(); ++i) {
            const TResourceHit& hit = hits_[i];
            const std::size_t bif = hit.Kind == TSourceKind::Key ? hit.Bif
                : hit.Kind == TSourceKind::Folder                ? hit.Line
                                                                 : 0;
            const auto [at, fresh] = found.try_emplace({hit.Kind, hit.Source, bif}, groups_.size());
            if (fresh) groups_.push_back({hit.Kind, hit.Source, bif, {}, {}, {}});
            groups_[at->second].Hits.push_back(i);
        }
    }

    // A group's plan, its items in the order of its hits; a container that cannot be read gives
    // each of its hits a skipped item with the reason.
    void Plan(THitGroup& group) {
        try {
            PlanOf(group);
        } catch (const EVellocarError& error) {
            group.Plan.clear();
            for (const std::size_t i : group.Hits) {
                TExportItem item;
                item.Name = ResourceLine(hits_[i].Entry);
                item.SkipReason = error.what();
                group.Plan.push_back(std::move(item));
            }
        }
        for (std::size_t p = 0; p < group.Plan.size(); ++p)
            group.Plan[p].Progress = static_cast<std::int64_t>(group.Hits[p]);
    }

    TExportSource SourceOf(const std::vector<TNWNVarResEntry>& resources, std::uint64_t size,
                           const std::vector<TNWNKeyEntry>* entries, std::uint32_t bif) const {
        return {resources,
                size,
                entries,
                bif,
                rules_,
                request_.TexturesAsPng,
                request_.TexturesAsPng ? &pngNames_ : nullptr,
                request_.GffAsJson};
    }

    std::vector<std::size_t> LinesOf(const THitGroup& group) const {
        std::vector<std::size_t> lines;
        for (const std::size_t i : group.Hits) lines.push_back(hits_[i].Line);
        return lines;
    }

    void PlanOf(THitGroup& group) {
        if (group.Kind == TSourceKind::Key) {
            const TGameKey& key = set_.Keys.at(group.Source);
            const std::string& stored = key.Key->Filenames.at(group.Bif).Filename;
            const TBifLocation location = LocateBif(platform::FolderOf(key.Path), stored);
            if (!location.Found)
                throw EFOpenError("the BIF " + Quoted(stored) + " is missing (looked for at " + Quoted(location.Path) +
                                  ")");
            // Only this BIF's tables are held, and only while its plan is made.
            const TResourceContainer bif = BifContainer(
                key.Key, OpenBif(location.Path, key.Key.get(), static_cast<std::int32_t>(group.Bif)), stored);
            group.Path = bif.Bytes.Path;
            const std::uint64_t size = platform::File::OpenRead(group.Path).Size();
            group.Plan = PlanExportChosen(SourceOf(bif.Bytes.Tables.VarResources, size, &bif.Entries(),
                                                   static_cast<std::uint32_t>(bif.Bytes.BifIndex)),
                                          LinesOf(group));
        } else if (group.Kind == TSourceKind::Hak) {
            const TResourceContainer& hak = set_.Haks.at(group.Source);
            group.Path = hak.Bytes.Path;
            const std::uint64_t size = platform::File::OpenRead(group.Path).Size();
            group.Plan = PlanExportChosen(SourceOf(hak.Bytes.Tables.VarResources, size, &hak.Entries(),
                                                   static_cast<std::uint32_t>(hak.Bytes.BifIndex)),
                                          LinesOf(group));
        } else {
            // A loose file is a container of one resource: its bytes are the whole file, of the
            // size the listing found.
            const TFolderLayer& folder = set_.Folders.at(group.Source);
            group.Path = FolderFilePath(folder, group.Bif);
            const std::uint32_t size = folder.Sizes.at(group.Bif);
            TNWNKeyEntry entry = folder.Entries.at(group.Bif);
            entry.ResId = 0;
            const std::vector<TNWNVarResEntry> resources{{0, 0, size, entry.ResType, 0, 0}};
            const std::vector<TNWNKeyEntry> entries{entry};
            group.Plan = PlanExportChosen(SourceOf(resources, size, &entries, 0),
                                          std::vector<std::size_t>(group.Hits.size(), 0));
        }
    }

    // Marks, in the order of the hits, the items that would land on a file being read or in the
    // file of an earlier one, or that are one resource with an earlier one; true when anything
    // is left to write.
    bool ClaimNames() {
        TFilesBeingRead beingRead;
        for (const TGameKey& key : set_.Keys) beingRead.Add(key.Path);
        std::vector<std::pair<std::size_t, std::size_t>> placeOf(hits_.size()); // group, item
        for (std::size_t g = 0; g < groups_.size(); ++g) {
            beingRead.Add(groups_[g].Path);
            for (std::size_t p = 0; p < groups_[g].Hits.size(); ++p) placeOf[groups_[g].Hits[p]] = {g, p};
        }
        TExportClaims claims(rules_);
        claims.Reserve(hits_.size());
        bool anyToWrite = false;
        for (const auto& [g, p] : placeOf) {
            TExportItem& item = groups_[g].Plan[p];
            if (!item.SkipReason.empty()) continue;
            const std::string fileName = platform::FileNameOf(OutputNameOf(item));
            if (const auto hit = beingRead.Hit(request_.Target + fileName, fileName)) {
                item.SkipReason = "writing it would overwrite " + Quoted(*hit) + ", which is being read";
                continue;
            }
            if (auto taken = claims.Claim(item, platform::ShownName(item.Name) + " from " + LayerText(groups_[g]))) {
                item.SkipReason = std::move(*taken);
                continue;
            }
            anyToWrite = true;
        }
        return anyToWrite;
    }

    // The file a group reads, opened: a loose file through its folder held open, never through a
    // link, and only at the size that its listing found.
    platform::File Open(const THitGroup& group) {
        if (group.Kind != TSourceKind::Folder) return platform::File::OpenRead(group.Path);
        const TFolderLayer& folder = set_.Folders[group.Source];
        auto held = folders_.find(group.Source);
        if (held == folders_.end())
            held = folders_.emplace(group.Source, platform::HeldFolder::Open(folder.Path)).first;
        const std::string& name = folder.Files.at(group.Bif);
        // Said plainly for what is seen now; the open itself refuses a link that comes later.
        if (const auto facts = held->second.LookAt(name); !facts || facts->What != platform::EntryFacts::Kind::Regular)
            throw EReadError(QuotedPath(group.Path) +
                             (facts ? " is no plain file now (a link or a folder stands there)" : " is gone") +
                             " since the folder was listed; it is not read");
        platform::File file = held->second.OpenRead(name);
        if (file.Size() != folder.Sizes.at(group.Bif))
            throw EReadError(QuotedPath(group.Path) + " holds " + std::to_string(file.Size()) +
                             " bytes now, where the folder's listing found " +
                             std::to_string(folder.Sizes.at(group.Bif)) + "; it changed since, and is not written");
        return file;
    }

    void Write(const THitGroup& group, const TProgress& progress) {
        TExportReport done;
        std::int64_t at = -1; // the progress position of the item being written
        const TProgress tracked = [&at, &progress](std::uint64_t position, std::uint64_t total) {
            at = static_cast<std::int64_t>(position);
            if (progress) progress(position, total);
        };
        std::optional<std::string> fault;
        if (AnyToWrite(group.Plan)) {
            try {
                platform::File file = Open(group);
                WriteExportInto(group.Plan, file, group.Kind == TSourceKind::Key ? set_.Keys[group.Source].Path : "",
                                target_ ? &*target_ : nullptr, tracked, request_.AllowOverlaps, done);
            } catch (const EFCreateError&) {
                throw; // the target folder is gone or swapped: nothing more can be written
            } catch (const EReadError& error) {
                fault = error.what();
            } catch (const EFOpenError& error) {
                fault = error.what();
            } catch (const EUntrustedFile& error) {
                fault = error.what();
            }
        } else {
            for (const TExportItem& item : group.Plan)
                done.Skipped.push_back({platform::ShownName(item.Name), item.SkipReason});
        }
        if (fault) {
            // What was not reached is told: the item that failed with the reason (every item
            // when the file did not open), the ones after it for it, and those skipped before.
            for (const TExportItem& item : group.Plan) {
                if (item.Progress < at) continue;
                const std::string reason = !item.SkipReason.empty() ? item.SkipReason
                    : at >= 0 && item.Progress > at                 ? "not written: its file could not be read further"
                                                                    : *fault;
                done.Skipped.push_back({platform::ShownName(item.Name), reason});
            }
        }
        report_.Written += done.Written;
        report_.Pngs += done.Pngs;
        report_.Jsons += done.Jsons;
        for (const TSkippedResource& kept : done.AsBytes) Note(report_.AsBytes, group, kept.Name, kept.Reason);
        for (const TSkippedResource& skipped : done.Skipped) Note(report_.Skipped, group, skipped.Name, skipped.Reason);
        for (const TSkippedResource& overlap : done.Overlapping)
            Note(report_.Overlapping, group, overlap.Name, overlap.Reason);
    }

    const TResourceSet& set_;
    const std::vector<TResourceHit>& hits_;
    const TLayerExportRequest& request_;
    const platform::NameRules rules_;
    TPngNames pngNames_;
    std::vector<THitGroup> groups_;
    std::map<std::size_t, platform::HeldFolder> folders_; // a folder layer's folder, once a file of it is read
    std::optional<platform::HeldFolder> target_;
    TLayerExportReport report_;
};

} // namespace

TLayerExportReport ExportHits(const TResourceSet& set, const std::vector<TResourceHit>& hits,
                              const TLayerExportRequest& request, const TProgress& progress) {
    return THitsExport(set, hits, request).Run(progress);
}

} // namespace vellocar
