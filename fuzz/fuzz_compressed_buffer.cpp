// Any bytes as an E1 resource: byte 0's low bit says whether its entry calls it a compressed
// buffer, bytes 1-3 give its size (16 MiB at most: libFuzzer's allocation limit), the rest are
// its stored bytes. It unpacks to exactly that size (stored as it is: to itself) or is refused.

#include "base/Errors.h"
#include "formats/CompressedBuffer.h"
#include "FuzzCheck.h"

#include <algorithm>

using namespace vellocar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint32_t compression = data[0] & 1u, declared = fuzz::Le32(data) >> 8;
    const std::span<const std::uint8_t> stored(data + 4, size - 4);
    std::vector<std::uint8_t> out;
    try {
        out = compressedbuf::Unpack(stored, compression, declared);
    } catch (const EFormatError&) {
        return 0;
    }
    fuzz::Check(out.size() == declared, "the unpacked bytes are not the size the entry gives");
    fuzz::Check(compression == 1 || std::equal(out.begin(), out.end(), stored.begin(), stored.end()),
                "bytes stored as they are come back otherwise");
    return 0;
}
