// The resource viewer's real Qt windows, opened from the resource list as a user opens them.
// With VELLOCAR_SHOT_DIR set (under xvfb-run), pictures of a table and a texture viewer are
// saved there too.

#include "ArchiveBytes.h"
#include "ModalAnswer.h"
#include "PngPixels.h"
#include "QtViewer.h"
#include "QtWindow.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>

using namespace vellocar;
using ui::ControlId;
using vellocar::qt::ViewerWidget;
using vellocar::qt::test::QtWindow;

class ViewerTest : public QObject {
    Q_OBJECT

private slots:
    void opensEachLineOnceAndEscapeClosesIt();
    void savesThePictureAsPng();

private:
    // The window with data\look.bif of the viewer's archive chosen.
    void Open(QtWindow& window) {
        QVERIFY(window.Start());
        window.Form().KeyFileGiven(
            vellocar::test::WriteArchive(dir_.path(), "look.key", {vellocar::test::ViewerBif()}));
        window.ClickLine(ControlId::ListBox1, 0);
        QTRY_COMPARE(window.List(ControlId::ListBox2)->count(), 6);
    }
    static QList<ViewerWidget*> Viewers(QtWindow& window) {
        QList<ViewerWidget*> shown;
        for (ViewerWidget* v : window.Toolkit().Window()->findChildren<ViewerWidget*>())
            if (v->isVisible()) shown << v;
        return shown;
    }
    // As the system delivers one: a click, then the double-click.
    static void DoubleClick(QListWidget* list, QPoint at) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    static void Shot(QWidget* viewer, const char* name) {
        const QString folder = qEnvironmentVariable("VELLOCAR_SHOT_DIR");
        if (folder.isEmpty()) return;
        QTest::qWait(50);
        QVERIFY(viewer->grab().save(folder + QLatin1Char('/') + QLatin1String(name)));
    }

    vellocar::test::TempDir dir_;
};

void ViewerTest::opensEachLineOnceAndEscapeClosesIt() {
    QtWindow window;
    Open(window);
    QListWidget* list = window.List(ControlId::ListBox2);
    const QPoint table = list->visualItemRect(list->item(0)).center();
    DoubleClick(list, table);
    QTRY_COMPARE(Viewers(window).size(), 1);
    ViewerWidget* viewer = Viewers(window)[0];
    QCOMPARE(viewer->windowTitle(), QStringLiteral("appearance.2da - Vellocar"));
    auto* view = qobject_cast<QTableView*>(viewer->Views()->currentWidget());
    QVERIFY(view);
    QCOMPARE(view->model()->rowCount(), 2);
    QCOMPARE(view->model()->index(0, 2).data().toString(), QStringLiteral("10 gp"));
    QCOMPARE(view->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Label"));
    QVERIFY(!viewer->Button("SavePng")->isVisibleTo(viewer));
    QCOMPARE(window.Text(ControlId::ExportButton), QStringLiteral("Export Selected")); // as any click does
    Shot(viewer, "qt-viewer-table.png");

    // Enter on the texture; then the table's line again brings its window forward.
    list->setCurrentRow(3);
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_COMPARE(Viewers(window).size(), 2);
    ViewerWidget* texture = Viewers(window)[1] == viewer ? Viewers(window)[0] : Viewers(window)[1];
    QVERIFY(texture->Status()->text().startsWith(QStringLiteral("64 x 64 pixels, TGA, 32 bits")));
    QVERIFY(texture->Button("Fit")->isChecked());
    Shot(texture, "qt-viewer-texture.png");
    texture->Button("Double")->click();
    QVERIFY(texture->Status()->text().endsWith(QStringLiteral("shown at 200%")));

    // The context menu's View on the model: hex.
    QTimer pick;
    QObject::connect(&pick, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible()) {
                menu->setActiveAction(menu->actions().front());
                QTest::keyClick(menu, Qt::Key_Return);
            }
    });
    pick.start(10);
    const QPoint model = list->visualItemRect(list->item(5)).center();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, model, list->viewport()->mapToGlobal(model));
    QApplication::sendEvent(list->viewport(), &menu);
    QTRY_COMPARE(Viewers(window).size(), 3);
    for (ViewerWidget* v : Viewers(window))
        if (v->windowTitle().startsWith(QStringLiteral("c_bugbear.mdl"))) Shot(v, "qt-viewer-hex.png");

    DoubleClick(list, table);
    QTest::qWait(20);
    QCOMPARE(Viewers(window).size(), 3);
    // Only a window manager makes it active, and only the offscreen platform stands for one.
    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) QTRY_VERIFY(viewer->isActiveWindow());
    // Escape where the keyboard is, in the table.
    QTest::keyClick(viewer->Views()->currentWidget(), Qt::Key_Escape);
    QTRY_COMPARE(Viewers(window).size(), 2);
}

void ViewerTest::savesThePictureAsPng() {
    QtWindow window;
    Open(window);
    window.Form().LineOpened(ControlId::ListBox2, 3);
    QTRY_COMPARE(Viewers(window).size(), 1);
    const std::string png = (dir_.path() / "bugbear.png").string();
    vellocar::qt::test::ModalScript script;
    script.ThenChooseFile(QString::fromStdString(png));
    Viewers(window)[0]->Button("SavePng")->click();
    QCOMPARE(script.Unanswered(), 0);
    const auto bytes = vellocar::test::ReadFile(png);
    QCOMPARE(vellocar::test::ReadPng({reinterpret_cast<const char*>(bytes.data()), bytes.size()}).size(),
             std::size_t{64 * 64 * 4});
}

QTEST_MAIN(ViewerTest)
#include "ViewerTest.moc"
