#pragma once
// The content of a viewer's views, as the window asks for it: a 2DA's table (sorted through a
// permutation of its rows), the lines of a text or a hex dump, a talk table's strings, a
// soundset's sounds, and a GFF's tree; and finding a text in them.

#include "formats/Gff.h"
#include "formats/Tlk.h"
#include "media/TwoDa.h"
#include "ViewerWindow.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellocar::ui {

// The text of a strref (UTF-8), when a talk table has it.
using TStrRefText = std::function<std::optional<std::string>(std::uint32_t)>;

// Whether a 2DA column holds strrefs by its title: the columns of the game's tables that do
// (Name, Description, StrRef, STRING_REF, DescRef, GuiName, SpellDesc, NamePlural), compared
// case-insensitively.
bool IsStrRefColumn(std::string_view title);

// A strref with its text: "1234 (Longsword)", or the number alone when there is no text.
std::string WithStrRefText(std::uint32_t strref, const TStrRefText& text);

// A 2DA as rows: the row labels, then a column per header field; "****" as the file writes it;
// the cells of strref columns that hold a number with the talk table's text beside it.
class TwoDaRows final : public ViewerRows {
public:
    TwoDaRows(media::TTwoDa table, TStrRefText strRefText);
    std::size_t ColumnCount() const override { return widths_.size(); }
    std::string ColumnTitle(std::size_t column) const override;
    std::size_t ColumnWidth(std::size_t column) const override { return column < widths_.size() ? widths_[column] : 0; }
    std::size_t RowCount() const override { return table_.RowCount(); }
    std::string Cell(std::size_t row, std::size_t column) const override;
    const media::TTwoDa& Table() const { return table_; }

    // Orders the rows by column: numbers as numbers, then text case-insensitively, "****" last
    // in both directions; rows that compare equal keep the file's order.
    void Sort(std::size_t column, bool ascending);
    // The file's row shown at row.
    std::size_t FileRow(std::size_t row) const { return row < order_.size() ? order_[row] : row; }

private:
    std::string FileCell(std::size_t fileRow, std::size_t column) const;

    media::TTwoDa table_;
    TStrRefText strRefText_;
    std::vector<bool> strRefColumns_; // by column of the rows
    std::vector<std::size_t> widths_;
    std::vector<std::size_t> order_; // the file's row of each shown row
};

// Lines made when asked: a hex dump of bytes (one column), or the lines of a text (a column of
// line numbers, then the line).
class LineRows final : public ViewerRows {
public:
    LineRows(std::span<const std::uint8_t> bytes, bool hex);
    std::size_t ColumnCount() const override { return hex_ ? 1 : 2; }
    std::string ColumnTitle(std::size_t) const override { return {}; }
    std::size_t ColumnWidth(std::size_t column) const override;
    std::size_t RowCount() const override;
    std::string Cell(std::size_t row, std::size_t column) const override;

private:
    std::span<const std::uint8_t> bytes_;
    bool hex_;
    std::vector<std::size_t> starts_;
    std::size_t width_ = 0;
};

// A talk table's strings: strref, text, sound ResRef. Made as they come into sight.
class TalkRows final : public ViewerRows {
public:
    explicit TalkRows(const tlk::TTalkTable& table) : table_(table) {}
    std::size_t ColumnCount() const override { return 3; }
    std::string ColumnTitle(std::size_t column) const override;
    std::size_t ColumnWidth(std::size_t column) const override;
    std::size_t RowCount() const override { return table_.Count(); }
    std::string Cell(std::size_t row, std::size_t column) const override;

private:
    const tlk::TTalkTable& table_;
};

// A soundset's sounds: name, ResRef, strref, text.
class SoundsetRows final : public ViewerRows {
public:
    SoundsetRows(std::vector<tlk::TSsfEntry> sounds, const TStrRefText& strRefText);
    std::size_t ColumnCount() const override { return 4; }
    std::string ColumnTitle(std::size_t column) const override;
    std::size_t ColumnWidth(std::size_t column) const override;
    std::size_t RowCount() const override { return cells_.size(); }
    std::string Cell(std::size_t row, std::size_t column) const override;

private:
    std::vector<std::vector<std::string>> cells_;
};

// A GFF's tree: a line per field (label, type, value), a line per struct of a list ("[0]",
// "struct", its id), a line per language string of a CExoLocString ("French female", "", its
// text). Every line's node is made in one pass when the tree is built, children side by side,
// so that a node's number is its place in one array.
class GffTree final : public ViewerTree {
public:
    GffTree(const gff::TGff& gff, TStrRefText strRefText);
    std::size_t ColumnCount() const override { return 3; }
    std::string ColumnTitle(std::size_t column) const override;
    std::size_t ChildCount(Node node) const override;
    Node Child(Node node, std::size_t index) const override;
    Node Parent(Node node) const override;
    std::size_t IndexInParent(Node node) const override;
    std::string Cell(Node node, std::size_t column) const override;
    std::size_t NodeCount() const { return nodes_.size(); }
    // The node after node in tree order (a line's children before its next sibling), wrapping
    // from the last to the first; kViewerRoot stands before the first.
    Node Next(Node node) const;
    Node Previous(Node node) const;

private:
    enum class TKind : std::uint8_t { Root, Field, ListItem, LocString };
    struct TNode {
        std::uint32_t Parent = 0;
        std::uint32_t FirstChild = 0;
        std::uint32_t ChildCount = 0;
        std::uint32_t Ref = 0; // Field: the field; ListItem: the struct; LocString: the string
        std::uint32_t Owner = 0; // LocString: the TGff::LocStrings index
        TKind Kind = TKind::Root;
    };
    std::string Value(const TNode& node) const;

    const gff::TGff& gff_;
    TStrRefText strRefText_;
    std::vector<TNode> nodes_; // [0] is the root
};

// A CExoLocString's language by its StringID (language x 2 + gender): "English", "French
// female", "Language 9".
std::string GffLanguageName(std::uint32_t stringId);

// Where a search found its text: the row and the column.
struct TFoundCell {
    std::size_t Row = 0;
    std::size_t Column = 0;
};

// Finds text (case-insensitive for ASCII letters) in the cells of rows, columns from
// firstColumn: the first row after `after` (before it, going back) that holds it, wrapping
// around; from the first (the last) row when after is nothing. A row of the search's start is
// found again only when no other row holds the text.
std::optional<TFoundCell> FindInRows(const ViewerRows& rows, std::string_view text, std::optional<std::size_t> after,
                                     bool forward, std::size_t firstColumn = 0);

// The same in a tree's lines, by label or value (columns 0 and 2), in tree order.
std::optional<ViewerTree::Node> FindInTree(const GffTree& tree, std::string_view text, ViewerTree::Node after,
                                           bool forward);

} // namespace vellocar::ui
