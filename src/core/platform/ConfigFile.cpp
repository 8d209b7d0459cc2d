// Reading another program's settings file, bounded: see ConfigFile.h.

#include "ConfigFile.h"

#include "Errors.h"
#include "Platform.h"
#include "Text.h"

namespace vellocar {

TConfigText ReadConfigFile(const std::string& path, std::uint64_t maxBytes) {
    TConfigText read;
    if (!platform::PathExists(path)) return read;
    try {
        // OpenRead keeps only an ordinary file, and never waits on what it opens.
        platform::File file = platform::File::OpenRead(path);
        const std::uint64_t size = file.Size();
        if (size > maxBytes) {
            read.Refusal = QuotedPath(path) + " holds " + std::to_string(size) + " bytes, more than the " +
                std::to_string(maxBytes) + " such a file can hold";
            return read;
        }
        // The size found at opening: a file that grows meanwhile is cut there.
        std::string text(static_cast<std::size_t>(size), '\0');
        std::size_t got = 0;
        while (got < text.size()) {
            const std::size_t n = file.ReadSome(text.data() + got, text.size() - got);
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
