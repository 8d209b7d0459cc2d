// The Qt window as it starts, and each toolkit service against the real widgets and dialogs.

#include "ModalAnswer.h"
#include "QtServices.h"
#include "QtWindow.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <sys/stat.h>

using namespace vellocar;
using ui::ControlId;
using ui::ControlKind;
using vellocar::qt::test::ModalScript;
using vellocar::qt::test::QtWindow;

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

public slots:
    // Where the desktop's handlers of https and mailto would get them.
    void shellOpened(const QUrl& url) { opened_.push_back(url.toString().toStdString()); }

private slots:
    void startsWithEveryControlAsLaidOut();
    void windowIsFixedSizeWithTheTitleAndNoMaximizeButton();
    void tabVisitsTheCommandsInOrderAndSkipsThePanels();
    void listsHaveFixedRowsAndKeepLinesByteForByte();
    void gaugeShowsItsPercentage();
    void creditLineUnderlinesAndOpensItsMenuBelowItself();
    void fileDialogsCarryThePresets();
    void folderDialogReturnsTheChosenFolder();
    void messageBoxesHaveTheirIconsAndButtons();
    void registryPresetsTheDialogsFromTheWinePrefix();
    void registryValueOfAWrongTypeIsReportedAtStart();
    void filtersBecomeQtFilters();

private:
    std::vector<std::string> opened_;
};

void WindowTest::startsWithEveryControlAsLaidOut() {
    QtWindow window;
    QVERIFY(window.Start());
    for (const ui::ControlSpec& desc : ui::kLayout) {
        QWidget* w = window.Widget(desc.Id);
        const QString name = Q(desc.Name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->objectName(), name);
        QCOMPARE(w->parentWidget(), window.Toolkit().Window());
        if (desc.Kind == ControlKind::Label || desc.Kind == ControlKind::LinkLabel) {
            // A label keeps its place and height and grows only when its text needs it.
            QCOMPARE(w->pos(), QPoint(desc.Left, desc.Top));
            QCOMPARE(w->height(), desc.Height);
            QVERIFY2(w->width() >= desc.Width, qPrintable(name));
            QVERIFY2(w->width() <= desc.Width || w->fontMetrics().horizontalAdvance(Q(desc.Caption)) + 1 == w->width(),
                     qPrintable(name));
            QVERIFY2(w->fontMetrics().horizontalAdvance(Q(desc.Caption)) < w->width(), qPrintable(name));
        } else {
            QCOMPARE(w->geometry(), QRect(desc.Left, desc.Top, desc.Width, desc.Height));
        }
        QVERIFY2(w->isEnabled() == desc.Enabled, qPrintable(name));
        QVERIFY2(w->isVisible() == desc.Visible, qPrintable(name));
        QCOMPARE(w->font().family(), Q(desc.Font.Face));
        QCOMPARE(w->font().pixelSize(), desc.Font.HeightPx);
        QCOMPARE(w->font().bold(), desc.Font.Bold);
        QCOMPARE(w->font().italic(), desc.Font.Italic);
        QCOMPARE(w->font().underline(), false);

        switch (desc.Kind) {
            case ControlKind::Button:
                QCOMPARE(qobject_cast<QPushButton*>(w)->text(), Q(desc.Caption));
                break;
            case ControlKind::Label:
            case ControlKind::LinkLabel:
            case ControlKind::StatusPanel:
                QCOMPARE(qobject_cast<QLabel*>(w)->text(), Q(desc.Caption));
                break;
            case ControlKind::ListSingle:
            case ControlKind::ListMulti:
                QCOMPARE(window.List(desc.Id)->count(), 0);
                break;
            default:
                break;
        }
        if (desc.Kind == ControlKind::StatusPanel) {
            auto* panel = qobject_cast<QLabel*>(w);
            QCOMPARE(panel->frameShape(), QFrame::Panel);
            QCOMPARE(panel->frameShadow(), QFrame::Sunken);
            QCOMPARE(panel->alignment(), Qt::AlignCenter);
        }
    }
    // The numerals of steps 2 and 3 and their prompts start greyed.
    for (ControlId id : {ControlId::Label3, ControlId::Label1, ControlId::Label2, ControlId::Label5})
        QVERIFY(!window.Toolkit().Enabled(id));
    QCOMPARE(window.Text(ControlId::ExportButton), QStringLiteral("Export BIF to"));

    auto* link = qobject_cast<QLabel*>(window.Widget(ControlId::Label6));
    QCOMPARE(link->palette().color(QPalette::WindowText), link->palette().color(QPalette::Link));
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    // The gauge lies above the credit line it covers.
    QVERIFY(window.Toolkit().Window()->children().indexOf(window.Widget(ControlId::Gauge1)) >
            window.Toolkit().Window()->children().indexOf(link));
}

