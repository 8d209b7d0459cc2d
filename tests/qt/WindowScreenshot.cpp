// Saves pictures of the window on a real X display (run under xvfb-run): as it starts, and
// with every step enabled, lines in both lists and the gauge running. Fails when a picture
// has the wrong size or shows nothing but the background.
// Usage: vellocar_qt_screenshot <start.png> [<working.png>]

#include "QtWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QProgressBar>

#include <cstdio>
#include <set>

using vellocar::ui::ControlId;

namespace {

bool Save(QWidget* window, const QString& path) {
    QApplication::processEvents();
    const QImage image = window->grab().toImage();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    // QT_SCALE_FACTOR times the pixels (988x698 at 2), else the screen's own scale.
    const double scale =
        qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? qgetenv("QT_SCALE_FACTOR").toDouble() : image.devicePixelRatio();
    if (image.size() != QSize(494, 349) * scale) {
        std::fprintf(stderr, "%s: %dx%d, not 494x349\n", qPrintable(path), image.width(), image.height());
        return false;
    }
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
    if (colours.size() < 8) {
        std::fprintf(stderr, "%s: only %zu colours, the window looks empty\n", qPrintable(path), colours.size());
        return false;
    }
    std::printf("saved %s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellocar"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <start.png> [<working.png>]\n", argv[0]);
        return 2;
    }
    vellocar::qt::test::QtWindow window;
    if (!window.Start()) return 1;
    if (!Save(window.Toolkit().Window(), QString::fromLocal8Bit(argv[1]))) return 1;
    if (argc < 3) return 0;

    auto& tk = window.Toolkit();
    for (ControlId id : {ControlId::Label1, ControlId::Label2, ControlId::Label3, ControlId::Label5,
                         ControlId::ListBox1, ControlId::ExportButton})
        tk.SetEnabled(id, true);
    for (const char* bif : {"data\\2da.bif", "data\\models_01.bif", "data\\sounds.bif"})
        tk.ListAdd(ControlId::ListBox1, bif);
    for (int i = 0; i < 40; ++i) tk.ListAdd(ControlId::ListBox2, "resource_" + std::to_string(i) + ".nss");
    window.List(ControlId::ListBox1)->setCurrentRow(1);
    window.List(ControlId::ListBox2)->item(2)->setSelected(true);
    window.List(ControlId::ListBox2)->item(3)->setSelected(true);
    tk.SetCaption(ControlId::KeyStatPanel, "Done");
    tk.SetCaption(ControlId::BifStatPanel, "Done");
    tk.SetCaption(ControlId::ExpStatPanel, "Wait");
    tk.SetCaption(ControlId::ExportButton, "Export Selected");
    tk.SetGaugeMin(0);
    tk.SetGaugeMax(40);
    tk.SetGaugeProgress(17);
    tk.SetVisible(ControlId::Gauge1, true);
    return Save(tk.Window(), QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
