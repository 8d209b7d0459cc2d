// The Linux desktop program: one fixed-size window over the shared window logic.

#include "Layout.h"
#include "Main.h"
#include "QtServices.h"
#include "QtToolkit.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Only the application name: a display name would be appended to every window title.
    QApplication::setApplicationName(
        QString::fromUtf8(vellocar::ui::kMainWindow.ApplicationTitle.data(),
                          static_cast<qsizetype>(vellocar::ui::kMainWindow.ApplicationTitle.size())));
    QGuiApplication::setDesktopFileName(QStringLiteral("vellocar"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vellocar.png")));

    int result = 0;
    vellocar::qt::QtToolkit toolkit;
    {
        vellocar::ui::TForm1 form(toolkit);
        toolkit.Attach(form);
        form.Created();
        toolkit.Show();
        // "vellocar FILE" (the file manager's "Open with"): opened as the Open dialog would.
        if (const auto key = vellocar::qt::KeyFileArgument(QApplication::arguments())) form.KeyFileGiven(*key);
        result = QApplication::exec();
        toolkit.Detach();
    } // the form's destruction frees its models
    return result;
}
