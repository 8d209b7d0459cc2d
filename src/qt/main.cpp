// The Linux desktop program: one fixed-size window over the shared window logic, or the
// resource browser alone when the arguments ask for it.

#include "Browser.h"
#include "Layout.h"
#include "Main.h"
#include "QtServices.h"
#include "QtToolkit.h"

#include <QApplication>
#include <QIcon>

#include <string>
#include <vector>

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
        // Qt has taken its own options out of argv; the rest are the file system's bytes.
        const std::vector<std::string> arguments(argv, argv + argc);
        if (const auto browse = vellocar::ui::BrowseArgument(arguments)) {
            // "vellocar --browse [PATH]", or "Open with" on a HAK, MOD or ERF: the browser alone,
            // and the program ends with it. A browser that could not open has said why.
            form.BrowseGiven(*browse);
            result = toolkit.BrowserWindows() > 0 ? QApplication::exec() : 1;
        } else {
            toolkit.Show();
            // "vellocar FILE" (the file manager's "Open with"): opened as the Open dialog would.
            if (const auto key = vellocar::qt::KeyFileArgument(QApplication::arguments())) form.KeyFileGiven(*key);
            result = QApplication::exec();
        }
        toolkit.Detach();
    } // the form's destruction frees its models
    return result;
}
