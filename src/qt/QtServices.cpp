// The window's dialogs, message boxes and "open" on Qt, and the files handed to the program
// from outside.

#include "QtServices.h"

#include "QtText.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include <vector>

namespace vellocar::qt {

namespace {

// The folder a dialog starts in, if it exists. A folder spelled with backslashes, as Windows
// spells it, is tried with slashes when the name as given is no folder.
std::optional<QString> ExistingFolder(const std::string& folder) {
    if (folder.empty()) return std::nullopt;
    QString path = PathToQt(folder);
    if (QFileInfo(path).isDir()) return path;
    QString slashed = path;
    slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QFileInfo(slashed).isDir()) return slashed;
    return std::nullopt;
}

// Qt's own dialog, not the desktop's: only Qt's own honours the default suffix, the filter and
// "no overwrite prompt" alike everywhere (a desktop portal's may not). Qt heeds the option
// only when it comes before the dialog's other settings.
void UseQtDialog(QFileDialog& dialog) { dialog.setOption(QFileDialog::DontUseNativeDialog, true); }

// The first file chosen in a dialog that was accepted, cleaned (cleanPath drops a trailing
// slash but keeps the root's); nothing on cancel.
std::optional<QString> Chosen(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    return QDir::cleanPath(chosen.first());
}

} // namespace

std::optional<std::string> RunFileDialog(QWidget* owner, const ui::FileDialogSpec& desc) {
    QFileDialog dialog(owner);
    if (!desc.Title.empty()) dialog.setWindowTitle(ToQt(desc.Title));
    UseQtDialog(dialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !desc.OverwritePrompt);
    if (desc.DialogMode == ui::FileDialogSpec::Mode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    const QStringList filters = QtFilters(desc.Filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    std::string suffix = desc.DefaultExt;
    while (!suffix.empty() && suffix.front() == '.') suffix.erase(0, 1);
    if (!suffix.empty()) dialog.setDefaultSuffix(ToQt(suffix));
    if (auto folder = ExistingFolder(desc.InitialDir)) dialog.setDirectory(*folder);
    if (!desc.FileName.empty()) dialog.selectFile(PathToQt(desc.FileName));
    dialog.setSizeGripEnabled(desc.EnableSizing);

    const auto file = Chosen(dialog);
    if (!file) return std::nullopt;
    return PathFromQt(*file);
}

std::optional<std::string> BrowseForFolder(QWidget* owner, const std::string& prompt,
                                           const std::string& initialFolder) {
    QFileDialog dialog(owner, ToQt(prompt));
    UseQtDialog(dialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (auto folder = ExistingFolder(initialFolder)) dialog.setDirectory(*folder);

    const auto folder = Chosen(dialog);
    if (!folder || !QFileInfo(*folder).isDir()) return std::nullopt;
    return PathFromQt(*folder);
}

ui::MessageAnswer ShowMessage(QWidget* owner, const std::string& text, const std::string& title, ui::MessageKind kind) {
    QMessageBox box(owner);
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQt(text));
    box.setWindowTitle(ToQt(title));
    const bool question = kind == ui::MessageKind::YesNo;
    switch (kind) {
        case ui::MessageKind::OkError:
            box.setIcon(QMessageBox::Critical);
            break;
        case ui::MessageKind::OkWarning:
            box.setIcon(QMessageBox::Warning);
            break;
        case ui::MessageKind::Ok:
        case ui::MessageKind::YesNo:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    box.setStandardButtons(question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    box.setDefaultButton(question ? QMessageBox::Yes : QMessageBox::Ok);
    box.exec();
    if (!question) return ui::MessageAnswer::Ok;
    return box.clickedButton() == box.button(QMessageBox::Yes) ? ui::MessageAnswer::Yes : ui::MessageAnswer::No;
}

void ShellOpen(const std::string& target) { QDesktopServices::openUrl(QUrl(ToQt(target), QUrl::TolerantMode)); }

QStringList QtFilters(const std::string& windowsFilter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = windowsFilter.find('|', start);
        parts.push_back(windowsFilter.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    QStringList filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        QString masks = ToQt(parts[i + 1]);
        masks.replace(QLatin1Char(';'), QLatin1Char(' '));
        masks = masks.simplified();
        if (masks.isEmpty()) continue;
        filters << ToQt(parts[i]) + QStringLiteral(" (") + masks + QStringLiteral(")");
    }
    return filters;
}

std::optional<std::string> DroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return std::nullopt;
    const QString path = urls.front().toLocalFile();
    if (path.isEmpty()) return std::nullopt;
    return PathFromQt(path);
}

std::optional<std::string> KeyFileArgument(const QStringList& arguments) {
    // Qt has taken its own options out already; "--" ends the options, so that a file named
    // "-x" can still be given.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--")) {
            if (i + 1 < arguments.size()) return PathFromQt(QFileInfo(arguments[i + 1]).absoluteFilePath());
            return std::nullopt;
        }
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-'))) continue;
        // A desktop entry may hand over a file:// URL instead of a path.
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        // Full, as the Open dialog gives it.
        return PathFromQt(QFileInfo(path).absoluteFilePath());
    }
    return std::nullopt;
}

} // namespace vellocar::qt
