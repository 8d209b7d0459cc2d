#pragma once
// Reading a KEY, the one way every reader does it (list, verify, extract, find, cat, the
// window's Open KEY File): first whatever a build of that KEY that died left is finished or
// undone (BuildGuard.h), so that the KEY and its BIFs belong together again; then the KEY is read.

#include "formats/KeyCodec.h"
#include "formats/KeyFiles.h"
#include "operations/BuildGuard.h"

#include <memory>
#include <string>
#include <string_view>

namespace vellocar {

struct TKeyRead {
    std::shared_ptr<TNWNKeyFile> Key; // none when a check found not even a KEY header
    TRecoveryNote Recovery; // what was done first about a build that died
};

// The KEY at path (TNWNKeyFile::LoadFromFile). A fault of the recovery or of the KEY raises.
TKeyRead ReadKey(const std::string& path, const TWaitNotice& notice = nullptr, const TKeyParts& parts = {});

// The KEY at path for a check of it (LoadKeyForCheck): every fault of its structure told to
// fault, and what lies within the file read all the same. A fault of the recovery raises, as
// does a file that cannot be read at all.
TKeyRead ReadKeyForCheck(const std::string& path, const keycodec::TFaultSink& fault,
                         const TWaitNotice& notice = nullptr);

// Before the BIFs of a KEY read earlier are read from again (an export, a viewer): a build of it
// that died since is finished or undone first, and one that is running is waited for. When that
// changed files, or another build ran meanwhile, what was read may no longer be what is there,
// and EVellocarError says so: "<nothingDone>: Vellocar first <what it did>. Open the KEY again
// to <then>".
void RecoverBeforeReadingAgain(const std::string& keyPath, std::string_view nothingDone, std::string_view then);

} // namespace vellocar
