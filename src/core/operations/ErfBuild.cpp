// BuildErfArchive: a folder's files packed into an archive of the ERF family, in the three phases
// of a BIF and KEY build (Build.cpp): checks, then the new archive written to a temporary beside
// its target under a journal, then the rotation. Only the last touches an existing file.

#include "operations/ErfBuild.h"

#include "BuildSteps.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"
#include "formats/ErfCodec.h"
#include "formats/ErfFiles.h"
#include "names/ArchiveNames.h"
#include "names/Names.h"
#include "operations/Rotation.h"
#include "platform/Platform.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace vellocar {

namespace {

using namespace buildsteps;

// What an append keeps of the archive it adds to.
struct TKeptPart {
    std::vector<TErfPlannedResource> Resources; // those that no file of the folder replaces
    std::vector<std::uint32_t> Offsets; // where each lies in the archive
    std::vector<std::string> Replaced; // the lines of those that one does
    std::uint64_t FileSize = 0;
};

// The archive at path, as an append finds it: its description and strings into head (unless
// the request gives its own), and its resources that none of files replaces, each checked to
// lie within the file, since its bytes are copied from there.
TKeptPart ReadKeptPart(const TErfBuildRequest& request, const std::vector<TSourceFile>& files, TErfContent& head) {
    const std::string& path = request.Path;
    TErfFile old;
    TKeptPart kept;
    try {
        old = ReadErfTables(path);
        kept.FileSize = platform::File::OpenRead(path).Size();
    } catch (EVellocarError& e) {
        e.AddContext(". The " + erfcodec::KindOf(request.FileType) +
                     " to add to could not be read; nothing was changed.");
        throw;
    }
    if (!request.Description) {
        head.Strings = old.Strings;
        head.DescriptionStrRef = old.DescriptionStrRef;
    }
    std::unordered_set<std::string> packed;
    for (const TSourceFile& file : files)
        packed.insert(ResourceKey(file.BaseName.Bytes, static_cast<std::uint16_t>(file.ResType & 0xFFFFu)));
    for (std::size_t i = 0; i < old.Keys.size(); ++i) {
        const TErfKeyEntry& key = old.Keys[i];
        const TErfResourceEntry& where = old.Resources[i];
        const std::string line = ResourceLine(erfcodec::KeyEntryOf(key, 0)).Bytes;
        if (packed.contains(ResourceKey(ResRefToString(key.ResRef), key.ResType))) {
            kept.Replaced.push_back(platform::ShownName({line}));
            continue;
        }
        if (!byteio::RangeEnd(where.Offset, where.Size, 1, kept.FileSize))
            Refuse(path, "its resource " + Quoted(platform::ShownName({line})) + " runs past the end of the file");
        kept.Resources.push_back({key.ResRef, key.ResType, where.Size});
        kept.Offsets.push_back(where.Offset);
    }
    return kept;
}

// The archive written to temporary: layout's front, then each resource's bytes, the folder's
// files (the first files.size() of the layout's resources) from the folder, the kept ones from
// the archive. Flushed, closed and checked to be whole.
void WriteArchive(const std::string& temporary, const TErfLayout& layout, const platform::Folder& folder,
                  const std::vector<TSourceFile>& files, const TKeptPart& kept, const TErfBuildRequest& request) {
    std::optional<platform::File> created;
    try {
        created.emplace(platform::File::CreateNew(temporary));
    } catch (const EFCreateError& e) {
        RethrowNamingTarget(e, {temporary}, request.Path);
    }
    platform::File& out = *created;
    out.WriteAll(layout.Front.data(), layout.Front.size());
    std::optional<platform::File> archive;
    if (!kept.Resources.empty()) {
        archive.emplace(platform::File::OpenRead(request.Path));
        if (archive->Size() != kept.FileSize)
            throw EReadError(Quoted(request.Path) + " changed while it was being added to");
    }
    for (std::size_t place = 0; place < layout.Order.size(); ++place) {
        if (request.Progress) request.Progress(place, layout.Order.size());
        const std::size_t i = layout.Order[place];
        if (i >= files.size()) {
            out.CopyFrom(*archive, kept.Offsets[i - files.size()], kept.Resources[i - files.size()].Size);
            continue;
        }
        platform::File source = folder.OpenRead(files[i].Name);
        // The tables already promise this many bytes: a file that changed since it was listed
        // would shift every resource after it.
        if (const std::uint64_t now = source.Size(); now != files[i].Size)
            throw EReadError(Quoted(files[i].Path) + " changed while the " + erfcodec::KindOf(request.FileType) +
                             " was being written (" + std::to_string(files[i].Size) + " bytes when listed, " +
                             std::to_string(now) + " bytes now)");
        out.CopyFrom(source, 0, files[i].Size);
    }
    out.Flush();
    out.Close();
    const auto written = platform::Stat(temporary);
    if (!written || written->Size != layout.Size)
        throw EWriteError("The new archive " + Quoted(temporary) + " was not whole after it was written");
}

} // namespace

