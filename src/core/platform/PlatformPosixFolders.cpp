// How a folder on Linux compares names (learned from the file system, or by a probe), the
// identity of files and folders, the files a build keeps beside its targets, folder syncs and
// locks.

#include "platform/Platform.h"
#include "PlatformDetail.h"

#include "base/Errors.h"
#include "names/Names.h"
#include "names/SideFileNames.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace vellocar::platform {

using detail::FileId;

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

// File system types as statfs reports them.
constexpr long kMsdosMagic = 0x4d44; // FAT, vfat
constexpr long kExfatMagic = 0x2011BAB0;
constexpr long kExt4Magic = 0xEF53; // ext2, ext3 and ext4
constexpr long kF2fsMagic = 0xF2F52010;
constexpr long kTmpfsMagic = 0x01021994;
constexpr long kBtrfsMagic = 0x9123683E;
constexpr long kXfsMagic = 0x58465342;
constexpr long kOverlayMagic = 0x794c7630;
constexpr long kSquashfsMagic = 0x73717368;
constexpr long kRamfsMagic = 0x858458f6;

// What the file system says of a folder's names without a probe.
enum class CaseKnowledge { Exact, Folds, Unknown };

CaseKnowledge AskFileSystem(const std::string& folder) {
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0) return CaseKnowledge::Unknown;
    switch (static_cast<long>(fs.f_type)) {
        case kMsdosMagic:
        case kExfatMagic:
            return CaseKnowledge::Folds;
        case kExt4Magic:
        case kF2fsMagic:
        case kTmpfsMagic: {
            // These fold case only in folders that carry the case-folding flag.
            int flags = 0;
            const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) return CaseKnowledge::Exact;
            const bool read = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
            ::close(fd);
            return read && (flags & FS_CASEFOLD_FL) != 0 ? CaseKnowledge::Folds : CaseKnowledge::Exact;
        }
        case kBtrfsMagic:
        case kXfsMagic:
        case kOverlayMagic:
        case kSquashfsMagic:
        case kRamfsMagic:
            return CaseKnowledge::Exact;
        default: // FUSE (ntfs-3g, fusefat), network shares and the rest: it depends on the mount
            return CaseKnowledge::Unknown;
    }
}

// Whether a file made in folder under a name of small letters answers to the same name in
// capitals. Nothing when no file can be made there.
std::optional<bool> ProbeFolding(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    constexpr int kAttempts = 8; // names that something else already holds are passed over
    std::string name, path;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < kAttempts; ++attempt) {
        name = ".vellocar-case-probe-";
        name += std::to_string(::getpid());
        name += '-';
        name += std::to_string(counter.fetch_add(1));
        path = JoinPath(folder, name);
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) return std::nullopt;
    }
    if (fd < 0) return std::nullopt;
    ::close(fd);
    std::string capitals = name;
    for (char& c : capitals) c = UpperAscii(c);
    struct stat st {};
    const bool folds = ::lstat(JoinPath(folder, capitals).c_str(), &st) == 0;
    ::unlink(path.c_str());
    return folds;
}

// The folder with links resolved and, inside file systems that may fold case, each part
// spelled as its folder stores it; nothing when the folder does not exist.
std::optional<std::string> CanonicalFolder(const std::string& folder) {
    char* real = ::realpath(HereIfEmpty(folder).c_str(), nullptr);
    if (!real) return std::nullopt;
    const std::string resolved = real;
    std::free(real);
    std::string canonical;
    std::size_t pos = 1;
    while (pos <= resolved.size()) {
        std::size_t next = resolved.find('/', pos);
        if (next == std::string::npos) next = resolved.size();
        std::string part = resolved.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty()) continue;
        const std::string parent = canonical.empty() ? "/" : canonical;
        if (AskFileSystem(parent) != CaseKnowledge::Exact) {
            // realpath keeps the spelling it was given: the stored one is what every run sees.
            if (DIR* dir = ::opendir(parent.c_str())) {
                std::optional<std::string> stored;
                const std::string key = WindowsNameKey(part);
                while (const dirent* entry = ::readdir(dir)) {
                    if (part == entry->d_name) {
                        stored.reset();
                        break;
                    }
                    if (!stored && WindowsNameKey(entry->d_name) == key) stored = entry->d_name;
                }
                ::closedir(dir);
                if (stored) part = *stored;
            }
        }
        canonical += '/';
        canonical += part;
    }
    return canonical.empty() ? "/" : canonical;
}

} // namespace

bool FolderKeepsIdentities(const std::string& folder) {
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0) return false;
    switch (static_cast<long>(fs.f_type)) {
        case kExt4Magic:
        case kF2fsMagic:
        case kTmpfsMagic:
        case kBtrfsMagic:
        case kXfsMagic:
        case kRamfsMagic:
            return true;
        default: // FAT and exFAT number files by where they stand; FUSE and shares as they please
            return false;
    }
}

NameRules FolderNameRules(const std::string& folder) {
    const std::string at = HereIfEmpty(folder);
    switch (AskFileSystem(at)) {
        case CaseKnowledge::Folds:
            return NameRules::Windows;
        case CaseKnowledge::Exact:
            return NameRules::Exact;
        case CaseKnowledge::Unknown:
            break;
    }
    // A probe writes a file, so its answer is kept for the folder (by identity, so that a
    // stick mounted at the same place later is asked afresh).
    static std::mutex mutex;
    static std::map<FileId, NameRules> known;
    const auto id = detail::IdentityOf(at);
    if (!id) return NameRules::Exact;
    const std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = known.find(*id); found != known.end()) return found->second;
    const auto folds = ProbeFolding(at);
    if (!folds) return NameRules::Exact;
    const NameRules rules = *folds ? NameRules::Windows : NameRules::Exact;
    known.emplace(*id, rules);
    return rules;
}

