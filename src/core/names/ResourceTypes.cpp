// The one table that joins resource type numbers and file extensions, in both directions.

#include "ResourceTypes.h"

#include "Text.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vellocar {

namespace {

struct TResTypeRow {
    std::int64_t Type;
    std::string_view Ext;
};

// Ascending type number.
constexpr std::array<TResTypeRow, 42> kResTypes{{
    {1, "bmp"},    {3, "tga"},    {4, "wav"},    {6, "plt"},    {7, "ini"},    {10, "txt"},   {2002, "mdl"},
    {2009, "nss"}, {2010, "ncs"}, {2012, "are"}, {2013, "set"}, {2014, "ifo"}, {2015, "bic"}, {2016, "wok"},
    {2017, "2da"}, {2022, "txi"}, {2023, "git"}, {2025, "uti"}, {2027, "utc"}, {2029, "dlg"}, {2030, "itp"},
    {2032, "utt"}, {2033, "dds"}, {2035, "uts"}, {2036, "ltr"}, {2037, "gff"}, {2038, "fac"}, {2040, "ute"},
    {2042, "utd"}, {2044, "utp"}, {2045, "dft"}, {2046, "gic"}, {2047, "gui"}, {2051, "utm"}, {2052, "dwk"},
    {2053, "pwk"}, {2056, "jrl"}, {2058, "utw"}, {2060, "ssf"}, {2064, "ndb"}, {2065, "ptm"}, {2066, "ptt"},
}};

static_assert(std::is_sorted(kResTypes.begin(), kResTypes.end(),
                             [](const TResTypeRow& a, const TResTypeRow& b) { return a.Type < b.Type; }));

// The types fall into two short runs, 1 to 10 and 2002 to 2066: each type's extension is looked
// up there directly (listing a large KEY asks once per resource).
constexpr std::int64_t kLowTypes = 16;
constexpr std::int64_t kHighFirst = 2000;
constexpr std::int64_t kHighTypes = 80;

constexpr auto kExtensionOfType = [] {
    std::array<std::string_view, kLowTypes + kHighTypes> table{};
    for (const TResTypeRow& row : kResTypes)
        table[static_cast<std::size_t>(row.Type < kLowTypes ? row.Type : kLowTypes + row.Type - kHighFirst)] = row.Ext;
    return table;
}();
static_assert(kResTypes.back().Type < kHighFirst + kHighTypes && kResTypes[5].Type < kLowTypes);

// An extension of three letters as one number, for the search below.
constexpr std::uint32_t CodeOf(char a, char b, char c) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 16 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 | static_cast<unsigned char>(c);
}

struct TExtensionRow {
    std::uint32_t Code;
    std::int64_t Type;
};

// The rows by extension, for a binary search: a build asks once per file.
constexpr auto kTypeOfExtension = [] {
    std::array<TExtensionRow, kResTypes.size()> rows{};
    for (std::size_t i = 0; i < kResTypes.size(); ++i)
        rows[i] = {CodeOf(kResTypes[i].Ext[0], kResTypes[i].Ext[1], kResTypes[i].Ext[2]), kResTypes[i].Type};
    std::sort(rows.begin(), rows.end(), [](const TExtensionRow& a, const TExtensionRow& b) { return a.Code < b.Code; });
    return rows;
}();

} // namespace

std::string_view ResTypeExtension(std::int64_t type) {
    if (type >= 0 && type < kLowTypes) return kExtensionOfType[static_cast<std::size_t>(type)];
    if (type >= kHighFirst && type < kHighFirst + kHighTypes)
        return kExtensionOfType[static_cast<std::size_t>(kLowTypes + type - kHighFirst)];
    return {};
}

std::string ResTypeToExt(std::int64_t type) { return std::string(ResTypeExtension(type)); }

std::int64_t ExtToResType(std::string_view extension) {
    // Only ASCII capitals fold; the extension must match ".xyz" in full.
    if (extension.size() != 4 || extension[0] != '.') return kUnknownResType;
    const std::uint32_t code = CodeOf(FoldAscii(extension[1]), FoldAscii(extension[2]), FoldAscii(extension[3]));
    const auto row = std::lower_bound(kTypeOfExtension.begin(), kTypeOfExtension.end(), code,
                                      [](const TExtensionRow& r, std::uint32_t c) { return r.Code < c; });
    return row != kTypeOfExtension.end() && row->Code == code ? row->Type : kUnknownResType;
}

} // namespace vellocar
