// The resource browser's real Qt window, driven as a user drives it, its events heard by a fake
// logic; and the program's own entry to it.

#include "ArchiveBytes.h"
#include "NoViewerEvents.h"
#include "QtBrowser.h"
#include "QtViewer.h"
#include "QtWindow.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace vellocar;
using ui::BrowserCommand;
using vellocar::qt::BrowserWidget;

namespace {

// The events a window reports, one line each, taken by Heard().
struct Said final : ui::BrowserEvents {
    QStringList lines;
    std::function<void()> onClose;
    QStringList Heard() { return std::exchange(lines, {}); }
    void LayerChecked(std::size_t l, bool on) override { lines << QString("layer %1 %2").arg(l).arg(on); }
    void FilterChanged(const std::string& t) override { lines << QString("filter ") + t.c_str(); }
    void ColumnClicked(std::size_t c) override { lines << QString("column %1").arg(c); }
    void RowOpened(std::size_t r) override { lines << QString("open %1").arg(r); }
    void SelectionChanged() override {
        if (lines.isEmpty() || lines.back() != "selection") lines << "selection";
    }
    void CommandChosen(BrowserCommand c) override { lines << QString("command %1").arg(int(c)); }
    std::vector<std::string> DragStarted() override { return {}; }
    void CloseAsked() override {
        lines << "close";
        if (onClose) onClose();
    }
};

// Many rows, made as asked: name, type, size.
struct Rows final : ui::BrowserRows {
    std::size_t ColumnCount() const override { return 3; }
    std::string ColumnTitle(std::size_t c) const override { return c == 0 ? "Name" : c == 1 ? "Type" : "Size"; }
    bool ColumnRightAligned(std::size_t c) const override { return c == 2; }
    std::size_t ColumnWidth(std::size_t c) const override { return c == 0 ? 16 : 5; }
    std::size_t RowCount() const override { return 400000; }
    std::string Cell(std::size_t r, std::size_t c) const override {
        return c == 0 ? "res" + std::to_string(r) : c == 1 ? "2da" : std::to_string(r * 2);
    }
};

std::vector<ui::BrowserCommandState> Commands(bool conflicts) {
    return {{BrowserCommand::ShowConflicts, "Conflicts", true, true, conflicts, false},
            {BrowserCommand::View, "View", true, false, false, true},
            {BrowserCommand::ExportRaw, "Export...", false, false, false, true},
            {BrowserCommand::CopyName, "Copy name", true, false, false, true}};
}

QPoint RowCentre(QTableView* table, int row) { return table->visualRect(table->model()->index(row, 0)).center(); }

} // namespace

class BrowserTest : public QObject {
    Q_OBJECT

private slots:
    void reportsWhatTheUserDoes();
    void docksTheViewerInItsPane();
    void dragsFilesAsTheirUrls();
    void endsWithTheLastBrowserOfAHiddenProgram();
    void rightClickOnABifKeepsTheChosenOne();
};

void BrowserTest::reportsWhatTheUserDoes() {
    Said said;
    Rows rows;
    auto window = std::make_unique<qt::QtBrowserWindow>(nullptr, "Browse", said);
    BrowserWidget* w = window->Widget();
    window->SetLayers({{"nwn_base  3", "/game/data/nwn_base.key", true, false},
                       {"override  2", "/game/override", true, false},
                       {"broken.hak  0", "/game/hak/broken.hak: not an archive", true, true}});
    window->SetCommands(Commands(false));
    window->ShowRows(rows, 0, true);
    window->SetCount("400,000 of 400,000");
    window->Raise();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_VERIFY(w->isActiveWindow());
    QTableView* table = w->Table();
    QCOMPARE(table->model()->rowCount(), 400000);
    QCOMPARE(table->model()->index(399999, 0).data().toString(), QStringLiteral("res399999"));
    QCOMPARE(table->model()->index(1, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    QVERIFY(w->Layers()->item(2)->icon().cacheKey() != w->Layers()->item(1)->icon().cacheKey());
    QCOMPARE(w->Layers()->item(2)->toolTip(), QStringLiteral("/game/hak/broken.hak: not an archive"));

    // A layer's check box, by the keyboard; the same layers again are no event.
    w->Layers()->setCurrentRow(1);
    QTest::keyClick(w->Layers(), Qt::Key_Space);
    window->SetLayers({{"nwn_base  3", "", true, false}, {"override  2", "", false, false}, {"x", "", true, true}});
    // Ctrl+F from the table, then typing.
    QTest::keyClick(table, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(w->Filter()->hasFocus());
    QTest::keyClicks(w->Filter(), "2a");
    // A title clicked: the arrow stays as the logic drew it until it shows the rows again.
    QHeaderView* header = table->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, {header->sectionViewportPosition(2) + 5, 5});
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    window->ShowRows(rows, 2, false);
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(said.Heard(), QStringList({"layer 1 0", "filter 2", "filter 2a", "column 2"}));

    // Rows chosen with the mouse and opened by Enter and a double-click.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, RowCentre(table, 5));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ShiftModifier, RowCentre(table, 7));
    QCOMPARE(window->SelectedRows(), (std::vector<std::size_t>{5, 6, 7}));
    QTest::keyClick(table, Qt::Key_Return);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, RowCentre(table, 9));
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, RowCentre(table, 9));
    window->SelectRow(3); // the logic's own choice is no event
    QCOMPARE(window->SelectedRows(), (std::vector<std::size_t>{3}));
    QCOMPARE(said.Heard(), QStringList({"selection", "open 7", "selection", "open 9"}));

    // The row menu holds the row commands; the toggle is drawn as the logic says; Ctrl+C copies.
    QContextMenuEvent menu(QContextMenuEvent::Mouse, RowCentre(table, 3),
                           table->viewport()->mapToGlobal(RowCentre(table, 3)));
    QApplication::sendEvent(table->viewport(), &menu);
    QTRY_VERIFY(w->RowMenu() && w->RowMenu()->isVisible());
    QStringList items;
    for (QAction* action : w->RowMenu()->actions()) items << action->text();
    QCOMPARE(items, QStringList({"View", "Export...", "Copy name"}));
    QVERIFY(!w->RowMenu()->actions()[1]->isEnabled());
    w->RowMenu()->actions()[0]->trigger();
    w->RowMenu()->close();
    QToolButton* conflicts = w->CommandButton(BrowserCommand::ShowConflicts);
    QTest::mouseClick(conflicts, Qt::LeftButton);
    QVERIFY(!conflicts->isChecked());
    window->SetCommands(Commands(true));
    QVERIFY(conflicts->isChecked());
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(said.Heard(), QStringList({"command 6", "command 3", "command 10"}));

    // Escape, then the close box: the logic lets the window go, here from inside the event.
    QTest::keyClick(table, Qt::Key_Escape);
    QVERIFY(w->isVisible());
    said.onClose = [&window] { window.reset(); };
    QPointer<BrowserWidget> gone = w;
    w->close();
    QCOMPARE(said.Heard(), QStringList({"close", "close"}));
    QTRY_VERIFY(!gone);
}

