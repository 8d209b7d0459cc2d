#pragma once
// The journal of a build: what a build is about to do to its files, written beside each of its
// targets before it changes any of them and removed when it is done, so that a later run can
// finish or undo the work of a build that died on the way (killed, crashed, a power cut).
//
// A journal names no path that a later run could be made to act on: each file is a folder and
// names in that folder (the target, its temporary, where its earlier backup waits), and a run
// acts on a file only when those names have this program's own forms for that target and a
// journal of the same build (its token) stands beside it (Rotation.h checks both). What it
// records of the files tells a build's new file from the one it replaces by more than its size.
//
// Layout (all integers little-endian):
//   header   "VLCJ", version (16 bits, 3), phase (8 bits), number of files (8 bits, 1 to 4),
//            the build's token (64 bits)
//   file     flags (8 bits: 1 = a file stood at the target before, 2 = the new file's checksum
//            is known, 4 = the replaced file's checksum is known, 8 = its folder's file system
//            may number files anew, so that a file is known by its checksum too), then the new file and the
//            replaced file, each as size (64 bits), volume and index (64 bits each) and checksum
//            (32 bits), then four names, each a 16-bit length and its bytes: the folder
//            (absolute), the target's name, its temporary's name, and the name under which the
//            earlier backup waits ("" when it stays where it is); the last two are always the
//            ones OwnTemporaryName makes from the target's name and the token, and a journal that
//            names any other is not acted on
//   trailer  CRC-32 (IEEE 802.3) of every byte before it

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vellocar {

// How far the build had come when it wrote the journal. The phases only ever go up, so of two
// journals of one build the one with the higher phase is the newer.
enum class TJournalPhase : std::uint8_t {
    Writing = 1, // writing its temporaries; no existing file has been touched
    Rotating = 2, // moving the finished files into place
    RollingBack = 3, // a move failed and not everything could be put back: only undo is sound
    Undone = 4, // every file is back at its name; only the temporaries are left to remove
};

// What a build knew of one file, to know it again: by its identity, or where a file system
// numbers its files anew (a FAT stick after a remount) by its size and the checksum of its
// first and last blocks.
struct TFileMark {
    std::uint64_t Size = 0;
    std::uint64_t Volume = 0;
    std::uint64_t Index = 0;
    std::uint32_t Checksum = 0;
    bool ChecksumKnown = false;
    bool operator==(const TFileMark&) const = default;
};

// One target of the build and the names its rotation moves it through, all in Folder.
struct TJournalFile {
    std::string Folder;
    std::string Name;
    std::string Temporary; // holds the new file until it moves to Name
    std::string Aside; // where the earlier backup waits; "" when it is not moved
    bool HadCurrent = false; // a file stood at Name before the rotation
    // Folder's file system may give a file another identity after a remount (FAT, network
    // shares): only there is a file known by its size and checksum when its identity differs.
    bool Renumbering = false;
    TFileMark New; // the file at Temporary (nothing known while it is being written)
    TFileMark Old; // the file that stood at Name (when HadCurrent)
    bool operator==(const TJournalFile&) const = default;

    std::string Path() const { return platform::JoinPath(Folder, Name); }
    std::string TemporaryPath() const { return platform::JoinPath(Folder, Temporary); }
    std::string BackupPath() const { return Path() + ".bak"; }
    std::string AsidePath() const { return Aside.empty() ? std::string() : platform::JoinPath(Folder, Aside); }
};

struct TJournal {
    TJournalPhase Phase = TJournalPhase::Writing;
    std::uint64_t Token = 0; // the same in every journal of one build, and no other build's
    std::vector<TJournalFile> Files;
};

namespace journalcodec {

inline constexpr std::size_t kMaxFiles = 4;
// Four files of four names of at most 65,535 bytes, with their fields: anything longer is
// not a journal, whatever it says.
inline constexpr std::size_t kMaxSize = 20 + kMaxFiles * (57 + 4 * (2 + 0xFFFF));

std::vector<std::uint8_t> Serialize(const TJournal& journal);

// Reads a journal. Raises EJournalError, naming the file as name, for anything that is not a
// whole, intact journal of a version this program writes: a journal is acted on only when every
// byte of it is as written. (Whether its names may be acted on is for the reader to check.)
TJournal Parse(std::span<const std::uint8_t> bytes, const std::string& name);

} // namespace journalcodec

} // namespace vellocar
