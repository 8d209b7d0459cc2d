// The Linux window listing a BIF: the real Qt window and window logic, a KEY's first BIF chosen
// as a click would, timed until the list holds every resource line and has been painted.
//
//   vellocar_qt_list_bench KEY [RUNS]     (on a display, or QT_QPA_PLATFORM=offscreen)
//
// Prints one line per run: "bif <lines> <seconds>".

#include "Main.h"
#include "QtToolkit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s KEY [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;

    using vellocar::ui::ControlId;
    vellocar::qt::QtToolkit toolkit;
    vellocar::ui::TForm1 form(toolkit);
    toolkit.Attach(form);
    form.Created();
    toolkit.Show();

    // What opening the KEY leaves behind, without its dialog.
    form.KeyPath = argv[1];
    form.KeyModel = std::make_shared<vellocar::TNWNKeyFile>();
    form.KeyModel->LoadFromFile(form.KeyPath);
    for (const auto& entry : form.KeyModel->Filenames) toolkit.ListAdd(ControlId::ListBox1, entry.Filename);
    toolkit.SetEnabled(ControlId::ListBox1, true);
    QApplication::processEvents();

    QListWidget* bifs = toolkit.List(ControlId::ListBox1);
    QListWidget* resources = toolkit.List(ControlId::ListBox2);
    int status = 0;
    for (int run = 0; run < runs; ++run) {
        bifs->clearSelection();
        resources->clear();
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        bifs->setCurrentRow(0); // the selection change opens the BIF, as a click does
        QApplication::processEvents();
        resources->repaint();
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        std::printf("bif %d %.3f\n", resources->count(), seconds);
        if (resources->count() == 0) status = 1;
    }
    toolkit.Detach();
    return status;
}
