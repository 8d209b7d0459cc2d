// Any bytes as an archive of the ERF family, in memory: the codec refuses them with one of its own
// errors, or its tables lie within the file; the check reads whatever the reader accepts, to the
// same tables; each entry is its rows' bytes (an E1.0 archive's wider rows too), and an E1.0
// resource unpacks to the size its row gives or is refused; and an accepted archive whose
// resources lie within it, written anew (as V1.0, their stored bytes), reads back to the same
// strings and the same resources (names, types and bytes), in the writer's order.

#include "base/Errors.h"
#include "formats/CompressedBuffer.h"
#include "formats/ErfCodec.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <tuple>

using namespace vellocar;
using fuzz::Le32;

namespace {

// A resource as the fuzz target knows it: its name up to the first zero, its type, its bytes.
using Seen = std::multimap<std::tuple<std::string, std::uint16_t>, std::string>;

std::string NameOf(const TResRef& r) { return std::string(r.data(), std::find(r.begin(), r.end(), '\0')); }

Seen Resources(const TErfFile& erf, std::span<const std::uint8_t> file) {
    Seen seen;
    for (std::size_t i = 0; i < erf.Keys.size(); ++i)
        seen.emplace(
            std::tuple{NameOf(erf.Keys[i].ResRef), erf.Keys[i].ResType},
            std::string(reinterpret_cast<const char*>(file.data()) + erf.Resources[i].Offset, erf.Resources[i].Size));
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    std::optional<TErfFile> erf;
    try {
        erf = erfcodec::Parse(file, size, "fuzz");
    } catch (const EFormatError&) {}
    const auto checked = erfcodec::ParseForCheck(file, size, [](const std::string&) {});
    if (!erf) return 0;
    fuzz::Check(checked && checked->Keys.size() == erf->Keys.size() && checked->Strings == erf->Strings,
                "the check does not read what the reader accepts");
    fuzz::Check(erf->Keys.size() == erf->Resources.size() && erf->Keys.size() == Le32(data + 16),
                "the lists are not the header's count");
    const bool e1 = std::equal(data + 4, data + 8, "E1.0");
    for (std::size_t i = 0; i < erf->Keys.size(); ++i) {
        const std::uint8_t* key = data + Le32(data + 24) + i * (e1 ? 44 : 24);
        const std::uint8_t* row = data + Le32(data + 28) + i * (e1 ? 16 : 8);
        const TErfResourceEntry& r = erf->Resources[i];
        const std::uint32_t unpacked = e1 ? Le32(row + 12) : Le32(row + 4);
        fuzz::Check(r.Offset == Le32(row) && r.Size == Le32(row + 4) && r.CompressionType == (e1 ? Le32(row + 8) : 0) &&
                        r.UncompressedSize == unpacked,
                    "a resource entry is not its row");
        fuzz::Check(!e1 || std::equal(key + 24, key + 44, erf->Keys[i].Sha1.begin()), "a SHA-1 is not its key row's");
        // Unpacked up to 16 MiB only: libFuzzer's allocation limit.
        if (!e1 || std::uint64_t{r.Offset} + r.Size > size || unpacked > (1u << 24)) continue;
        try {
            const auto bytes = compressedbuf::Unpack(file.subspan(r.Offset, r.Size), r.CompressionType, unpacked);
            fuzz::Check(bytes.size() == unpacked, "an E1.0 resource unpacks to another size than its row gives");
        } catch (const EFormatError&) {}
    }

    TErfContent content;
    content.FileType = erf->FileType;
    content.Built = {erf->BuildYear, erf->BuildDay};
    content.DescriptionStrRef = erf->DescriptionStrRef;
    content.Strings = erf->Strings;
    for (std::size_t i = 0; i < erf->Keys.size(); ++i) {
        const TErfResourceEntry& r = erf->Resources[i];
        if (std::uint64_t{r.Offset} + r.Size > size) return 0; // left to the reader of each resource
        content.Resources.push_back({erf->Keys[i].ResRef, erf->Keys[i].ResType,
                                     std::vector<std::uint8_t>(data + r.Offset, data + r.Offset + r.Size)});
    }
    std::vector<std::uint8_t> written;
    try {
        written = erfcodec::Serialize(content, "fuzz");
    } catch (const EFormatError&) {
        // Only two entries of one type whose names are as long (one resource, letters folded) or
        // an empty name are refused.
        bool pair = false;
        for (std::size_t i = 0; i < content.Resources.size(); ++i)
            for (std::size_t j = i + 1; j < content.Resources.size(); ++j)
                pair = pair ||
                    (content.Resources[i].ResType == content.Resources[j].ResType &&
                     NameOf(content.Resources[i].ResRef).size() == NameOf(content.Resources[j].ResRef).size());
        const bool empty = std::any_of(content.Resources.begin(), content.Resources.end(),
                                       [](const TErfResource& r) { return r.ResRef[0] == '\0'; });
        fuzz::Check(pair || empty, "the writer refuses an archive of distinct, named resources");
        return 0;
    }
    const TErfFile again = erfcodec::Parse(written, written.size(), "fuzz");
    fuzz::Check(again.Strings == erf->Strings && again.BuildYear == erf->BuildYear &&
                    again.DescriptionStrRef == erf->DescriptionStrRef && again.FileType == erf->FileType,
                "the header or strings written do not read back");
    fuzz::Check(Resources(again, written) == Resources(*erf, file), "the resources written do not read back");
    for (std::size_t i = 0; i < again.Keys.size(); ++i)
        fuzz::Check(again.Keys[i].ResId == i, "a written ResID is not its place");
    return 0;
}
