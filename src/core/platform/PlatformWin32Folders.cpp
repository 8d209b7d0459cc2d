// How a Windows volume compares names (as the system's own table of capitals does), the identity
// of files and folders with their short 8.3 aliases, the files a build keeps beside its targets,
// and locks.

#include "platform/Platform.h"
#include "PlatformDetail.h"
#include "PlatformWin32Detail.h"

#include "base/Errors.h"
#include "names/Names.h"
#include "names/SideFileNames.h"

#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace vellocar::platform {

using namespace win32;

namespace {

// The names under which an existing entry can be reached: its long name and, where the volume
// makes them, its short 8.3 alias, each in NameKey form. Empty when path names nothing.
std::vector<std::string> NameKeysOf(const std::string& path) {
    std::vector<std::string> keys;
    // FindFirstFile would read "*" and "?" as wildcards; no real name holds them.
    if (path.find_first_of("*?") != std::string::npos) {
        return keys;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(path.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return keys;
    }
    FindClose(search);
    keys.push_back(NameKey(entry.cFileName));
    if (entry.cAlternateFileName[0] != '\0') {
        keys.push_back(NameKey(entry.cAlternateFileName));
    }
    return keys;
}

} // namespace

namespace detail {

std::optional<FileId> IdentityOf(const std::string& path) {
    HANDLE h = OpenForQuery(HereIfEmpty(path));
    if (h == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok) {
        return std::nullopt;
    }
    return FileId{info.dwVolumeSerialNumber, Join(info.nFileIndexHigh, info.nFileIndexLow)};
}

std::optional<FileId> FolderIdentity(const std::string& folder) { return IdentityOf(folder); }

bool IdentitiesAreFinal() { return true; }

// A short 8.3 alias can look like nothing of the long name it stands for.
bool MayNameOneFile(const std::string&, const std::string&) { return true; }

// Equal under the name rules, or one of them the short alias of the entry that the other names.
bool SameEntryIn(const std::string&, const std::string& a, const std::string& b) {
    const std::string keyA = NameKey(FileNamePart(a)), keyB = NameKey(FileNamePart(b));
    if (keyA == keyB) {
        return true;
    }
    for (const std::string& key : NameKeysOf(a)) {
        if (key == keyB) return true;
    }
    for (const std::string& key : NameKeysOf(b)) {
        if (key == keyA) return true;
    }
    return false;
}

} // namespace detail

NameRules FolderNameRules(const std::string&) { return NameRules::Windows; }

bool FolderKeepsIdentities(const std::string& folder) {
    // The volume's file system, asked of the folder itself (a mounted folder may be another
    // volume than its drive's).
    HANDLE h = CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    wchar_t system[MAX_PATH + 1] = {};
    const BOOL known = GetVolumeInformationByHandleW(h, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH + 1);
    CloseHandle(h);
    if (!known) return false;
    const std::wstring name(system);
    return name == L"NTFS" || name == L"ReFS";
}

std::string NameKey(const std::string& name, NameRules rules) {
    if (rules == NameRules::Exact) {
        return name;
    }
    std::string trimmed = name;
    while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == ' ')) {
        trimmed.pop_back();
    }
    if (trimmed.empty() || trimmed.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)) {
        return trimmed;
    }
    // Every letter of the ANSI code page in capitals, by the system's invariant table (the one
    // the file system's is made from), not ASCII alone: "é.bif" and "É.BIF" are one file.
    const int length = static_cast<int>(trimmed.size());
    std::wstring wide(trimmed.size(), L'\0');
    const int chars = MultiByteToWideChar(CP_ACP, 0, trimmed.data(), length, wide.data(), length);
    if (chars <= 0) {
        return trimmed;
    }
    std::wstring upper(static_cast<std::size_t>(chars), L'\0');
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), chars, upper.data(), chars) != chars) {
        return trimmed;
    }
    // The key only needs to compare equal for equal names: UTF-8 holds every character.
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, upper.data(), chars, nullptr, 0, nullptr, nullptr);
    std::string key(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, upper.data(), chars, key.data(), bytes, nullptr, nullptr);
    }
    return key;
}

