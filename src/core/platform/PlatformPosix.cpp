// The file system on Linux and other POSIX systems.

#include "Platform.h"

#include "ArchiveNames.h"
#include "Errors.h"
#include "Names.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vellocar::platform {

namespace {

// Copies through user space move at most this much at a time.
constexpr std::size_t kCopyChunk = 256 * 1024;
// How often Create retries when another name keeps appearing where it just removed one.
constexpr int kCreateAttempts = 8;

constexpr const char* kNotARegularFile = "The name stands for a FIFO, device or socket, not an ordinary file";

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

std::string OpenMessage(const std::string& path, int code) { return CannotOpenMessage(path, SystemErrorText(code)); }

std::string CreateMessage(const std::string& path, int code) {
    return CannotCreateMessage(path, SystemErrorText(code));
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

} // namespace

std::string SystemErrorText(int code) { return std::strerror(code); }

// ---------------------------------------------------------------------------------- File

File::File(std::intptr_t handle, std::string path, std::optional<std::uint64_t> sizeAtOpen)
    : handle_(handle), path_(std::move(path)), sizeAtOpen_(sizeAtOpen) {}

File::File(File&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)), sizeAtOpen_(other.sizeAtOpen_) {
    other.handle_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) ::close(Fd(handle_));
        handle_ = other.handle_;
        path_ = std::move(other.path_);
        sizeAtOpen_ = other.sizeAtOpen_;
        other.handle_ = -1;
    }
    return *this;
}

File::~File() {
    if (handle_ >= 0) ::close(Fd(handle_));
}

File File::OpenRead(const std::string& path) {
    // Opened without blocking: a FIFO that a KEY names (or that is chosen as one) would
    // otherwise wait for a writer forever. Only an ordinary file is kept, as on Windows, where
    // a device is refused the same way; its reads then block as usual.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw EFOpenError(OpenMessage(path, errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw EFOpenError(OpenMessage(path, err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode)) throw EFOpenError(OpenMessage(path, EISDIR));
        throw EFOpenError(CannotOpenMessage(path, kNotARegularFile));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int err = errno;
        ::close(fd);
        throw EFOpenError(OpenMessage(path, err));
    }
    return File(fd, path, static_cast<std::uint64_t>(st.st_size));
}

File File::Create(const std::string& path) {
    // O_EXCL together with O_NOFOLLOW never opens what already stands at the name, so a link
    // planted there cannot redirect the write; whatever is there is removed and replaced.
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) return File(fd, path);
        const int err = errno;
        if (err == EINTR) continue;
        if (err != EEXIST) throw EFCreateError(CreateMessage(path, err));
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw EFCreateError(CreateMessage(path, errno));
    }
    throw EFCreateError(CreateMessage(path, EEXIST));
}

std::size_t File::ReadSome(void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(Fd(handle_), buffer, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw EReadError(StreamErrorMessage(false, path_, errno));
    }
}

void File::WriteAll(const void* buffer, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::write(Fd(handle_), p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EWriteError(StreamErrorMessage(true, path_, n < 0 ? errno : 0));
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void File::CopyFrom(File& source, std::uint64_t sourceOffset, std::uint64_t size) {
    // First let the kernel move the bytes; where it cannot (another file system, an old
    // kernel, a special file) or fails part-way, the rest goes through a bounded buffer, whose
    // reads and writes then report the real fault.
    auto offset = static_cast<off_t>(sourceOffset);
    while (size > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, kCopyChunk * 16));
        const ssize_t n = ::copy_file_range(Fd(source.handle_), &offset, Fd(handle_), nullptr, want, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // error or end of the source: let the buffered copy tell which
        size -= static_cast<std::uint64_t>(n);
    }
    if (size == 0) return;

    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, kCopyChunk)));
    while (size > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
        const ssize_t n = ::pread(Fd(source.handle_), buffer.data(), want, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EReadError(StreamErrorMessage(false, source.path_, errno));
        if (n == 0) throw EReadError("Stream read error");
        WriteAll(buffer.data(), static_cast<std::size_t>(n));
        offset += n;
        size -= static_cast<std::uint64_t>(n);
    }
}

