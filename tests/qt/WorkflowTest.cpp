// The three steps of the window worked end to end through the real widgets and dialogs:
// build (new KEY, replaced KEY, appended KEY), open the KEY, choose a BIF, export all and the
// selected resources; with the files on disk and the widgets' texts checked after each step.

#include "ArchiveBytes.h"
#include "ModalAnswer.h"
#include "QtServices.h"
#include "QtWindow.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>

#include <filesystem>
#include <map>

using namespace vellocar;
using ui::ControlId;
using vellocar::qt::test::ModalScript;
using vellocar::qt::test::QtWindow;
namespace fs = std::filesystem;

namespace {

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

std::string ReadText(const fs::path& path) {
    const auto bytes = vellocar::test::ReadFile(path.string());
    return {bytes.begin(), bytes.end()};
}

// Every regular file of a folder with its contents.
std::map<std::string, std::string> FolderContents(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadText(entry.path());
    return files;
}

// A message box with this text, answered with OK.
void ThenMessage(ModalScript& script) { script.ThenPress(QMessageBox::Ok); }

} // namespace

class WorkflowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void buildsOpensAndExports();
    void buildAsksBeforeReplacingOrExtendingAKey();
    void cancelledDialogsWriteNothing();
    void buildLocksTheWindowWhileItRuns();
    void keyboardFocusComesBackAfterABuild();
    void clickOnTheChosenBifChoosesItAgain();
    void unreadableKeyIsReportedAndTheWindowGoesOn();
    void keyFromTheCommandLineOrADropOpensAsFromTheDialog();

private:
    // The game's folder with its data folder, and a source folder of plain files.
    void MakeFolders();
    // Runs a whole build through the button: source folder, BIF name, KEY name, then the
    // answer to the existing-KEY question if one is given, then the result box.
    void Build(QtWindow& window, const fs::path& source, const fs::path& bif, const fs::path& key,
               std::optional<QMessageBox::StandardButton> keyQuestion = std::nullopt);

    std::unique_ptr<vellocar::test::TempDir> dir_;
    fs::path game_, data_, source_;
};

void WorkflowTest::init() {
    dir_ = std::make_unique<vellocar::test::TempDir>();
    MakeFolders();
}

void WorkflowTest::cleanup() { dir_.reset(); }

void WorkflowTest::MakeFolders() {
    game_ = dir_->path() / "game";
    data_ = game_ / "data";
    source_ = dir_->path() / "source";
    fs::create_directories(data_);
    fs::create_directories(source_ / "subfolder");
    vellocar::test::WriteFile((source_ / "b_table.2da").string(), std::string("2DA V2.0\n\nCOL\n0 x\n"));
    vellocar::test::WriteFile((source_ / "A_script.nss").string(), std::string("void main() {}\n"));
    vellocar::test::WriteFile((source_ / "readme.txt").string(), std::string("notes"));
    vellocar::test::WriteFile((source_ / ".hidden").string(), std::string("not packed"));
    vellocar::test::WriteFile((source_ / "subfolder" / "inner.nss").string(), std::string("not packed"));
}

void WorkflowTest::Build(QtWindow& window, const fs::path& source, const fs::path& bif, const fs::path& key,
                         std::optional<QMessageBox::StandardButton> keyQuestion) {
    ModalScript script;
    script.ThenChooseFile(Q(source));
    script.ThenChooseFile(Q(bif));
    script.ThenChooseFile(Q(key));
    if (keyQuestion) script.ThenPress(*keyQuestion);
    ThenMessage(script);
    window.Click(ControlId::BuildButton);

    const auto& seen = script.Seen();
    QCOMPARE(script.Unanswered(), 0);
    QCOMPARE(seen.size(), std::size_t{keyQuestion ? 5u : 4u});
    QCOMPARE(seen[0].Title, QStringLiteral("Select source directory:"));
    QCOMPARE(seen[1].Title, QStringLiteral("Choose a name for the NEW BIF"));
    QCOMPARE(seen[1].NameFilters, QStringList{"*.bif (*.bif)"});
    QCOMPARE(seen[2].Title, QStringLiteral("Select a KEY File or create a new one."));
    QCOMPARE(seen[2].NameFilters, QStringList{"*.key (*.key)"});
    if (keyQuestion) {
        QCOMPARE(seen[3].Text, QStringLiteral("Would you like to append/update to this KEY file?"));
        QCOMPARE(seen[3].Title, QStringLiteral("KEY File already exists."));
    }
    QCOMPARE(seen.back().Text, QStringLiteral("Process Successful."));
    QCOMPARE(seen.back().Icon, QMessageBox::NoIcon);

    QCOMPARE(window.Text(ControlId::BuildStatPanel), QStringLiteral("Done"));
    QCOMPARE(window.List(ControlId::ListBox1)->count(), 0);
    QCOMPARE(window.List(ControlId::ListBox2)->count(), 0);
    QVERIFY(!window.Toolkit().Visible(ControlId::Gauge1));
    QVERIFY(!window.Toolkit().Enabled(ControlId::ExportButton));
    QVERIFY(window.Toolkit().Enabled(ControlId::BuildButton));
}

