// The export of one BIF's resources: the plan in memory, then the writing of it.

#include "operations/Export.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "formats/CompressedBuffer.h"
#include "formats/ResourceJson.h"
#include "names/ArchiveNames.h"
#include "names/ExportNames.h"
#include "names/Names.h"
#include "operations/KeyReading.h"
#include "platform/Platform.h"
#include "platform/PngWriter.h"
#include "platform/SafeFolders.h"

#include <algorithm>
#include <optional>
#include <span>
#include <unordered_map>

namespace vellocar {

namespace {

// Names the PNGs of the plan's textures, from the names of the whole export when it is given,
// else from the plan's own.
void NamePngs(std::vector<TExportItem>& plan, const TExportSource& source) {
    TPngNames own(source.Rules);
    const TPngNames* names = source.PngNames;
    if (!names) {
        for (const TExportItem& item : plan)
            if (item.SkipReason.empty()) own.Add(item.Name, item.Png.has_value());
        names = &own;
    }
    for (TExportItem& item : plan)
        if (item.Png && item.SkipReason.empty()) item.OutputName = names->NameFor(item.Name);
}

// Marks the names that cannot be written, and each later name that would land in the file of
// an earlier one or that is one resource with it.
void CheckNames(std::vector<TExportItem>& plan, const TExportSource& source) {
    for (TExportItem& item : plan) {
        if (!item.SkipReason.empty()) continue;
        if (const auto reason = UnsafeExportNameReason(item.Name.Bytes)) item.SkipReason = *reason;
    }
    if (source.TexturesAsPng) NamePngs(plan, source);
    TExportClaims claims(source.Rules);
    claims.Reserve(plan.size());
    for (TExportItem& item : plan) {
        if (!item.SkipReason.empty()) continue;
        const TArchiveName& output = OutputNameOf(item);
        // Only a PNG's or a JSON's name is not the one checked above.
        if (const auto reason = &output == &item.Name ? std::nullopt : UnsafeExportNameReason(output.Bytes)) {
            item.SkipReason = std::string(item.Json ? "its JSON's" : "its PNG's") + " name " +
                Quoted(platform::ShownName(output)) + " cannot be written: " + *reason;
            continue;
        }
        if (auto taken = claims.Claim(item, platform::ShownName(item.Name))) item.SkipReason = std::move(*taken);
    }
}

TExportItem ItemFor(const TExportSource& source, const TNWNKeyEntry& entry, std::uint32_t index) {
    const TNWNVarResEntry& resource = source.Resources[index];
    TExportItem item;
    item.Name = ResourceLine(entry);
    if (source.TexturesAsPng) item.Png = media::TextureTypeOf(entry.ResType);
    if (source.GffAsJson && HasJsonForm(entry.ResType)) {
        item.Json = true;
        item.OutputName = TArchiveName{item.Name.Bytes + ".json"};
    }
    item.Identity = ResourceKey(ResRefToString(entry.ResRef), entry.ResType);
    item.Resource = index;
    item.Type = entry.ResType;
    item.Offset = resource.Offset;
    item.Size = resource.FileSize;
    item.Packed = !IsStoredAsIs(resource);
    item.Compression = resource.CompressionType;
    item.Unpacked = resource.UncompressedSize;
    item.PastEnd = !byteio::RangeEnd(resource.Offset, resource.FileSize, 1, source.BifSize);
    return item;
}

TExportItem Skip(TArchiveName name, std::uint32_t index, std::string reason) {
    TExportItem item;
    item.Name = std::move(name);
    item.Resource = index;
    item.SkipReason = std::move(reason);
    return item;
}

std::string Folded(std::string text) {
    for (char& c : text) c = FoldAscii(c);
    return text;
}

constexpr const char* kPngExtension = ".png";

} // namespace

std::string TPngNames::KeyOf(const TArchiveName& outputName) const {
    return platform::NameKey(platform::FileNameOf(outputName), rules_);
}

void TPngNames::Add(const TArchiveName& line, bool texture) {
    takers_[KeyOf(texture ? TArchiveName{StemOf(line).Bytes + kPngExtension} : line)].insert(Folded(line.Bytes));
}

TArchiveName TPngNames::NameFor(const TArchiveName& line) const {
    TArchiveName name{StemOf(line).Bytes + kPngExtension};
    const auto takers = takers_.find(KeyOf(name));
    return takers != takers_.end() && takers->second.size() > 1 ? TArchiveName{line.Bytes + kPngExtension} : name;
}

std::optional<std::string> TExportClaims::Claim(const TExportItem& item, const std::string& owner) {
    // Compared as the files will be named, which on Linux is UTF-8 ("é.txt" and "É.TXT").
    const auto [file, freshFile] =
        files_.try_emplace(platform::NameKey(platform::FileNameOf(OutputNameOf(item)), rules_), owner);
    if (!freshFile) return Quoted(file->second) + " comes first under the same file name";
    const auto [resource, freshResource] = resources_.try_emplace(item.Identity, owner);
    if (freshResource) return std::nullopt;
    files_.erase(file);
    return "it is one resource with " + Quoted(resource->second) +
        " (names compared without regard to letter case), which comes first";
}

std::vector<TExportItem> PlanExportAll(const TExportSource& source) {
    // The first KEY entry that names each variable index: the one whose name the file takes.
    std::vector<const TNWNKeyEntry*> named(source.Resources.size(), nullptr);
    std::vector<TExportItem> unexported;
    if (source.Entries) {
        for (const TNWNKeyEntry& e : *source.Entries) {
            if ((e.ResId >> kResIdBifShift) != source.BifIndex) continue;
            const std::uint32_t index = e.ResId & kResIdIndexMask;
            if (index >= named.size()) {
                unexported.push_back(Skip(ResourceLine(e), index,
                                          "the BIF holds no resource at index " + std::to_string(index) + " (it has " +
                                              std::to_string(named.size()) + ")"));
            } else if (named[index]) {
                unexported.push_back(Skip(ResourceLine(e), index,
                                          "its resource (index " + std::to_string(index) + ") is exported as " +
                                              Quoted(platform::ShownName(ResourceLine(*named[index])))));
            } else {
                named[index] = &e;
            }
        }
    }

    std::vector<TExportItem> plan;
    plan.reserve(named.size() + unexported.size());
    for (std::size_t i = 0; i < named.size(); ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        if (named[i]) {
            plan.push_back(ItemFor(source, *named[i], index));
        } else {
            TArchiveName name{"#"}; // appended, not prepended: GCC 12 misreads the latter
            name.Bytes += std::to_string(i);
            plan.push_back(Skip(std::move(name), index, "the KEY names no resource at this index"));
        }
        plan.back().Progress = static_cast<std::int64_t>(i);
    }
    CheckNames(plan, source);
    plan.insert(plan.end(), unexported.begin(), unexported.end());
    return plan;
}

std::vector<TExportItem> PlanExportChosen(const TExportSource& source, const std::vector<std::size_t>& chosen) {
    std::vector<TExportItem> plan;
    for (const std::size_t line : chosen) {
        if (!source.Entries || line >= source.Entries->size()) {
            plan.push_back(Skip({"line " + std::to_string(line)}, 0, "the KEY holds no entry for this line"));
            continue;
        }
        const TNWNKeyEntry& entry = (*source.Entries)[line];
        const std::uint32_t index = entry.ResId & kResIdIndexMask;
        if ((entry.ResId >> kResIdBifShift) != source.BifIndex || index >= source.Resources.size()) {
            plan.push_back(
                Skip(ResourceLine(entry), index, "the BIF holds no resource at index " + std::to_string(index)));
            continue;
        }
        plan.push_back(ItemFor(source, entry, index));
    }
    CheckNames(plan, source);
    return plan;
}

namespace {

constexpr const char* kFolderMoved =
    "the folder was moved or replaced (by a link, say) after the export checked it; nothing more is written "
    "there, the files exported before were kept";

// The writing of one plan: the BIF opened once, and what each file passes before it is made.
// Every file is made through the folder held open, never by a path that could have been
// redirected since the folder was checked.
class TExportWriter {
public:
    TExportWriter(platform::File& bif, const std::string& keyPath, const platform::HeldFolder* target,
                  TExportReport& report)
        : bif_(bif),
          bifPath_(bif.Path()),
          keyPath_(keyPath),
          target_(target),
          report_(report),
          bifKey_(KeyOfPath(bifPath_)),
          keyKey_(KeyOfPath(keyPath_)) {}

