// Held folders on POSIX systems: a descriptor of the folder, and every act on a name in it one
// of the *at() calls on that descriptor, so the folder checked is the one written, wherever its
// path leads later.

#include "platform/SafeFolders.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "platform/Platform.h"
#include "PlatformDetail.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vellocar::platform {

namespace {

// How much of a link's target a refusal quotes.
constexpr std::size_t kLinkTargetShown = 256;

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

// A name as the system calls take it, ended by a zero byte.
std::string CName(std::string_view name) { return std::string(name); }

// Opens the folder name in at (a descriptor, or AT_FDCWD), never through a link at its name
// unless follow is set: the descriptor, or -1 with errno set.
int OpenFolderAt(int at, const char* name, bool follow) {
    int fd;
    do {
        fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Why the entry name in at, which a folder open without following links refused with code, is
// no folder of its own; nothing when it is missing or the refusal was for another cause.
std::optional<std::string> NotAFolderReason(int at, const char* name, const std::string& path, int code) {
    struct stat st {};
    if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        std::array<char, kLinkTargetShown> target{};
        const ssize_t got = ::readlinkat(at, name, target.data(), target.size());
        const std::string to =
            got > 0 ? " to " + Quoted(std::string(target.data(), static_cast<std::size_t>(got))) : std::string();
        return Quoted(path) + " is a link" + to + ", not a folder of its own";
    }
    if (code == ENOTDIR) return Quoted(path) + " is a file, not a folder";
    return std::nullopt;
}

FileId IdOf(const struct stat& st) {
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

} // namespace

HeldFolder::HeldFolder(std::intptr_t handle, std::string path, FileId id)
    : handle_(handle), path_(std::move(path)), id_(id) {}

HeldFolder::HeldFolder(HeldFolder&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)), id_(other.id_) {}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) ::close(Fd(handle_));
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
        id_ = other.id_;
    }
    return *this;
}

HeldFolder::~HeldFolder() {
    if (handle_ >= 0) ::close(Fd(handle_));
}

namespace {

// The folder at path opened, following a link at its last part when follow is set. A separator
// at its end would have the system follow a link there, so it goes first.
std::pair<int, std::string> OpenPath(const std::string& given, bool follow) {
    std::string path = TrimSeparators(given, kHostPathSystem);
    const int fd = OpenFolderAt(AT_FDCWD, HereIfEmpty(path).c_str(), follow);
    if (fd >= 0) return {fd, std::move(path)};
    const int code = errno;
    const auto facts = detail::LookAtIn(AT_FDCWD, HereIfEmpty(path).c_str());
    if (!follow && facts && facts->What == EntryFacts::Kind::Link) {
        throw EUntrustedFile(*NotAFolderReason(AT_FDCWD, HereIfEmpty(path).c_str(), path, code) +
                             "; Vellocar does not act through it");
    }
    throw EFOpenError(CannotOpenMessage(path, SystemErrorText(code)));
}

} // namespace

HeldFolder HeldFolder::Open(const std::string& path) {
    auto [fd, trimmed] = OpenPath(path, false);
    struct stat st {};
    ::fstat(fd, &st);
    return HeldFolder(fd, std::move(trimmed), IdOf(st));
}

HeldFolder HeldFolder::OpenChosen(const std::string& path) {
    auto [fd, trimmed] = OpenPath(path, true);
    struct stat st {};
    ::fstat(fd, &st);
    return HeldFolder(fd, std::move(trimmed), IdOf(st));
}

std::variant<HeldFolder, std::string> HeldFolder::MakeBelow(std::string_view name) const {
    const std::string path = PathOf(name);
    const std::string cname = CName(name);
    if (::mkdirat(Fd(handle_), cname.c_str(), 0777) != 0 && errno != EEXIST)
        throw EFCreateError(CannotCreateMessage(path, SystemErrorText(errno)));
    // O_NOFOLLOW refuses a link in the last part; the name has no other part to follow.
    const int fd = OpenFolderAt(Fd(handle_), cname.c_str(), false);
    if (fd >= 0) {
        struct stat st {};
        ::fstat(fd, &st);
        return HeldFolder(fd, path, IdOf(st));
    }
    const int code = errno;
    if (auto reason = NotAFolderReason(Fd(handle_), cname.c_str(), path, code)) return std::move(*reason);
    throw EFCreateError(CannotCreateMessage(path, SystemErrorText(code)));
}

std::string HeldFolder::PathOf(std::string_view name) const { return JoinPath(path_, name); }

std::optional<EntryFacts> HeldFolder::LookAt(std::string_view name) const {
    return detail::LookAtIn(Fd(handle_), CName(name).c_str());
}

File HeldFolder::CreateNew(std::string_view name) const {
    std::string path = PathOf(name);
    const int fd = detail::CreateNewAt(Fd(handle_), CName(name).c_str(), path);
    return File(fd, std::move(path));
}

File HeldFolder::Create(std::string_view name) const {
    std::string path = PathOf(name);
    const int fd = detail::CreateAt(Fd(handle_), CName(name).c_str(), path);
    return File(fd, std::move(path));
}

File HeldFolder::OpenRead(std::string_view name) const {
    std::string path = PathOf(name);
    std::uint64_t size = 0;
    const int fd = detail::OpenOwnAt(Fd(handle_), CName(name).c_str(), path, size);
    return File(fd, std::move(path), size);
}

bool HeldFolder::Remove(std::string_view name) const { return ::unlinkat(Fd(handle_), CName(name).c_str(), 0) == 0; }

void HeldFolder::Rename(std::string_view from, std::string_view to, bool replace) const {
    detail::RenameAt(Fd(handle_), CName(from).c_str(), CName(to).c_str(), replace);
}

void HeldFolder::Sync() const { ::fsync(Fd(handle_)); }

bool HeldFolder::StillAtPath() const {
    struct stat st {};
    return ::stat(HereIfEmpty(path_).c_str(), &st) == 0 && IdOf(st) == id_;
}

} // namespace vellocar::platform