void WindowTest::windowIsFixedSizeWithTheTitleAndNoMaximizeButton() {
    QtWindow window;
    QVERIFY(window.Start());
    QWidget* w = window.Toolkit().Window();
    QCOMPARE(w->windowTitle(), QStringLiteral("Vellocar v1.0 "));
    QCOMPARE(w->size(), QSize(494, 349));
    QCOMPARE(w->minimumSize(), QSize(494, 349));
    QCOMPARE(w->maximumSize(), QSize(494, 349));
    const Qt::WindowFlags flags = w->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w->palette().color(QPalette::Window), w->palette().color(QPalette::Button));
    QCOMPARE(w->font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(w->font().pixelSize(), 11);

    // Centred on its screen.
    const QRect area = w->screen()->availableGeometry();
    QVERIFY(qAbs(w->frameGeometry().center().x() - area.center().x()) <= 16);
    QVERIFY(qAbs(w->frameGeometry().center().y() - area.center().y()) <= 32);
}

void WindowTest::tabVisitsTheCommandsInOrderAndSkipsThePanels() {
    QtWindow window;
    QVERIFY(window.Start());
    // Enable everything, so that the focus chain alone decides the order.
    for (ControlId id : {ControlId::ExportButton, ControlId::ListBox1}) window.Toolkit().SetEnabled(id, true);
    const ControlId order[] = {ControlId::BuildButton, ControlId::OpenKeyFileButton, ControlId::ExportButton,
                               ControlId::ListBox1, ControlId::ListBox2};
    window.Widget(order[0])->setFocus();
    QTRY_VERIFY(window.Widget(order[0])->hasFocus());
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), window.Widget(order[i]));
    }
    for (const ui::ControlSpec& desc : ui::kLayout)
        if (desc.TabOrder < 0) QCOMPARE(window.Widget(desc.Id)->focusPolicy(), Qt::NoFocus);
}