    void Write(const TExportItem& item, std::uint64_t bifSize) {
        // The name as the game reads it (Windows-1252), spelled as this system spells file names.
        const std::string fileName = platform::FileNameOf(OutputNameOf(item));
        // A plan with something to write comes with its folder; one without never gets here.
        if (!target_) throw EFCreateError(platform::CannotCreateMessage(fileName, "no folder was given"));
        if (WouldOverwriteSource(item, fileName)) return;
        if (item.PastEnd)
            throw EReadError("Stream read error: cannot export " + Quoted(platform::ShownName(item.Name)) + " from " +
                             Quoted(bifPath_) + ": its bytes run past the end of the file (offset " +
                             std::to_string(item.Offset) + ", " + std::to_string(item.Size) + " bytes, file " +
                             std::to_string(bifSize) + " bytes); nothing was written for it");

        if (item.Png) return WritePng(item, fileName);
        if (item.Json) return WriteJson(item, fileName);
        if (item.Packed) {
            const auto bytes = ReadPacked(item);
            if (bytes)
                WriteFresh(item, fileName, [&](platform::File& dest) { dest.WriteAll(bytes->data(), bytes->size()); });
            return;
        }
        WriteFresh(item, fileName, [&](platform::File& dest) { dest.CopyFrom(bif_, item.Offset, item.Size); });
    }

private:
    // Whether the file would be the BIF or the KEY being read: the resource is then skipped.
    bool WouldOverwriteSource(const TExportItem& item, const std::string& fileName) {
        const bool tilde = fileName.find('~') != std::string::npos;
        if (!tilde && !bifKey_ && !keyKey_) return false;
        const std::string key = platform::NameKey(fileName, platform::NameRules::Windows);
        const bool mayBeBif = bifKey_ && (tilde || key == *bifKey_), mayBeKey = keyKey_ && (tilde || key == *keyKey_);
        if (!mayBeBif && !mayBeKey) return false;
        const std::string out = target_->PathOf(fileName);
        if (mayBeBif && platform::SameFile(out, bifPath_)) {
            report_.Skipped.push_back(
                {platform::ShownName(item.Name), "writing it would overwrite the BIF being read"});
            return true;
        }
        if (mayBeKey && platform::SameFile(out, keyPath_)) {
            report_.Skipped.push_back(
                {platform::ShownName(item.Name), "writing it would overwrite the KEY being read"});
            return true;
        }
        return false;
    }

