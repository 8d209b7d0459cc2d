// The file system on Windows, through the single-byte (...A) functions: paths are handed to the
// system exactly as the program holds them, in the ANSI code page. Files, paths, folder listings
// and the clock here; name rules, identity, side files and locks in PlatformWin32Folders.cpp.
//
// Every file is opened with no sharing: while Vellocar reads or writes a KEY or BIF, no other
// program can change or replace it, and a file that the game or an editor holds open is
// reported instead of being read half-written.

#include "platform/Platform.h"

#include "base/Errors.h"
#include "names/Names.h"
#include "PlatformDetail.h"
#include "PlatformWin32Detail.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace vellocar::platform {

using namespace win32;

namespace {

// FindFirstFile reports a volume label with this attribute bit, which the Windows headers no
// longer name.
constexpr DWORD kVolumeLabelAttribute = 0x00000008;

// Large enough that copying a big resource is not dominated by system calls, small enough to
// keep memory flat whatever the resource size.
constexpr std::size_t kCopyChunk = 256 * 1024;

// ReadFile and WriteFile take a DWORD count; larger requests are split.
constexpr std::size_t kMaxIoChunk = 1u << 30;

// How often Create retries when another entry keeps appearing where it just removed one.
constexpr int kCreateAttempts = 8;

constexpr const char* kNotADiskFile = "The name stands for a device, not a file on a disk";
constexpr const char* kLinkStandsThere =
    "A link to another file stands at that name; Vellocar neither writes through it nor removes it";

// A name such as "nul", "com1.dlg" or "C:\out\con" opens a device, not a file. What the program
// opens must be a file on a disk: reading from a console would wait forever, writing to a
// printer or serial port would send it the bytes.
bool IsDiskFile(HANDLE h) { return GetFileType(h) == FILE_TYPE_DISK; }

// The words this program gives the four failed renames a user meets most; every other code is
// "I/O error <code>" with the system's own text after it.
std::string InOutErrorText(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return "File not found";
        case ERROR_PATH_NOT_FOUND:
            return "Invalid filename";
        case ERROR_TOO_MANY_OPEN_FILES:
            return "Too many open files";
        case ERROR_ACCESS_DENIED:
            return "File access denied";
        default:
            return "I/O error " + std::to_string(code) + " (" + SystemErrorText(static_cast<int>(code)) + ")";
    }
}

} // namespace

bool win32::OpenedThroughLink(HANDLE h, const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return true;
    }
    char final[4 * MAX_PATH];
    const DWORD length = GetFinalPathNameByHandleA(h, final, sizeof final, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= sizeof final) {
        return false; // cannot tell: the attributes said it is no link
    }
    return NameKey(FileNamePart(std::string(final, length))) != NameKey(FileNamePart(path));
}

bool win32::IsHiddenLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    const auto facts = LookAt(path);
    return facts && facts->What == EntryFacts::Kind::Link;
}

std::string SystemErrorText(int code) {
    char* buffer = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) {
        text.assign(buffer, length);
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    // The system's messages end in CR LF (some in spaces as well); the text is kept otherwise.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        text = "System error " + std::to_string(static_cast<DWORD>(code));
    }
    return text;
}

// ----- File ------------------------------------------------------------------------------------

File::File(std::intptr_t handle, std::string path, std::optional<std::uint64_t> sizeAtOpen)
    : handle_(handle), path_(std::move(path)), sizeAtOpen_(sizeAtOpen) {}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, FromHandle(INVALID_HANDLE_VALUE))),
      path_(std::move(other.path_)),
      sizeAtOpen_(other.sizeAtOpen_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (AsHandle(handle_) != INVALID_HANDLE_VALUE) {
            CloseHandle(AsHandle(handle_));
        }
        handle_ = std::exchange(other.handle_, FromHandle(INVALID_HANDLE_VALUE));
        path_ = std::move(other.path_);
        sizeAtOpen_ = other.sizeAtOpen_;
    }
    return *this;
}

File::~File() {
    if (AsHandle(handle_) != INVALID_HANDLE_VALUE) {
        CloseHandle(AsHandle(handle_));
    }
}

