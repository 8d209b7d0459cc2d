// What the file system layer does the same way on every system, over the per-system
// primitives of PlatformPosix.cpp and PlatformWin32.cpp.

#include "platform/Platform.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "names/Names.h"
#include "PlatformDetail.h"

namespace vellocar::platform {

std::string FolderOf(const std::string& path) { return HereIfEmpty(FolderPart(path)); }

namespace {

// Whether a last part names an entry of its folder: "", "." and ".." (and the other names a
// Windows volume reads as them) name the folder itself or its parent, which are compared by
// identity only.
bool IsEntryName(const std::string& name) { return name.find_first_not_of(". ") != std::string::npos; }

} // namespace

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    const auto idA = detail::IdentityOf(a), idB = detail::IdentityOf(b);
    if (idA && idB && (*idA == *idB || detail::IdentitiesAreFinal())) return *idA == *idB;
    const std::string nameA = FileNamePart(a), nameB = FileNamePart(b);
    if (!IsEntryName(nameA) || !IsEntryName(nameB) || !detail::MayNameOneFile(nameA, nameB)) return false;
    const std::string folderA = FolderOf(a), folderB = FolderOf(b);
    const auto idFolderA = detail::FolderIdentity(folderA), idFolderB = detail::FolderIdentity(folderB);
    return idFolderA && idFolderB && *idFolderA == *idFolderB && detail::SameEntryIn(folderA, a, b);
}

std::string WhatStandsAt(const std::string& path) {
    const auto facts = LookAt(path);
    if (!facts) return "nothing";
    switch (facts->What) {
        case EntryFacts::Kind::Regular:
            return "a file";
        case EntryFacts::Kind::Link:
            return "a symbolic link";
        case EntryFacts::Kind::Folder:
            return "a folder";
        case EntryFacts::Kind::Other:
            break;
    }
    return "a FIFO, device or socket";
}

std::string detail::UntrustedNameMessage(const std::string& path, const std::string& what) {
    return Quoted(path) + " is one of the names Vellocar keeps its own files under, but " + what +
        " stands there, which Vellocar did not make; it will not use it, and nothing was changed. Remove it if "
        "no build is running, then try again";
}

void RemoveLeftover(const std::string& path) {
    const auto facts = LookAt(path);
    if (!facts) return;
    if (facts->What != EntryFacts::Kind::Regular)
        throw EUntrustedFile(detail::UntrustedNameMessage(path, WhatStandsAt(path)));
    RemoveFile(path);
}

std::string CannotOpenMessage(const std::string& path, const std::string& reason) {
    return "Cannot open file " + Quoted(path) + ". " + reason;
}

std::string CannotCreateMessage(const std::string& path, const std::string& reason) {
    return "Cannot create file " + Quoted(path) + ". " + reason;
}

std::string StreamErrorMessage(bool writing, const std::string& path, int code) {
    std::string reason = code != 0 ? SystemErrorText(code) : "the system gave no reason";
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
    // "No space left on device" reads as part of the sentence; "I/O error" keeps its capitals.
    if (reason.size() > 1 && IsAsciiCapital(reason[0]) && IsAsciiSmall(reason[1])) reason[0] = FoldAscii(reason[0]);
    return std::string(writing ? "Stream write error: " : "Stream read error: ") + reason +
        (writing ? ", writing " : ", reading ") + Quoted(path);
}

void File::ReadExact(void* buffer, std::size_t size) {
    auto* p = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const std::size_t n = ReadSome(p, size);
        if (n == 0) throw EReadError("Stream read error");
        p += n;
        size -= n;
    }
}

std::vector<std::uint8_t> ReadLeadingBytes(File& file,
                                           const std::function<std::uint64_t(std::span<const std::uint8_t>)>& needed) {
    std::vector<std::uint8_t> bytes;
    file.Seek(0);
    for (std::uint64_t want; (want = needed(bytes)) > bytes.size();) {
        const std::size_t had = bytes.size();
        bytes.resize(static_cast<std::size_t>(want));
        file.ReadExact(bytes.data() + had, bytes.size() - had);
    }
    return bytes;
}

std::vector<std::uint8_t> ReadFormatBytes(
    const std::string& path, const std::string& kind,
    const std::function<std::uint64_t(std::span<const std::uint8_t>, std::uint64_t)>& needed, std::uint64_t& fileSize) {
    File file = File::OpenRead(path);
    fileSize = file.Size();
    try {
        std::vector<std::uint8_t> bytes =
            ReadLeadingBytes(file, [&](std::span<const std::uint8_t> prefix) { return needed(prefix, fileSize); });
        file.Close();
        return bytes;
    } catch (const EReadError&) {
        // Only a file that changes while it is read gets here: its size was checked first.
        throw EReadError(CannotOpenAs(kind, path, "the file could not be read in full (Stream read error)"));
    }
}

void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes, bool fresh) {
    File file = fresh ? File::CreateNew(path) : File::Create(path);
    try {
        file.WriteAll(bytes.data(), bytes.size());
        file.Flush();
        file.Close();
    } catch (...) {
        RemoveFile(path);
        throw;
    }
}

} // namespace vellocar::platform
