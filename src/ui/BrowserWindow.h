#pragma once
// What a face offers for the resource browser's window: a resizable window with the layers on
// the left (a check box, a text and a tooltip each), a filter line and a count above one resource
// table on the right, a row of commands, a status line, and a pane beside the table where a
// resource's viewer can be docked. The browser's logic (Browser.h) tells it what to show and
// hears what the user does through BrowserEvents. Standard types only; every text is UTF-8.

#include "ViewerWindow.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vellocar::ui {

// The table's content, asked for as rows come into sight (hundreds of thousands of rows: a face
// never copies them). It outlives the window that shows it until the next ShowRows.
class BrowserRows {
public:
    virtual ~BrowserRows() = default;
    virtual std::size_t ColumnCount() const = 0;
    virtual std::string ColumnTitle(std::size_t column) const = 0;
    // Numbers (a size) are drawn against the right edge.
    virtual bool ColumnRightAligned(std::size_t column) const = 0;
    // The widest text the column is expected to hold, in characters: the faces size columns by it.
    virtual std::size_t ColumnWidth(std::size_t column) const = 0;
    virtual std::size_t RowCount() const = 0;
    virtual std::string Cell(std::size_t row, std::size_t column) const = 0;
};

// One line of the layers pane, lowest layer first (the game's order: a later one wins).
struct BrowserLayer {
    std::string Text; // "override  1,204"
    std::string Tooltip; // the path, and what could not be read in it
    bool Checked = true;
    bool Problem = false; // something of it could not be read: drawn with a warning mark
};

// The window's commands: toolbar buttons, and those marked InRowMenu in the table's context menu
// too. Toggles are drawn as buttons that stay down (Checked).
enum class BrowserCommand : std::uint8_t {
    ChooseModule, // "Module..."
    AddArchive, // "Add archive..."
    AddFolder, // "Add folder..."
    ShowConflicts, // toggle: the conflicts view in place of every resource
    ShowShadowed, // toggle: the shadowed copies as rows of their own under the copy that wins
    DockViewer, // toggle: the viewer docked beside the table, else in a window of its own
    View, // the selected row in the viewer
    ExportRaw, // the selected rows as their own bytes
    ExportPng, // ... textures as PNG
    ExportJson, // ... GFF, talk tables and soundsets as JSON
    CopyName, // the selected rows' names, one a line, on the clipboard
    SaveConflicts, // the conflicts as text or JSON
};

struct BrowserCommandState {
    BrowserCommand Command = BrowserCommand::View;
    std::string Caption;
    bool Enabled = true;
    bool Toggle = false;
    bool Checked = false;
    bool InRowMenu = false;
};

// What the user does in a browser window, reported by the face.
class BrowserEvents {
public:
    virtual ~BrowserEvents() = default;
    // A layer's check box clicked: the face has already drawn it as checked.
    virtual void LayerChecked(std::size_t layer, bool checked) = 0;
    // The filter line's text as the user types (every change).
    virtual void FilterChanged(const std::string& text) = 0;
    // A column's title clicked (sort by it; again: the other way).
    virtual void ColumnClicked(std::size_t column) = 0;
    // Enter or a double-click on a row (the viewer).
    virtual void RowOpened(std::size_t row) = 0;
    // The selection changed (the status line names what is selected).
    virtual void SelectionChanged() = 0;
    // A command chosen from the toolbar or the row menu (a toggle: the face has not drawn the
    // change; the logic does through SetCommands).
    virtual void CommandChosen(BrowserCommand command) = 0;
    // The user starts dragging the selected rows out of the window: the files to hand to the
    // file manager (written by the logic into a folder of its own), empty for no drag.
    virtual std::vector<std::string> DragStarted() = 0;
    // The close box or Escape. The face does not close the window itself: the logic lets it go.
    virtual void CloseAsked() = 0;
};

class BrowserWindow {
public:
    // Destroying the object closes the window; the face must allow that from inside one of its
    // own events (CloseAsked).
    virtual ~BrowserWindow() = default;

    virtual void SetLayers(const std::vector<BrowserLayer>& layers) = 0;
    // The table shows rows anew (their count and columns may have changed); the selection is
    // cleared. sortColumn's title is marked as sorted up or down; sortColumn >= ColumnCount for none.
    virtual void ShowRows(const BrowserRows& rows, std::size_t sortColumn, bool ascending) = 0;
    // The selected rows, ascending.
    virtual std::vector<std::size_t> SelectedRows() const = 0;
    virtual void SelectRow(std::size_t row) = 0;
    virtual void SetCount(const std::string& text) = 0; // "312 of 54,321"
    virtual void SetStatus(const std::string& text) = 0;
    // The toolbar and the row menu, in this order; replaces what was there.
    virtual void SetCommands(const std::vector<BrowserCommandState>& commands) = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
    // A viewer's window inside the pane beside the table (one at a time: the logic closes the
    // one before first); it is shown by its Raise. The pane is hidden while it holds none.
    virtual std::unique_ptr<ViewerWindow> OpenDockedViewer(const std::string& title, ViewerEvents& events) = 0;
    // On screen, in front and active.
    virtual void Raise() = 0;
};

} // namespace vellocar::ui
