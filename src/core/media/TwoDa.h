#pragma once
// A 2DA table (the game's "2DA V2.0" text format) read into its header, row labels and cells:
//
//   2DA V2.0
//   DEFAULT: ****            (optional: the value of a cell that a lookup finds missing)
//              Label   Cost  (the column header)
//   0          Sword   "10 gp"
//   1          ****    5
//
// Fields are separated by blanks or tabs; double quotes hold a field with blanks; "****" is an
// empty cell. The text is Windows-1252, as the game reads it; everything here is UTF-8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellocar::media {

struct TTwoDa {
    std::optional<std::string> Default; // the DEFAULT line's value, when there is one
    std::vector<std::string> Columns;
    std::vector<std::string> RowLabels; // each row's first field, as written (usually its index)
    // Cells[row][column], nothing for "****". A row may be shorter than the header (the game
    // reads the missing cells as empty), never longer.
    std::vector<std::vector<std::optional<std::string>>> Cells;

    // The cell at row, column: nothing when it is "****" or missing from a short row.
    const std::optional<std::string>& Cell(std::size_t row, std::size_t column) const;
};

// Reads a 2DA from its bytes. Blank lines are passed over. Raises ETwoDaError, with the line's
// number, for a first line that is not "2DA V2.0", a missing column header, a quote left open,
// or a row with more cells than the header has columns. Memory stays proportional to the input.
TTwoDa ParseTwoDa(std::span<const std::uint8_t> bytes);

} // namespace vellocar::media
