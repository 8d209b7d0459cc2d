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
#include <string_view>
#include <vector>

namespace vellocar::media {

// The table keeps the file's text once and, for each field, where it starts in it: 4 bytes a
// field beside the text, whose fields are at least 2 bytes each (a character and a blank), so
// that a table takes at most a few times its file (a string per cell took 30 times). Each
// field is made into text when asked for.
class TTwoDa {
public:
    std::optional<std::string> Default; // the DEFAULT line's value, when there is one

    std::size_t ColumnCount() const { return columns_; }
    std::string Column(std::size_t column) const; // the header's field, "" past the last
    std::size_t RowCount() const { return rows_.empty() ? 0 : rows_.size() - 1; }
    // A row's first field, as written (usually its index).
    std::string RowLabel(std::size_t row) const;
    // How many cells the row writes: a row may be shorter than the header (the game reads the
    // missing cells as empty), never longer.
    std::size_t CellCount(std::size_t row) const;
    // The cell at row, column: nothing when it is "****" or missing from a short row.
    std::optional<std::string> Cell(std::size_t row, std::size_t column) const;

private:
    friend TTwoDa ParseTwoDa(std::span<const std::uint8_t> bytes);
    std::string_view Field(std::size_t index, bool& quoted) const;

    std::string text_; // the file's bytes
    // Where each field starts in text_ (at its opening quote, when quoted): the header's fields,
    // then each row's label and cells.
    std::vector<std::uint32_t> fields_;
    // Where each row's label is in fields_, and one past the last row's last cell.
    std::vector<std::uint32_t> rows_;
    std::size_t columns_ = 0;
};

// The most bytes a 2DA read here may have: its fields are placed by 32-bit offsets.
inline constexpr std::uint64_t kMaxTwoDaBytes = UINT32_MAX;

// Reads a 2DA from its bytes. Blank lines are passed over. Raises ETwoDaError, with the line's
// number, for a first line that is not "2DA V2.0", a missing column header, a quote left open,
// a row with more cells than the header has columns, or more than kMaxTwoDaBytes. Memory stays
// a small multiple of the input.
TTwoDa ParseTwoDa(std::span<const std::uint8_t> bytes);

} // namespace vellocar::media