void WindowTest::listsHaveFixedRowsAndKeepLinesByteForByte() {
    QtWindow window;
    QVERIFY(window.Start());
    auto& tk = window.Toolkit();
    QCOMPARE(window.List(ControlId::ListBox1)->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(window.List(ControlId::ListBox2)->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(!window.List(ControlId::ListBox2)->isSortingEnabled());

    tk.SetEnabled(ControlId::ListBox1, true);
    for (const char* line : {"data\\b.bif", "data\\a.bif"}) tk.ListAdd(ControlId::ListBox1, line);
    // Not valid UTF-8: must come back exactly, or a build would miss the file.
    const std::string latin1 = "caf\xE9.2da";
    {
        // Nested updates: the list is painted again only when the outer one ends.
        ui::ListUpdate outer(tk, ControlId::ListBox2, 3);
        {
            ui::ListUpdate inner(tk, ControlId::ListBox2);
            for (const std::string& line : {std::string("z.nss"), latin1, std::string("a.nss")})
                tk.ListAdd(ControlId::ListBox2, line);
        }
        QVERIFY(!window.List(ControlId::ListBox2)->updatesEnabled());
        QCOMPARE(tk.ListCount(ControlId::ListBox2), 3);
    }
    QVERIFY(window.List(ControlId::ListBox2)->updatesEnabled());

    QCOMPARE(window.Lines(ControlId::ListBox1), (QStringList{"data\\b.bif", "data\\a.bif"}));
    QCOMPARE(tk.ListCount(ControlId::ListBox2), 3);
    QCOMPARE(tk.ListLine(ControlId::ListBox2, 0), "z.nss");
    QCOMPARE(tk.ListLine(ControlId::ListBox2, 1), latin1);
    QCOMPARE(tk.ListLine(ControlId::ListBox2, 7), "");
    QCOMPARE(window.List(ControlId::ListBox1)->visualItemRect(window.List(ControlId::ListBox1)->item(1)).height(), 18);
    QCOMPARE(window.List(ControlId::ListBox2)->visualItemRect(window.List(ControlId::ListBox2)->item(2)).height(), 13);

    // A current line that is not selected is no chosen line.
    QCOMPARE(tk.ListItemIndex(ControlId::ListBox1), -1);
    window.List(ControlId::ListBox1)->setCurrentRow(1, QItemSelectionModel::NoUpdate);
    QCOMPARE(tk.ListItemIndex(ControlId::ListBox1), -1);
    window.ClickLine(ControlId::ListBox1, 1);
    QCOMPARE(tk.ListItemIndex(ControlId::ListBox1), 1);

    window.ClickLine(ControlId::ListBox2, 0);
    window.ClickLine(ControlId::ListBox2, 2, Qt::ControlModifier);
    QVERIFY(tk.ListSelected(ControlId::ListBox2, 0));
    QVERIFY(!tk.ListSelected(ControlId::ListBox2, 1));
    QVERIFY(tk.ListSelected(ControlId::ListBox2, 2));

    tk.ListClear(ControlId::ListBox2);
    QCOMPARE(tk.ListCount(ControlId::ListBox2), 0);
    QVERIFY(!tk.ListSelected(ControlId::ListBox2, 0));
}

void WindowTest::gaugeShowsItsPercentage() {
    QtWindow window;
    QVERIFY(window.Start());
    auto& tk = window.Toolkit();
    QProgressBar* bar = tk.GaugeBar();
    QVERIFY(!bar->isVisible());
    QVERIFY(bar->isTextVisible());
    tk.SetGaugeMin(0);
    tk.SetGaugeMax(7);
    tk.SetGaugeProgress(0);
    tk.SetVisible(ControlId::Gauge1, true);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->text(), QStringLiteral("0%"));
    tk.SetGaugeProgress(7);
    tk.RepaintGauge();
    QCOMPARE(bar->text(), QStringLiteral("100%"));
    tk.SetGaugeMin(10);
    tk.SetGaugeMax(30);
    tk.SetGaugeProgress(20);
    QCOMPARE(bar->text(), QStringLiteral("50%"));
    // A job of one step: still a bar with its text, not a busy indicator.
    tk.SetGaugeMin(0);
    tk.SetGaugeMax(0);
    tk.SetGaugeProgress(0);
    QCOMPARE(bar->text(), QStringLiteral("0%"));
    QVERIFY(bar->maximum() > bar->minimum());
    // It covers the credit line while it shows.
    QVERIFY(bar->geometry().contains(window.Widget(ControlId::Label6)->geometry()));
    tk.SetVisible(ControlId::Gauge1, false);
    QVERIFY(!tk.Visible(ControlId::Gauge1));
}

void WindowTest::creditLineUnderlinesAndOpensItsMenuBelowItself() {
    QtWindow window;
    for (const char* scheme : {"https", "mailto"}) QDesktopServices::setUrlHandler(scheme, this, "shellOpened");
    QVERIFY(window.Start());
    QWidget* label = window.Widget(ControlId::Label6);
    // A style of the label's own stays while the underline comes and goes.
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), label->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(label, &enter);
    QVERIFY(label->font().underline());
    QVERIFY(label->font().bold());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(label, &leave);
    QVERIFY(!label->font().underline());
    QVERIFY(label->font().bold());

    QMenu* menu = window.Toolkit().PopupMenu();
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions()[0]->text(), Q(ui::kHomepageUrl));
    QCOMPARE(menu->actions()[1]->text(), Q(ui::kEmailAddress));

    // Wherever the window is, the menu opens at the label's bottom-left corner.
    window.Toolkit().Window()->move(37, 41);
    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->pos(), label->mapToGlobal(QPoint(0, label->height())));
    menu->actions()[0]->trigger();
    menu->hide();
    window.Toolkit().MenuAction(ui::MenuItemId::Email1)->trigger();
    QCOMPARE(opened_,
             (std::vector<std::string>{std::string(ui::kHomepageUrl), "mailto:" + std::string(ui::kEmailAddress)}));
    for (const char* scheme : {"https", "mailto"}) QDesktopServices::unsetUrlHandler(scheme);
}

