#pragma once
// The little that the main window's handlers need from a windowing toolkit, in standard types
// only. The Win32 and Qt programs implement it over their widgets (built from kLayout); the
// tests implement it as a fake whose dialogs answer from a script.

#include "BrowserWindow.h"
#include "Layout.h"
#include "ViewerWindow.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::ui {

struct FileDialogSpec {
    enum class Mode { Open, Save };
    Mode DialogMode = Mode::Open;
    std::string Filter; // "*.key|*.key": pairs of text and mask, separated by '|'
    std::string DefaultExt; // without the point ("bif"); appended to a name typed without one
    std::string Title; // empty: the system's default title
    std::string InitialDir; // empty: where the system chooses
    bool HideReadOnly = false; // the read-only check box is hidden
    bool NoChangeDir = false; // the process's current folder is restored after the dialog
    bool ShowHelp = false; // a Help button is shown
    bool PathMustExist = false; // the folder of the typed name must exist
    bool NoNetworkButton = false;
    bool EnableSizing = false; // the dialog can be resized
    bool OverwritePrompt = false;
    std::string FileName; // the name (no folder) offered at first; empty: none
};

enum class MessageKind {
    Ok, // MB_OK, no icon
    OkError, // MB_OK | MB_ICONERROR
    OkWarning, // MB_OK | MB_ICONWARNING
    YesNo, // MB_YESNO, Yes the default, no icon
};

enum class MessageAnswer { Ok, Yes, No };

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // Every control of kLayout.
    virtual void SetCaption(ControlId id, const std::string& text) = 0;
    virtual std::string Caption(ControlId id) const = 0;
    virtual void SetEnabled(ControlId id, bool enabled) = 0;
    virtual bool Enabled(ControlId id) const = 0;
    virtual void SetVisible(ControlId id, bool visible) = 0;
    virtual bool Visible(ControlId id) const = 0;
    // Adds or removes underline, keeping the font's other styles.
    virtual void SetUnderline(ControlId id, bool underline) = 0;

    // List boxes (ListBox1, ListBox2).
    virtual void ListClear(ControlId id) = 0;
    virtual void ListAdd(ControlId id, const std::string& line) = 0;
    virtual int ListCount(ControlId id) const = 0;
    virtual std::string ListLine(ControlId id, int index) const = 0;
    virtual bool ListSelected(ControlId id, int index) const = 0;
    // The selected line of a single-selection list; -1 when none.
    virtual int ListItemIndex(ControlId id) const = 0;
    // Between these two calls the list is filled without showing each line: a native list
    // that repaints after every added line takes minutes for a BIF of 11,000 resources.
    // expectedLines (0 when not known) lets the list reserve room for the lines up front. The
    // list reads and counts as usual meanwhile; ListEndUpdate shows it as it now is and raises
    // nothing. Use ListUpdate below, which ends the update on every way out.
    virtual void ListBeginUpdate(ControlId id, int expectedLines) = 0;
    virtual void ListEndUpdate(ControlId id) = 0;

    // The gauge (Gauge1). RepaintGauge shows the current position at once.
    virtual void SetGaugeMin(int value) = 0;
    virtual void SetGaugeMax(int value) = 0;
    virtual void SetGaugeProgress(int value) = 0;
    virtual void RepaintGauge() = 0;

    // Shows PopupMenu1 at the screen point of the anchor's left edge and bottom edge.
    virtual void PopupMenuBelow(ControlId anchor) = 0;
    // Shows a context menu of these items at the pointer (where the right-click or the menu key
    // asked for it) and waits: the index of the item chosen, nothing when it was dismissed.
    virtual std::optional<std::size_t> RunContextMenu(const std::vector<std::string>& items) = 0;

    // A resource viewer's window, titled title (UTF-8), its events to events (which outlive
    // it); shown by Raise, beside the main window (not over it) where the screen has room.
    virtual std::unique_ptr<ViewerWindow> OpenViewerWindow(const std::string& title, ViewerEvents& events) = 0;
    // A resource browser's window, titled title (UTF-8), its events to events (which outlive it);
    // shown by Raise. Closing the last window while the main window is hidden ends the program.
    virtual std::unique_ptr<BrowserWindow> OpenBrowserWindow(const std::string& title, BrowserEvents& events) = 0;

    // Modal dialogs. A file dialog gives the full name chosen, nothing on cancel.
    virtual std::optional<std::string> RunFileDialog(const FileDialogSpec& dialog) = 0;
    // The browse-for-folder dialog: root the desktop, file-system folders only, prompt above
    // the tree, initialFolder preselected when not empty. The chosen folder's path (no
    // trailing separator but for a drive's root), nothing on cancel or when it cannot show.
    virtual std::optional<std::string> BrowseForFolder(const std::string& prompt, const std::string& initialFolder) = 0;
    virtual MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageKind kind) = 0;

    // A string value under HKEY_LOCAL_MACHINE\key, opened for reading only; nothing when the
    // key or value is missing or access is refused. Raises EVellocarError
    // "Invalid data type for '<value>'" for a non-empty value of a non-string type.
    virtual std::optional<std::string> ReadRegistryString(const std::string& key, const std::string& value) = 0;

    // The shell's "open" on a URL or "mailto:" target; failures are ignored.
    virtual void ShellOpen(const std::string& target) = 0;

    // Repaints the whole window at once.
    virtual void RepaintNow() = 0;
    // Handles all pending window messages (clicks included) and returns.
    virtual void ProcessMessages() = 0;
};

// One update of a list (ListBeginUpdate .. ListEndUpdate) for the life of this object, so that
// the list is shown again also when an error passes in the middle of its filling. A count of
// expected lines too large for the toolkit's int is passed as 0, not known.
class ListUpdate {
public:
    ListUpdate(Toolkit& toolkit, ControlId id, std::size_t expectedLines = 0) : toolkit_(toolkit), id_(id) {
        const bool fits = expectedLines < static_cast<std::size_t>(std::numeric_limits<int>::max());
        toolkit_.ListBeginUpdate(id_, fits ? static_cast<int>(expectedLines) : 0);
    }
    ~ListUpdate() { toolkit_.ListEndUpdate(id_); }
    ListUpdate(const ListUpdate&) = delete;
    ListUpdate& operator=(const ListUpdate&) = delete;

private:
    Toolkit& toolkit_;
    ControlId id_;
};

} // namespace vellocar::ui
