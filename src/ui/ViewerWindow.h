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

enum class ViewerZoom { Fit, Actual, Double };

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
    // How many screen pixels a picture pixel takes, and which zoom button is down.
    virtual void SetPictureScale(double scale, ViewerZoom zoom) = 0;

    virtual void SetStatus(const std::string& text) = 0;
    // The picture's commands (zoom, "Save as PNG..."); "Save as..." is always there.
    virtual void ShowPictureCommands(bool shown) = 0;
    // On screen, in front and active.
    virtual void Raise() = 0;
};

} // namespace vellocar::ui