std::optional<TFourCC> ErfTypeForName(const std::string& path) {
    std::string extension = platform::FileNamePart(path);
    const auto dot = extension.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    extension = extension.substr(dot + 1);
    for (char& c : extension) c = UpperAscii(c);
    if (extension.size() != 3) return std::nullopt;
    const TFourCC type{extension[0], extension[1], extension[2], ' '};
    if (!erfcodec::IsErfType(std::span(reinterpret_cast<const std::uint8_t*>(type.data()), type.size())))
        return std::nullopt;
    return type;
}

TErfBuildReport BuildErfArchive(const TErfBuildRequest& request) {
    const std::string& path = request.Path;
    TErfBuildReport report;
    report.Kind = erfcodec::KindOf(request.FileType);

    // Phase 1: checks, under the target's lock, after whatever a build of it that died left.
    RefuseReservedTarget(path, path);
    TErfContent head;
    head.FileType = request.FileType;
    head.Built = BuildDate(request.SourceDateEpoch, path);
    if (request.Description) {
        const auto text = Utf8ToWindows1252(*request.Description);
        if (!text) Refuse(path, "its description holds characters that Windows-1252 cannot hold");
        head.Strings.push_back({0, *text});
    }
    std::optional<TTargetLocks> locks;
    try {
        locks.emplace(std::vector<std::string>{path}, request.LockWait, request.Waiting);
    } catch (EFCreateError& e) {
        e.AddContext(kNoFileChanged);
        throw;
    }
    if (std::string done = RecoverBeside(path, *locks, request.LockWait, request.Waiting); !done.empty())
        report.Recovered.push_back(std::move(done));
    RefuseUnusableTarget(path, path, request.FileType, erfcodec::kVersion1, report.Kind);

    const platform::Folder source(request.SourceDir);
    std::uint64_t size = 0;
    std::uint64_t stringBytes = 0;
    for (const TErfLocalizedString& s : head.Strings) stringBytes += erfcodec::kStringHeadSize + s.Text.size();
    const TPackFormat format{report.Kind, erfcodec::Header::Size + stringBytes,
                             erfcodec::KeyRow::Size + erfcodec::ResourceRow::Size, erfcodec::kMaxWrittenSize,
                             "under 2 GiB"};
    const std::vector<std::string> own{path, path + kBackupSuffix};
    const std::vector<TSourceFile> files =
        CheckSources(NamesToPack(request.Files, request.SourceDir, own, report.LeftOut), source, path, format, size);
    TKeptPart kept;
    if (request.Append && platform::PathExists(path)) kept = ReadKeptPart(request, files, head);

    std::vector<TErfPlannedResource> planned;
    planned.reserve(files.size() + kept.Resources.size());
    for (const TSourceFile& file : files) {
        TErfPlannedResource& r = planned.emplace_back();
        std::copy(file.BaseName.Bytes.begin(), file.BaseName.Bytes.end(), r.ResRef.begin());
        r.ResType = static_cast<std::uint16_t>(file.ResType & 0xFFFFu);
        r.Size = file.Size;
        report.ContentBytes += file.Size;
    }
    planned.insert(planned.end(), kept.Resources.begin(), kept.Resources.end());
    TErfLayout layout;
    try {
        layout = erfcodec::Layout(head, planned, path);
    } catch (const EFormatError& e) {
        throw EBuildRefused(std::string(e.what()) + ". Nothing was changed.");
    }

    // Phase 2: the new archive, beside its target; phase 3: moved into place.
    TFileMover mover;
    TRotation rotation({path}, mover);
    WriteUnderJournal(rotation, [&] {
        try {
            rotation.Begin();
        } catch (const EFCreateError& e) {
            RethrowNamingTarget(e, {platform::SideFileFor(path, kJournalKind) + ".new"}, path);
        }
        WriteArchive(rotation.Temporary(0), layout, source, files, kept, request);
    });
    rotation.Commit();

    report.Files = files.size();
    report.Kept = kept.Resources.size();
    report.Replaced = std::move(kept.Replaced);
    report.Resources = planned.size();
    report.Size = layout.Size;
    report.KeptBackups = rotation.KeptBackups();
    return report;
}

} // namespace vellocar
