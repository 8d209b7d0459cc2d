// The resource index over a synthetic game: two KEYs of 100,000 resources in 10 BIFs, an
// override of 10,000 files and 20 HAKs of 10,000 entries each, written to a folder (argv[1],
// on tmpfs by bench/run) and then indexed as a command or the browser would (KEYs, HAKs and the
// folder read, every BIF's table read for the sizes). Then a filter over 400,000 rows for each
// prefix of a typed word, and a sort of them by each column. Prints times and the peak RSS.

#include "formats/BifCodec.h"
#include "formats/KeyFiles.h"
#include "operations/ResourceIndex.h"
#include "operations/ResourceLayers.h"
#include "platform/Platform.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace vellocar;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t k2da = 2017, kMdl = 2002, kTga = 3;

void Put32(std::string& out, std::uint32_t v) {
    for (int s = 0; s < 32; s += 8) out.push_back(static_cast<char>(v >> s));
}

std::string Name(const char* prefix, std::uint32_t i) {
    char name[17];
    std::snprintf(name, sizeof name, "%s%06u", prefix, i);
    return name;
}

// A KEY of bifs BIFs of per one-byte resources each: resource i of BIF b is named prefix + number.
void WriteKey(const fs::path& folder, const std::string& keyName, const char* prefix, std::uint32_t bifs,
              std::uint32_t per, std::uint32_t first) {
    TNWNKeyFile key;
    key.FileType = {'K', 'E', 'Y', ' '};
    key.FileVersion = {'V', '1', ' ', ' '};
    for (std::uint32_t b = 0; b < bifs; ++b) {
        const std::string bifName = keyName + "_" + std::to_string(b) + ".bif";
        std::string bytes(bifcodec::Header::Size + std::size_t{per} * bifcodec::VarEntry::Size, '\0');
        bifcodec::PutHeader(std::span<std::uint8_t, bifcodec::Header::Size>(
                                reinterpret_cast<std::uint8_t*>(bytes.data()), bifcodec::Header::Size),
                            per);
        TNWNFilenameEntry& entry = key.Filenames.emplace_back();
        entry.Filename = "data\\" + bifName;
        for (std::uint32_t i = 0; i < per; ++i) {
            const std::uint16_t type = i % 3 == 0 ? k2da : (i % 3 == 1 ? kMdl : kTga);
            TNWNVarResEntry var{i, static_cast<std::uint32_t>(bytes.size() + i), 1, type, 0, 0};
            bifcodec::PutVarEntry(std::span<std::uint8_t, bifcodec::VarEntry::Size>(
                                      reinterpret_cast<std::uint8_t*>(bytes.data()) + bifcodec::Header::Size +
                                          std::size_t{i} * bifcodec::VarEntry::Size,
                                      bifcodec::VarEntry::Size),
                                  var);
            TNWNKeyEntry k;
            const std::string name = Name(prefix, first + b * per + i);
            std::copy(name.begin(), name.end(), k.ResRef.begin());
            k.ResType = type;
            k.ResId = b << kResIdBifShift | i;
            entry.Resources.push_back(k);
        }
        bytes.append(per, 'x');
        std::ofstream(folder / "data" / bifName, std::ios::binary) << bytes;
        key.FileTable.push_back(
            {static_cast<std::uint32_t>(bytes.size()), 0, static_cast<std::uint16_t>(entry.Filename.size() + 1), 1});
    }
    key.BifCount = bifs;
    key.SaveToFile((folder / "data" / (keyName + ".key")).string());
}

// An archive of count one-byte resources named prefix + number from first.
void WriteHak(const fs::path& path, const char* prefix, std::uint32_t first, std::uint32_t count) {
    std::string b = "HAK V1.0";
    const std::uint32_t keys = 160, list = keys + 24 * count, data = list + 8 * count;
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, count);
    Put32(b, 160);
    Put32(b, keys);
    Put32(b, list);
    Put32(b, 126);
    Put32(b, 40);
    Put32(b, 0xFFFFFFFF);
    b.append(116, '\0');
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string name = Name(prefix, first + i);
        name.resize(16, '\0');
        b += name;
        Put32(b, i);
        b.push_back(static_cast<char>(k2da & 0xFF));
        b.push_back(static_cast<char>(k2da >> 8));
        b.append(2, '\0');
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        Put32(b, data + i);
        Put32(b, 1);
    }
    b.append(count, 'h');
    std::ofstream(path, std::ios::binary) << b;
}

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

