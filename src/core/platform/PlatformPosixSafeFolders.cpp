// The folders below an export's folder on POSIX systems: made and opened relative to the
// chosen folder, never through a link.

#include "SafeFolders.h"

#include "Errors.h"
#include "Platform.h"
#include "Text.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellocar::platform {

namespace {

// How much of a link's target a refusal quotes.
constexpr std::size_t kLinkTargetShown = 256;

// A descriptor closed on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

} // namespace

std::optional<std::string> MakeFolderBelow(const std::string& parent, const std::string& name) {
    const std::string path = JoinPath(parent, name);
    const Descriptor base(::open(HereIfEmpty(parent).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (base.Get() < 0) throw EFCreateError(CannotCreateMessage(path, SystemErrorText(errno)));
    if (::mkdirat(base.Get(), name.c_str(), 0777) != 0 && errno != EEXIST)
        throw EFCreateError(CannotCreateMessage(path, SystemErrorText(errno)));

    // O_NOFOLLOW refuses a link in the last part; the name has no other part to follow.
    const Descriptor folder(::openat(base.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.Get() >= 0) return std::nullopt;
    const int code = errno;
    struct stat st {};
    if (::fstatat(base.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        std::array<char, kLinkTargetShown> target{};
        const ssize_t got = ::readlinkat(base.Get(), name.c_str(), target.data(), target.size());
        const std::string to =
            got > 0 ? " to " + Quoted(std::string(target.data(), static_cast<std::size_t>(got))) : std::string();
        return Quoted(path) + " is a link" + to + ", not a folder of its own";
    }
    if (code == ENOTDIR) return Quoted(path) + " is a file, not a folder";
    throw EFCreateError(CannotCreateMessage(path, SystemErrorText(code)));
}

} // namespace vellocar::platform
