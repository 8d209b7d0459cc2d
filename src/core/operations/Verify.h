#pragma once
// Checking a KEY against its BIFs without writing anything: that both are marked as the
// version read here, that every BIF it names is listed once, is there, opens and has the size
// the KEY gives; that every entry's resource exists with the type the KEY gives, its ID in
// place and bytes inside the file that overlap neither the tables nor another resource; that
// every resource is named, and that no name-and-type pair is listed twice. Each BIF's tables
// are read once; every check after that works in memory, but for an E1 KEY's: that each BIF
// carries the KEY's object ID, and that each resource's bytes, unpacked, give the SHA-1 that
// the KEY records for it (each resource read once).

#include "formats/ErfCodec.h"
#include "formats/KeyFiles.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vellocar {

// One thing wrong, attached to the BIF (its index in the KEY's file table) where it shows.
struct TVerifyProblem {
    std::size_t Bif = 0;
    // The resource as the list shows it ("name.ext", ShownName), "#<index>" for a resource that no KEY
    // entry names, "" for a fault of the BIF as a whole (missing, unreadable).
    std::string Resource;
    std::string Message;
};

struct TVerifyReport {
    std::size_t Bifs = 0; // BIFs checked
    std::size_t Resources = 0; // KEY entries of those BIFs
    // Faults of the KEY itself (its signature), before those of its BIFs.
    std::vector<std::string> KeyProblems;
    // BIF by BIF in the order asked; within a BIF the faults of the BIF as a whole, then its
    // KEY entries in list order, then the resources that no entry names, in index order.
    std::vector<TVerifyProblem> Problems;
};

// Checks the BIFs of key at bifIndexes (indexes into its file table; a repeated index is
// checked once), each found where LocateBif finds it. A BIF that is missing or does not open
// is one problem, with the reader's message. Name and type pairs are compared across the whole
// KEY under the rule of what is one resource (ResourceKey: letter case ignored), as the game
// looks a resource up in all its BIFs at once: a pair that an entry of a checked BIF shares with
// any earlier entry of the KEY is a problem of that entry (of the earlier one, when only its BIF
// is checked). Stored BIF names are compared too, under the rule by which appending finds a
// BIF's entry ("\" and "/" alike, letter case ignored). Raises only for faults of the machine
// (out of memory), never for a fault of the files.
TVerifyReport VerifyArchive(const TNWNKeyFile& key, const std::string& keyPath,
                            const std::vector<std::size_t>& bifIndexes);

// Checks the archive of the ERF family at path: every fault of its structure and resources
// (ReadErfForCheck), then, for an E1.0 archive, each resource whose bytes lie within the file,
// read once: its sizes, and its bytes, unpacked, against the SHA-1 its key entry records (one
// fault per resource that does not match or does not unpack). Each fault is told to fault, in
// words that follow the path. What was read; nothing when not even its header is one of the
// family. Raises only when the file cannot be read (missing, unreadable).
std::optional<TErfFile> VerifyErfArchive(const std::string& path,
                                         const std::function<void(const std::string& fault)>& fault);

} // namespace vellocar
