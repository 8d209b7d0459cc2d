// The one table that joins resource type numbers and file extensions, in both directions.

#include "names/ResourceTypes.h"

#include "base/Text.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vellocar {

namespace {

struct TResTypeRow {
    TResType Type;
    std::string_view Ext;
};

// Ascending type number: the classic game's 0 to 10 and 2000 to 2067, the Enhanced Edition's
// from 2068, and the archives' own at the end.
constexpr auto kResTypes = std::to_array<TResTypeRow>({
    {0, "res"},    {1, "bmp"},    {2, "mve"},    {3, "tga"},    {4, "wav"},    {5, "wfx"},    {6, "plt"},
    {7, "ini"},    {8, "bmu"},    {9, "mpg"},    {10, "txt"},   {2000, "plh"}, {2001, "tex"}, {2002, "mdl"},
    {2003, "thg"}, {2005, "fnt"}, {2007, "lua"}, {2008, "slt"}, {2009, "nss"}, {2010, "ncs"}, {2011, "mod"},
    {2012, "are"}, {2013, "set"}, {2014, "ifo"}, {2015, "bic"}, {2016, "wok"}, {2017, "2da"}, {2018, "tlk"},
    {2022, "txi"}, {2023, "git"}, {2024, "bti"}, {2025, "uti"}, {2026, "btc"}, {2027, "utc"}, {2029, "dlg"},
    {2030, "itp"}, {2031, "btt"}, {2032, "utt"}, {2033, "dds"}, {2034, "bts"}, {2035, "uts"}, {2036, "ltr"},
    {2037, "gff"}, {2038, "fac"}, {2039, "bte"}, {2040, "ute"}, {2041, "btd"}, {2042, "utd"}, {2043, "btp"},
    {2044, "utp"}, {2045, "dft"}, {2046, "gic"}, {2047, "gui"}, {2048, "css"}, {2049, "ccs"}, {2050, "btm"},
    {2051, "utm"}, {2052, "dwk"}, {2053, "pwk"}, {2054, "btg"}, {2055, "utg"}, {2056, "jrl"}, {2057, "sav"},
    {2058, "utw"}, {2059, "4pc"}, {2060, "ssf"}, {2061, "hak"}, {2062, "nwm"}, {2063, "bik"}, {2064, "ndb"},
    {2065, "ptm"}, {2066, "ptt"}, {2067, "bak"}, {2068, "dat"}, {2069, "shd"}, {2070, "xbc"}, {2071, "wbm"},
    {2072, "mtr"}, {2073, "ktx"}, {2074, "ttf"}, {2075, "sql"}, {2076, "tml"}, {2077, "sq3"}, {2078, "lod"},
    {2079, "gif"}, {2080, "png"}, {2081, "jpg"}, {2082, "caf"}, {2083, "jui"}, {9996, "ids"}, {9997, "erf"},
    {9998, "bif"}, {9999, "key"},
});

static_assert(std::is_sorted(kResTypes.begin(), kResTypes.end(),
                             [](const TResTypeRow& a, const TResTypeRow& b) { return a.Type < b.Type; }));
static_assert(std::all_of(kResTypes.begin(), kResTypes.end(), [](const TResTypeRow& row) {
    return row.Ext.size() == 3 &&
        std::none_of(row.Ext.begin(), row.Ext.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}));

constexpr std::string_view RowOf(TResType type) {
    for (const TResTypeRow& row : kResTypes)
        if (row.Type == type) return row.Ext;
    return {};
}
static_assert(RowOf(restype::kTga) == "tga" && RowOf(restype::kPlt) == "plt" && RowOf(restype::kIni) == "ini" &&
              RowOf(restype::kTxt) == "txt" && RowOf(restype::kNss) == "nss" && RowOf(restype::kSet) == "set" &&
              RowOf(restype::kTwoDa) == "2da" && RowOf(restype::kTxi) == "txi" && RowOf(restype::kDds) == "dds" &&
              RowOf(restype::kShd) == "shd" && RowOf(restype::kMtr) == "mtr" && RowOf(kUnknownResType).empty());

// Most types fall into two short runs, 0 to 10 and 2000 to 2083: each type's extension there is
// looked up directly (listing a large KEY asks once per resource); the few others by a search.
constexpr TResType kLowTypes = 16;
constexpr TResType kHighFirst = 2000;
constexpr TResType kHighTypes = 100;

constexpr bool InRuns(TResType type) {
    return type < kLowTypes || (type >= kHighFirst && type < kHighFirst + kHighTypes);
}
constexpr std::size_t SlotOf(TResType type) {
    return static_cast<std::size_t>(type < kLowTypes ? type : kLowTypes + type - kHighFirst);
}

constexpr auto kExtensionOfType = [] {
    std::array<std::string_view, kLowTypes + kHighTypes> table{};
    for (const TResTypeRow& row : kResTypes)
        if (InRuns(row.Type)) table[SlotOf(row.Type)] = row.Ext;
    return table;
}();

// An extension of three letters as one number, for the search below.
constexpr std::uint32_t CodeOf(char a, char b, char c) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 16 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 | static_cast<unsigned char>(c);
}

struct TExtensionRow {
    std::uint32_t Code;
    TResType Type;
};

// The rows by extension, for a binary search: a build asks once per file.
constexpr auto kTypeOfExtension = [] {
    std::array<TExtensionRow, kResTypes.size()> rows{};
    for (std::size_t i = 0; i < kResTypes.size(); ++i)
        rows[i] = {CodeOf(kResTypes[i].Ext[0], kResTypes[i].Ext[1], kResTypes[i].Ext[2]), kResTypes[i].Type};
    std::sort(rows.begin(), rows.end(), [](const TExtensionRow& a, const TExtensionRow& b) { return a.Code < b.Code; });
    return rows;
}();

// No two types share an extension: a file named after a resource packs back to its type.
static_assert(std::adjacent_find(kTypeOfExtension.begin(), kTypeOfExtension.end(),
                                 [](const TExtensionRow& a, const TExtensionRow& b) { return a.Code == b.Code; }) ==
              kTypeOfExtension.end());

} // namespace

