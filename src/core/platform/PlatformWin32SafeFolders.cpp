// Held folders on Windows. The folder is opened as itself (no reparse point followed) and held
// with its contents readable and writable by others but never deletable: while the handle lives
// nobody can rename, delete or replace it with a link. The ...A functions take no folder handle
// to act relative to, so each act is done by the joined path, after a check that the path still
// leads to the folder held: Wine lets a Unix program move a folder whatever Windows handles say,
// and shows a Unix link as the folder it points to (reparse attribute and all gone), which only
// the handle's final name and identity give away.

#include "platform/SafeFolders.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "PlatformWin32Detail.h"

#include <utility>

namespace vellocar::platform {

using namespace win32;

namespace {

// Enough to list the folder and make names in it, and with data access, so that the share mode
// below is enforced against everyone who opens it after (a handle without data access would
// impose none).
constexpr DWORD kHeldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// No FILE_SHARE_DELETE: the folder cannot be renamed or removed while it is held.
constexpr DWORD kHeldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

constexpr const char* kNoLongerThere =
    "The folder it goes into was moved or replaced after Vellocar opened it; nothing was written there";

std::optional<std::string> FinalPathOf(HANDLE h) {
    char final[4 * MAX_PATH];
    const DWORD length = GetFinalPathNameByHandleA(h, final, sizeof final, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= sizeof final) return std::nullopt;
    return std::string(final, length);
}

// Where path really is: its handle's final name, or nothing when the system cannot say.
std::optional<std::string> FinalPath(const std::string& path) {
    const HANDLE h = OpenForQuery(path);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    auto final = FinalPathOf(h);
    CloseHandle(h);
    return final;
}

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return FileId{info.dwVolumeSerialNumber, Join(info.nFileIndexHigh, info.nFileIndexLow)};
}

// A folder opened at path, or why it is no folder of its own. With follow, a link at its name is
// the user's and followed.
struct TOpenedFolder {
    HANDLE Handle = INVALID_HANDLE_VALUE;
    FileId Id;
    DWORD Error = 0; // the system's code when it could not be opened at all
    std::string Refusal; // why it is not a folder of its own
    bool Link = false; // the refusal is for a link
};

TOpenedFolder OpenFolder(const std::string& path, bool follow) {
    TOpenedFolder opened;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    opened.Handle =
        CreateFileA(HereIfEmpty(path).c_str(), kHeldAccess, kHeldSharing, nullptr, OPEN_EXISTING, flags, nullptr);
    if (opened.Handle == INVALID_HANDLE_VALUE) {
        opened.Error = GetLastError();
        return opened;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(opened.Handle, &info)) {
        opened.Error = GetLastError();
    } else if (!follow && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        opened.Refusal = Quoted(path) + " is a link or a junction (a reparse point), not a folder of its own";
        opened.Link = true;
    } else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        opened.Refusal = Quoted(path) + " is a file, not a folder";
    } else {
        opened.Id = IdOf(info);
        const std::string name = FileNamePart(path);
        if (!follow && !name.empty() && name != "." && name != "..") {
            const auto above = FinalPath(FolderOf(path));
            const auto here = FinalPathOf(opened.Handle);
            if (above && here && NameKey(*here) != NameKey(JoinPath(*above, name))) {
                opened.Refusal = Quoted(path) + " is a link to " + QuotedPath(*here) + ", not a folder of its own";
                opened.Link = true;
            }
        }
    }
    if (opened.Error != 0 || !opened.Refusal.empty()) {
        CloseHandle(opened.Handle);
        opened.Handle = INVALID_HANDLE_VALUE;
    }
    return opened;
}

} // namespace

HeldFolder::HeldFolder(std::intptr_t handle, std::string path, FileId id)
    : handle_(handle), path_(std::move(path)), id_(id) {}

HeldFolder::HeldFolder(HeldFolder&& other) noexcept
    : handle_(std::exchange(other.handle_, FromHandle(INVALID_HANDLE_VALUE))),
      path_(std::move(other.path_)),
      id_(other.id_) {}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        if (AsHandle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(AsHandle(handle_));
        handle_ = std::exchange(other.handle_, FromHandle(INVALID_HANDLE_VALUE));
        path_ = std::move(other.path_);
        id_ = other.id_;
    }
    return *this;
}

