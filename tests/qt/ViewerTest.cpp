// The resource viewer's real Qt windows, opened from the resource list as a user opens them.
// With VELLOCAR_SHOT_DIR set (under xvfb-run), pictures of a table and a texture viewer are
// saved there too.

#include "ArchiveBytes.h"
#include "ModalAnswer.h"
#include "PngPixels.h"
#include "QtViewer.h"
#include "QtWindow.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QTreeView>

using namespace vellocar;
using ui::ControlId;
using vellocar::qt::ViewerWidget;
using vellocar::qt::test::QtWindow;

namespace {

// The events a window reports, one line each, taken by Heard().
struct Said final : ui::ViewerEvents {
    QStringList lines;
    QStringList Heard() { return std::exchange(lines, {}); }
    void ZoomChosen(ui::ViewerZoom) override {}
    void PictureAreaResized(int, int) override {}
    void SavePngClicked() override {}
    void SaveAsClicked() override {}
    void SaveConvertedClicked() override { lines << "converted"; }
    void ChannelsChosen(ui::ViewerChannels c) override { lines << QString("channels %1").arg(int(c)); }
    void MipChosen(std::size_t level) override { lines << QString("mip %1").arg(level); }
    void PicturePointed(int x, int y) override { lines << QString("pixel %1,%2").arg(x).arg(y); }
    void ColumnClicked(std::size_t column) override { lines << QString("column %1").arg(column); }
    void FindAsked(const std::string& t, bool f) override { lines << QString("find %1 %2").arg(t.c_str()).arg(f); }
    void OpenTalkTableClicked() override { lines << "talk table"; }
    void CloseAsked() override { lines << "close"; }
};

// A GFF's shape: each node's parent, then its label, type and value.
struct Tree final : ui::ViewerTree {
    const Node parents[5] = {0, 0, 0, 2, 3};
    const char* cells[5][3] = {
        {}, {"Tag", "CExoString", "sword"}, {"ItemList", "List", "1"}, {"[0]", "Struct", "0"}, {"Cost", "DWORD", "10"}};
    std::size_t ColumnCount() const override { return 3; }
    std::string ColumnTitle(std::size_t c) const override { return c ? c == 1 ? "Type" : "Value" : "Label"; }
    std::size_t ChildCount(Node n) const override { return n == 0 ? 2 : n == 2 || n == 3 ? 1 : 0; }
    Node Child(Node n, std::size_t i) const override { return n ? n + 1 : Node(i + 1); }
    Node Parent(Node n) const override { return parents[n]; }
    std::size_t IndexInParent(Node n) const override { return n == 2 ? 1 : 0; }
    std::string Cell(Node n, std::size_t c) const override { return cells[n][c]; }
};

// A talk table's shape: strref, text.
struct Rows final : ui::ViewerRows {
    std::size_t ColumnCount() const override { return 2; }
    std::string ColumnTitle(std::size_t c) const override { return c ? "Text" : "StrRef"; }
    std::size_t ColumnWidth(std::size_t) const override { return 20; }
    std::size_t RowCount() const override { return 50; }
    std::string Cell(std::size_t r, std::size_t c) const override { return (c ? "Line " : "") + std::to_string(r); }
};

} // namespace

