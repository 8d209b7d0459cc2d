// Any bytes as a KEY and a BIF: open, list and export everything, and check that nothing was
// written outside the export folder.
//
// Input: a 2-byte little-endian length n, then n bytes of KEY, then the BIF. A KEY that does
// not load is replaced by one that names data\a.bif with 64 resources, so that BIF bytes get
// exercised even when the KEY part is garbage.

#include "BifFiles.h"
#include "Errors.h"
#include "FuzzScratch.h"
#include "KeyFiles.h"

#include <cstdlib>
#include <filesystem>
#include <memory>

using namespace vellocar;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<TNWNKeyFile> FallbackKey() {
    auto key = std::make_shared<TNWNKeyFile>();
    key->Filenames.push_back({"data\\a.bif", {}});
    key->FileTable.emplace_back();
    key->BifCount = 1;
    for (std::uint32_t i = 0; i < 64; ++i) {
        TNWNKeyEntry e;
        const std::string name = "r" + std::to_string(i);
        std::copy(name.begin(), name.end(), e.ResRef.begin());
        e.ResType = static_cast<std::uint16_t>(i % 3 == 0 ? 10 : 9996);
        e.ResId = i % 5 == 4 ? i + 1 : i;   // some indices unnamed, some named twice
        key->Filenames[0].Resources.push_back(e);
    }
    return key;
}

void CheckOnlyExpectedFiles(const fs::path& root) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const fs::path rel = fs::relative(entry.path(), root);
        const std::string first = rel.begin()->string();
        if (first == "x.key" || (first == "data" && (rel == "data" || rel == "data/a.bif"))) continue;
        if (first == "out" && (rel == "out" || std::distance(rel.begin(), rel.end()) == 2)) continue;
        std::abort();   // something was written where no export may write
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path root = fuzz::Scratch();
    std::size_t keySize = 0;
    if (size >= 2) {
        keySize = static_cast<std::size_t>(data[0] | (data[1] << 8));
        data += 2;
        size -= 2;
        if (keySize > size) keySize = size;
    }
    fs::create_directories(root / "data");
    std::error_code ec;
    fs::remove_all(root / "out", ec);
    fs::create_directories(root / "out");
    fuzz::WriteBytes(root / "x.key", data, keySize);
    fuzz::WriteBytes(root / "data" / "a.bif", data + keySize, size - keySize);

    std::shared_ptr<TNWNKeyFile> key = std::make_shared<TNWNKeyFile>();
    try {
        key->LoadFromFile((root / "x.key").string());
    } catch (const EVellocarError&) {
        key = FallbackKey();
    }

    TStringResourceList list;
    TNullGauge gauge;
    TNWNBifFile bif(list, gauge);
    try {
        bif.Open((root / "data" / "a.bif").string(), key);
    } catch (const EVellocarError&) {
        return 0;
    }
    const std::string target = (root / "out" / "").string();
    for (int i = 0; i < list.Count(); i += 2) list.SetSelected(i, true);
    for (int pass = 0; pass < 2; ++pass) {
        try {
            if (pass == 0)
                bif.ExtractAll(target);
            else
                bif.ExtractSelected(target);
        } catch (const EVellocarError&) {
        }
        std::size_t total = 0;
        for (const auto& skipped : bif.Skipped) total += skipped.Name.size() + skipped.Reason.size();
        if (total == static_cast<std::size_t>(-1)) return 1;
        CheckOnlyExpectedFiles(root);
    }
    TNWNKeyEntry entry;
    for (std::int64_t i = -1; i < static_cast<std::int64_t>(bif.VarResCount) && i < 70; ++i) bif.FindKeyEntry(i, entry);
    return 0;
}