void WindowTest::fileDialogsCarryThePresets() {
    QtWindow window;
    QVERIFY(window.Start());
    std::filesystem::create_directories(window.Prefix().path() / "game" / "data");
    const std::string game = window.Prefix() / "game";

    ui::FileDialogSpec save = window.Form().SaveDialog1;
    save.Title = "Choose a name for the NEW BIF";
    save.InitialDir = game + "/data";
    ModalScript script;
    script.ThenChooseFile(QString::fromStdString(game + "/data/fresh"));
    const auto bif = window.Toolkit().RunFileDialog(save);
    QCOMPARE(bif, game + "/data/fresh.bif"); // the default suffix added to a bare name

    // An existing file is taken without an overwrite question.
    vellocar::test::WriteFile(game + "/data/old.bif", std::string("x"));
    script.ThenChooseFile(QString::fromStdString(game + "/data/old.bif"));
    QCOMPARE(window.Toolkit().RunFileDialog(save), game + "/data/old.bif");

    ui::FileDialogSpec open = window.Form().OpenDialog2;
    open.InitialDir = game;
    script.ThenCancel();
    QCOMPARE(window.Toolkit().RunFileDialog(open), std::nullopt);

    QCOMPARE(script.Seen().size(), std::size_t{3});
    const auto& s = script.Seen()[0];
    QCOMPARE(s.Kind, QStringLiteral("file"));
    QCOMPARE(s.Title, QStringLiteral("Choose a name for the NEW BIF"));
    QCOMPARE(s.AcceptMode, QFileDialog::AcceptSave);
    QCOMPARE(s.FileMode, QFileDialog::AnyFile);
    QVERIFY(s.Options & QFileDialog::DontConfirmOverwrite);
    QVERIFY(s.Options & QFileDialog::DontUseNativeDialog);
    QCOMPARE(s.NameFilters, QStringList{"*.bif (*.bif)"});
    QCOMPARE(s.DefaultSuffix, QStringLiteral("bif"));
    QCOMPARE(s.Directory, QString::fromStdString(game + "/data"));

    const auto& o = script.Seen()[2];
    QCOMPARE(o.AcceptMode, QFileDialog::AcceptOpen);
    QCOMPARE(o.FileMode, QFileDialog::ExistingFile);
    QCOMPARE(o.NameFilters, QStringList{"*.key (*.key)"});
    QVERIFY(!o.Title.isEmpty()); // Qt's own title when none is preset
    QCOMPARE(o.Directory, QString::fromStdString(game));
    QCOMPARE(script.Unanswered(), 0);
}

void WindowTest::folderDialogReturnsTheChosenFolder() {
    QtWindow window;
    QVERIFY(window.Start());
    std::filesystem::create_directories(window.Prefix().path() / "src" / "sub folder");
    const std::string src = window.Prefix() / "src";

    ModalScript script;
    script.ThenChooseFile(QString::fromStdString(src + "/sub folder"));
    QCOMPARE(window.Toolkit().BrowseForFolder("Select source directory:", src), src + "/sub folder");
    script.ThenCancel();
    QCOMPARE(window.Toolkit().BrowseForFolder("Select target directory:", ""), std::nullopt);

    QCOMPARE(script.Seen().size(), std::size_t{2});
    QCOMPARE(script.Seen()[0].Title, QStringLiteral("Select source directory:"));
    QCOMPARE(script.Seen()[0].FileMode, QFileDialog::Directory);
    QVERIFY(script.Seen()[0].Options & QFileDialog::ShowDirsOnly);
    QCOMPARE(script.Seen()[0].Directory, QString::fromStdString(src));
    QCOMPARE(script.Seen()[1].Title, QStringLiteral("Select target directory:"));
}