File File::OpenRead(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        throw EFOpenError(OpenErrorText(path, GetLastError()));
    }
    if (!IsDiskFile(h)) {
        CloseHandle(h);
        throw EFOpenError(CannotOpenMessage(path, kNotADiskFile));
    }
    return File(FromHandle(h), path);
}

File File::OpenOwn(const std::string& path) {
    // The link itself, if one stands there: it is refused, never read through.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        throw EFOpenError(OpenErrorText(path, GetLastError()));
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!IsDiskFile(h) || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || OpenedThroughLink(h, path)) {
        CloseHandle(h);
        throw EUntrustedFile(detail::UntrustedNameMessage(path, WhatStandsAt(path)));
    }
    return File(FromHandle(h), path);
}

File File::CreateNew(const std::string& path) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
            throw EUntrustedFile(detail::UntrustedNameMessage(path, WhatStandsAt(path)));
        }
        throw EFCreateError(CreateErrorText(path, code));
    }
    if (!IsDiskFile(h)) {
        CloseHandle(h);
        throw EFCreateError(CannotCreateMessage(path, kNotADiskFile));
    }
    return File(FromHandle(h), path);
}

File File::Create(const std::string& path) {
    // CREATE_NEW makes a file of our own and never opens what already stands at the name, so
    // a link planted there cannot redirect the write. Only when the name is taken is that
    // entry removed (DeleteFile removes a symbolic link or junction itself, never its target)
    // and the creation tried again: one lookup per file in the common case of a fresh name.
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            if (!IsDiskFile(h)) {
                CloseHandle(h);
                throw EFCreateError(CannotCreateMessage(path, kNotADiskFile));
            }
            return File(FromHandle(h), path);
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            throw EFCreateError(CreateErrorText(path, code));
        }
        if (IsHiddenLink(path)) {
            throw EFCreateError(CannotCreateMessage(path, kLinkStandsThere));
        }
        if (!DeleteFileA(path.c_str())) {
            // A read-only file, one held open by another program, a folder of that name: say
            // so, rather than the "file exists" that CREATE_NEW answered.
            const DWORD removeCode = GetLastError();
            if (removeCode != ERROR_FILE_NOT_FOUND && removeCode != ERROR_PATH_NOT_FOUND) {
                throw EFCreateError(CreateErrorText(path, removeCode));
            }
        }
    }
    throw EFCreateError(CreateErrorText(path, static_cast<DWORD>(ERROR_FILE_EXISTS)));
}

std::size_t File::ReadSome(void* buffer, std::size_t size) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min(size, kMaxIoChunk));
    if (!ReadFile(AsHandle(handle_), buffer, want, &got, nullptr)) {
        throw EReadError(StreamErrorMessage(false, path_, static_cast<int>(GetLastError())));
    }
    return got;
}

void File::WriteAll(const void* buffer, std::size_t size) {
    const auto* in = static_cast<const unsigned char*>(buffer);
    while (size > 0) {
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(std::min(size, kMaxIoChunk));
        if (!WriteFile(AsHandle(handle_), in, want, &put, nullptr)) {
            throw EWriteError(StreamErrorMessage(true, path_, static_cast<int>(GetLastError())));
        }
        if (put == 0) {
            throw EWriteError(StreamErrorMessage(true, path_, 0));
        }
        in += put;
        size -= put;
    }
}

void File::CopyFrom(File& source, std::uint64_t sourceOffset, std::uint64_t size) {
    source.Seek(sourceOffset);
    std::vector<unsigned char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(size, kCopyChunk)));
    while (size > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, chunk.size()));
        const std::size_t got = source.ReadSome(chunk.data(), want);
        if (got == 0) {
            throw EReadError("Stream read error");
        }
        WriteAll(chunk.data(), got);
        size -= got;
    }
}

void File::Seek(std::uint64_t offset) {
    LARGE_INTEGER distance;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())) {
        throw EReadError("Stream read error");
    }
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(AsHandle(handle_), distance, nullptr, FILE_BEGIN)) {
        throw EReadError("Stream read error");
    }
}