HeldFolder::~HeldFolder() {
    if (AsHandle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(AsHandle(handle_));
}

namespace {

// The folder at path held open, or the error that says why not.
TOpenedFolder OpenChecked(std::string& path, bool follow) {
    path = TrimSeparators(path, kHostPathSystem);
    // "C:" alone is the working folder of drive C; "C:\" is its root.
    if (path.size() == 2 && path[1] == ':') path += '\\';
    TOpenedFolder opened = OpenFolder(path, follow);
    if (opened.Error != 0) throw EFOpenError(OpenErrorText(path, opened.Error));
    if (opened.Link) throw EUntrustedFile(opened.Refusal + "; Vellocar does not act through it");
    if (!opened.Refusal.empty()) throw EFOpenError(OpenErrorText(path, ERROR_DIRECTORY));
    return opened;
}

} // namespace

HeldFolder HeldFolder::Open(const std::string& path) {
    std::string trimmed = path;
    const TOpenedFolder opened = OpenChecked(trimmed, false);
    return HeldFolder(FromHandle(opened.Handle), std::move(trimmed), opened.Id);
}

HeldFolder HeldFolder::OpenChosen(const std::string& path) {
    std::string trimmed = path;
    const TOpenedFolder opened = OpenChecked(trimmed, true);
    return HeldFolder(FromHandle(opened.Handle), std::move(trimmed), opened.Id);
}

std::variant<HeldFolder, std::string> HeldFolder::MakeBelow(std::string_view name) const {
    const std::string path = PathOf(name);
    if (!StillAtPath()) throw EFCreateError(CannotCreateMessage(path, kNoLongerThere));
    if (!CreateDirectoryA(path.c_str(), nullptr)) {
        const DWORD code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS) throw EFCreateError(CreateErrorText(path, code));
    }
    TOpenedFolder opened = OpenFolder(path, false);
    if (!opened.Refusal.empty()) return std::move(opened.Refusal);
    if (opened.Error != 0) throw EFCreateError(CreateErrorText(path, opened.Error));
    return HeldFolder(FromHandle(opened.Handle), path, opened.Id);
}

std::string HeldFolder::PathOf(std::string_view name) const { return JoinPath(path_, name); }

bool HeldFolder::StillAtPath() const {
    const HANDLE h = OpenForQuery(HereIfEmpty(path_));
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool same = GetFileInformationByHandle(h, &info) && IdOf(info) == id_;
    CloseHandle(h);
    return same;
}

std::optional<EntryFacts> HeldFolder::LookAt(std::string_view name) const {
    const std::string path = PathOf(name);
    if (!StillAtPath()) throw EFOpenError(CannotOpenMessage(path, kNoLongerThere));
    return platform::LookAt(path);
}

File HeldFolder::CreateNew(std::string_view name) const {
    const std::string path = PathOf(name);
    if (!StillAtPath()) throw EFCreateError(CannotCreateMessage(path, kNoLongerThere));
    return File::CreateNew(path);
}

File HeldFolder::Create(std::string_view name) const {
    const std::string path = PathOf(name);
    if (!StillAtPath()) throw EFCreateError(CannotCreateMessage(path, kNoLongerThere));
    return File::Create(path);
}

File HeldFolder::OpenRead(std::string_view name) const {
    const std::string path = PathOf(name);
    if (!StillAtPath()) throw EFOpenError(CannotOpenMessage(path, kNoLongerThere));
    return File::OpenOwn(path);
}

bool HeldFolder::Remove(std::string_view name) const { return StillAtPath() && RemoveFile(PathOf(name)); }

void HeldFolder::Rename(std::string_view from, std::string_view to, bool replace) const {
    if (!StillAtPath()) throw EInOutError("Invalid filename", static_cast<int>(ERROR_PATH_NOT_FOUND));
    RenameFile(PathOf(from), PathOf(to), replace);
}

void HeldFolder::Sync() const {}

} // namespace vellocar::platform