void File::Seek(std::uint64_t offset) {
    if (::lseek(Fd(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) throw EReadError("Stream read error");
}

std::uint64_t File::Size() const {
    if (sizeAtOpen_) return *sizeAtOpen_;
    struct stat st {};
    if (::fstat(Fd(handle_), &st) != 0) throw EReadError("Stream read error");
    return static_cast<std::uint64_t>(st.st_size);
}

void File::Flush() {
    if (::fsync(Fd(handle_)) != 0 && errno != EINVAL && errno != EROFS)
        throw EWriteError(StreamErrorMessage(true, path_, errno));
}

void File::Close() {
    if (handle_ < 0) return;
    const int fd = Fd(handle_);
    handle_ = -1;
    // Linux closes the descriptor even when close reports EINTR, so it is never retried.
    if (::close(fd) != 0 && errno != EINTR) throw EWriteError(StreamErrorMessage(true, path_, errno));
}

// ------------------------------------------------------------------------- paths and names

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::optional<PathInfo> Stat(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    PathInfo info;
    info.IsRegular = S_ISREG(st.st_mode);
    info.IsDirectory = S_ISDIR(st.st_mode);
    if (info.IsRegular) info.Size = static_cast<std::uint64_t>(st.st_size);
    return info;
}

bool RemoveFile(const std::string& path) noexcept { return ::unlink(path.c_str()) == 0; }

void RenameFile(const std::string& from, const std::string& to, bool replace) {
    int result;
    if (replace) {
        result = ::rename(from.c_str(), to.c_str());
    } else {
        result = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // The file system cannot rename without replacing: a hard link fails on an existing
            // name just the same, and it then only remains to drop the old name.
            result = ::link(from.c_str(), to.c_str());
            if (result == 0) {
                ::unlink(from.c_str());
            } else if (errno != EEXIST && !PathExists(to)) {
                // Nor hard links (FAT and the like): look first, then rename.
                result = ::rename(from.c_str(), to.c_str());
            } else if (errno != EEXIST) {
                errno = EEXIST;
            }
        }
    }
    if (result == 0) return;
    const int err = errno;
    switch (err) {
        case ENOENT:
            throw EInOutError("File not found", err);
        case ENOTDIR:
        case ENAMETOOLONG:
            throw EInOutError("Invalid filename", err);
        case EMFILE:
        case ENFILE:
            throw EInOutError("Too many open files", err);
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
            throw EInOutError("File access denied", err);
        default:
            throw EInOutError("I/O error " + std::to_string(err) + " (" + SystemErrorText(err) + ")", err);
    }
}

void CreateDirectories(const std::string& path) {
    std::string current;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        const std::size_t next = path.find('/', pos);
        const std::size_t end = next == std::string::npos ? path.size() : next;
        current = path.substr(0, end);
        if (!current.empty() && ::mkdir(current.c_str(), 0777) != 0 && errno != EEXIST)
            throw EFCreateError(CreateMessage(current, errno));
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    const auto info = Stat(path);
    if (!info || !info->IsDirectory) throw EFCreateError(CreateMessage(path, ENOTDIR));
}

namespace {

struct FileId {
    dev_t Device;
    ino_t Inode;
    auto operator<=>(const FileId&) const = default;
};

// The identity of what path names (a link counts as what it points to); none when nothing does.
std::optional<FileId> IdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.empty() ? "." : path.c_str(), &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

// Whether a last part names an entry of its folder: "", "." and ".." name the folder itself or
// its parent, which are compared by identity only.
bool IsEntryName(const std::string& name) { return !name.empty() && name != "." && name != ".."; }

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
    std::string name = ".vellocar-case-probe-";
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(counter.fetch_add(1));
    const std::string path = JoinPath(folder, name);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
    char* real = ::realpath(folder.empty() ? "." : folder.c_str(), nullptr);
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

NameRules FolderNameRules(const std::string& folder) {
    const std::string at = folder.empty() ? "." : folder;
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
    const auto id = IdentityOf(at);
    if (!id) return NameRules::Exact;
    const std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = known.find(*id); found != known.end()) return found->second;
    const auto folds = ProbeFolding(at);
    if (!folds) return NameRules::Exact;
    const NameRules rules = *folds ? NameRules::Windows : NameRules::Exact;
    known.emplace(*id, rules);
    return rules;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    const auto idA = IdentityOf(a), idB = IdentityOf(b);
    if (idA && idB && *idA == *idB) return true;
    const std::string nameA = FileNamePart(a), nameB = FileNamePart(b);
    // Names that no rules make equal are two files, whatever their folders.
    if (!IsEntryName(nameA) || !IsEntryName(nameB) || WindowsNameKey(nameA) != WindowsNameKey(nameB)) return false;
    const auto folderA = CanonicalFolder(FolderOf(a)), folderB = CanonicalFolder(FolderOf(b));
    if (!folderA || !folderB) return false;
    if (*folderA != *folderB) {
        const auto idFolderA = IdentityOf(*folderA), idFolderB = IdentityOf(*folderB);
        if (!idFolderA || !idFolderB || *idFolderA != *idFolderB) return false;
    }
    if (nameA == nameB) return true; // one of them absent: a file made under either is the same
    return FolderNameRules(*folderA) == NameRules::Windows;
}

std::string NameKey(const std::string& name, NameRules rules) {
    return rules == NameRules::Windows ? WindowsNameKey(name) : name;
}

std::string NameKey(const std::string& name) { return name; }

std::string AbsolutePath(const std::string& path) {
    const auto folder = CanonicalFolder(FolderOf(path));
    if (!folder) throw EFOpenError(OpenMessage(FolderOf(path), ENOENT));
    return JoinPath(*folder, FileNamePart(path));
}

std::string SideFileFor(const std::string& target, const std::string& kind) {
    // A folder that does not exist keeps its spelling: whatever is made there fails as it should.
    const std::string folder = CanonicalFolder(FolderOf(target)).value_or(FolderOf(target));
    // One spelling for every spelling of the target: on a folder that folds case two spellings
    // are one KEY, and some file systems would give each spelling of the lock a lock of its own.
    std::string name = ".";
    name += WindowsNameKey(FileNamePart(target));
    name += '.';
    name += kind;
    return JoinPath(folder, name);
}

bool NamesStream(const std::string& path) { return FileNamePart(path).find(':') != std::string::npos; }

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// ------------------------------------------------------------------------------- FileLock

FileLock::FileLock(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}

FileLock::FileLock(FileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

FileLock::~FileLock() { Release(); }

void FileLock::Release() noexcept {
    if (handle_ < 0) return;
    // Removed while still held, so that whoever opens the name next makes a fresh lock file;
    // one who opened the old one meanwhile sees it is gone once it gets the lock (below).
    ::unlink(path_.c_str());
    ::close(Fd(handle_));
    handle_ = -1;
}

std::string FileLock::Noted() const {
    constexpr std::size_t kMaxNote = 64 * 1024;
    std::string text(kMaxNote, '\0');
    const ssize_t n = ::pread(Fd(handle_), text.data(), text.size(), 0);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

void FileLock::Note(const std::string& text) {
    // Best effort: a lock that holds no note still locks.
    if (::ftruncate(Fd(handle_), 0) == 0 && ::pwrite(Fd(handle_), text.data(), text.size(), 0) < 0) return;
}

std::optional<FileLock> FileLock::TryAcquire(const std::string& path) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EINTR) continue;
            throw EFCreateError(CreateMessage(path, errno));
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
            throw EInOutError("Cannot lock \"" + path + "\": " + SystemErrorText(err), err);
        }
        // The holder before us removes the lock file as it lets go: a lock on a file that is no
        // longer at the name guards nothing, so start over with the name as it is now.
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return FileLock(fd, path);
        ::close(fd);
    }
}