TResourceSet ReadLayers(const fs::path& root, std::uint32_t haks) {
    TResourceSet set;
    for (const char* name : {"base", "retail"}) {
        const std::string path = (root / "data" / (std::string(name) + ".key")).string();
        auto key = std::make_shared<TNWNKeyFile>();
        key->LoadFromFile(path);
        set.Keys.push_back({path, std::move(key)});
    }
    TLayerRequest request;
    request.Override = (root / "override").string();
    for (std::uint32_t h = 0; h < haks; ++h) request.Haks.push_back((root / "hak" / (Name("h", h) + ".hak")).string());
    AddLayers(set, request);
    return set;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vellocar_layers_bench EMPTY-FOLDER\n");
        return 2;
    }
    const fs::path root = argv[1];
    fs::create_directories(root / "data");
    fs::create_directories(root / "override");
    fs::create_directories(root / "hak");
    // 100,000 in the KEYs (the retail KEY replacing 20,000 of the base's), 10,000 loose files
    // (half of them replacing KEY resources), 200,000 in the HAKs (a quarter of them in two HAKs).
    WriteKey(root, "base", "r", 8, 10000, 0);
    WriteKey(root, "retail", "r", 2, 10000, 60000);
    for (std::uint32_t i = 0; i < 10000; ++i)
        std::ofstream(root / "override" / (Name(i % 2 ? "r" : "o", i) + ".2da"), std::ios::binary) << "o";
    for (std::uint32_t h = 0; h < 20; ++h) WriteHak(root / "hak" / (Name("h", h) + ".hak"), "k", h * 7500, 10000);

    double indexMs = 0;
    std::size_t rows = 0, entries = 0;
    for (int run = 0; run < 3; ++run) { // the first run warms the page cache; the best of the others
        const auto start = Clock::now();
        const TResourceSet set = ReadLayers(root, 20);
        const TResourceIndex index(set);
        const double ms = Ms(start);
        if (run == 1 || ms < indexMs) indexMs = ms;
        rows = index.Rows().size();
        entries = index.Copies().size();
        if (!index.Problems().empty()) std::fprintf(stderr, "problem: %s\n", index.Problems()[0].c_str());
    }
    std::printf("index: %zu entries, %zu rows, %.1f ms (warm, best of 2)\n", entries, rows, indexMs);

    // 400,000 rows: the same with the HAKs' names all apart, and 40,000 more in each KEY.
    fs::remove_all(root);
    fs::create_directories(root / "data");
    fs::create_directories(root / "override");
    fs::create_directories(root / "hak");
    WriteKey(root, "base", "r", 10, 10000, 0);
    WriteKey(root, "retail", "r", 9, 10000, 100000);
    for (std::uint32_t i = 0; i < 10000; ++i)
        std::ofstream(root / "override" / (Name("o", i) + ".2da"), std::ios::binary) << "o";
    for (std::uint32_t h = 0; h < 20; ++h) WriteHak(root / "hak" / (Name("h", h) + ".hak"), "k", h * 10000, 10000);
    const TResourceSet set = ReadLayers(root, 20);
    const TResourceIndex index(set);
    std::printf("rows: %zu\n", index.Rows().size());

    // Each keystroke of a typed word: as a part of the name (narrowing the last keystroke's
    // rows, as a browser does when the text only grew), with a type (the same), and as a glob
    // (every row looked at again).
    double worstFirst = 0, worstNarrowed = 0, worstGlob = 0;
    std::size_t kept = 0;
    const std::string typed = "k01234";
    std::vector<std::uint32_t> plain, typedType;
    for (std::size_t n = 1; n <= typed.size(); ++n) {
        auto start = Clock::now();
        plain = index.Filter(typed.substr(0, n), n == 1 ? nullptr : &plain);
        (n == 1 ? worstFirst : worstNarrowed) = std::max(n == 1 ? worstFirst : worstNarrowed, Ms(start));
        start = Clock::now();
        typedType = index.Filter("type:2da " + typed.substr(0, n), n == 1 ? nullptr : &typedType);
        (n == 1 ? worstFirst : worstNarrowed) = std::max(n == 1 ? worstFirst : worstNarrowed, Ms(start));
        start = Clock::now();
        kept = index.Filter(typed.substr(0, n) + "*.2da").size();
        worstGlob = std::max(worstGlob, Ms(start));
    }
    std::printf(
        "filter: first keystroke (all rows) worst %.2f ms, later keystrokes worst %.2f ms, glob (all rows) "
        "worst %.2f ms (last kept %zu)\n",
        worstFirst, worstNarrowed, worstGlob, kept);

    double worstSort = 0;
    for (const TIndexColumn column :
         {TIndexColumn::Name, TIndexColumn::Type, TIndexColumn::Size, TIndexColumn::Layer, TIndexColumn::Copies}) {
        for (const bool descending : {false, true}) {
            auto shown = index.Filter("");
            const auto start = Clock::now();
            index.Sort(shown, column, descending);
            worstSort = std::max(worstSort, Ms(start));
        }
    }
    std::printf("sort: worst column %.1f ms over %zu rows\n", worstSort, index.Rows().size());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak RSS: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    fs::remove_all(root);
    return 0;
}