std::string NameKey(const std::string& name) { return NameKey(name, NameRules::Windows); }

namespace {

std::string FullPath(const std::string& path) {
    const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        throw EFOpenError(OpenErrorText(path, GetLastError()));
    }
    std::string full(needed, '\0');
    const DWORD length = GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        throw EFOpenError(OpenErrorText(path, GetLastError()));
    }
    full.resize(length);
    return full;
}

} // namespace

std::string AbsolutePath(const std::string& path) {
    const std::string full = FullPath(path);
    const std::string folder = FolderPart(full);
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        throw EFOpenError(OpenErrorText(folder, ERROR_PATH_NOT_FOUND));
    }
    return full;
}

// The volume compares names itself, so any spelling of the target reaches the same side file.
std::string SideFileFor(const std::string& target, const std::string& kind) {
    const std::string full = FullPath(target);
    return JoinPath(FolderPart(full), SideFileName(FileNamePart(full), kind, kHostPathSystem));
}

bool NamesStream(const std::string& path) {
    // "\\?\C:\..." passes the path to the file system as it stands: the drive follows.
    std::size_t from = path.rfind("\\\\?\\", 0) == 0 ? 4 : 0;
    if (path.size() >= from + 2 && path[from + 1] == ':') {
        from += 2;
    }
    return path.find(':', from) != std::string::npos;
}

void SyncFolder(const std::string&) {}

std::vector<std::string> EntriesIn(const std::string& folder, const std::function<bool(std::string_view)>& wanted) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileExA(JoinPath(HereIfEmpty(folder), "*").c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return found;
    do {
        const std::string_view name = data.cFileName;
        if (name != "." && name != ".." && wanted(name)) found.push_back(JoinPath(folder, name));
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return found;
}

// ----- FileLock --------------------------------------------------------------------------------

FileLock::FileLock(std::intptr_t handle, std::string path, bool leftBehind)
    : handle_(handle), path_(std::move(path)), leftBehind_(leftBehind) {}

FileLock::FileLock(FileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, FromHandle(INVALID_HANDLE_VALUE))),
      path_(std::move(other.path_)),
      leftBehind_(other.leftBehind_) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = std::exchange(other.handle_, FromHandle(INVALID_HANDLE_VALUE));
        path_ = std::move(other.path_);
        leftBehind_ = other.leftBehind_;
    }
    return *this;
}

FileLock::~FileLock() { Release(); }

void FileLock::Release() noexcept {
    if (AsHandle(handle_) != INVALID_HANDLE_VALUE) {
        CloseHandle(AsHandle(std::exchange(handle_, FromHandle(INVALID_HANDLE_VALUE))));
    }
}

std::optional<FileLock> FileLock::TryAcquire(const std::string& path) {
    // Opened with no sharing: while one handle holds it no other can open it, and the file goes
    // with the last handle, also when the process is killed. The entry itself is opened, never
    // what a link there points to, and only an ordinary file is taken for a lock: a link or a
    // folder at the name is refused before it could be marked for deletion.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // Held by another handle; a lock file that its holder has just let go is refused with
        // access denied until the system has deleted it.
        if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
            (code == ERROR_ACCESS_DENIED && PathExists(path) &&
             (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0)) {
            return std::nullopt;
        }
        if (code == ERROR_ACCESS_DENIED && LookAt(path)) {
            throw EUntrustedFile(detail::UntrustedNameMessage(path, WhatStandsAt(path)));
        }
        throw EFCreateError(CreateErrorText(path, code));
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || OpenedThroughLink(h, path)) {
        CloseHandle(h);
        throw EUntrustedFile(detail::UntrustedNameMessage(path, WhatStandsAt(path)));
    }
    // Deleted when the last handle goes, as FILE_FLAG_DELETE_ON_CLOSE would, but only now that
    // it is known to be an ordinary file.
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) {
        const DWORD code = GetLastError();
        CloseHandle(h);
        throw EFCreateError(CreateErrorText(path, code));
    }
    return FileLock(FromHandle(h), path);
}

bool CanListFolder(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileExA(JoinPath(HereIfEmpty(folder), "*").c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return true;
}

} // namespace vellocar::platform