void WorkflowTest::buildsOpensAndExports() {
    QtWindow window;
    QVERIFY(window.Start());

    // Step 1: the folder's three plain files into data/mine.bif, registered in a new test.key.
    // The names are typed without extensions: the dialogs add them.
    Build(window, source_, data_ / "mine", game_ / "test");
    if (QTest::currentTestFailed()) return;
    QVERIFY(fs::is_regular_file(data_ / "mine.bif"));
    QVERIFY(fs::is_regular_file(game_ / "test.key"));

    // Open the KEY.
    {
        ModalScript script;
        script.ThenChooseFile(Q(game_ / "test.key"));
        window.Click(ControlId::OpenKeyFileButton);
        QCOMPARE(script.Seen().size(), std::size_t{1});
        QCOMPARE(script.Seen()[0].FileMode, QFileDialog::ExistingFile);
    }
    QCOMPARE(window.Text(ControlId::KeyStatPanel), QStringLiteral("Done"));
    QCOMPARE(window.Lines(ControlId::ListBox1), QStringList{"data\\mine.bif"});
    for (ControlId id : {ControlId::Label1, ControlId::Label3, ControlId::ListBox1})
        QVERIFY(window.Toolkit().Enabled(id));
    QVERIFY(!window.Toolkit().Enabled(ControlId::ExportButton));

    // Choose the BIF: its resources in the order the build packed them.
    window.ClickLine(ControlId::ListBox1, 0);
    QCOMPARE(window.Text(ControlId::BifStatPanel), QStringLiteral("Done"));
    QCOMPARE(window.Lines(ControlId::ListBox2), (QStringList{"A_script.nss", "b_table.2da", "readme.txt"}));
    QVERIFY(window.Toolkit().Enabled(ControlId::ExportButton));
    QVERIFY(window.Toolkit().Enabled(ControlId::Label2));
    QVERIFY(window.Toolkit().Enabled(ControlId::Label5));
    QCOMPARE(window.Text(ControlId::ExportButton), QStringLiteral("Export BIF to"));

    // Export all: the loose files are the source files again.
    const fs::path all = dir_->path() / "all";
    fs::create_directories(all);
    {
        ModalScript script;
        script.ThenChooseFile(Q(all));
        ThenMessage(script);
        window.Click(ControlId::ExportButton);
        QCOMPARE(script.Seen().size(), std::size_t{2});
        QCOMPARE(script.Seen()[0].Title, QStringLiteral("Select target directory:"));
        QCOMPARE(script.Seen()[1].Text, QStringLiteral("Files extracted."));
    }
    std::map<std::string, std::string> expected = FolderContents(source_);
    expected.erase(".hidden");
    QCOMPARE(FolderContents(all), expected);
    QCOMPARE(window.Text(ControlId::ExpStatPanel), QStringLiteral("Done"));
    QVERIFY(!window.Toolkit().Visible(ControlId::Gauge1));

    // Click the first line, Ctrl-click the third: only those two are exported.
    window.ClickLine(ControlId::ListBox2, 0);
    window.ClickLine(ControlId::ListBox2, 2, Qt::ControlModifier);
    QCOMPARE(window.Text(ControlId::ExportButton), QStringLiteral("Export Selected"));
    const fs::path some = dir_->path() / "some";
    fs::create_directories(some);
    {
        ModalScript script;
        script.ThenChooseFile(Q(some));
        ThenMessage(script);
        window.Click(ControlId::ExportButton);
        QCOMPARE(script.Unanswered(), 0);
    }
    QCOMPARE(FolderContents(some),
             (std::map<std::string, std::string>{{"A_script.nss", expected["A_script.nss"]},
                                                 {"readme.txt", expected["readme.txt"]}}));
    QCOMPARE(window.Text(ControlId::ExportButton), QStringLiteral("Export Selected"));

    // Choosing the BIF again by keyboard, with lines still selected, brings back "Export BIF to":
    // the list refilled by the program is no click of the user's.
    QCOMPARE(window.List(ControlId::ListBox2)->selectedItems().size(), 2);
    window.List(ControlId::ListBox1)->clearSelection();
    window.List(ControlId::ListBox1)->setFocus();
    window.List(ControlId::ListBox1)->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    QTest::keyClick(window.List(ControlId::ListBox1), Qt::Key_Space);
    QCOMPARE(window.Text(ControlId::ExportButton), QStringLiteral("Export BIF to"));
    QCOMPARE(window.List(ControlId::ListBox2)->count(), 3);

    // Ctrl-clicking the only selected line off still means "Export Selected".
    window.ClickLine(ControlId::ListBox2, 1);
    window.ClickLine(ControlId::ListBox2, 1, Qt::ControlModifier);
    QVERIFY(window.List(ControlId::ListBox2)->selectedItems().isEmpty());
    QCOMPARE(window.Text(ControlId::ExportButton), QStringLiteral("Export Selected"));
}

