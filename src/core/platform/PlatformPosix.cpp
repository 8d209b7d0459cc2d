// The file system on Linux and other POSIX systems: files, paths, folder listings and the clock.
// How a folder compares names, file identity and locks are in PlatformPosixFolders.cpp.

#include "platform/Platform.h"

#include "base/Errors.h"
#include "names/ArchiveNames.h"
#include "names/Names.h"
#include "PlatformDetail.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <utility>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
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

namespace {

// An ordinary file opened for reading and its size.
struct TOpened {
    int Fd = -1;
    std::uint64_t Size = 0;
};

// Opens name relative to the folder at (path names it for messages) for reading: without
// blocking, since a FIFO that a KEY names (or that is chosen as one) would otherwise wait for a
// writer forever, and kept only when it is an ordinary file, as on Windows, where a device is
// refused the same way. On an ordinary file the flag changes nothing (its reads wait for the
// disk all the same), so it stays.
TOpened OpenOrdinary(int at, const char* name, const std::string& path) {
    int fd;
    do {
        fd = ::openat(at, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    return {fd, static_cast<std::uint64_t>(st.st_size)};
}

} // namespace

File File::OpenRead(const std::string& path) {
    const TOpened opened = OpenOrdinary(AT_FDCWD, path.c_str(), path);
    return File(opened.Fd, path, opened.Size);
}

int detail::OpenOwnAt(int at, const char* name, const std::string& path, std::uint64_t& size) {
    int fd;
    do {
        fd = ::openat(at, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == ELOOP) throw EUntrustedFile(detail::UntrustedNameMessage(path, "a symbolic link"));
    if (fd < 0) throw EFOpenError(OpenMessage(path, errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EUntrustedFile(detail::UntrustedNameMessage(path, WhatStandsAt(path)));
    }
    // An ordinary file: not blocking changes nothing for it (see OpenRead).
    size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

File File::OpenOwn(const std::string& path) {
    std::uint64_t size = 0;
    const int fd = detail::OpenOwnAt(AT_FDCWD, path.c_str(), path, size);
    return File(fd, path, size);
}

int detail::CreateNewAt(int at, const char* name, const std::string& path) {
    for (;;) {
        const int fd = ::openat(at, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno == EINTR) continue;
        if (errno == EEXIST) throw EUntrustedFile(detail::UntrustedNameMessage(path, WhatStandsAt(path)));
        throw EFCreateError(CreateMessage(path, errno));
    }
}

File File::CreateNew(const std::string& path) { return File(detail::CreateNewAt(AT_FDCWD, path.c_str(), path), path); }

int detail::CreateAt(int at, const char* name, const std::string& path) {
    // O_EXCL together with O_NOFOLLOW never opens what already stands at the name, so a link
    // planted there cannot redirect the write; whatever is there is removed and replaced.
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const int fd = ::openat(at, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        const int err = errno;
        if (err == EINTR) continue;
        if (err != EEXIST) throw EFCreateError(CreateMessage(path, err));
        if (::unlinkat(at, name, 0) != 0 && errno != ENOENT) throw EFCreateError(CreateMessage(path, errno));
    }
    throw EFCreateError(CreateMessage(path, EEXIST));
}

File File::Create(const std::string& path) { return File(detail::CreateAt(AT_FDCWD, path.c_str(), path), path); }

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

namespace {

PathInfo Described(const struct stat& st) {
    PathInfo info;
    info.IsRegular = S_ISREG(st.st_mode);
    info.IsDirectory = S_ISDIR(st.st_mode);
    if (info.IsRegular) info.Size = static_cast<std::uint64_t>(st.st_size);
    return info;
}

} // namespace

std::optional<PathInfo> Stat(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return Described(st);
}

Folder::Folder(std::string path) : path_(std::move(path)) {
    int fd;
    do {
        fd = ::open(HereIfEmpty(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    handle_ = fd;
}

Folder::Folder(Folder&& other) noexcept : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

Folder::~Folder() {
    if (handle_ >= 0) ::close(Fd(handle_));
}

namespace {

// A name as the system calls take it, ended by a zero byte: in place for the names a folder
// holds (at most 255 bytes), and no copy on the heap for each of thousands of files.
class TCName {
public:
    explicit TCName(std::string_view name) {
        if (name.size() < inPlace_.size()) {
            name.copy(inPlace_.data(), name.size());
            inPlace_[name.size()] = '\0';
        } else {
            long_.assign(name);
        }
    }
    const char* Get() const { return long_.empty() ? inPlace_.data() : long_.c_str(); }

private:
    std::array<char, 256> inPlace_;
    std::string long_;
};

} // namespace

std::optional<PathInfo> Folder::Stat(std::string_view name) const {
    if (handle_ < 0) return platform::Stat(path_ + std::string(name));
    struct stat st {};
    if (::fstatat(Fd(handle_), TCName(name).Get(), &st, 0) != 0) return std::nullopt;
    return Described(st);
}

File Folder::OpenRead(std::string_view name) const {
    std::string path = path_;
    path += name;
    if (handle_ < 0) return File::OpenRead(path);
    const TOpened opened = OpenOrdinary(Fd(handle_), TCName(name).Get(), path);
    return File(opened.Fd, std::move(path), opened.Size);
}

std::optional<EntryFacts> detail::LookAtIn(int at, const char* name) {
    struct stat st {};
    if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    EntryFacts facts;
    facts.What = S_ISREG(st.st_mode) ? EntryFacts::Kind::Regular
        : S_ISLNK(st.st_mode)        ? EntryFacts::Kind::Link
        : S_ISDIR(st.st_mode)        ? EntryFacts::Kind::Folder
                                     : EntryFacts::Kind::Other;
    if (S_ISREG(st.st_mode)) facts.Size = static_cast<std::uint64_t>(st.st_size);
    facts.Id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    facts.Links = static_cast<std::uint64_t>(st.st_nlink);
    return facts;
}

std::optional<EntryFacts> LookAt(const std::string& path) { return detail::LookAtIn(AT_FDCWD, path.c_str()); }

bool RemoveFile(const std::string& path) noexcept { return ::unlink(path.c_str()) == 0; }

void detail::RenameAt(int at, const char* from, const char* to, bool replace) {
    int result;
    if (replace) {
        result = ::renameat(at, from, at, to);
    } else {
        result = ::renameat2(at, from, at, to, RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // The file system cannot rename without replacing: a hard link fails on an existing
            // name just the same, and it then only remains to drop the old name.
            result = ::linkat(at, from, at, to, 0);
            if (result == 0) {
                ::unlinkat(at, from, 0);
            } else if (errno != EEXIST && !LookAtIn(at, to)) {
                // Nor hard links (FAT and the like): look first, then rename.
                result = ::renameat(at, from, at, to);
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

void RenameFile(const std::string& from, const std::string& to, bool replace) {
    detail::RenameAt(AT_FDCWD, from.c_str(), to.c_str(), replace);
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

bool CanListFolder(const std::string& folder) {
    DIR* dir = ::opendir(HereIfEmpty(folder).c_str());
    if (!dir) return false;
    ::closedir(dir);
    return true;
}

std::vector<std::string> ListPlainFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(HereIfEmpty(folder).c_str());
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
    SortInFolderOrder(names, kHostSpelling);
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
            if (DIR* dir = ::opendir(HereIfEmpty(current).c_str())) {
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