void WindowTest::messageBoxesHaveTheirIconsAndButtons() {
    QtWindow window;
    QVERIFY(window.Start());
    auto& tk = window.Toolkit();
    ModalScript script;
    script.ThenPress(QMessageBox::No);
    QCOMPARE(tk.ShowMessage("Would you like to append/update to this KEY file?", "KEY File already exists.",
                            ui::MessageKind::YesNo),
             ui::MessageAnswer::No);
    script.ThenPress(QMessageBox::Yes);
    QCOMPARE(tk.ShowMessage("q", "t", ui::MessageKind::YesNo), ui::MessageAnswer::Yes);
    script.ThenPress(QMessageBox::Ok);
    QCOMPARE(tk.ShowMessage("ERROR!", "", ui::MessageKind::OkError), ui::MessageAnswer::Ok);
    script.ThenPress(QMessageBox::Ok);
    tk.ShowMessage("<b>not markup</b>", "Vellocar", ui::MessageKind::OkWarning);
    script.ThenPress(QMessageBox::Ok);
    tk.ShowMessage("Files extracted.", "", ui::MessageKind::Ok);

    const auto& seen = script.Seen();
    QCOMPARE(seen.size(), std::size_t{5});
    QCOMPARE(seen[0].Text, QStringLiteral("Would you like to append/update to this KEY file?"));
    QCOMPARE(seen[0].Title, QStringLiteral("KEY File already exists."));
    QCOMPARE(seen[0].Buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(seen[0].DefaultButton, QMessageBox::Yes);
    QCOMPARE(seen[0].Icon, QMessageBox::NoIcon);
    QCOMPARE(seen[2].Icon, QMessageBox::Critical);
    QCOMPARE(seen[2].Title, QString());
    QCOMPARE(seen[2].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(seen[3].Icon, QMessageBox::Warning);
    QCOMPARE(seen[3].Text, QStringLiteral("<b>not markup</b>"));
    QCOMPARE(seen[4].Icon, QMessageBox::NoIcon);
}

void WindowTest::registryPresetsTheDialogsFromTheWinePrefix() {
    QtWindow window(
        "WINE REGISTRY Version 2\n\n"
        "[Software\\\\Wow6432Node\\\\BioWare\\\\NWN\\\\Neverwinter] 1700000000\n"
        "\"Location\"=\"C:\\\\NeverwinterNights\\\\NWN\"\n");
    QVERIFY(window.Start());
    const std::string game = (window.Prefix().path() / "drive_c" / "NeverwinterNights" / "NWN").string();
    QCOMPARE(window.Form().OpenDialog2.InitialDir, game);
    QCOMPARE(window.Form().SaveDialog2.InitialDir, game);
    QCOMPARE(window.Form().SaveDialog1.InitialDir, game + "/data");

    QtWindow none;
    QVERIFY(none.Start());
    QCOMPARE(none.Form().OpenDialog2.InitialDir, "");

    // A FIFO or a link to an endless device as the registry: the window comes up unpreset, at
    // once, rather than blocking or reading forever before it appears.
    QtWindow fifo, endless;
    QCOMPARE(mkfifo((fifo.Prefix().path() / "system.reg").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", endless.Prefix().path() / "system.reg");
    for (QtWindow* odd : {&fifo, &endless}) {
        QVERIFY(odd->Start());
        QCOMPARE(odd->Form().OpenDialog2.InitialDir, "");
    }

    // Without the value, an Enhanced Edition named by NWN_ROOT, once it holds the game's KEY.
    vellocar::test::TempDir ee;
    setenv("NWN_ROOT", ee.path().c_str(), 1);
    QtWindow stale;
    QVERIFY(stale.Start());
    QCOMPARE(stale.Form().OpenDialog2.InitialDir, "");
    std::filesystem::create_directories(ee.path() / "data");
    vellocar::test::WriteFile(ee / "data/nwn_base.key", std::string("KEY V1  "));
    QtWindow found;
    QVERIFY(found.Start());
    unsetenv("NWN_ROOT");
    QCOMPARE(found.Form().OpenDialog2.InitialDir, ee / "data");
    QCOMPARE(found.Form().SaveDialog1.InitialDir, ee / "data");
}

void WindowTest::registryValueOfAWrongTypeIsReportedAtStart() {
    QtWindow window(
        "WINE REGISTRY Version 2\n\n"
        "[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1700000000\n"
        "\"Location\"=dword:00000001\n");
    ModalScript script;
    script.ThenPress(QMessageBox::Ok);
    QVERIFY(window.Start());
    QCOMPARE(script.Seen().size(), std::size_t{1});
    // No full stop: the quote's code lies below that of '.'.
    QCOMPARE(script.Seen()[0].Text, QStringLiteral("Invalid data type for 'Location'"));
    QCOMPARE(script.Seen()[0].Title, QStringLiteral("Vellocar"));
    QCOMPARE(script.Seen()[0].Icon, QMessageBox::Critical);
    QCOMPARE(window.Form().OpenDialog2.InitialDir, "");
    QVERIFY(window.Toolkit().Window()->isVisible());
}

void WindowTest::filtersBecomeQtFilters() {
    QCOMPARE(qt::QtFilters("*.key|*.key"), QStringList{"*.key (*.key)"});
    QCOMPARE(qt::QtFilters("Archives|*.bif;*.key|All files|*.*"),
             (QStringList{"Archives (*.bif *.key)", "All files (*.*)"}));
    QCOMPARE(qt::QtFilters(""), QStringList{});
}

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