    // A resource's bytes as the archive stores them; an archive that ends before them stops the
    // export, keeping what was written.
    std::vector<std::uint8_t> ReadStored(const TExportItem& item) {
        std::vector<std::uint8_t> bytes(item.Size);
        ReadStoredInto(item, bytes);
        return bytes;
    }

    void ReadStoredInto(const TExportItem& item, std::span<std::uint8_t> bytes) {
        try {
            bif_.Seek(item.Offset);
            bif_.ReadExact(bytes.data(), bytes.size());
        } catch (const EReadError&) {
            throw EReadError("Stream read error: " + Quoted(bifPath_) + " ended while " +
                             Quoted(platform::ShownName(item.Name)) +
                             " was read; nothing was written for it, the files exported before it were kept");
        }
    }

    // A packed resource's bytes, unpacked; its sizes are checked before anything is read. One
    // that does not unpack is skipped with the reason (Unpack).
    // The bytes live in the writer's two buffers, reused for every resource (an E1 BIF packs
    // thousands): valid until the next resource is read.
    std::optional<std::span<const std::uint8_t>> ReadPacked(const TExportItem& item) {
        try {
            compressedbuf::CheckSizes(item.Size, item.Compression, item.Unpacked);
        } catch (const EFormatError& e) {
            report_.Skipped.push_back({platform::ShownName(item.Name), std::string("not written: ") + e.what()});
            return std::nullopt;
        }
        if (stored_.size() < item.Size) stored_.resize(item.Size);
        const std::span<std::uint8_t> stored(stored_.data(), item.Size);
        ReadStoredInto(item, stored);
        try {
            return compressedbuf::UnpackInto(stored, item.Compression, item.Unpacked, unpacked_);
        } catch (const EFormatError& e) {
            report_.Skipped.push_back({platform::ShownName(item.Name), std::string("not written: ") + e.what()});
            return std::nullopt;
        }
    }

