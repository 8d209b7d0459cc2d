// Any bytes as a build's journal, in memory: refused with the journal's own error, or read as a
// journal that names whole files and writes back to exactly the bytes it was read from (a
// journal is acted on only when every byte of it is as written).

#include "base/Errors.h"
#include "formats/Journal.h"
#include "FuzzCheck.h"

#include <vector>

using namespace vellocar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    TJournal journal;
    try {
        journal = journalcodec::Parse(bytes, "fuzz");
    } catch (const EJournalError&) {
        return 0;
    }
    fuzz::Check(!journal.Files.empty() && journal.Files.size() <= journalcodec::kMaxFiles, "a journal of no files");
    for (const TJournalFile& file : journal.Files)
        fuzz::Check(!file.Folder.empty() && !file.Name.empty() && !file.Temporary.empty(), "a file without a name");
    const std::vector<std::uint8_t> again = journalcodec::Serialize(journal);
    fuzz::Check(again.size() == size && std::equal(again.begin(), again.end(), data),
                "an accepted journal does not write back to its own bytes");
    return 0;
}
