// Reading another program's settings file, bounded: see ConfigFile.h.

#include "platform/ConfigFile.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "platform/Platform.h"

#include <algorithm>
#include <utility>

namespace vellocar {

TConfigStream TConfigStream::Open(const std::string& path, std::uint64_t maxBytes) {
    TConfigStream stream;
    if (!platform::PathExists(path)) return stream;
    try {
        // OpenRead keeps only an ordinary file, and never waits on what it opens.
        platform::File file = platform::File::OpenRead(path);
        const std::uint64_t size = file.Size();
        if (size > maxBytes) {
            stream.refusal_ = QuotedPath(path) + " holds " + std::to_string(size) + " bytes, more than the " +
                std::to_string(maxBytes) + " such a file can hold";
            return stream;
        }
        stream.file_.emplace(std::move(file));
        // The size found at opening: a file that grows meanwhile is cut there.
        stream.left_ = size;
    } catch (const EVellocarError& error) {
        stream.refusal_ = error.what();
    }
    return stream;
}

std::size_t TConfigStream::Read(char* buffer, std::size_t size) {
    if (!file_ || left_ == 0) return 0;
    const std::size_t got = file_->ReadSome(buffer, static_cast<std::size_t>(std::min<std::uint64_t>(size, left_)));
    left_ = got == 0 ? 0 : left_ - got;
    return got;
}

TConfigText ReadConfigFile(const std::string& path, std::uint64_t maxBytes) {
    TConfigText read;
    TConfigStream stream = TConfigStream::Open(path, maxBytes);
    read.Refusal = stream.Refusal();
    if (!stream.IsOpen()) return read;
    try {
        std::string text(static_cast<std::size_t>(stream.Remaining()), '\0');
        std::size_t got = 0;
        while (got < text.size()) {
            const std::size_t n = stream.Read(text.data() + got, text.size() - got);
            if (n == 0) break;
            got += n;
        }
        text.resize(got);
        read.Text = std::move(text);
    } catch (const EVellocarError& error) {
        read.Refusal = error.what();
    }
    return read;
}

} // namespace vellocar