    // A packed resource's bytes unpacked in place; one that does not unpack is skipped with the
    // reason and nothing is written for it, the others still are.
    bool Unpack(const TExportItem& item, std::vector<std::uint8_t>& bytes) {
        if (!item.Packed) return true;
        try {
            bytes = compressedbuf::Unpack(bytes, item.Compression, item.Unpacked);
            return true;
        } catch (const EFormatError& e) {
            report_.Skipped.push_back({platform::ShownName(item.Name), std::string("not written: ") + e.what()});
            return false;
        }
    }

    // A texture, decoded and encoded in memory before its file is made. One that does not decode
    // (a format the decoder does not know, a damaged file) is written as its own bytes under its
    // own name, with the reason in the report: the user asked for the resource, and its bytes
    // are all it has.
    void WritePng(const TExportItem& item, const std::string& fileName) {
        std::vector<std::uint8_t> bytes = ReadStored(item);
        if (!Unpack(item, bytes)) return;
        std::optional<media::TImage> image;
        try {
            image = media::DecodeTexture(*item.Png, bytes);
        } catch (const EDecodeError& e) {
            const std::string ownName = platform::FileNameOf(item.Name);
            if (WouldOverwriteSource(item, ownName)) return;
            if (WriteFresh(item, ownName, [&](platform::File& dest) { dest.WriteAll(bytes.data(), bytes.size()); }))
                report_.AsBytes.push_back(
                    {platform::ShownName(item.Name), std::string("written as its own bytes, not as PNG: ") + e.what()});
            return;
        }
        bytes = {};
        const std::vector<std::uint8_t> png = platform::EncodePng(image->Width, image->Height, image->Rgba);
        image.reset();
        if (WriteFresh(item, fileName, [&](platform::File& dest) { dest.WriteAll(png.data(), png.size()); }))
            ++report_.Pngs;
    }

    // A GFF resource as its JSON, made in memory before its file is made. One that does not read
    // as its type says is written as its own bytes under its own name, with the reason, as a
    // texture that does not decode is.
    void WriteJson(const TExportItem& item, const std::string& fileName) {
        std::vector<std::uint8_t> bytes = ReadStored(item);
        if (!Unpack(item, bytes)) return;
        std::string json;
        try {
            WriteResourceJson(item.Type, bytes, [&](std::string_view chunk) {
                json.append(chunk);
                return true;
            });
        } catch (const EDecodeError& e) {
            const std::string ownName = platform::FileNameOf(item.Name);
            if (WouldOverwriteSource(item, ownName)) return;
            if (WriteFresh(item, ownName, [&](platform::File& dest) { dest.WriteAll(bytes.data(), bytes.size()); }))
                report_.AsBytes.push_back({platform::ShownName(item.Name),
                                           std::string("written as its own bytes, not as JSON: ") + e.what()});
            return;
        }
        bytes = {};
        if (WriteFresh(item, fileName, [&](platform::File& dest) {
                dest.WriteAll(reinterpret_cast<const std::uint8_t*>(json.data()), json.size());
            }))
            ++report_.Jsons;
    }

    // Creates fileName afresh in the folder and fills it; never leaves a truncated file behind,
    // and says which file it was. False when what stands at the name could not be replaced (a
    // folder; on Windows a link that Wine shows as its target, which only the link's own system
    // can remove without harm to the target): that resource is skipped with the reason, the
    // others still written.
    template <class Fill>
    bool WriteFresh(const TExportItem& item, const std::string& fileName, Fill&& fill) {
        // The folder's path leads elsewhere now: whatever is written would be lost to the user.
        if (!target_->StillAtPath())
            throw EFCreateError(platform::CannotCreateMessage(target_->PathOf(fileName), kFolderMoved));
        std::optional<platform::File> created;
        try {
            created.emplace(target_->Create(fileName));
        } catch (const EFCreateError& e) {
            // Only a failure of this one name is skipped; one of the folder's (read-only, gone)
            // stops the export as before.
            if (!target_->LookAt(fileName) || !target_->StillAtPath()) throw;
            report_.Skipped.push_back({platform::ShownName(item.Name), e.what()});
            return false;
        }
        platform::File& dest = *created;
        try {
            fill(dest);
            dest.Close();
        } catch (const EWriteError& e) {
            // The system's reason and the file come first, as the platform words them.
            target_->Remove(fileName);
            throw EWriteError(std::string(e.what()) +
                              "; it could not be written in full and was removed, the files exported before it "
                              "were kept");
        } catch (const EReadError&) {
            target_->Remove(fileName);
            throw EReadError("Stream read error: " + Quoted(bifPath_) + " ended while " +
                             Quoted(platform::ShownName(item.Name)) +
                             " was copied; its file was removed, the files exported before it were kept");
        } catch (...) {
            target_->Remove(fileName);
            throw;
        }
        ++report_.Written;
        return true;
    }