std::vector<std::string> ListPlainFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;
        // An entry the folder itself reports as a regular file is one; anything else is looked
        // at: a link counts as what it points to, and a FIFO or device must never be opened by
        // a build. (Some file systems report no types at all.)
        if (entry->d_type == DT_REG) {
            names.push_back(name);
            continue;
        }
        if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) continue;
        const auto info = Stat(JoinPath(folder, name));
        if (info && info->IsRegular) names.push_back(name);
    }
    ::closedir(dir);
    // In the order of the names as an archive holds them (Windows-1252), which is what the
    // Windows listing sorts: "é" (e9) then follows "Œ" (8c) here too, not as UTF-8 would have it.
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(names.size());
    for (std::string& name : names) keyed.emplace_back(ArchiveNameOf(name).value_or(name), std::move(name));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (FolderOrderLess(a.first, b.first)) return true;
        return !FolderOrderLess(b.first, a.first) && a.second < b.second;
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) names[i] = std::move(keyed[i].second);
    return names;
}

std::string ResolveStoredName(const std::string& keyFolder, const std::string& storedName) {
    std::string current = keyFolder;
    std::size_t pos = 0;
    bool searching = true; // once a part is not found at all, the rest is taken as stored
    while (pos <= storedName.size()) {
        std::size_t next = storedName.find_first_of("\\/", pos);
        if (next == std::string::npos) next = storedName.size();
        const std::string part = storedName.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty()) {
            if (next == storedName.size()) break;
            continue;
        }
        std::string candidate = JoinPath(current, part);
        if (searching && !PathExists(candidate)) {
            std::vector<std::string> matches;
            if (DIR* dir = ::opendir(current.empty() ? "." : current.c_str())) {
                while (const dirent* entry = ::readdir(dir))
                    if (EqualIgnoringCase(entry->d_name, part)) matches.emplace_back(entry->d_name);
                ::closedir(dir);
            }
            if (matches.empty()) {
                searching = false;
            } else {
                std::sort(matches.begin(), matches.end(), FolderOrderLess);
                candidate = JoinPath(current, matches.front());
            }
        }
        current = std::move(candidate);
    }
    if (current == keyFolder) return JoinPath(keyFolder, storedName);
    return current;
}

std::string FolderPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string FileNamePart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TemporaryNameBeside(const std::string& target) {
    // A hidden name in the same folder, so that the final move is a rename on one file system
    // and a folder listing never picks the temporary file up.
    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderPart(target);
    // Built by appending: GCC 12 warns falsely about a string prepended to a temporary.
    std::string base = ".";
    base += FileNamePart(target);
    base += '.';
    base += std::to_string(::getpid());
    base += '-';
    for (;;) {
        std::string name = base;
        name += std::to_string(counter.fetch_add(1));
        name += ".tmp";
        const std::string candidate = folder.empty() ? name : JoinPath(folder, name);
        if (!PathExists(candidate)) return candidate;
    }
}

LocalDate Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    LocalDate date;
    date.YearsSince1900 = static_cast<std::uint32_t>(local.tm_year);
    date.DayOfYear = static_cast<std::uint32_t>(local.tm_yday);
    return date;
}

} // namespace vellocar::platform
