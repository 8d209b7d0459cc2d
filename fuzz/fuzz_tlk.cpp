// Any bytes as a talk table, in memory: the reader refuses them with EFormatError, or every entry
// it accepts reads without a fault, and each agrees with a decoding written here on its own from
// the format rule (its flags, sound ResRef, length and text, Windows-1252 decoded by the table
// below, not by the core's).

#include "base/Errors.h"
#include "base/Text.h"
#include "formats/Tlk.h"
#include "FuzzCheck.h"

#include <bit>
#include <cstring>
#include <string>
#include <vector>

using namespace vellocar;

namespace {

constexpr std::size_t kHeader = 20, kEntry = 40;

// Windows-1252's 0x80 .. 0x9f; 0 for the five bytes it leaves undefined.
constexpr std::uint16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                     0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string Utf8Of(std::uint32_t c) {
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | c >> 6);
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | c >> 12);
        s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

std::string Western(const std::uint8_t* p, std::size_t n) {
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t c = p[i] >= 0x80 && p[i] < 0xA0 ? kHigh[p[i] - 0x80] : p[i];
        if (c == 0 && p[i] != 0)
            s += std::string("\\x") + kHex[p[i] >> 4] + kHex[p[i] & 15];
        else
            s += Utf8Of(c);
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<tlk::TTalkTable> table;
    try {
        table = tlk::TTalkTable::Read(std::vector<std::uint8_t>(data, data + size));
    } catch (const EFormatError&) {
        return 0;
    }
    fuzz::Check(size >= kHeader && std::memcmp(data, "TLK V3.0", 8) == 0, "a table accepted without its header");
    const std::uint32_t count = fuzz::Le32(data + 12), texts = fuzz::Le32(data + 16);
    fuzz::Check(table->Count() == count && kHeader + std::uint64_t{count} * kEntry <= size, "a count the bytes lack");
    const bool western = table->CodePage() == kCodePageWestern;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* e = data + kHeader + std::size_t{i} * kEntry;
        const auto entry = table->Entry(i);
        fuzz::Check(entry.has_value(), "an entry within the count missing");
        const std::uint32_t at = fuzz::Le32(e + 28), n = fuzz::Le32(e + 32);
        fuzz::Check(n == 0 || std::uint64_t{texts} + at + n <= size, "a text past the end accepted");
        std::size_t ref = 0;
        while (ref < 16 && e[4 + ref] != 0) ++ref;
        fuzz::Check(entry->Flags == fuzz::Le32(e) && entry->SoundResRef == std::string(e + 4, e + 4 + ref) &&
                        std::bit_cast<std::uint32_t>(entry->SoundLength) == fuzz::Le32(e + 36),
                    "an entry's fields read wrong");
        const std::string text = n == 0 ? std::string() : Western(data + texts + at, n);
        fuzz::Check(!western || entry->Text == text, "a text decoded otherwise than the rule");
        fuzz::Check(IsValidUtf8(entry->Text), "a text that is not UTF-8");
        fuzz::Check(table->Text(i) == ((entry->Flags & 1) ? std::optional(entry->Text) : std::nullopt),
                    "Text and Entry disagree");
    }
    fuzz::Check(!table->Entry(count) && !table->Text(count), "an entry past the count");
    return 0;
}
