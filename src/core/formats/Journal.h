#pragma once
// The journal of a build: what a build is about to do to its files, written beside each of its
// targets before it changes any of them and removed when it is done, so that a later run can
// finish or undo the work of a build that died on the way (killed, crashed, a power cut).
//
// Layout (all integers little-endian):
//   header   "VLCJ", version (16 bits, 1), phase (8 bits), number of files (8 bits, 1 to 4)
//   file     flags (8 bits: 1 = a file stood at the target before), the new file's size
//            (64 bits), then four names, each a 16-bit length and its bytes: the target, the
//            temporary that holds the new file, the backup name, and the temporary name under
//            which the earlier backup waits ("" when it stays where it is)
//   trailer  CRC-32 (IEEE 802.3) of every byte before it
// Names are absolute paths, so that a run from another working folder reads the same files.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vellocar {

// How far the build had come when it wrote the journal.
enum class TJournalPhase : std::uint8_t {
    Writing = 1, // writing its temporaries; no existing file has been touched
    Rotating = 2, // moving the finished files into place
    RollingBack = 3, // a move failed and not everything could be put back: only undo is sound
};

// One target of the build and the names its rotation moves it through.
struct TJournalFile {
    std::string Path;
    std::string Temporary;
    std::string Backup;
    std::string Aside; // where the earlier backup waits; "" when it is not moved
    bool HadCurrent = false; // a file stood at Path before the rotation
    std::uint64_t NewSize = 0; // of the file at Temporary (0 while it is being written)
};

struct TJournal {
    TJournalPhase Phase = TJournalPhase::Writing;
    std::vector<TJournalFile> Files;
};

namespace journalcodec {

inline constexpr std::size_t kMaxFiles = 4;
// Four files of four names of at most 65,535 bytes, with their fields: anything longer is
// not a journal, whatever it says.
inline constexpr std::size_t kMaxSize = 12 + kMaxFiles * (9 + 4 * (2 + 0xFFFF));

std::vector<std::uint8_t> Serialize(const TJournal& journal);

// Reads a journal. Raises EJournalError, naming the file as name, for anything that is not a
// whole, intact journal of a version this program writes: a journal is acted on only when every
// byte of it is as written.
TJournal Parse(std::span<const std::uint8_t> bytes, const std::string& name);

} // namespace journalcodec

} // namespace vellocar
