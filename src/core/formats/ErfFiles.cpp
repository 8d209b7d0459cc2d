// Archives of the ERF family read from disk: the bytes come in through the platform layer, the
// format itself is ErfCodec's.

#include "formats/ErfFiles.h"

#include "base/Errors.h"
#include "formats/FileKinds.h"
#include "platform/Platform.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vellocar {

bool IsErfArchive(const std::string& path) {
    try {
        platform::File file = platform::File::OpenRead(path);
        std::uint8_t head[kKindBytes] = {};
        return file.ReadSome(head, sizeof head) >= 4 && erfcodec::IsErfType(std::span(head, 4));
    } catch (const EVellocarError&) {
        return false; // the reader the file is given to names the fault
    }
}

TErfFile ReadErfTables(const std::string& path) {
    std::uint64_t fileSize = 0;
    const std::vector<std::uint8_t> bytes = platform::ReadFormatBytes(
        path, "ERF", [&](auto prefix, std::uint64_t size) { return erfcodec::BytesNeeded(prefix, size, path); },
        fileSize);
    return erfcodec::Parse(bytes, fileSize, path);
}

std::optional<TErfFile> ReadErfForCheck(const std::string& path,
                                        const std::function<void(const std::string& fault)>& fault) {
    std::uint64_t fileSize = 0;
    const std::vector<std::uint8_t> bytes = platform::ReadFormatBytes(
        path, "ERF", [](auto prefix, std::uint64_t size) { return erfcodec::CheckBytesNeeded(prefix, size); },
        fileSize);
    return erfcodec::ParseForCheck(bytes, fileSize, fault);
}

} // namespace vellocar