class ViewerTest : public QObject {
    Q_OBJECT

private slots:
    void opensEachLineOnceAndEscapeClosesIt();
    void savesThePictureAsPng();
    void reportsWhatTheUserDoes();
    void opensBesideItsOwner();

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

void ViewerTest::reportsWhatTheUserDoes() {
    QWidget owner;
    owner.show();
    Said said;
    Tree tree;
    Rows rows;
    const std::vector<std::uint32_t> pixels(16, 0xFF4080C0u);
    qt::QtViewerWindow window(&owner, "look", said);
    ViewerWidget* w = window.Widget();
    auto* view = w->findChild<QTreeView*>();
    auto* table = w->findChild<QTableView*>();
    window.Raise();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // Picture pixel (2, 1) at a scale of 2 screen pixels, whatever the screen's own scale.
    const QPoint onPicture(static_cast<int>(5 / w->devicePixelRatio()), static_cast<int>(3 / w->devicePixelRatio()));
    // A branch opened by the user, then a node found by the logic.
    window.ShowTree(tree);
    view->setCurrentIndex(view->model()->index(1, 0));
    QTest::keyClick(view, Qt::Key_Right);
    QVERIFY(view->isExpanded(view->currentIndex()) && view->model()->rowCount(view->currentIndex()) == 1);
    view->collapseAll();
    window.SelectNode(4);
    QCOMPARE(view->currentIndex().data().toString(), QStringLiteral("Cost"));
    QVERIFY(view->isExpanded(view->currentIndex().parent()) && view->isExpanded(view->model()->index(1, 0)));

    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(w->FindText(), "cost");
    QTest::keyClick(w->FindText(), Qt::Key_Return);
    QTest::keyClick(view, Qt::Key_F3, Qt::ShiftModifier);
    QTest::keyClick(w->FindText(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(said.Heard(), QStringList({"find cost 1", "find cost 0", "find cost 0"}));
    Shot(w, "qt-viewer-gff.png");
    QTest::keyClick(w->FindText(), Qt::Key_Escape); // the bar, then the window
    QTest::keyClick(view, Qt::Key_Escape);
    QCOMPARE(said.Heard(), QStringList({"close"}));

    window.ShowRows(rows, false);
    window.ShowTalkTableCommand(true);
    window.ShowConvertedSave("Save as JSON...");
    QHeaderView* header = table->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, {header->sectionViewportPosition(1) + 5, 5});
    window.RowsChanged(1, false);
    window.SelectRow(40);
    w->Button("OpenTalkTable")->click();
    w->Button("SaveConverted")->click();
    QCOMPARE(said.Heard(), QStringList({"column 1", "talk table", "converted"}));
    Shot(w, "qt-viewer-tlk.png");

    window.ShowPicture({4, 4, &pixels});
    window.SetPictureScale(2, ui::ViewerZoom::Actual);
    window.ShowPictureCommands(true);
    window.SetPictureChoices({"4 x 4", "2 x 2"}, 0, ui::ViewerChannels::Rgb);
    w->Button("Alpha")->click();
    QTest::keyClick(w->findChild<QComboBox*>("Mip"), Qt::Key_Down);
    QTest::mouseMove(w->windowHandle(), w->findChild<QWidget*>("Picture")->mapTo(w, onPicture));
    QTest::mouseMove(w->windowHandle(), {2, 2});
    QCOMPARE(said.Heard(), QStringList({"channels 2", "mip 1", "pixel 2,1", "pixel -1,-1"}));
    QCOMPARE(table->horizontalHeader()->sortIndicatorSection(), 1);
    QCOMPARE(table->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(table->currentIndex().row(), 40);
    QVERIFY(w->Button("Rgb")->isVisible() && w->Button("Alpha")->isChecked());
}

void ViewerTest::opensBesideItsOwner() {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const int wide = screen.width() - 300;
    // The owner's left edge, then where the first viewer goes (to its right, to its left, over it
    // cascaded); a second viewer cascades from the first.
    enum { Right, Left, Over };
    for (const auto& [left, place] : {std::pair{0, Right}, std::pair{300, Left}, std::pair{150, Over}}) {
        QWidget owner;
        owner.move(screen.topLeft() + QPoint(left, 0));
        owner.resize(wide, 200);
        owner.show();
        Said said;
        qt::QtViewerWindow one(&owner, "one", said), two(&owner, "two", said);
        for (auto* window : {&one, &two}) {
            window->Widget()->resize(200, 150);
            window->Raise();
        }
        const QRect o = owner.frameGeometry(), v = one.Widget()->frameGeometry();
        const QPoint at[] = {{o.right() + 1, o.top()}, {o.left() - v.width(), o.top()}, o.topLeft() + QPoint(32, 32)};
        QCOMPARE(v.topLeft(), at[place]);
        QCOMPARE(two.Widget()->frameGeometry().topLeft(), v.topLeft() + QPoint(32, 32));
    }
}

QTEST_MAIN(ViewerTest)
#include "ViewerTest.moc"
