#pragma once
// What a face offers for one resource's viewer window: a modeless window that shows one of four
// views (a table, a text, a picture, lines given on demand) and a status line, with the commands
// the viewer's logic (Viewer.h) switches on, and reports what the user does through
// ViewerEvents. Standard types only; every text is UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vellocar::ui {

// A long view's content, asked for as it comes into sight: a table's cells, or the lines of a
// hex dump. It outlives the window that shows it.
class ViewerRows {
public:
    virtual ~ViewerRows() = default;
    // Columns: one for lines; a table's first column holds its row labels.
    virtual std::size_t ColumnCount() const = 0;
    virtual std::string ColumnTitle(std::size_t column) const = 0;
    // The widest text of the column, in characters: the faces size columns by it.
    virtual std::size_t ColumnWidth(std::size_t column) const = 0;
    virtual std::size_t RowCount() const = 0;
    virtual std::string Cell(std::size_t row, std::size_t column) const = 0;
};

// A tree's content (a GFF's structs, lists and fields), asked for as branches are opened. Nodes
// are numbers given by the logic; kViewerRoot is the invisible root whose children are the
// top-level lines.
class ViewerTree {
public:
    using Node = std::uint32_t;
    static constexpr Node kViewerRoot = 0;
    virtual ~ViewerTree() = default;
    // Columns: the label, the type, the value (the Win32 tree, with one text a line, joins them).
    virtual std::size_t ColumnCount() const = 0;
    virtual std::string ColumnTitle(std::size_t column) const = 0;
    virtual std::size_t ChildCount(Node node) const = 0;
    virtual Node Child(Node node, std::size_t index) const = 0;
    virtual Node Parent(Node node) const = 0; // kViewerRoot for a top-level line
    virtual std::size_t IndexInParent(Node node) const = 0;
    virtual std::string Cell(Node node, std::size_t column) const = 0;
};

enum class ViewerZoom { Fit, Actual, Double };

// Which channels a picture is shown with: as it is (over the checkerboard), its colour without
// the alpha (NWN often uses alpha as a shine mask, not as transparency), or the alpha alone as
// grey.
enum class ViewerChannels { Rgba, Rgb, Alpha };

// A picture as the window draws it: Width x Height words 0xAARRGGBB, alpha 255, rows top
// first (QImage::Format_RGB32, a 32-bit top-down DIB).
struct ViewerPicture {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    const std::vector<std::uint32_t>* Pixels = nullptr;
};

// What the user does in a viewer window, reported by the face.
class ViewerEvents {
public:
    virtual ~ViewerEvents() = default;
    virtual void ZoomChosen(ViewerZoom zoom) = 0;
    // The size of the area a picture is drawn in, in the screen's own pixels.
    virtual void PictureAreaResized(int width, int height) = 0;
    virtual void SavePngClicked() = 0;
    virtual void SaveAsClicked() = 0;
    // The extra save that ShowConvertedSave offered ("Save as JSON...", "Save as MP3...").
    virtual void SaveConvertedClicked() = 0;
    virtual void ChannelsChosen(ViewerChannels channels) = 0;
    virtual void MipChosen(std::size_t level) = 0;
    // The picture's pixel under the mouse, or x = y = -1 when the mouse has left the picture.
    virtual void PicturePointed(int x, int y) = 0;
    // A table's column title clicked (sort by it).
    virtual void ColumnClicked(std::size_t column) = 0;
    // The find bar's text: Ctrl+F opens the bar, Enter or F3 finds the next, Shift+F3 the one
    // before. The logic finds it and selects it (SelectRow, SelectNode) or says so in the status.
    virtual void FindAsked(const std::string& text, bool forward) = 0;
    // "Open talk table..." (the custom TLK that strrefs from 16,777,216 up are looked up in).
    virtual void OpenTalkTableClicked() = 0;
    // Escape, or the window's close box. The face does not close the window itself: the logic
    // lets it go (and the face then closes it) once nothing is running in it.
    virtual void CloseAsked() = 0;
};

class ViewerWindow {
public:
    // Destroying the object closes the window; the face must allow that from inside one of
    // its own events (CloseAsked).
    virtual ~ViewerWindow() = default;

    // One view at a time; each replaces the one before.
    virtual void ShowRows(const ViewerRows& rows, bool monospace) = 0; // monospace: a hex dump
    virtual void ShowText(const std::string& text) = 0; // line ends "\n" or "\r\n"
    virtual void ShowPicture(const ViewerPicture& picture) = 0;
    virtual void ShowTree(const ViewerTree& tree) = 0;
    // The rows shown have changed order (a sort): draw them again, with the title of
    // sortColumn marked as sorted up or down.
    virtual void RowsChanged(std::size_t sortColumn, bool ascending) = 0;
    // Selects a row of the rows view, or a node of the tree (its branches opened), and scrolls
    // it into sight.
    virtual void SelectRow(std::size_t row) = 0;
    virtual void SelectNode(ViewerTree::Node node) = 0;
    // How many screen pixels a picture pixel takes, and which zoom button is down.
    virtual void SetPictureScale(double scale, ViewerZoom zoom) = 0;

    virtual void SetStatus(const std::string& text) = 0;
    // The picture's commands (zoom, "Save as PNG...", the channel buttons, the mipmap choice);
    // "Save as..." is always there.
    virtual void ShowPictureCommands(bool shown) = 0;
    // The mipmap choice's lines ("512 x 512", "256 x 256", ...) and the one shown, and which
    // channel button is down.
    virtual void SetPictureChoices(const std::vector<std::string>& mips, std::size_t mip, ViewerChannels channels) = 0;
    // A save of the resource converted ("Save as JSON...", "Save as MP3..."); "" hides it.
    virtual void ShowConvertedSave(const std::string& caption) = 0;
    // The "Open talk table..." command, where strrefs are shown.
    virtual void ShowTalkTableCommand(bool shown) = 0;
    // On screen, in front and active.
    virtual void Raise() = 0;
};

} // namespace vellocar::ui
