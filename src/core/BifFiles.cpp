// Opening a BIF with its KEY, listing its resources and exporting them as loose files.
// (Building a BIF lives in BifBuilder.cpp.)

#include "BifFiles.h"

#include "BifCodec.h"
#include "ByteIO.h"
#include "Errors.h"
#include "ExportNames.h"
#include "Platform.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

namespace vellocar {

namespace {

using byteio::RangeEnd;
using byteio::PastEnd;

std::string Fault(const std::string& path, const std::string& what) {
    return "Cannot open BIF \"" + path + "\": " + what;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Whether path ends with storedName right after a separator (or is storedName), "\" and "/"
// counting equal: the shape of every path the window builds from a KEY's folder and a name.
bool PathEndsWithName(const std::string& path, const std::string& storedName, bool ignoreCase) {
    if (storedName.empty() || storedName.size() > path.size()) return false;
    const std::size_t start = path.size() - storedName.size();
    if (start > 0 && !IsSeparator(path[start - 1])) return false;
    for (std::size_t i = 0; i < storedName.size(); ++i) {
        char a = path[start + i], b = storedName[i];
        if (IsSeparator(a) && IsSeparator(b)) continue;
        if (ignoreCase && a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (ignoreCase && b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

// The KEY entry path stands for. A name that ends the path whole comes first: with
// "data\a.bif" listed before "olddata\a.bif", the path ".../olddata/a.bif" holds both as
// substrings, and taking the first would list one BIF's names over another's bytes. Failing
// that, the first name that occurs anywhere in the path. Outside Windows a BIF found through
// ResolveStoredName may differ in letter case from its stored name, so when no name matches
// exactly, the same passes run again ignoring case.
std::optional<std::int32_t> FindBifIndex(const TNWNKeyFile& key, const std::string& path) {
    for (std::size_t i = 0; i < key.Filenames.size(); ++i)
        if (PathEndsWithName(path, key.Filenames[i].Filename, false)) return static_cast<std::int32_t>(i);
    for (std::size_t i = 0; i < key.Filenames.size(); ++i)
        if (platform::PathContainsName(path, key.Filenames[i].Filename)) return static_cast<std::int32_t>(i);
#ifndef _WIN32
    for (std::size_t i = 0; i < key.Filenames.size(); ++i)
        if (PathEndsWithName(path, key.Filenames[i].Filename, true)) return static_cast<std::int32_t>(i);
    for (std::size_t i = 0; i < key.Filenames.size(); ++i)
        if (platform::PathContainsNameIgnoringCase(path, key.Filenames[i].Filename))
            return static_cast<std::int32_t>(i);
#endif
    return std::nullopt;
}

int ClampToInt(std::uint64_t value) {
    return static_cast<int>(std::min<std::uint64_t>(value, std::numeric_limits<int>::max()));
}

} // namespace

bool SameStoredName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (IsSeparator(x) && IsSeparator(y)) continue;
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

TNWNBifFile::TNWNBifFile(TResourceList& resourceList, TGauge& gauge)
    : resourceList_(resourceList), gauge_(gauge) {}

void TNWNBifFile::Open(const std::string& path, std::shared_ptr<const TNWNKeyFile> keyFile) {
    KeyFile = std::move(keyFile);
    Path = path;
    if (KeyFile) {
        const auto index = FindBifIndex(*KeyFile, path);
        if (!index)
            throw EFormatError(Fault(path, "the KEY lists no BIF whose name occurs in this path"));
        BifIndex = *index;
    }

    platform::File file = platform::File::OpenRead(path);
    const std::uint64_t fileSize = file.Size();
    std::vector<std::uint8_t> bytes;
    try {
        for (std::uint64_t needed; (needed = bifcodec::BytesNeeded(bytes, fileSize, path)) > bytes.size();) {
            const std::size_t had = bytes.size();
            bytes.resize(static_cast<std::size_t>(needed));
            file.ReadExact(bytes.data() + had, bytes.size() - had);
        }
        file.Close();
    } catch (const EReadError&) {
        throw EReadError(Fault(path, "the file could not be read in full (Stream read error)"));
    }
    bifcodec::TBifTables tables = bifcodec::Parse(bytes, fileSize, path);

    FileType = tables.FileType;
    FileVersion = tables.FileVersion;
    VarResCount = tables.VarResCount;
    FixedResCount = tables.FixedResCount;
    VarTableOffset = tables.VarTableOffset;
    HeaderExtra = std::move(tables.HeaderExtra);
    VarResources = std::move(tables.VarResources);
    FixedResources = std::move(tables.FixedResources);

    resourceList_.Clear();
    if (KeyFile)
        for (const TNWNKeyEntry& entry : KeyFile->Filenames[static_cast<std::size_t>(BifIndex)].Resources)
            resourceList_.Add(ResourceLine(entry));
}

bool TNWNBifFile::FindKeyEntry(std::int64_t index, TNWNKeyEntry& entry) const {
    if (!KeyFile || BifIndex < 0 || static_cast<std::size_t>(BifIndex) >= KeyFile->Filenames.size()) return false;
    if (index < 0 || index > static_cast<std::int64_t>(kResIdIndexMask)) return false;
    const std::uint32_t wanted =
        (static_cast<std::uint32_t>(BifIndex) << kResIdBifShift) + static_cast<std::uint32_t>(index);
    for (const TNWNKeyEntry& candidate : KeyFile->Filenames[static_cast<std::size_t>(BifIndex)].Resources) {
        if (candidate.ResId == wanted) {
            entry = candidate;
            return true;
        }
    }
    return false;
}

namespace {

// One export run: the BIF opened once, and the checks every resource passes before its file
// is created.
class TExporter {
public:
    TExporter(const TNWNBifFile& bif, const std::string& target, std::vector<TSkippedResource>& skipped)
        : bif_(bif), target_(target), skipped_(skipped), file_(platform::File::OpenRead(bif.Path)),
          fileSize_(file_.Size()), bifName_(platform::FileNamePart(bif.Path)),
          keyName_(bif.KeyFile ? platform::FileNamePart(bif.KeyFile->Path) : std::string()) {}

    void Export(const TNWNKeyEntry& entry, const TNWNVarResEntry& resource) {
        const std::string name = ResourceLine(entry);
        if (const auto reason = UnsafeExportNameReason(name)) {
            skipped_.push_back({name, *reason});
            return;
        }
        // Two resources whose names the file system takes for one (two types without an
        // extension; on Windows letter case or a trailing dot) would overwrite each other.
        std::string nameKey = platform::NameKey(name);
        if (const auto first = written_.find(nameKey); first != written_.end()) {
            skipped_.push_back({name, "\"" + first->second + "\" was already written under the same file name"});
            return;
        }
        const std::string out = target_ + name;
        if (MayBe(name, bifName_) && platform::SameFile(out, bif_.Path)) {
            skipped_.push_back({name, "writing it would overwrite the BIF being read"});
            return;
        }
        if (MayBe(name, keyName_) && platform::SameFile(out, bif_.KeyFile->Path)) {
            skipped_.push_back({name, "writing it would overwrite the KEY being read"});
            return;
        }
        if (!RangeEnd(resource.Offset, resource.FileSize, 1, fileSize_))
            throw EReadError("Stream read error: cannot export \"" + name + "\" from \"" + bif_.Path +
                             "\": its bytes run past the end of the BIF (offset " + std::to_string(resource.Offset) +
                             ", " + std::to_string(resource.FileSize) + " bytes, file " +
                             std::to_string(fileSize_) + " bytes); nothing was written for it");

        platform::File dest = platform::File::Create(out);
        written_.emplace(std::move(nameKey), name);
        // Never leave a truncated resource behind; say which file it was.
        try {
            dest.CopyFrom(file_, resource.Offset, resource.FileSize);
            dest.Close();
        } catch (const EWriteError&) {
            platform::RemoveFile(out);
            throw EWriteError("Stream write error: \"" + out +
                              "\" could not be written in full and was removed; the files exported before it were kept");
        } catch (const EReadError&) {
            platform::RemoveFile(out);
            throw EReadError("Stream read error: \"" + bif_.Path + "\" ended while \"" + name +
                             "\" was copied; its file was removed, the files exported before it were kept");
        } catch (...) {
            platform::RemoveFile(out);
            throw;
        }
    }

private:
    // Only a resource named like the BIF or the KEY (under the file system's name rules, letter
    // case aside for the file systems that ignore it) or one that may be a short 8.3 alias can
    // be that file; asking the file system for every resource would cost a lookup per file. A
    // link under another name is harmless: File::Create replaces links.
    static bool MayBe(const std::string& name, const std::string& fileName) {
        if (fileName.empty()) return false;
        if (name.find('~') != std::string::npos) return true;
        const std::string a = platform::NameKey(name), b = platform::NameKey(fileName);
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        }
        return true;
    }

    const TNWNBifFile& bif_;
    const std::string& target_;
    std::vector<TSkippedResource>& skipped_;
    platform::File file_;
    std::uint64_t fileSize_;
    std::string bifName_;
    std::string keyName_;
    std::unordered_map<std::string, std::string> written_;   // NameKey -> the name written
};

} // namespace

bool TNWNBifFile::ExtractAll(const std::string& target) {
    Skipped.clear();
    // An empty BIF leaves the gauge alone rather than giving it the range 0 to -1.
    if (VarResCount > 0) {
        gauge_.SetMinValue(0);
        gauge_.SetMaxValue(ClampToInt(VarResCount - 1));
        gauge_.SetProgress(0);
        gauge_.Show();
    }
    TExporter exporter(*this, target, Skipped);

    // The first KEY entry of each variable index, as FindKeyEntry would find it, looked up in
    // one pass rather than once per resource. Entries that name no resource of the BIF, or one
    // that an earlier entry already names, are reported after the resources.
    std::vector<const TNWNKeyEntry*> named(VarResources.size(), nullptr);
    std::vector<TSkippedResource> unexported;
    if (KeyFile && BifIndex >= 0 && static_cast<std::size_t>(BifIndex) < KeyFile->Filenames.size()) {
        const auto bif = static_cast<std::uint32_t>(BifIndex);
        for (const TNWNKeyEntry& e : KeyFile->Filenames[static_cast<std::size_t>(BifIndex)].Resources) {
            if ((e.ResId >> kResIdBifShift) != bif) continue;
            const std::uint32_t index = e.ResId & kResIdIndexMask;
            if (index >= named.size()) {
                unexported.push_back({ResourceLine(e), "the BIF holds no resource at index " + std::to_string(index) +
                                                           " (it has " + std::to_string(named.size()) + ")"});
            } else if (named[index]) {
                unexported.push_back({ResourceLine(e), "its resource (index " + std::to_string(index) +
                                                           ") was exported as \"" + ResourceLine(*named[index]) +
                                                           "\""});
            } else {
                named[index] = &e;
            }
        }
    }

    for (std::size_t i = 0; i < VarResources.size(); ++i) {
        gauge_.SetProgress(ClampToInt(i));
        gauge_.RepaintNow();
        if (!named[i]) {
            std::string name = "#";   // appended, not prepended: GCC 12 misreads the latter
            name += std::to_string(i);
            Skipped.push_back({std::move(name), "the KEY names no resource at this index"});
            continue;
        }
        exporter.Export(*named[i], VarResources[i]);
    }
    Skipped.insert(Skipped.end(), unexported.begin(), unexported.end());
    return true;
}

bool TNWNBifFile::ExtractSelected(const std::string& target) {
    Skipped.clear();
    TExporter exporter(*this, target, Skipped);
    const std::vector<TNWNKeyEntry>* entries = nullptr;
    if (KeyFile && BifIndex >= 0 && static_cast<std::size_t>(BifIndex) < KeyFile->Filenames.size())
        entries = &KeyFile->Filenames[static_cast<std::size_t>(BifIndex)].Resources;

    // Line i was added for the KEY's i-th entry of this BIF; its ResId says which resource it is.
    const int lines = resourceList_.Count();
    for (int i = 0; i < lines; ++i) {
        if (!resourceList_.Selected(i)) continue;
        const auto line = static_cast<std::size_t>(i);
        if (!entries || line >= entries->size()) {
            Skipped.push_back({resourceList_.Line(i), "the KEY holds no entry for this line"});
            continue;
        }
        const TNWNKeyEntry& entry = (*entries)[line];
        const std::uint32_t index = entry.ResId & kResIdIndexMask;
        if ((entry.ResId >> kResIdBifShift) != static_cast<std::uint32_t>(BifIndex) || index >= VarResources.size()) {
            Skipped.push_back({ResourceLine(entry), "the BIF holds no resource at index " + std::to_string(index)});
            continue;
        }
        exporter.Export(entry, VarResources[index]);
    }
    return true;
}

} // namespace vellocar
