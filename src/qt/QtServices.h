#pragma once
// The desktop services behind the window's dialogs on Qt: the file and folder dialogs, message
// boxes, the desktop's "open", and the files that reach the program from outside (a drop, the
// command line). The dialogs take the window that owns them; none keeps state.

#include "Toolkit.h"

#include <QStringList>

#include <optional>
#include <string>

class QMimeData;
class QWidget;

namespace vellocar::qt {

std::optional<std::string> RunFileDialog(QWidget* owner, const ui::FileDialogSpec& dialog);

std::optional<std::string> BrowseForFolder(QWidget* owner, const std::string& prompt, const std::string& initialFolder);

ui::MessageAnswer ShowMessage(QWidget* owner, const std::string& text, const std::string& title, ui::MessageKind kind);

// The desktop's "open" on a URL or "mailto:" target, result ignored.
void ShellOpen(const std::string& target);

// Qt's filter string for a Windows one: "*.key|*.key" -> "*.key (*.key)", one per pair, with
// the masks of a pair (";"-separated) listed with blanks.
QStringList QtFilters(const std::string& windowsFilter);

// The file of a drop: the first of its URLs when it is a local file; nothing otherwise.
std::optional<std::string> DroppedFile(const QMimeData* data);

// The KEY named on the command line (QApplication::arguments()): the first argument that is no
// option, as the file system spells it; nothing when there is none.
std::optional<std::string> KeyFileArgument(const QStringList& arguments);

} // namespace vellocar::qt
