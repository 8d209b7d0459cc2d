// A KEY read after the recovery of a dead build of it: see KeyReading.h.

#include "KeyReading.h"

#include <utility>

namespace vellocar {

TKeyRead ReadKey(const std::string& path) {
    TKeyRead read{nullptr, RecoverInterruptedBuild(path)};
    read.Key = std::make_shared<TNWNKeyFile>();
    read.Key->LoadFromFile(path);
    return read;
}

TKeyRead ReadKeyForCheck(const std::string& path, const keycodec::TFaultSink& fault) {
    TKeyRead read{nullptr, RecoverInterruptedBuild(path)};
    if (auto key = LoadKeyForCheck(path, fault)) read.Key = std::make_shared<TNWNKeyFile>(std::move(*key));
    return read;
}

} // namespace vellocar