namespace detail {

std::optional<FileId> IdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(HereIfEmpty(path).c_str(), &st) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<FileId> FolderIdentity(const std::string& folder) {
    // Canonical first: some FUSE file systems number each spelling of a folder apart.
    const auto canonical = CanonicalFolder(folder);
    return canonical ? IdentityOf(*canonical) : std::nullopt;
}

bool IdentitiesAreFinal() { return false; }

bool MayNameOneFile(const std::string& nameA, const std::string& nameB) {
    return WindowsNameKey(nameA) == WindowsNameKey(nameB);
}

bool SameEntryIn(const std::string& folder, const std::string& a, const std::string& b) {
    // One of them absent (or both spelled alike): a file made under either is the same.
    if (FileNamePart(a) == FileNamePart(b)) return true;
    const auto canonical = CanonicalFolder(folder);
    return canonical && FolderNameRules(*canonical) == NameRules::Windows;
}

} // namespace detail

std::string NameKey(const std::string& name, NameRules rules) {
    return rules == NameRules::Windows ? WindowsNameKey(name) : name;
}

std::string NameKey(const std::string& name) { return name; }

std::string AbsolutePath(const std::string& path) {
    const auto folder = CanonicalFolder(FolderOf(path));
    if (!folder) throw EFOpenError(CannotOpenMessage(FolderOf(path), SystemErrorText(ENOENT)));
    return JoinPath(*folder, FileNamePart(path));
}

std::string SideFileFor(const std::string& target, const std::string& kind) {
    // A folder that does not exist keeps its spelling: whatever is made there fails as it should.
    const std::string folder = CanonicalFolder(FolderOf(target)).value_or(FolderOf(target));
    return JoinPath(folder, SideFileName(FileNamePart(target), kind, kHostPathSystem));
}

std::vector<std::string> EntriesIn(const std::string& folder, const std::function<bool(std::string_view)>& wanted) {
    std::vector<std::string> found;
    DIR* dir = ::opendir(HereIfEmpty(folder).c_str());
    if (!dir) return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && wanted(name)) found.push_back(JoinPath(folder, name));
    }
    ::closedir(dir);
    return found;
}

bool NamesStream(const std::string& path) { return FileNamePart(path).find(':') != std::string::npos; }

void SyncFolder(const std::string& folder) {
    const int fd = ::open(HereIfEmpty(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// ------------------------------------------------------------------------------- FileLock

FileLock::FileLock(std::intptr_t handle, std::string path, bool leftBehind)
    : handle_(handle), path_(std::move(path)), leftBehind_(leftBehind) {}

FileLock::FileLock(FileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)), leftBehind_(other.leftBehind_) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
        leftBehind_ = other.leftBehind_;
    }
    return *this;
}

FileLock::~FileLock() { Release(); }

void FileLock::Release() noexcept {
    if (handle_ < 0) return;
    // Removed while still held, so that whoever opens the name next makes a fresh lock file;
    // one who opened the old one meanwhile sees it is gone once it gets the lock (below). Only
    // the file held is removed, whatever may have taken its name since.
    struct stat held {
    }, named{};
    if (::fstat(Fd(handle_), &held) == 0 && ::lstat(path_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino)
        ::unlink(path_.c_str());
    ::close(Fd(handle_));
    handle_ = -1;
}

std::optional<FileLock> FileLock::TryAcquire(const std::string& path) {
    for (;;) {
        struct stat before {};
        const bool existed = ::lstat(path.c_str(), &before) == 0;
        // Never through a link, and without waiting on a FIFO: only an ordinary file is a lock.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EINTR) continue;
            if (errno == ELOOP || errno == EISDIR || errno == ENXIO)
                throw EUntrustedFile(detail::UntrustedNameMessage(path, WhatStandsAt(path)));
            throw EFCreateError(CannotCreateMessage(path, SystemErrorText(errno)));
        }
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            throw EUntrustedFile(detail::UntrustedNameMessage(path, WhatStandsAt(path)));
        }
        int locked = ::flock(fd, LOCK_EX | LOCK_NB);
        if (locked != 0 && (errno == EOPNOTSUPP || errno == ENOLCK || errno == EINVAL)) {
            // Some network file systems lock only through fcntl.
            struct flock range {};
            range.l_type = F_WRLCK;
            range.l_whence = SEEK_SET;
            locked = ::fcntl(fd, F_SETLK, &range);
        }
        if (locked != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK || err == EAGAIN || err == EACCES || err == EINTR) return std::nullopt;
            throw EInOutError("Cannot lock " + Quoted(path) + ": " + SystemErrorText(err), err);
        }
        // The holder before us removes the lock file as it lets go: a lock on a file that is no
        // longer at the name guards nothing, so start over with the name as it is now.
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return FileLock(fd, path, existed && before.st_dev == held.st_dev && before.st_ino == held.st_ino);
        ::close(fd);
    }
}

} // namespace vellocar::platform