std::string_view ResTypeExtension(TResType type) {
    if (InRuns(type)) return kExtensionOfType[SlotOf(type)];
    const auto row = std::lower_bound(kResTypes.begin(), kResTypes.end(), type,
                                      [](const TResTypeRow& r, TResType t) { return r.Type < t; });
    return row != kResTypes.end() && row->Type == type ? row->Ext : std::string_view();
}

std::string ResTypeToExt(TResType type) { return std::string(ResTypeExtension(type)); }

TResType ExtToResType(std::string_view extension) {
    // Only ASCII capitals fold; the extension must match ".xyz" in full.
    if (extension.size() != 4 || extension[0] != '.') return kUnknownResType;
    const std::uint32_t code = CodeOf(FoldAscii(extension[1]), FoldAscii(extension[2]), FoldAscii(extension[3]));
    const auto row = std::lower_bound(kTypeOfExtension.begin(), kTypeOfExtension.end(), code,
                                      [](const TExtensionRow& r, std::uint32_t c) { return r.Code < c; });
    return row != kTypeOfExtension.end() && row->Code == code ? row->Type : kUnknownResType;
}

bool IsGffType(TResType type) {
    // are ifo bic git bti uti btc utc dlg itp btt utt bts uts gff fac bte ute btd utd btp utp gic
    // gui btm utm btg utg jrl utw ptm ptt
    static constexpr TResType kGff[] = {2012, 2014, 2015, 2023, 2024, 2025, 2026, 2027, 2029, 2030, 2031,
                                        2032, 2034, 2035, 2037, 2038, 2039, 2040, 2041, 2042, 2043, 2044,
                                        2046, 2047, 2050, 2051, 2054, 2055, 2056, 2058, 2065, 2066};
    return std::find(std::begin(kGff), std::end(kGff), type) != std::end(kGff);
}

} // namespace vellocar
