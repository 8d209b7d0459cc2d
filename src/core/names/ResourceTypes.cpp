// The one table that joins resource type numbers and file extensions, in both directions.

#include "ResourceTypes.h"

#include "Names.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vellocar {

namespace {

struct TResTypeRow {
    std::int64_t Type;
    std::string_view Ext;
};

// Ascending type number; both directions try the rows in this order.
constexpr std::array<TResTypeRow, 42> kResTypes{{
    {1, "bmp"},    {3, "tga"},    {4, "wav"},    {6, "plt"},    {7, "ini"},    {10, "txt"},   {2002, "mdl"},
    {2009, "nss"}, {2010, "ncs"}, {2012, "are"}, {2013, "set"}, {2014, "ifo"}, {2015, "bic"}, {2016, "wok"},
    {2017, "2da"}, {2022, "txi"}, {2023, "git"}, {2025, "uti"}, {2027, "utc"}, {2029, "dlg"}, {2030, "itp"},
    {2032, "utt"}, {2033, "dds"}, {2035, "uts"}, {2036, "ltr"}, {2037, "gff"}, {2038, "fac"}, {2040, "ute"},
    {2042, "utd"}, {2044, "utp"}, {2045, "dft"}, {2046, "gic"}, {2047, "gui"}, {2051, "utm"}, {2052, "dwk"},
    {2053, "pwk"}, {2056, "jrl"}, {2058, "utw"}, {2060, "ssf"}, {2064, "ndb"}, {2065, "ptm"}, {2066, "ptt"},
}};

// The extension of a type, "" when it has no row. Binary search: listing a large KEY asks
// this once per resource.
std::string_view ExtOf(std::int64_t type) {
    const auto row = std::lower_bound(kResTypes.begin(), kResTypes.end(), type,
                                      [](const TResTypeRow& r, std::int64_t t) { return r.Type < t; });
    return row != kResTypes.end() && row->Type == type ? row->Ext : std::string_view{};
}

static_assert(std::is_sorted(kResTypes.begin(), kResTypes.end(),
                             [](const TResTypeRow& a, const TResTypeRow& b) { return a.Type < b.Type; }));

} // namespace

std::string_view ResTypeExtension(std::int64_t type) { return ExtOf(type); }

std::string ResTypeToExt(std::int64_t type) { return std::string(ExtOf(type)); }

std::int64_t ExtToResType(const std::string& extension) {
    // Only ASCII capitals fold; the extension must match ".xyz" in full.
    if (extension.size() < 1 || extension[0] != '.') return kUnknownResType;
    std::string lower = extension.substr(1);
    for (char& c : lower) c = FoldAscii(c);
    for (const auto& row : kResTypes)
        if (row.Ext == lower) return row.Type;
    return kUnknownResType;
}

} // namespace vellocar
