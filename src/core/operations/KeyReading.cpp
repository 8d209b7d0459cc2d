// A KEY read after the recovery of a dead build of it: see KeyReading.h.

#include "operations/KeyReading.h"

#include "base/Errors.h"
#include "base/Text.h"

#include <utility>

namespace vellocar {

TKeyRead ReadKey(const std::string& path, const TWaitNotice& notice, const TKeyParts& parts) {
    TKeyRead read{nullptr, RecoverInterruptedBuild(path, notice)};
    read.Key = std::make_shared<TNWNKeyFile>();
    read.Key->LoadFromFile(path, parts);
    return read;
}

TKeyRead ReadKeyForCheck(const std::string& path, const keycodec::TFaultSink& fault, const TWaitNotice& notice) {
    TKeyRead read{nullptr, RecoverInterruptedBuild(path, notice)};
    if (auto key = LoadKeyForCheck(path, fault)) read.Key = std::make_shared<TNWNKeyFile>(std::move(*key));
    return read;
}

void RecoverBeforeReadingAgain(const std::string& keyPath, std::string_view nothingDone, std::string_view then) {
    const TRecoveryNote note = RecoverInterruptedBuild(keyPath);
    if (!note.FilesChanged) return;
    const std::string done = note.Text.empty()
        ? "waited for another build of " + Quoted(keyPath) + ", which may have changed its files"
        : note.Text;
    throw EVellocarError(std::string(nothingDone) + ": Vellocar first " + done + ". Open the KEY again to " +
                         std::string(then));
}

} // namespace vellocar