void WorkflowTest::buildAsksBeforeReplacingOrExtendingAKey() {
    QtWindow window;
    QVERIFY(window.Start());
    Build(window, source_, data_ / "first.bif", game_ / "test.key");
    if (QTest::currentTestFailed()) return;

    const fs::path more = dir_->path() / "more";
    fs::create_directories(more);
    vellocar::test::WriteFile((more / "other.nss").string(), std::string("// other"));

    auto openKeyLines = [&] {
        ModalScript script;
        script.ThenChooseFile(Q(game_ / "test.key"));
        window.Click(ControlId::OpenKeyFileButton);
        return window.Lines(ControlId::ListBox1);
    };

    // No: a new KEY in its place that names only the new BIF; the old one is the backup.
    Build(window, more, data_ / "second.bif", game_ / "test.key", QMessageBox::No);
    if (QTest::currentTestFailed()) return;
    QVERIFY(fs::is_regular_file(game_ / "test.key.bak"));
    QCOMPARE(openKeyLines(), QStringList{"data\\second.bif"});

    // Yes: the KEY keeps what it had and gains the third BIF.
    Build(window, source_, data_ / "third.bif", game_ / "test.key", QMessageBox::Yes);
    if (QTest::currentTestFailed()) return;
    QCOMPARE(openKeyLines(), (QStringList{"data\\second.bif", "data\\third.bif"}));

    window.ClickLine(ControlId::ListBox1, 0);
    QCOMPARE(window.Lines(ControlId::ListBox2), QStringList{"other.nss"});
    window.ClickLine(ControlId::ListBox1, 1);
    QCOMPARE(window.Lines(ControlId::ListBox2), (QStringList{"A_script.nss", "b_table.2da", "readme.txt"}));
}

void WorkflowTest::cancelledDialogsWriteNothing() {
    QtWindow window;
    QVERIFY(window.Start());
    {
        ModalScript script;
        script.ThenCancel();
        window.Click(ControlId::BuildButton);
        QCOMPARE(script.Seen().size(), std::size_t{1});
    }
    QCOMPARE(window.Text(ControlId::BuildStatPanel), QString());
    {
        // The BIF name cancelled: the build ends as done, with nothing written.
        ModalScript script;
        script.ThenChooseFile(Q(source_));
        script.ThenCancel();
        window.Click(ControlId::BuildButton);
        QCOMPARE(script.Seen().size(), std::size_t{2});
        QCOMPARE(script.Unanswered(), 0);
    }
    QCOMPARE(window.Text(ControlId::BuildStatPanel), QStringLiteral("Done"));
    QCOMPARE(window.List(ControlId::ListBox2)->count(), 0);
    QVERIFY(fs::is_empty(data_));
    {
        ModalScript script;
        script.ThenCancel();
        window.Click(ControlId::OpenKeyFileButton);
    }
    QCOMPARE(window.Text(ControlId::KeyStatPanel), QString());
    QVERIFY(!window.Toolkit().Enabled(ControlId::ListBox1));
}