std::uint64_t File::Size() const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(AsHandle(handle_), &size)) {
        throw EReadError("Stream read error");
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

void File::Flush() {
    if (!FlushFileBuffers(AsHandle(handle_))) {
        throw EWriteError(StreamErrorMessage(true, path_, static_cast<int>(GetLastError())));
    }
}

void File::Close() {
    HANDLE h = AsHandle(std::exchange(handle_, FromHandle(INVALID_HANDLE_VALUE)));
    if (h != INVALID_HANDLE_VALUE && !CloseHandle(h)) {
        throw EWriteError(StreamErrorMessage(true, path_, static_cast<int>(GetLastError())));
    }
}

// ----- paths and folders -----------------------------------------------------------------------

bool PathExists(const std::string& path) {
    // GetFileAttributes takes the name literally (no wildcards) and describes a link itself.
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<PathInfo> Stat(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    DWORD attributes = data.dwFileAttributes;
    std::uint64_t size = Join(data.nFileSizeHigh, data.nFileSizeLow);
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link: describe what it points to (a dangling link is nothing usable).
        HANDLE h = OpenForQuery(path);
        if (h == INVALID_HANDLE_VALUE) {
            return PathInfo{};
        }
        BY_HANDLE_FILE_INFORMATION info;
        const bool ok = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        if (!ok) {
            return PathInfo{};
        }
        attributes = info.dwFileAttributes;
        size = Join(info.nFileSizeHigh, info.nFileSizeLow);
    }
    PathInfo result;
    result.IsDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    result.IsRegular = !result.IsDirectory && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
    result.Size = result.IsRegular ? size : 0;
    return result;
}

// The system has no open folder to look names up in for a program of the ...A functions: each
// name is joined to the folder's path.
Folder::Folder(std::string path) : handle_(-1), path_(std::move(path)) {}

Folder::Folder(Folder&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {}

Folder::~Folder() = default;

std::optional<PathInfo> Folder::Stat(std::string_view name) const {
    std::string path = path_;
    path += name;
    return platform::Stat(path);
}

File Folder::OpenRead(std::string_view name) const {
    std::string path = path_;
    path += name;
    return File::OpenRead(path);
}

std::optional<EntryFacts> LookAt(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    EntryFacts facts;
    const DWORD attributes = data.dwFileAttributes;
    facts.What = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryFacts::Kind::Link
        : (attributes & FILE_ATTRIBUTE_DIRECTORY)            ? EntryFacts::Kind::Folder
        : (attributes & FILE_ATTRIBUTE_DEVICE)               ? EntryFacts::Kind::Other
                                                             : EntryFacts::Kind::Regular;
    if (facts.What == EntryFacts::Kind::Regular) {
        facts.Size = Join(data.nFileSizeHigh, data.nFileSizeLow);
    }
    // The entry itself, with no access to its data: a file that another program holds is known
    // all the same.
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileInformationByHandle(h, &info)) {
            facts.Id = FileId{info.dwVolumeSerialNumber, Join(info.nFileIndexHigh, info.nFileIndexLow)};
            facts.Links = info.nNumberOfLinks;
        }
        if (facts.What == EntryFacts::Kind::Regular && OpenedThroughLink(h, path)) {
            facts = EntryFacts{EntryFacts::Kind::Link, 0, facts.Id, facts.Links};
        }
        CloseHandle(h);
    }
    return facts;
}

bool RemoveFile(const std::string& path) noexcept { return !IsHiddenLink(path) && DeleteFileA(path.c_str()) != 0; }

void RenameFile(const std::string& from, const std::string& to, bool replace) {
    // Written through, so that a power cut after the call cannot bring back the old name.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExA(from.c_str(), to.c_str(), flags)) {
        const DWORD code = GetLastError();
        throw EInOutError(InOutErrorText(code), static_cast<int>(code));
    }
}

namespace {

// How much of a path never needs creating: a drive ("C:") or a share ("\\server\share\").
std::size_t RootLength(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') {
        return 2;
    }
    std::size_t start = 0;
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        std::size_t seen = 0;
        start = 2;
        while (start < path.size() && seen < 2) {
            if (IsPathSeparator(path[start])) {
                ++seen;
            }
            ++start;
        }
    }
    return start;
}

} // namespace

