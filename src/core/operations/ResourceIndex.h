#pragma once
// One flat table of every resource of a set of layers (ResourceLayers.h), as a browser shows it:
// a row per resource with its name, type, size and the layer whose copy the game loads, and the
// copies that copy shadows. Plain state, no toolkit: a filter as the user types, a sort by any
// column, a count of what is shown.
//
// Rows are kept small (16 bytes, names in one shared store) so that the half million resources
// of a game with its HAKs fit in some tens of megabytes.

#include "base/Sha1.h"
#include "operations/GameKeys.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar {

// One layer of the index, in the game's order (lowest first).
struct TIndexLayer {
    TSourceKind Kind = TSourceKind::Key;
    std::size_t Source = 0; // index into the set's Keys, Haks or Folders
    std::string Label; // the KEY's, archive's or folder's path
    std::string Role; // "key", "hak", "ovr", "override", "development", "folder"
};

// One copy of a resource: where in the set it is.
struct TIndexCopy {
    std::uint32_t Line = 0; // TResourceHit::Line
    std::uint32_t Size = 0;
    std::uint16_t Layer = 0; // index into the index's Layers
    std::uint16_t Bif = 0; // TResourceHit::Bif
    bool HasSize = false;
};

struct TIndexRow {
    std::uint32_t Name = 0; // offset of the ResRef in the name store
    std::uint8_t NameSize = 0;
    std::uint16_t Type = 0;
    std::uint32_t FirstCopy = 0; // into Copies: the loaded copy, then those it shadows, latest first
    std::uint32_t CopyCount = 0;
};

enum class TIndexColumn : std::uint8_t { Name, Type, Size, Layer, Copies };

class TResourceIndex {
public:
    // Every resource of set. Sizes of the KEYs' resources come from their BIFs (FillSizes); a
    // BIF that cannot be read is named in Problems and its resources keep no size.
    explicit TResourceIndex(const TResourceSet& set);
    // The resources of those layers of set that counted keeps (by place in LayersOf(set)): the
    // others stay in Layers, with no copy in the index, so that a browser can leave a layer out
    // and bring it back without the layers changing their places. A BIF of a layer left out is
    // not read.
    TResourceIndex(const TResourceSet& set, const std::vector<bool>& counted);

    // The layers of set in the game's order, as Layers names them.
    static std::vector<TIndexLayer> LayersOf(const TResourceSet& set);

    const std::vector<TIndexLayer>& Layers() const { return layers_; }
    const std::vector<TIndexRow>& Rows() const { return rows_; }
    const std::vector<TIndexCopy>& Copies() const { return copies_; }
    const std::vector<std::string>& Problems() const { return problems_; }
    // Of Problems, the BIFs that could not be read, each with the layer of its KEY.
    struct TLayerProblem {
        std::uint16_t Layer = 0;
        std::string Text;
    };
    const std::vector<TLayerProblem>& BifProblems() const { return bifProblems_; }

    std::string_view NameOf(const TIndexRow& row) const { return {names_.data() + row.Name, row.NameSize}; }
    // "name.ext", as the archive's bytes spell it.
    std::string LineOf(const TIndexRow& row) const;
    const TIndexCopy& Loaded(const TIndexRow& row) const { return copies_[row.FirstCopy]; }
    // The hit of a copy, for reading its bytes (TPieceFinder).
    TResourceHit HitOf(const TIndexRow& row, const TIndexCopy& copy) const;

    // The rows that query keeps, in row order. query: words separated by blanks, each of which a
    // row must match: "type:EXT" its type; a word holding * or ? the whole line (glob, letter
    // case aside); any other word a part of its line (letter case aside).
    // within: the rows a previous query kept, when this one only adds to it (the user typed on):
    // only they are looked at.
    std::vector<std::uint32_t> Filter(std::string_view query, const std::vector<std::uint32_t>* within = nullptr) const;
    // Sorts shown rows by column (ties by name, then type), descending when asked.
    void Sort(std::vector<std::uint32_t>& shown, TIndexColumn column, bool descending = false) const;
    // "312 of 54,321".
    std::string CountText(std::size_t shown) const;

    // Rows with more than one copy, in row order.
    std::vector<std::uint32_t> Conflicts() const;

private:
    std::vector<TIndexLayer> layers_;
    std::vector<TIndexRow> rows_;
    std::vector<TIndexCopy> copies_;
    std::string names_; // every ResRef once per row, as the archive holds it
    std::string folded_; // each row's line "name.ext" folded, at the same offsets as lines_
    std::vector<std::uint32_t> lines_; // offset of row i's folded line in folded_; one more at the end
    // The rows in the order of a sort by name, and each row's place in it: every sort orders
    // numbers, never strings again.
    std::vector<std::uint32_t> byName_;
    std::vector<std::uint32_t> nameRank_;
    std::vector<std::string> problems_;
    std::vector<TLayerProblem> bifProblems_;
};

// What the copies of one resource hold, by the SHA-1 of each copy's bytes, read in chunks of at
// most 64 KiB (a packed resource of an E1 BIF whole). A copy that cannot be read has no digest
// and its fault in Problem.
struct TCopyDigest {
    std::optional<TSha1> Digest;
    std::string Problem;
};
class TPieceFinder;
std::vector<TCopyDigest> CopyDigests(const TResourceIndex& index, const TIndexRow& row, TPieceFinder& finder);

// Whether the digests differ: some two copies with digests whose digests are unequal.
bool CopiesDiffer(const std::vector<TCopyDigest>& digests);

} // namespace vellocar