void WorkflowTest::buildLocksTheWindowWhileItRuns() {
    QtWindow window;
    QVERIFY(window.Start());
    bool buildButtonEnabled = true, openButtonEnabled = true, closeAccepted = true;
    QStringList listed;
    ModalScript script;
    script.ThenChooseFile(Q(source_));
    script.Then([&](QWidget* dialog) {
        // The BIF name dialog: the listing is done and the window's commands are off.
        buildButtonEnabled = window.Toolkit().Enabled(ControlId::BuildButton);
        openButtonEnabled = window.Toolkit().Enabled(ControlId::OpenKeyFileButton);
        listed = window.Lines(ControlId::ListBox2);
        QCloseEvent close;
        QApplication::sendEvent(window.Toolkit().Window(), &close);
        closeAccepted = close.isAccepted();
        qobject_cast<QDialog*>(dialog)->reject();
    });
    window.Click(ControlId::BuildButton);
    QCOMPARE(script.Unanswered(), 0);
    QCOMPARE(listed, (QStringList{"A_script.nss", "b_table.2da", "readme.txt"}));
    QVERIFY(!buildButtonEnabled);
    QVERIFY(!openButtonEnabled);
    QVERIFY(!closeAccepted);
    // Afterwards everything is back, and the close the user asked for is carried out.
    QVERIFY(window.Toolkit().Enabled(ControlId::BuildButton));
    QVERIFY(window.Toolkit().Enabled(ControlId::OpenKeyFileButton));
    QTRY_VERIFY(!window.Toolkit().Window()->isVisible());
}

void WorkflowTest::keyboardFocusComesBackAfterABuild() {
    // A build started from the keyboard switches the focused button off while it runs; once
    // the commands are back on, the keyboard must have a control to work again.
    QtWindow window;
    QVERIFY(window.Start());
    QWidget* build = window.Widget(ControlId::BuildButton);
    QApplication::setActiveWindow(window.Toolkit().Window());
    build->setFocus();
    QTRY_VERIFY(build->hasFocus());
    {
        ModalScript script;
        script.ThenChooseFile(Q(source_));
        script.ThenCancel();
        QTest::keyClick(build, Qt::Key_Space);
        QTRY_COMPARE(script.Pending(), std::size_t{0});
        QCOMPARE(script.Unanswered(), 0);
    }
    QCOMPARE(window.Text(ControlId::BuildStatPanel), QStringLiteral("Done"));
    QCOMPARE(window.Toolkit().Window()->focusWidget(), build);
    // The offscreen platform does not activate the window again when the last dialog closes.
    QApplication::setActiveWindow(window.Toolkit().Window());
    QTRY_COMPARE(QApplication::focusWidget(), build);
    // And Tab goes on from there.
    QTest::keyClick(build, Qt::Key_Tab);
    QTRY_COMPARE(QApplication::focusWidget(), window.Widget(ControlId::OpenKeyFileButton));
}

void WorkflowTest::clickOnTheChosenBifChoosesItAgain() {
    // Every click on a line of the BIF list chooses that BIF, the one already chosen included:
    // it is how the user goes back from exporting the selection to exporting all of it.
    QtWindow window;
    QVERIFY(window.Start());
    Build(window, source_, data_ / "mine", game_ / "test");
    if (QTest::currentTestFailed()) return;
    {
        ModalScript script;
        script.ThenChooseFile(Q(game_ / "test.key"));
        window.Click(ControlId::OpenKeyFileButton);
        QCOMPARE(script.Unanswered(), 0);
    }
    window.ClickLine(ControlId::ListBox1, 0);
    QCOMPARE(window.Text(ControlId::BifStatPanel), QStringLiteral("Done"));
    const vellocar::ui::TNWNBifFile* first = window.Form().BifModel.get();
    QVERIFY(first != nullptr);

    window.ClickLine(ControlId::ListBox2, 1);
    QCOMPARE(window.Text(ControlId::ExportButton), QStringLiteral("Export Selected"));

    window.ClickLine(ControlId::ListBox1, 0);
    QCOMPARE(window.Text(ControlId::ExportButton), QStringLiteral("Export BIF to"));
    QVERIFY(window.Form().BifModel.get() != first);
    QCOMPARE(window.Lines(ControlId::ListBox2), (QStringList{"A_script.nss", "b_table.2da", "readme.txt"}));
    QVERIFY(window.List(ControlId::ListBox2)->selectedItems().isEmpty());
}

