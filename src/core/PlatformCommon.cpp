// What the file system layer does the same way on every system, over the per-system
// primitives of PlatformPosix.cpp and PlatformWin32.cpp.

#include "Platform.h"

#include "Errors.h"

namespace vellocar::platform {

std::string CannotOpenMessage(const std::string& path, const std::string& reason) {
    return "Cannot open file \"" + path + "\". " + reason;
}

std::string CannotCreateMessage(const std::string& path, const std::string& reason) {
    return "Cannot create file \"" + path + "\". " + reason;
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

} // namespace vellocar::platform
