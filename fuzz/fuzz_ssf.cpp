// Any bytes as a soundset, in memory: refused with EFormatError, or every sound read where its
// offset points, agreeing with the bytes read here on their own.

#include "base/Errors.h"
#include "formats/Tlk.h"
#include "FuzzCheck.h"

#include <cstring>
#include <string>

using namespace vellocar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<tlk::TSsfEntry> sounds;
    try {
        sounds = tlk::ReadSsf({data, size});
    } catch (const EFormatError&) {
        return 0;
    }
    fuzz::Check(size >= 40 && std::memcmp(data, "SSF V1.0", 8) == 0, "a soundset accepted without its header");
    const std::uint32_t count = fuzz::Le32(data + 8), table = fuzz::Le32(data + 12);
    fuzz::Check(sounds.size() == count && table + std::uint64_t{count} * 4 <= size, "a count the bytes lack");
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t at = fuzz::Le32(data + table + std::size_t{i} * 4);
        fuzz::Check(std::uint64_t{at} + 20 <= size, "a sound past the end accepted");
        std::size_t n = 0;
        while (n < 16 && data[at + n] != 0) ++n;
        fuzz::Check(
            sounds[i].ResRef == std::string(data + at, data + at + n) && sounds[i].StrRef == fuzz::Le32(data + at + 16),
            "a sound read wrong");
        fuzz::Check(!tlk::SsfSoundName(i).empty(), "a sound without a name");
    }
    return 0;
}