void WorkflowTest::unreadableKeyIsReportedAndTheWindowGoesOn() {
    QtWindow window;
    QVERIFY(window.Start());
    vellocar::test::Bytes broken = vellocar::test::Key().Write();
    broken.resize(10); // the header cut short
    vellocar::test::WriteFile((game_ / "broken.key").string(), broken);
    ModalScript script;
    script.ThenChooseFile(Q(game_ / "broken.key"));
    ThenMessage(script);
    window.Click(ControlId::OpenKeyFileButton);
    QCOMPARE(script.Seen().size(), std::size_t{2});
    QCOMPARE(script.Seen()[1].Title, QStringLiteral("Vellocar"));
    QCOMPARE(script.Seen()[1].Icon, QMessageBox::Critical);
    QVERIFY(script.Seen()[1].Text.contains(QStringLiteral("broken.key")));
    QCOMPARE(window.Text(ControlId::KeyStatPanel), QStringLiteral("Wait"));
    QVERIFY(window.Toolkit().Enabled(ControlId::BuildButton));
}

namespace {

// Drags files onto the window and drops them; whether the window accepted the drag.
bool DropFiles(QWidget* window, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(window->width() / 2, window->height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
    return drop.isAccepted();
}

} // namespace

void WorkflowTest::keyFromTheCommandLineOrADropOpensAsFromTheDialog() {
    const fs::path key = game_ / "test.key";
    {
        QtWindow builder;
        QVERIFY(builder.Start());
        Build(builder, source_, data_ / "mine.bif", key);
        if (QTest::currentTestFailed()) return;
    }

    // The argument as main() reads it: the first one that is no option, made a full path.
    QCOMPARE(qt::KeyFileArgument({"vellocar"}), std::nullopt);
    QCOMPARE(qt::KeyFileArgument({"vellocar", "--verbose", Q(key)}), key.string());
    QCOMPARE(qt::KeyFileArgument({"vellocar", "--", "-odd.key"}), (fs::current_path() / "-odd.key").string());
    QCOMPARE(qt::KeyFileArgument({"vellocar", QUrl::fromLocalFile(Q(key)).toString()}), key.string());
    {
        QtWindow window;
        QVERIFY(window.Start());
        window.Form().KeyFileGiven(*qt::KeyFileArgument({"vellocar", Q(key)}));
        QCOMPARE(window.Text(ControlId::KeyStatPanel), QStringLiteral("Done"));
        QCOMPARE(window.Lines(ControlId::ListBox1), QStringList{"data\\mine.bif"});
        QCOMPARE(window.Form().KeyPath, key.string());
    }

    // A drop: its first file opens once the drop has ended; a web link is refused.
    QtWindow window;
    QVERIFY(window.Start());
    QVERIFY(!DropFiles(window.Toolkit().Window(), {QUrl("https://example.org/x.key")}));
    QVERIFY(DropFiles(window.Toolkit().Window(),
                      {QUrl::fromLocalFile(Q(key)), QUrl::fromLocalFile(Q(source_ / "readme.txt"))}));
    QTRY_COMPARE(window.Text(ControlId::KeyStatPanel), QStringLiteral("Done"));
    QCOMPARE(window.Lines(ControlId::ListBox1), QStringList{"data\\mine.bif"});
    QVERIFY(window.Toolkit().Enabled(ControlId::ListBox1));

    // A file that is no KEY: the application's error box.
    ModalScript script;
    ThenMessage(script);
    QVERIFY(DropFiles(window.Toolkit().Window(), {QUrl::fromLocalFile(Q(source_ / "readme.txt"))}));
    QTRY_COMPARE(script.Seen().size(), std::size_t{1});
    QCOMPARE(script.Seen()[0].Title, QStringLiteral("Vellocar"));
    QCOMPARE(script.Seen()[0].Icon, QMessageBox::Critical);
    QVERIFY(script.Seen()[0].Text.contains(QStringLiteral("readme.txt")));
    QCOMPARE(window.Text(ControlId::KeyStatPanel), QStringLiteral("Wait"));
}

QTEST_MAIN(WorkflowTest)
#include "WorkflowTest.moc"