void CreateDirectories(const std::string& path) {
    if (path.empty()) {
        return;
    }
    std::size_t start = RootLength(path);
    while (start < path.size() && IsPathSeparator(path[start])) {
        ++start;
    }
    for (std::size_t pos = start; pos <= path.size(); ++pos) {
        if (pos != path.size() && !IsPathSeparator(path[pos])) {
            continue;
        }
        if (pos > 0 && IsPathSeparator(path[pos - 1])) {
            continue; // a doubled separator
        }
        const std::string part = path.substr(0, pos);
        if (part.empty() || CreateDirectoryA(part.c_str(), nullptr)) {
            continue;
        }
        const DWORD code = GetLastError();
        const DWORD attributes = GetFileAttributesA(part.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            continue;
        }
        throw EFCreateError(
            CreateErrorText(part, code == ERROR_ALREADY_EXISTS ? static_cast<DWORD>(ERROR_DIRECTORY) : code));
    }
}

namespace {

// A name as the ...A functions take it, in the system's code page, with "?" (which no real name
// holds) for every character the code page cannot hold exactly. FindFirstFileA would put a
// look-alike instead ("Ā" as "A"), which names another file or none.
std::string CodePageName(const wchar_t* wide) {
    const bool utf8 = GetACP() == CP_UTF8; // takes every character, and no default one
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = utf8 ? nullptr : "?";
    const int size = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, fallback, nullptr);
    if (size <= 1) return {};
    std::string name(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, flags, wide, -1, name.data(), size, fallback, nullptr);
    name.resize(static_cast<std::size_t>(size - 1));
    return name;
}

} // namespace

std::vector<std::string> ListPlainFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::string pattern = folder;
    if (!pattern.empty() && !IsPathSeparator(pattern.back()) && pattern.back() != ':') {
        pattern += '\\';
    }
    pattern += '*';
    // Listed in UTF-16, so that a name outside the code page shows as such (ArchiveNameOfFile
    // refuses it by its "?") instead of as a look-alike or as a file that is no longer there.
    const int wideSize = MultiByteToWideChar(CP_ACP, 0, pattern.c_str(), -1, nullptr, 0);
    std::wstring widePattern(static_cast<std::size_t>(std::max(wideSize, 1)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, pattern.c_str(), -1, widePattern.data(), wideSize);
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(widePattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    constexpr DWORD kSkipped = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
        kVolumeLabelAttribute | FILE_ATTRIBUTE_DEVICE;
    do {
        if ((entry.dwFileAttributes & kSkipped) == 0) {
            names.push_back(CodePageName(entry.cFileName));
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    // NTFS hands the names out in this order already; other file systems (FAT, a network
    // share, Wine's view of a Linux folder) do not, and a build must not depend on which.
    SortInFolderOrder(names, kHostSpelling);
    return names;
}

std::string ResolveStoredName(const std::string& keyFolder, const std::string& storedName) {
    if (keyFolder.empty() || IsPathSeparator(keyFolder.back())) {
        // "C:\" already ends in its separator; a second one would only be noise.
        return keyFolder + storedName;
    }
    return keyFolder + '\\' + storedName;
}

std::string FolderPart(const std::string& path) {
    const std::size_t pos = path.find_last_of("\\/");
    if (pos == std::string::npos) {
        return "";
    }
    if (pos == 0 || (pos == 2 && path[1] == ':')) {
        return path.substr(0, pos + 1); // the root of a drive (or of the current one)
    }
    return path.substr(0, pos);
}

std::string FileNamePart(const std::string& path) {
    const std::size_t pos = path.find_last_of("\\/:");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string TemporaryNameBeside(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const unsigned long pid = GetCurrentProcessId();
    for (;;) {
        const unsigned n = counter.fetch_add(1) + 1;
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%lx-%x.tmp", pid, n);
        std::string candidate = target + suffix;
        if (!PathExists(candidate)) {
            return candidate;
        }
    }
}

LocalDate Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return DateOf(now.wYear, now.wMonth, now.wDay);
}

} // namespace vellocar::platform
