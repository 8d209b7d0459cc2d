#pragma once
// The system services behind the window's dialogs: the common file dialogs, the shell's
// browse-for-folder dialog, message boxes and the shell's "open", and the files that reach the
// program from outside (a drop, the command line). The dialogs take the window that owns them;
// none keeps state.

#include "Toolkit.h"

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

namespace vellocar::win32 {

// "text|mask|text|mask" as the common dialogs take it: each part NUL-terminated, the whole
// ended by a second NUL. An empty filter gives an empty list (two NULs).
std::vector<char> DialogFilter(const std::string& filter);

// The OFN_* flags for a dialog description.
DWORD DialogFlags(const ui::FileDialogSpec& dialog);

std::optional<std::string> RunFileDialog(HWND owner, const ui::FileDialogSpec& dialog);

std::optional<std::string> BrowseForFolder(HWND owner, const std::string& prompt, const std::string& initialFolder);

ui::MessageAnswer ShowMessage(HWND owner, const std::string& text, const std::string& title, ui::MessageKind kind);

// The first file of a drop (WM_DROPFILES); nothing for a drop without files. The HDROP stays
// the caller's to finish.
std::optional<std::string> FirstDroppedFile(HDROP drop);

// The KEY named on the command line: the first argument after the program's name (as the C
// runtime splits the command line: quotes group blanks), made a full path; nothing when none.
std::optional<std::string> KeyFileArgument(int argc, char** argv);

// ShellExecuteA "open" on target, result ignored.
void ShellOpen(HWND owner, const std::string& target);

// While it lives, every other enabled top-level window of this thread is disabled, so that a
// modal dialog owned by `owner` takes all of the program's input; they come back on every way
// out. The owner itself is left to the dialog, which disables and re-activates it.
class ModalScope {
public:
    explicit ModalScope(HWND owner);
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    static BOOL CALLBACK Collect(HWND hwnd, LPARAM self);
    HWND owner_;
    std::vector<HWND> disabled_;
};

} // namespace vellocar::win32