void BrowserTest::docksTheViewerInItsPane() {
    Said said;
    test::NoViewerEvents viewerEvents;
    qt::QtBrowserWindow window(nullptr, "Browse", said);
    BrowserWidget* w = window.Widget();
    window.Raise();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_VERIFY(w->isActiveWindow());
    QVERIFY(!w->Pane()->isVisible());
    auto viewer = window.OpenDockedViewer("look.2da", viewerEvents);
    auto* docked = static_cast<qt::QtViewerWindow*>(viewer.get())->Widget();
    QVERIFY(!w->Pane()->isVisible()); // until the viewer's Raise
    viewer->Raise();
    QTRY_VERIFY(docked->isVisible());
    QVERIFY(w->Pane()->isVisible() && docked->window() == w && w->Pane()->width() > 100);
    QVERIFY(w->Pane()->width() < w->width() * 2 / 3);
    // Ctrl+F is the filter's in the browser's part, the viewer's find inside the viewer.
    QTest::keyClick(w->Table(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(w->Filter()->hasFocus());
    docked->Views()->currentWidget()->setFocus();
    QTest::keyClick(docked->Views()->currentWidget(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(docked->FindText()->hasFocus());
    viewer.reset();
    QVERIFY(!w->Pane()->isVisible());
    QVERIFY(said.Heard().isEmpty());
}

void BrowserTest::dragsFilesAsTheirUrls() {
    const std::unique_ptr<QMimeData> data(qt::FilesMimeData({"/tmp/drag/a b.2da", "/tmp/drag/c.tga"}));
    QCOMPARE(data->urls(), QList<QUrl>({QUrl("file:///tmp/drag/a%20b.2da"), QUrl("file:///tmp/drag/c.tga")}));
}

void BrowserTest::endsWithTheLastBrowserOfAHiddenProgram() {
    qt::test::QtWindow program;
    Said said;
    auto one = program.Toolkit().OpenBrowserWindow("one", said);
    auto two = program.Toolkit().OpenBrowserWindow("two", said);
    QCOMPARE(program.Toolkit().BrowserWindows(), 2);
    one->Raise();
    // The main window never shown: the program runs until its last browser goes (or a guard's 5 s).
    QTimer::singleShot(10, [&one] { one.reset(); });
    QTimer::singleShot(20, [&two] { two.reset(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(program.Toolkit().BrowserWindows(), 0);
}

void BrowserTest::rightClickOnABifKeepsTheChosenOne() {
    vellocar::test::TempDir dir;
    qt::test::QtWindow program;
    QVERIFY(program.Start());
    vellocar::test::ArchiveBif second = vellocar::test::ViewerBif();
    second.StoredName = "data\\second.bif";
    program.Form().KeyFileGiven(
        vellocar::test::WriteArchive(dir.path(), "two.key", {vellocar::test::ViewerBif(), second}));
    program.ClickLine(ui::ControlId::ListBox1, 0);
    QListWidget* bifs = program.List(ui::ControlId::ListBox1);
    const QStringList resources = program.Lines(ui::ControlId::ListBox2);
    // As on Windows, the right button asks for the line's menu and leaves the chosen BIF as it was.
    const QPoint other = bifs->visualItemRect(bifs->item(1)).center();
    QTest::mouseClick(bifs->viewport(), Qt::RightButton, {}, other);
    QCOMPARE(bifs->currentRow(), 0);
    QVERIFY(bifs->item(0)->isSelected() && !bifs->item(1)->isSelected());
    QCOMPARE(program.Lines(ui::ControlId::ListBox2), resources);
}

QTEST_MAIN(BrowserTest)
#include "BrowserTest.moc"