    // Only a resource named like the BIF or the KEY (under the loosest name rules, those of a
    // folder that ignores case) or one that may be a short 8.3 alias can be that file; asking
    // the file system for every resource would cost a lookup per file. A link under another
    // name is harmless: HeldFolder::Create replaces links. The keys of the BIF's and the KEY's
    // names are made once, not for every resource; none when there is no such file.
    static std::optional<std::string> KeyOfPath(const std::string& path) {
        if (path.empty()) return std::nullopt;
        return platform::NameKey(platform::FileNamePart(path), platform::NameRules::Windows);
    }

    platform::File& bif_;
    const std::string& bifPath_;
    const std::string& keyPath_;
    const platform::HeldFolder* target_;
    TExportReport& report_;
    const std::optional<std::string> bifKey_, keyKey_;
    // A packed resource's stored and unpacked bytes, grown to the largest so far.
    std::vector<std::uint8_t> stored_, unpacked_;
};

} // namespace

namespace {

// "(offset 120, 7 bytes)".
std::string Extent(const TExportItem& item) {
    return "(offset " + std::to_string(item.Offset) + ", " + std::to_string(item.Size) + " bytes)";
}

// The items to write whose bytes overlap those of another, each against the one that reaches
// furthest among those that start before it (one sort, as verify finds them).
std::vector<TSkippedResource> Overlaps(const std::vector<TExportItem>& plan) {
    std::vector<const TExportItem*> placed;
    for (const TExportItem& item : plan)
        if (item.SkipReason.empty() && item.Size > 0 && !item.PastEnd) placed.push_back(&item);
    std::sort(placed.begin(), placed.end(), [](const TExportItem* a, const TExportItem* b) {
        return a->Offset != b->Offset ? a->Offset < b->Offset : a->Size > b->Size;
    });
    std::vector<TSkippedResource> overlaps;
    const TExportItem* furthest = nullptr;
    const auto end = [](const TExportItem* item) { return std::uint64_t{item->Offset} + item->Size; };
    for (const TExportItem* item : placed) {
        if (furthest && item->Offset < end(furthest))
            overlaps.push_back({platform::ShownName(item->Name),
                                "its bytes " + Extent(*item) + " overlap those of " +
                                    Quoted(platform::ShownName(furthest->Name)) + " " + Extent(*furthest)});
        if (!furthest || end(item) > end(furthest)) furthest = item;
    }
    return overlaps;
}

} // namespace

TExportReport WriteExport(const std::vector<TExportItem>& plan, platform::File& bif, const std::string& keyPath,
                          const platform::HeldFolder* target, const TProgress& progress, const TAllowOverlaps& allow) {
    TExportReport report;
    WriteExportInto(plan, bif, keyPath, target, progress, allow, report);
    return report;
}

void WriteExportInto(const std::vector<TExportItem>& plan, platform::File& bif, const std::string& keyPath,
                     const platform::HeldFolder* target, const TProgress& progress, const TAllowOverlaps& allow,
                     TExportReport& report) {
    const std::uint64_t bifSize = bif.Size();
    report.Overlapping = Overlaps(plan);
    // Asked once, before anything is written, of a plan that would write more than the BIF holds.
    std::uint64_t planned = 0;
    for (const TExportItem& item : plan)
        if (item.SkipReason.empty()) planned += item.Size;
    const std::uint64_t limit = bifSize + kOverlapMargin;
    const bool bounded = planned > limit && !(allow && allow(planned, bifSize));
    std::uint64_t written = 0;

    // A plan without progress positions (an empty BIF, a selection) tells nothing.
    std::int64_t last = -1;
    for (const TExportItem& item : plan) last = std::max(last, item.Progress);
    TExportWriter writer(bif, keyPath, target, report);
    for (const TExportItem& item : plan) {
        if (item.Progress >= 0 && progress)
            progress(static_cast<std::uint64_t>(item.Progress), static_cast<std::uint64_t>(last) + 1);
        if (!item.SkipReason.empty()) {
            report.Skipped.push_back({platform::ShownName(item.Name), item.SkipReason});
            continue;
        }
        if (bounded && (report.Stopped || written + item.Size > limit)) {
            report.Stopped = true;
            report.Skipped.push_back(
                {platform::ShownName(item.Name),
                 "not written: the export stopped at the BIF's own size (" + std::to_string(bifSize) + " bytes) and " +
                     std::to_string(kOverlapMargin >> 20) + " MiB more, since its resources share their bytes"});
            continue;
        }
        written += item.Size;
        writer.Write(item, bifSize);
    }
}

void TFilesBeingRead::Add(const std::string& path) {
    if (path.empty()) return;
    byKey_[platform::NameKey(platform::FileNamePart(path), platform::NameRules::Windows)].push_back(path);
    all_.push_back(path);
}

std::optional<std::string> TFilesBeingRead::Hit(const std::string& out, const std::string& name) const {
    if (name.find('~') != std::string::npos) {
        for (const std::string& path : all_)
            if (platform::SameFile(out, path)) return path;
        return std::nullopt;
    }
    const auto paths = byKey_.find(platform::NameKey(name, platform::NameRules::Windows));
    if (paths == byKey_.end()) return std::nullopt;
    for (const std::string& path : paths->second)
        if (platform::SameFile(out, path)) return path;
    return std::nullopt;
}

platform::NameRules TargetNameRules(std::string folder) {
    folder = TrimSeparators(std::move(folder), platform::kHostPathSystem);
    for (;;) {
        if (platform::IsFolder(HereIfEmpty(folder))) return platform::FolderNameRules(HereIfEmpty(folder));
        const std::string parent = platform::FolderPart(folder);
        if (parent == folder || folder.empty()) return platform::kHostNameRules;
        folder = parent;
    }
}

bool AnyToWrite(const std::vector<TExportItem>& plan) {
    return std::any_of(plan.begin(), plan.end(), [](const TExportItem& item) { return item.SkipReason.empty(); });
}

TExportReport ExportResources(const TOpenedBif& bif, const TNWNKeyFile* key, const TExportRequest& request) {
    if (key && !key->Path.empty())
        RecoverBeforeReadingAgain(key->Path, "Nothing was exported", "export from its files as they are now");
    platform::File file = platform::File::OpenRead(bif.Path);
    const std::vector<TNWNKeyEntry>* entries = nullptr;
    if (key && bif.BifIndex >= 0 && static_cast<std::size_t>(bif.BifIndex) < key->Filenames.size())
        entries = &key->Filenames[static_cast<std::size_t>(bif.BifIndex)].Resources;
    const std::string folder = platform::FolderOf(request.Target);
    const TExportSource source{
        bif.Tables.VarResources,           file.Size(),           entries, static_cast<std::uint32_t>(bif.BifIndex),
        platform::FolderNameRules(folder), request.TexturesAsPng, nullptr, request.GffAsJson};
    const std::vector<TExportItem> plan =
        request.Chosen ? PlanExportChosen(source, *request.Chosen) : PlanExportAll(source);
    // The folder chosen is the user's, links and all; held from here on, it is the folder written.
    std::optional<platform::HeldFolder> target;
    if (AnyToWrite(plan)) {
        try {
            target.emplace(platform::HeldFolder::OpenChosen(request.Target));
        } catch (const EFOpenError& e) {
            // Said as the system said it; a folder that is not there is a failure to create.
            throw EFCreateError(e.what());
        }
    }
    return WriteExport(plan, file, key ? key->Path : std::string(), target ? &*target : nullptr, request.Progress,
                       request.AllowOverlaps);
}

} // namespace vellocar
