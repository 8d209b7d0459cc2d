// Any bytes as a KEY: the reader either refuses them with one of its own errors or gives a
// model that saves and loads back to the same model.

#include "Errors.h"
#include "FuzzScratch.h"
#include "KeyFiles.h"

#include <cstdlib>

using namespace vellocar;

namespace {

bool SameModel(const TNWNKeyFile& a, const TNWNKeyFile& b) {
    if (a.Filenames.size() != b.Filenames.size() || a.Reserved != b.Reserved || a.BuildDay != b.BuildDay ||
        a.BuildYear != b.BuildYear || a.FileType != b.FileType || a.KeyCount != b.KeyCount)
        return false;
    for (std::size_t i = 0; i < a.Filenames.size(); ++i) {
        const auto& x = a.Filenames[i];
        const auto& y = b.Filenames[i];
        if (x.Filename != y.Filename || x.Resources.size() != y.Resources.size()) return false;
        if (a.FileTable[i].FilenameSize != b.FileTable[i].FilenameSize || a.FileTable[i].Drives != b.FileTable[i].Drives ||
            a.FileTable[i].FileSize != b.FileTable[i].FileSize)
            return false;
        for (std::size_t k = 0; k < x.Resources.size(); ++k)
            if (x.Resources[k].ResRef != y.Resources[k].ResRef || x.Resources[k].ResType != y.Resources[k].ResType ||
                x.Resources[k].ResId != y.Resources[k].ResId)
                return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto in = fuzz::Scratch() / "in.key";
    const auto out = fuzz::Scratch() / "out.key";
    fuzz::WriteBytes(in, data, size);

    TNWNKeyFile key;
    try {
        key.LoadFromFile(in.string());
    } catch (const EVellocarError&) {
        return 0;
    }

    // Walk everything the model holds, as the window's lists do.
    std::size_t total = 0;
    for (const auto& bif : key.Filenames) {
        total += bif.Filename.size();
        for (const auto& entry : bif.Resources) total += ResRefToString(entry.ResRef).size() + ResTypeToExt(entry.ResType).size();
    }
    if (key.Filenames.size() != key.FileTable.size() || key.Filenames.size() != key.BifCount) std::abort();

    key.SaveToFile(out.string());
    TNWNKeyFile again;
    again.LoadFromFile(out.string());
    if (!SameModel(key, again)) std::abort();
    return total == static_cast<std::size_t>(-1) ? 1 : 0;
}
